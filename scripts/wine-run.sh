#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, creating
# the prefix on first use: 32-bit, or 64-bit after --win64. CTest uses this
# as its emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The program's own arguments pass through, options included.
usage="usage: wine-run.sh [--win64] PROGRAM.exe [ARGUMENTS...]"
case "${1:-}" in
    -h | --help) echo "$usage"; exit 0 ;;
    --win64 | [!-]*) ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
. "$here/wine-env.sh"
if [ "${1:-}" = --win64 ]; then
    shift
    export WINEARCH=win64
    export WINEPREFIX="${WINEPREFIX64:-$here/../build/wine-test64}"
else
    export WINEPREFIX="${WINEPREFIX:-$here/../build/wine-test}"
fi
"$here/wine-prefix.sh" "$WINEPREFIX" "${SORVIK_GRAPHICS:-null}"
exec wine "$@"
