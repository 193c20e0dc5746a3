#!/usr/bin/env bash
# Builds the benchmark and prints Sorvik's costs beside bare loops making the
# same platform calls, on trees generated outside the repository (up to a
# million files; they are removed afterwards).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: scripts/bench.sh (a few minutes; trees of up to a million files under /tmp)" 0 0 "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/bench-trees.sh
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target WalkBenchmark >/dev/null
scripts/build-sqliteodbc.sh i386 build/mingw-i686/bin/libsqlite3odbc.so

trees=$(mktemp -d /tmp/sorvik-bench.XXXXXX)
trap 'rm -rf "$trees"' EXIT
echo "Making the trees in $trees ..."
make_tree "$trees/walk" 1000 100
make_tree "$trees/small" 100 100
make_tree "$trees/owner" 20 100
make_tree "$trees/list" 2 100
make_tree "$trees/large" 10000 100
# Files with content for the hash: 64 KiB each, 64 MiB in all.
make_tree "$trees/hash" 10 100
head -c 65536 /dev/urandom >"$trees/content"
for file in "$trees"/hash/*/*; do cp "$trees/content" "$file"; done

# Standard error through a pipe, not a terminal: SorvikScan's site draws its
# progress line only on a console, and it would land across the table.
TZ=UTC scripts/wine-run.sh build/mingw-i686/bin/WalkBenchmark.exe "$(windows "$trees/walk")" \
    "$(windows "$trees/small")" "$(windows "$trees/owner")" "$(windows "$trees/list")" "$(windows "$trees/large")" \
    "$(windows "$trees/hash")" \
    2> >(cat >&2)
