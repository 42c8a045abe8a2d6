#!/usr/bin/env bash
# Screenshots of the Windows program's three views, under Wine with Qt's real Windows platform
# on Xvfb, framed by a window manager: docs/screenshots/windows-*.png. Wine gets a prefix of its
# own whose drive Z: is a scratch folder holding the program and a folder of photos, nothing else.
#   scripts/screenshots-windows.sh [build-winapp/app/ordalix.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
app=$(realpath "${1:-build-winapp/app/ordalix.exe}")
out=$(realpath -m docs/screenshots)

if [ "${ORDALIX_SCREEN:-}" != inside ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for package in xvfb openbox xdotool imagemagick wine64; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
                "$package"
    done
    mkdir -p "$out"
    ORDALIX_SCREEN=inside xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$app"
    ls "$out"/windows-*
    exit 0
fi

scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
mkdir -p "$HOME" "$scratch/z/Programme"
openbox >/dev/null 2>&1 &
wm=$!
trap '"$wineserver" -k 2>/dev/null || true; kill $wm 2>/dev/null || true; rm -rf "$scratch"' EXIT
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
rm "$WINEPREFIX/dosdevices/z:"
ln -s "$scratch/z" "$WINEPREFIX/dosdevices/z:"

cp "$app" "$scratch/z/Programme/ordalix.exe"
photos="$scratch/z/Photos"
mkdir -p "$photos"/{Vacances,Famille,Anniversaire,"Voyage Italie"}
for i in $(seq -w 1 8); do
    echo "$i" >"$photos/IMG_$i.jpg"
    touch -d "2021-0$((10#$i % 9 + 1))-05" "$photos/IMG_$i.jpg"
done
echo x >"$photos/rapport.pdf"

"$wine" 'Z:\Programme\ordalix.exe' 'Z:\Photos' >/dev/null 2>&1 &
win=""
for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name "Ordalix|Vermilux" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.3
done
[ -n "$win" ] || { echo "La fenêtre ne s'est pas ouverte" >&2; exit 1; }
sleep 3
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
shoot() { import -frame -window "$win" "$out/windows-$1.png"; }
shoot sort-files
click 12 120; sleep 1 # the folders
shoot sort-folders
click 100 10; sleep 1 # the flatten
shoot flatten
