#!/usr/bin/env bash
# Downloads and unpacks a Debian source package into DIR, through a private
# apt configuration that adds the source index of the machine's own Debian
# release without touching the system's. Usage: fetch-source.sh PACKAGE DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: fetch-source.sh PACKAGE DIR" 2 2 "$@"
package=$1
dir=$(cd "$2" && pwd)
ls "$dir"/"$package"_*.dsc >/dev/null 2>&1 && exit 0

. /etc/os-release
apt="$dir/apt"
mkdir -p "$apt/lists/partial"
echo "deb-src http://deb.debian.org/debian $VERSION_CODENAME main" >"$apt/sources.list"
options=(-o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=- -o Dir::State::Lists="$apt/lists")
apt-get "${options[@]}" update -q >"$apt/update.log" 2>&1 || { tail -n 5 "$apt/update.log" >&2; exit 1; }
(cd "$dir" && apt-get "${options[@]}" source -q "$package" >"$apt/source.log" 2>&1) ||
    { tail -n 5 "$apt/source.log" >&2; exit 1; }
