#!/usr/bin/env bash
# Builds the Windows setup program and ZIP from the build folder given (default: build-windows,
# made by scripts/build-windows.sh), unpacks the ZIP into a scratch folder and checks it: the
# expected files are there, every DLL that a packaged program or DLL imports is either in
# the package or one that every 64-bit Windows has, and every program and DLL, packaged or
# built, is marked for ASLR (dynamic base, high entropy) and DEP.
# Prints the packages' paths last, one a line, for scripts that go on with them.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-windows}"

start=$SECONDS
rm -f "$build"/quillon-utility-*-win64.exe "$build"/quillon-utility-*-win64.zip
(cd "$build" && cpack >/dev/null)
setup=$(ls "$build"/quillon-utility-*-win64.exe)
zip=$(ls "$build"/quillon-utility-*-win64.zip)
echo "setup program: $setup ($(du -k "$setup" | cut -f1) KiB, built with the ZIP in $((SECONDS - start)) s)"
echo "ZIP:           $zip"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$OLDPWD/$zip")
root=$(echo "$scratch"/quillon-utility-*-win64)

status=0
fail() {
    echo "  $*"
    status=1
}

expected=(
    quillon-cli.exe Qt6Core.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll
    Release.txt
)
if [ -e "$build/bin/quillon-utility.exe" ]; then
    expected+=(quillon-utility.exe quillon-station.exe Qt6Gui.dll Qt6Widgets.dll
               platforms/qwindows.dll styles/qwindowsvistastyle.dll)
fi
for file in "${expected[@]}"; do
    if [ -e "$root/$file" ]; then echo "  ok   $file"; else fail "MISSING $file"; fi
done

# DLLs of Windows itself: the system, its C runtime and its API sets. Anything else a program
# imports must come with it.
system_dlls=" advapi32 authz comdlg32 d3d9 d3d11 dwmapi dwrite dxgi gdi32 hid imm32 kernel32
    mpr msvcrt netapi32 ole32 oleaut32 setupapi shcore shell32 shlwapi user32 userenv uxtheme
    version winmm ws2_32 wtsapi32 api-ms-win-core-synch-l1-2-0 api-ms-win-core-winrt-l1-1-0
    api-ms-win-core-winrt-string-l1-1-0 "
system_dlls=$(tr -s ' \n' ' ' <<<"$system_dlls")
# Windows finds a DLL beside the program, so the DLLs there serve the plugins as well.
packaged=" $(cd "$root" && ls -- *.dll | tr 'A-Z' 'a-z' | tr '\n' ' ') "

checked=0
while IFS= read -r -d '' binary; do
    checked=$((checked + 1))
    name=${binary#"$root"/}
    if ! x86_64-w64-mingw32-objdump -f "$binary" | grep -q 'file format pei-x86-64'; then
        fail "$name is not a 64-bit Windows binary"
    fi
    while read -r dll; do
        dll=${dll,,}
        case "$packaged" in *" $dll "*) continue ;; esac
        case "$system_dlls" in *" ${dll%.dll} "*) continue ;; esac
        fail "$name imports $dll, which is neither in the package nor a Windows DLL"
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$root" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
echo "  imports of $checked programs and DLLs resolved"

# Every program and DLL in the package and every one the build made (the test programs too) is
# marked for address-space randomisation with 64-bit (high) entropy, keeps its relocations so
# it can be moved, and is marked for non-executable data (DEP). Qt's and the MinGW runtime's
# DLLs are not built here, but they have the marks as well, so they are held to them too. The
# setup program is NSIS's own stub with the files appended: its marks are only shown.
# Missing marks of a PE file, empty when it has them all: DllCharacteristics 0x20 high-entropy
# VA, 0x40 dynamic base, 0x100 NX compatible.
missing_marks() {
    local header flags missing=()
    header=$(x86_64-w64-mingw32-objdump -p "$1")
    flags=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$header")
    flags=$((16#${flags:-0}))
    (( flags & 0x20 )) || missing+=(high-entropy-VA)
    (( flags & 0x40 )) || missing+=(dynamic-base)
    (( flags & 0x100 )) || missing+=(NX)
    ! grep -q 'relocations stripped' <<<"$header" || missing+=(relocations)
    echo "${missing[*]}"
}
marked=0
while IFS= read -r -d '' binary; do
    marked=$((marked + 1))
    missing=$(missing_marks "$binary")
    [ -z "$missing" ] || fail "${binary#"$root"/} lacks: $missing"
done < <(find "$root" "$build/bin" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
echo "  $marked programs and DLLs (package and build): dynamic base, high-entropy VA, NX"
missing=$(missing_marks "$setup")
echo "  (the setup program, NSIS's stub: ${missing:+lacks }${missing:-all marks})"

if ! x86_64-w64-mingw32-objdump -f "$setup" | grep -q 'file format pei-x86-64'; then
    fail "the setup program is not a 64-bit program"
fi

[ $status -eq 0 ] || { echo "the Windows package is incomplete" >&2; exit 1; }
echo "$setup"
echo "$zip"
