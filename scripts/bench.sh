#!/usr/bin/env bash
# Builds and runs the walk benchmark under Wine; prints its figures.
# Usage: scripts/bench.sh [FILES]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target WalkBenchmark >/dev/null
scripts/build-sqliteodbc.sh i386 build/mingw-i686/bin/libsqlite3odbc.so
TZ=UTC scripts/wine-run.sh build/mingw-i686/bin/WalkBenchmark.exe "$@"
