#!/usr/bin/env bash
# Creates a Wine prefix once, of the architecture WINEARCH names (32-bit
# unless it says win64). Usage: wine-prefix.sh DIR [null|x11]
# "null" selects Wine's null graphics driver, so dialogs run with no X server.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: wine-prefix.sh DIR [null|x11]" 1 2 "$@"
prefix=$1
graphics=${2:-null}
# Named after what the set-up does, so that a prefix made by an older one
# is set up again.
stamp="$prefix/.sorvik-$graphics-fontlink-nocrashdebugger-bothviews"

# This Wine does not load the TrueType fonts of its own data folder (from
# fonts-wine); without Marlett the caption buttons show letters. Fonts in
# the prefix's Fonts folder are loaded. Also done for prefixes made before.
# Wine's own fonts cover no CJK script and no emoji: file names in them
# showed as boxes. Droid Sans Fallback and Symbola cover them, and are
# linked to the dialog's font below.
copy_fonts() {
    local fonts
    fonts=$(dpkg -L fonts-wine fonts-droid-fallback fonts-symbola 2>/dev/null |
        grep -E '(/wine/fonts/.*|/DroidSansFallbackFull|/Symbola_hint)\.ttf$' || true)
    [ -z "$fonts" ] || cp -n $fonts "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
}
if [ -f "$stamp" ]; then
    copy_fonts
    exit 0
fi

arch=${WINEARCH:-win32}
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
export WINEPREFIX="$prefix" WINEARCH="$arch"
new_prefix=false
[ -e "$prefix/system.reg" ] || new_prefix=true
mkdir -p "$prefix"
# wineboot would otherwise offer to install Mono and Gecko, which nothing here needs.
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
copy_fonts
# Glyphs that the dialog's font (MS Shell Dlg, which is Tahoma) lacks are
# taken from the linked fonts, in this order.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma /t REG_MULTI_SZ \
    /d 'DroidSansFallbackFull.ttf,Droid Sans Fallback\0Symbola_hint.ttf,Symbola' /f >/dev/null 2>&1
if [ "$graphics" = null ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # No debugger for a crash where nobody looks: it would hold the program
    # until a time-out, and stay behind. Without a Debugger value Wine
    # starts winedbg all the same, so the value names a program that does
    # not exist: the crashed program then ends at once with its exception
    # code. A 64-bit prefix has a view for each width, and "wine reg" runs
    # the 32-bit reg.exe, whose writes all land in the 32-bit view unless
    # /reg:64 names the other.
    views=(32)
    [ "$arch" = win32 ] || views+=(64)
    for view in "${views[@]}"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
            /d 'sorvik-no-debugger %ld %ld' /f "/reg:$view" >/dev/null 2>&1 || true
    done
else
    # Without a window manager, destroying a managed window waits for it.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
# A new prefix is written out before its stamp. An older one may have a
# persistent wineserver (wineserver -p), which -w would wait for without
# end; the server writes the changes out itself.
if $new_prefix; then
    wineserver -w
fi
touch "$stamp"
