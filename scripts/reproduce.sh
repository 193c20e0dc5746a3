#!/usr/bin/env bash
# Checks that the release is reproducible: builds the last commit twice,
# from two fresh clones in different folders, one after the other, and
# compares every file of the two dist/ folders byte for byte.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: scripts/reproduce.sh   (two release builds of the last commit, compared; a few minutes)" 0 0 "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

work=$(mktemp -d /tmp/sorvik-reproduce.XXXXXX)
trap 'rm -rf "$work"' EXIT
for clone in first second-at-another-path; do
    git clone -q . "$work/$clone"
    echo "Building the release in $work/$clone ..."
    "$work/$clone/scripts/package.sh" >/dev/null
done
if diff -r "$work/first/dist" "$work/second-at-another-path/dist"; then
    echo "Reproducible: both builds of $(git rev-parse --short HEAD) gave the same bytes:"
    cat "$work/first/dist/SHA256SUMS"
else
    echo "Not reproducible: the builds differ (above)." >&2
    exit 1
fi
