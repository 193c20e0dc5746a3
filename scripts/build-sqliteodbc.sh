#!/usr/bin/env bash
# Builds the SQLite3 ODBC driver from Debian's source package with its
# wide-character interface, which Debian's own build leaves out: without it
# the driver manager narrows every statement and mangles characters outside
# the Basic Multilingual Plane. The patches in scripts/patches/sqliteodbc-*
# are applied; each says what it mends.
# Usage: build-sqliteodbc.sh i386|amd64 OUT.so
# The source and each architecture's driver are kept in build/sqliteodbc,
# the driver under a name that changes with the patches.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: build-sqliteodbc.sh i386|amd64 OUT.so" 2 2 "$@"
arch=$1
out=$2

case "$arch" in
    i386) host=i686-linux-gnu ;;
    amd64) host=x86_64-linux-gnu ;;
    *) echo "build-sqliteodbc.sh: unknown architecture $arch" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work="$here/../build/sqliteodbc"
patches=("$here"/patches/sqliteodbc-*.patch)
built="$work/libsqlite3odbc-$arch-$(cat "${patches[@]}" | sha256sum | cut -c1-12).so"
mkdir -p "$work" "$(dirname "$out")"
if [ -f "$built" ]; then
    cmp -s "$built" "$out" || cp "$built" "$out"
    exit 0
fi
"$here/fetch-source.sh" sqliteodbc "$work"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'sqliteodbc-[0-9]*' | head -n 1)
[ -n "$src" ] || { echo "build-sqliteodbc.sh: no source in $work" >&2; exit 1; }

# Built in a folder of its own under the system's temporary folder: the
# configure script breaks on a quote in the path of the folder it runs in.
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
cp -a "$src/." "$build"
(
    cd "$build"
    # configure also writes upstream's packaging files, whose template
    # Debian's packaging replaced.
    mkdir -p debian && touch debian/changelog.in
    for p in "${patches[@]}"; do patch -p1 --quiet <"$p"; done
    CC="$host-gcc" ./configure --host="$host" --enable-winterface --disable-static >configure.log 2>&1 ||
        { tail -n 20 configure.log >&2; exit 1; }
    make libsqlite3odbc.la >make.log 2>&1 || { tail -n 20 make.log >&2; exit 1; }
)
cp "$build"/.libs/libsqlite3odbc-*.so "$built"
cp "$built" "$out"
echo "built the wide-character SQLite3 ODBC driver for $arch"
