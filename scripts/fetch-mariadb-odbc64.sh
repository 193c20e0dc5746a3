#!/usr/bin/env bash
# Debian's MariaDB ODBC driver cannot be installed for two architectures at
# once; the 32-bit one is installed, and the 64-bit library is unpacked from
# its package into OUT.so for the 64-bit tests. Usage: fetch-mariadb-odbc64.sh OUT.so
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: fetch-mariadb-odbc64.sh OUT.so" 1 1 "$@"
out=$1
[ -f "$out" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -q odbc-mariadb:amd64 >/dev/null 2>&1) ||
    { echo "fetch-mariadb-odbc64.sh: cannot download odbc-mariadb:amd64" >&2; exit 1; }
dpkg-deb -x "$work"/odbc-mariadb_*_amd64.deb "$work/root"
mkdir -p "$(dirname "$out")"
driver=$(find "$work/root" -name libmaodbc.so -print -quit)
[ -n "$driver" ] || { echo "fetch-mariadb-odbc64.sh: no libmaodbc.so in the package" >&2; exit 1; }
cp "$driver" "$out"
