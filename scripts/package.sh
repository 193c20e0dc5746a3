#!/usr/bin/env bash
# Builds the release of this checkout for 32-bit and 64-bit Windows, in the
# builds the tests run (kept between runs), and packs it into dist/: per
# width a zip of the stripped Sorvik.dll, SorvikScan.exe and SorvikHost.exe with the user
# README, LICENSE and CHANGELOG.md, a zip of their debug symbols (found
# through each file's debug link), and SHA256SUMS.
# The same commit gives the same bytes wherever and whenever it is built:
# no time stamp in the programs, build paths mapped away, and file times and
# order in the archives fixed by the commit's time.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: scripts/package.sh   (writes dist/; scripts/reproduce.sh checks that two builds agree)" 0 0 "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

if [ "$(id -u)" -eq 0 ]; then
    scripts/install-deps.sh
fi
version=$(sed -n 's/^project(Sorvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "package.sh: needs a git checkout, whose last commit dates the release" >&2; exit 1; }
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

rm -rf dist
mkdir -p dist
# Left by earlier versions of this script, which built the release apart.
rm -rf build/release-mingw-i686 build/release-mingw-x86_64
for width in 32 64; do
    if [ "$width" = 32 ]; then preset=mingw-i686 triplet=i686-w64-mingw32; else preset=mingw-x86_64 triplet=x86_64-w64-mingw32; fi
    # The builds that the tests run: CMakeLists.txt maps the checkout's
    # paths to "." wherever it lies, so what they make is the release.
    build="build/$preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Sorvik SorvikScan SorvikHost >/dev/null

    name="sorvik-$version-win$width"
    stage="$build/stage"
    rm -rf "$stage"
    mkdir -p "$stage/$name" "$stage/$name-debug"
    for program in Sorvik.dll SorvikScan.exe SorvikHost.exe; do
        "$triplet-objcopy" --only-keep-debug "$build/bin/$program" "$stage/$name-debug/$program.debug"
        # The debug link holds the symbol file's name and checksum, so a
        # debugger finds it beside the program or in its debug folder.
        # objcopy stamps a PE file with SOURCE_DATE_EPOCH, or the time: 0
        # keeps the linker's empty stamp.
        (cd "$stage/$name-debug" &&
            SOURCE_DATE_EPOCH=0 "$triplet-objcopy" --strip-all --add-gnu-debuglink="$program.debug" "$root/$build/bin/$program" \
                "$root/$stage/$name/$program")
    done
    cp docs/user-readme.md "$stage/$name/README.md"
    cp LICENSE CHANGELOG.md "$stage/$name/"

    for folder in "$name" "$name-debug"; do
        find "$stage/$folder" -type f -exec chmod 644 {} + -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
        (cd "$stage" && find "$folder" -type f | sort | zip -X -D -q "$root/dist/$folder.zip" -@)
    done
done
(cd dist && sha256sum -- *.zip >SHA256SUMS)
echo "dist/ holds the release $version:"
ls -l dist
