#!/usr/bin/env bash
# Takes the README's screenshots of the Windows programs from the Windows build
# (scripts/build-windows.sh) under Wine, on Qt's windows platform, on an X server of its own
# (Xvfb): quillon-utility.exe with one emulated adapter (docs/screenshots/main-window-windows.png)
# and the station window with eight emulated adapters in mixed states, as the Linux picture has
# them (docs/screenshots/station-window-windows.png, from quillon-station-screenshot.exe
# --on-screen). Wine draws the windows' frames itself, as Windows would, and each picture is of
# that window alone.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-windows}"
out=${2:-docs/screenshots/main-window-windows.png}
station_out=${3:-docs/screenshots/station-window-windows.png}

if [ -z "${QUILLON_SCREENSHOT_XVFB:-}" ]; then
    scripts/build-windows.sh
    scripts/install-windows-deps.sh
    exec env QUILLON_SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 1600x900x24" "$0" "$@"
fi

. scripts/wine-scratch-prefix.sh

create_scratch_prefix
# Without a window manager on the X server, Wine frames its windows itself, Windows' way.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

QUILLON_EMULATE=1 QT_QPA_PLATFORM=windows wine "$build/bin/quillon-utility.exe" \
    >"$scratch/gui.log" 2>&1 &
gui=$!

# The main window: the program's X window whose title names the adapter's maker and name.
main_window() {
    xwininfo -root -tree 2>/dev/null | grep '("quillon-utility.exe"' | grep '"Morvane Quillon' |
        grep -o '0x[0-9a-f]*' | head -n 1
}
deadline=$((SECONDS + 120))
until window=$(main_window) && [ -n "$window" ]; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$gui" 2>/dev/null; then
        cat "$scratch/gui.log" >&2
        echo "quillon-utility.exe showed no window" >&2
        exit 1
    fi
    sleep 0.5
done

# The window is taken once it has finished drawing: two pictures a second apart alike.
previous=
for _ in $(seq 60); do
    sleep 1
    current=$(import -window "$window" ppm:- | md5sum)
    [ "$current" = "$previous" ] && break
    previous=$current
done
# Without time stamps, so that an unchanged window gives an unchanged file.
import -window "$window" -define png:exclude-chunks=date,time "$out"
echo "wrote $out"

wine taskkill /im quillon-utility.exe >/dev/null 2>&1 || true
wait "$gui" || true

# The station: its window is taken as soon as the tool says the tiles show their states, since
# the adapters still updating change it from moment to moment.
QT_QPA_PLATFORM=windows wine "$build/bin/quillon-station-screenshot.exe" --on-screen >"$scratch/station.log" 2>&1 &
station=$!
station_window() {
    xwininfo -root -tree 2>/dev/null | grep '("quillon-station-screenshot.exe"' |
        grep '"Morvane Quillon - Station"' | grep -o '0x[0-9a-f]*' | head -n 1
}
deadline=$((SECONDS + 180))
until grep -qs '^ready' "$scratch/station.log" && window=$(station_window) && [ -n "$window" ]; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$station" 2>/dev/null; then
        cat "$scratch/station.log" >&2
        echo "quillon-station-screenshot.exe did not show the station" >&2
        exit 1
    fi
    sleep 0.5
done
import -window "$window" -define png:exclude-chunks=date,time "$station_out"
echo "wrote $station_out"
wine taskkill /im quillon-station-screenshot.exe >/dev/null 2>&1 || true
wait "$station" || true

