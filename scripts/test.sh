#!/usr/bin/env bash
# Builds Sorvik for 32-bit and 64-bit Windows and runs every test under Wine
# of the same width, on the very builds that the release packs. Installs
# what is missing first, so it runs as root. Arguments go to CTest, which
# reads them as it reads its own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/checkout-path.sh
refuse_bad_checkout_path scripts/test.sh
. scripts/options.sh
usage="usage: scripts/test.sh [CTEST OPTIONS...]   (as root: builds both widths, then runs every test under Wine)"
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    echo "$usage"
    exit 0
fi
# Said before anything is built: another user would get as far as the
# servers, and then every database test would wait out its deadline.
if [ "$(id -u)" -ne 0 ]; then
    echo "scripts/test.sh: needs root, to install what is missing and because its MariaDB test server lets in only the Unix user root; run it as root" >&2
    exit 1
fi
scripts/install-deps.sh
# CTest, installed above, tells which options it takes.
take_ctest_arguments "$usage" "$@"

for preset in mingw-i686 mingw-x86_64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
scripts/build-sqliteodbc.sh i386 build/mingw-i686/bin/libsqlite3odbc.so
scripts/build-sqliteodbc.sh amd64 build/mingw-x86_64/bin/libsqlite3odbc.so
# The release, packed from the builds above, which the tests check as well.
scripts/package.sh >/dev/null

. scripts/wine-env.sh
prefix32="$PWD/build/wine-test"
prefix64="$PWD/build/wine-test64"
cleanup() {
    WINEPREFIX="$prefix32" wineserver -k 2>/dev/null || true
    WINEPREFIX="$prefix64" wineserver -k 2>/dev/null || true
    scripts/db-servers.sh build/db stop || true
}
trap cleanup EXIT

# Debian's driver settings turn psqlODBC's communication log on, which
# leaves a file in /tmp for every connection the tests make: theirs is off.
mkdir -p build/odbc
printf '[PostgreSQL Unicode]\nCommLog=0\n[PostgreSQL ANSI]\nCommLog=0\n' >build/odbc/odbcinst.ini
export ODBCSYSINI="$PWD/build/odbc"

# Private PostgreSQL and MariaDB servers; the tests find them through the
# environment. Stopped on the way out, whatever the outcome. A failure here
# stops the run with the script's own word on what is missing.
scripts/db-servers.sh build/db start
servers_env=$(scripts/db-servers.sh build/db env)
eval "$servers_env"

# A warm wineserver for each prefix, started with its output (and that of
# Wine's background services) away from CTest's pipes, which it would
# otherwise hold open until it exits.
warm_wine() {  # prefix, architecture
    WINEPREFIX=$1 WINEARCH=$2 scripts/wine-prefix.sh "$1" null
    WINEPREFIX=$1 WINEARCH=$2 wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
    WINEPREFIX=$1 WINEARCH=$2 wine cmd /c exit >/dev/null 2>&1 </dev/null
}
warm_wine "$prefix32" win32
warm_wine "$prefix64" win64

# The 64-bit run first, so that the primary 32-bit summary closes the
# output; both run whatever the other's outcome.
status=0
WINEPREFIX64="$prefix64" ctest --preset mingw-x86_64 "${ctest_arguments[@]}" || { status=1; echo "(the 64-bit suite failed; the 32-bit suite follows)"; }
WINEPREFIX="$prefix32" ctest --preset mingw-i686 "${ctest_arguments[@]}" || status=1
exit "$status"
