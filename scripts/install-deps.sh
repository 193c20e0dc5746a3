#!/usr/bin/env bash
# Installs everything the build, the tests and the sample host need on a fresh
# Debian 12 machine. Safe to run again: it only installs what is missing.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: scripts/install-deps.sh (as root; installs only what is missing)" 0 0 "$@"

# Every package that exists for both architectures is named with its
# architecture: asked without one, dpkg answers "installed" for either half.
native=$(dpkg --print-architecture)
packages=(
    cmake ninja-build
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    googletest
    wine wine32:i386 "wine64:$native" fonts-wine
    libodbc2:i386 libsqliteodbc:i386 "odbcinst:$native" unixodbc-common "libodbc2:$native"
    # odbc-mariadb cannot be installed for both widths: the 64-bit library is
    # unpacked for the tests by fetch-mariadb-odbc64.sh.
    odbc-postgresql:i386 odbc-mariadb:i386 "odbc-postgresql:$native" "libmariadb3:$native" "libodbcinst2:$native"
    postgresql mariadb-server mariadb-client sqlite3 procps
    # The console tests read its listings back with standard parsers.
    python3
    # The wide-character SQLite driver, built from Debian's source package
    # for both widths.
    dpkg-dev patch gcc-i686-linux-gnu libsqlite3-dev:i386 unixodbc-dev:i386 gcc "libsqlite3-dev:$native"
    "unixodbc-dev:$native"
    xvfb xauth x11-apps x11-utils imagemagick
    # The fleet benchmark's server certificate.
    openssl
    # The release archives.
    zip unzip
    # Fonts for the scripts that Wine's own fonts lack (CJK, emoji).
    fonts-droid-fallback fonts-symbola
)

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
