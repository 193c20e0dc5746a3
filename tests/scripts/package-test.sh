#!/usr/bin/env bash
# What scripts/package.sh made in dist/, checked where it is cheap to check:
# each archive's contents, the sums, and in each program no time stamp, no
# build path, a debug link to its symbols, and imports of system DLLs only
# (with the one export); and the resource tests of one width's build on
# that width's release DLL.
# Usage: package-test.sh SOURCE-DIR PLUGIN-TESTS.exe 32|64
set -uo pipefail
root=$1
resource_tests=$2
tested_width=$3
dist="$root/dist"
version=$(sed -n 's/^project(Sorvik VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -f "$dist/SHA256SUMS" ] || { echo "no release in $dist: scripts/package.sh makes it"; exit 1; }
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

listing() {  # archive, expected names...
    local archive=$1
    shift
    [ "$(unzip -Z1 "$dist/$archive")" = "$(printf '%s\n' "$@")" ]
}
no_time_stamp() { [[ "$("$1" -p "$2")" == *$'\nTime/Date\t\tThu Jan  1 00:00:00 1970\n'* ]]; }
# The manifest, resource 1, lets Windows hand the program plain paths past MAX_PATH.
long_path_aware() {  # objdump, program
    "${1%objdump}windres" -i "$2" -O rc | sed -n '/^1 24 /,/^END/p' |
        grep -qF 'longPathAware xmlns=""http://schemas.microsoft.com/SMI/2016/WindowsSettings"">true<'
}
# The checkout as named and, reached through a link, as the system resolves it.
no_build_path() { ! grep -qF -e "$root" -e "$(cd "$root" && pwd -P)" "$1"; }
links_debug() {  # objdump, program
    "${1%objdump}objcopy" --dump-section .gnu_debuglink="$work/link" "$2" "$work/copy" &&
        grep -qaF "$(basename "$2").debug" "$work/link"
}

check "SHA256SUMS matches every archive" bash -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS' - "$dist"
for width in 32 64; do
    name="sorvik-$version-win$width"
    objdump=i686-w64-mingw32-objdump
    [ "$width" = 32 ] || objdump=x86_64-w64-mingw32-objdump
    check "$name.zip holds the release" listing "$name.zip" "$name/CHANGELOG.md" "$name/LICENSE" "$name/README.md" \
        "$name/Sorvik.dll" "$name/SorvikHost.exe" "$name/SorvikScan.exe"
    check "$name-debug.zip holds the symbols" listing "$name-debug.zip" "$name-debug/Sorvik.dll.debug" \
        "$name-debug/SorvikHost.exe.debug" "$name-debug/SorvikScan.exe.debug"
    unzip -q "$dist/$name.zip" -d "$work" && unzip -q "$dist/$name-debug.zip" -d "$work"
    for program in "$work/$name/Sorvik.dll" "$work/$name/SorvikHost.exe" "$work/$name/SorvikScan.exe"; do
        check "$program has no time stamp" no_time_stamp "$objdump" "$program"
        check "$program links its debug symbols" links_debug "$objdump" "$program"
    done
    for file in "$work/$name"/* "$work/$name-debug"/*; do
        check "$file names no build path" no_build_path "$file"
    done
    check "the $width-bit DLL exports GetPluginInterface and imports system DLLs only" \
        cmake -DOBJDUMP="$objdump" -DDLL="$work/$name/Sorvik.dll" -P "$root/tests/plugin/CheckDllBinary.cmake"
    check "the $width-bit SorvikScan.exe imports system DLLs only" \
        cmake -DOBJDUMP="$objdump" -DDLL="$work/$name/SorvikScan.exe" -DEXPORTS= -P "$root/tests/plugin/CheckDllBinary.cmake"
    check "the $width-bit SorvikScan.exe declares long paths" long_path_aware "$objdump" "$work/$name/SorvikScan.exe"
    if [ "$width" = "$tested_width" ]; then
        cp "$resource_tests" "$work/$name/"
        wine=("$root/scripts/wine-run.sh")
        [ "$width" = 32 ] || wine+=(--win64)
        check "the $width-bit release DLL passes the resource tests" \
            "${wine[@]}" "$work/$name/$(basename "$resource_tests")" --gtest_filter='ModuleResources.*'
    fi
done

finish
