#!/usr/bin/env bash
# The Windows setup program as a user meets it, under Wine: built and checked
# (scripts/check-windows-package.sh), installed silently into a scratch Wine prefix, the
# installed programs started (quillon-cli.exe lists an emulated adapter, quillon-utility.exe
# shows its window and closes when told to), then uninstalled silently, leaving nothing behind.
# Expects the build folder (default: build-windows) made by scripts/build-windows.sh.
# Runs on an X server of its own (Xvfb), so that no window shows on the desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-windows}"

if [ -z "${QUILLON_INSTALLER_XVFB:-}" ]; then
    scripts/install-windows-deps.sh
    exec env QUILLON_INSTALLER_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

package_check=$(scripts/check-windows-package.sh "$build")
echo "$package_check"
setup=$PWD/$(tail -n 2 <<<"$package_check" | head -n 1)
zip=$PWD/$(tail -n 1 <<<"$package_check")

. scripts/wine-scratch-prefix.sh

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if [ $SECONDS -ge $deadline ]; then return 1; fi
        sleep 0.5
    done
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

start=$SECONDS
create_scratch_prefix
echo "fresh Wine prefix made in $((SECONDS - start)) s"

start=$SECONDS
wine "$setup" /S
echo "silent install took $((SECONDS - start)) s"

instdir="$WINEPREFIX/drive_c/Program Files/Quillon-Utility"
shortcut_dir="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon-Utility"
[ -d "$instdir" ] || fail "nothing installed in C:\\Program Files\\Quillon-Utility"

# The setup program installs what the ZIP holds, and its uninstaller.
(cd "$scratch" && cmake -E tar xf "$zip")
zip_root=$(echo "$scratch"/quillon-utility-*-win64)
diff <(cd "$zip_root" && find . -type f | sort) \
     <(cd "$instdir" && find . -type f ! -name Uninstall.exe | sort) ||
    fail "the installed files differ from the ZIP's"
[ -f "$instdir/Uninstall.exe" ] || fail "no uninstaller installed"
echo "installed: $(cd "$instdir" && find . -type f | wc -l) files, as in the ZIP, and Uninstall.exe"

listed=$(wine "$instdir/quillon-cli.exe" --emulate list)
echo "$listed"
case "$listed" in
    *"169b:0110"*writable*) ;;
    *) fail "the installed quillon-cli.exe --emulate list did not list the emulated adapter" ;;
esac

if [ -f "$instdir/quillon-utility.exe" ]; then
    for shortcut in Quillon-Utility Quillon-Station; do
        [ -f "$shortcut_dir/$shortcut.lnk" ] || fail "no Start-menu shortcut $shortcut.lnk"
        echo "Start-menu shortcut: $shortcut.lnk"
    done

    QUILLON_EMULATE=1 wine "$instdir/quillon-utility.exe" >"$scratch/gui.log" 2>&1 &
    gui=$!
    # The main window: the program's X window whose title names the adapter's maker and name.
    main_window() {
        xwininfo -root -tree 2>/dev/null | grep '("quillon-utility.exe"' | grep '"Morvane Quillon'
    }
    main_window_shown() { main_window >/dev/null; }
    if ! wait_for 120 main_window_shown; then
        kill "$gui" 2>/dev/null || true
        cat "$scratch/gui.log" >&2
        fail "the installed quillon-utility.exe showed no window"
    fi
    echo "quillon-utility.exe shows: $(main_window | grep -o '"Morvane Quillon[^"]*"' | head -n 1)"
    # Asked to close as Windows asks a program (WM_CLOSE), it ends by itself.
    wine taskkill /im quillon-utility.exe >/dev/null 2>&1 || true
    gui_ended() { ! kill -0 "$gui" 2>/dev/null; }
    if ! wait_for 60 gui_ended; then
        kill "$gui" 2>/dev/null || true
        fail "quillon-utility.exe did not end when asked to close"
    fi
    wait "$gui" || fail "quillon-utility.exe ended with exit code $?"
    echo "quillon-utility.exe closed cleanly"
fi

# The uninstaller copies itself elsewhere and returns at once; the files go meanwhile.
start=$SECONDS
wine "$instdir/Uninstall.exe" /S
uninstalled() { [ ! -e "$instdir" ]; }
wait_for 120 uninstalled || fail "the uninstaller left: $(cd "$instdir" && find . | head)"
echo "silent uninstall took $((SECONDS - start)) s"
[ ! -e "$shortcut_dir" ] || fail "the Start-menu shortcuts were left behind"
if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon-Utility' \
        >/dev/null 2>&1; then
    fail "the uninstall entry was left in the registry"
fi
echo "uninstalled: no files, shortcuts or uninstall entry left"
