#!/usr/bin/env bash
# Builds Sorvik and runs every test under Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [ "$(id -u)" -eq 0 ]; then
    scripts/install-deps.sh
fi

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686
# The same sources for 64-bit Windows must build too (warnings are errors).
cmake --preset mingw-x86_64 >/dev/null
cmake --build --preset mingw-x86_64
scripts/build-sqliteodbc.sh i386 build/mingw-i686/bin/libsqlite3odbc.so

. scripts/wine-env.sh
export WINEPREFIX="$PWD/build/wine-test"
cleanup() {
    wineserver -k 2>/dev/null || true
    scripts/db-servers.sh build/db stop || true
}
trap cleanup EXIT

# Private PostgreSQL and MariaDB servers; the tests find them through the
# environment. Stopped by process id on the way out, whatever the outcome.
scripts/db-servers.sh build/db start
eval "$(scripts/db-servers.sh build/db env)"

# A warm wineserver for the whole run, started with its output (and that of
# Wine's background services) away from CTest's pipes, which it would
# otherwise hold open until it exits.
scripts/wine-prefix.sh "$WINEPREFIX" null
wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
wine cmd /c exit >/dev/null 2>&1 </dev/null

ctest --preset mingw-i686 "$@"
