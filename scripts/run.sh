#!/usr/bin/env bash
# Builds Sorvik and starts the sample host under Wine on your display, with the
# embedded SQLite database beside it. Options go to the host (see --help).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/checkout-path.sh
refuse_bad_checkout_path scripts/run.sh

# What the host does not take is refused before anything is built.
bad_options() {
    echo "usage: scripts/run.sh [--database \"ODBC CONNECTION STRING\" | --no-database | --help]" >&2
    exit 2
}
value_next=false
for arg in "$@"; do
    if $value_next; then
        value_next=false
        continue
    fi
    case "$arg" in
        --database) value_next=true ;;
        --no-database | --help) ;;
        *) bad_options ;;
    esac
done
! $value_next || bad_options

if [ "$(id -u)" -eq 0 ]; then
    scripts/install-deps.sh
fi

# Its own exit code, apart from the host's (see the README). --help needs
# no display.
if [[ " $* " != *" --help "* ]] && { [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; }; then
    echo "run.sh: no X display is reachable (DISPLAY='${DISPLAY:-}'). Run it in a desktop session, or over ssh -X from one; scripts/test.sh runs everything without a display." >&2
    exit 5
fi

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target SorvikHost
scripts/build-sqliteodbc.sh i386 build/mingw-i686/bin/libsqlite3odbc.so

. scripts/wine-env.sh
export WINEPREFIX="$PWD/build/wine-run"
scripts/wine-prefix.sh "$WINEPREFIX" x11
exec wine build/mingw-i686/bin/SorvikHost.exe "$@"
