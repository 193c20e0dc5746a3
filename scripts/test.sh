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

# A warm wineserver for the whole run, started with its output (and that of
# Wine's background services) away from CTest's pipes, which it would
# otherwise hold open until it exits.
export WINEPREFIX="$PWD/build/wine-test" WINEARCH=win32 WINEDEBUG=-all
scripts/wine-prefix.sh "$WINEPREFIX" null
wineserver -p >/dev/null 2>&1 </dev/null || true  # already running is fine
wine cmd /c exit >/dev/null 2>&1 </dev/null
trap 'wineserver -k 2>/dev/null || true' EXIT

ctest --preset mingw-i686 "$@"
