#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine in the project's test prefix,
# creating the prefix on first use. CTest uses this as its emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
export WINEPREFIX="${WINEPREFIX:-$here/../build/wine-test}"
"$here/wine-prefix.sh" "$WINEPREFIX" "${SORVIK_GRAPHICS:-null}"
exec wine "$@"
