#!/usr/bin/env bash
# Makes docs/screenshot.png: the dialog after a walk of a small sample tree,
# on a private Xvfb display.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "usage: scripts/screenshot.sh (remakes docs/screenshot.png on a private Xvfb display)" 0 0 "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target ScreenshotDriver

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
. scripts/wine-env.sh
# A prefix of its own: the sample folder it makes and removes is never the user's.
export WINEPREFIX="$PWD/build/wine-screenshot" DISPLAY=$display
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
scripts/wine-prefix.sh "$WINEPREFIX" x11

marker="$PWD/build/screenshot.ready"
rm -f "$marker"
# Short paths, so that all five columns fit; names in other scripts, to show
# that they are drawn.
sample="$WINEPREFIX/drive_c/Data"
rm -rf "$sample"
mkdir -p "$sample/Reports" "$sample/Photos"
printf 'quarterly figures\n' > "$sample/Reports/Q1.txt"
head -c 48213 /dev/zero > "$sample/Reports/報告.xlsx"
head -c 1048576 /dev/zero > "$sample/Photos/harbour.jpg"
head -c 734003 /dev/zero > "$sample/Photos/O'Neil.jpg"
printf 'menu\n' > "$sample/Café ☃.txt"
printf 'read me\n' > "$sample/readme.txt"
chmod 444 "$sample/readme.txt"
wine build/mingw-i686/bin/ScreenshotDriver.exe 'C:\Data' "$(winepath -w "$marker")" &
driver=$!
for _ in $(seq 600); do
    [ -f "$marker" ] && break
    sleep 0.1
done
[ -f "$marker" ] || { echo "screenshot.sh: the walk did not finish" >&2; exit 1; }
import -window root -trim +repage docs/screenshot.png
rm -f "$marker"
wait $driver
rm -rf "$sample"
echo "wrote docs/screenshot.png"
