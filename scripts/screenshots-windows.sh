#!/usr/bin/env bash
# Takes the README's screenshot of the Windows program: quillon-utility.exe from the Windows
# build (scripts/build-windows.sh) under Wine, on Qt's windows platform, with one emulated
# adapter, on an X server of its own (Xvfb). Wine draws the window's frame itself, as Windows
# would, and the picture is of that window alone: docs/screenshots/main-window-windows.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-windows}"
out=${2:-docs/screenshots/main-window-windows.png}

if [ -z "${QUILLON_SCREENSHOT_XVFB:-}" ]; then
    scripts/build-windows.sh
    scripts/install-windows-deps.sh
    exec env QUILLON_SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
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
