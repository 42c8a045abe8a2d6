#!/usr/bin/env bash
# Takes the documentation's screenshots from the real window under Xvfb, at 96 and 144 dots per
# inch: both tabs, a sort in progress, and the dialogs. Needs xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
app=${1:-build/app/ordalix}
out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_folder() {
    rm -rf "$work/Photos"
    mkdir -p "$work/Photos"/{Vacances,Famille,Anniversaire,"Voyage Italie"}
    for i in $(seq -w 1 ${1:-8}); do
        echo "$i" >"$work/Photos/IMG_$i.jpg"
        touch -d "2021-0$((10#$i % 9 + 1))-05" "$work/Photos/IMG_$i.jpg"
    done
    echo x >"$work/Photos/rapport.pdf"
}

shoot() { import -window root -crop "$2" "$out/$1.png"; }

session() {
    local scale=$1 tag=$2
    local w=$((800 * scale / 100)) h=$((560 * scale / 100))
    at() { echo $(($1 * scale / 100)) $(($2 * scale / 100)); }
    export QT_SCALE_FACTOR=$(awk "BEGIN{print $scale/100}")
    make_folder 8
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/share" \
        XDG_STATE_HOME="$work/home/state" "$app" "$work/Photos" &
    local pid=$!
    sleep 2
    shoot "sort-files-$tag" "${w}x${h}+0+0"
    xdotool mousemove $(at 16 115) click 1; sleep 0.5
    shoot "sort-folders-$tag" "${w}x${h}+0+0"
    xdotool mousemove $(at 100 12) click 1; sleep 0.5
    shoot "flatten-$tag" "${w}x${h}+0+0"
    xdotool mousemove $(at 430 250) click 1; sleep 1 # DéOrdalix !: its question
    shoot "flatten-question-$tag" "1024x768+0+0"
    xdotool key Escape; sleep 0.5
    xdotool mousemove $(at 50 12) click 1; sleep 0.3
    xdotool mousemove $(at 16 50) click 1; sleep 0.5 # back to the files
    xdotool mousemove $(at 430 240) click 1; sleep 1 # RANGER: its question
    shoot "sort-question-$tag" "1024x768+0+0"
    xdotool key Return; sleep 2 # the report
    shoot "sort-report-$tag" "1024x768+0+0"
    xdotool key Return; sleep 0.5
    xdotool mousemove $(at 485 354) click 1; sleep 1.5 # the folder dialog
    shoot "folder-dialog-$tag" "1024x768+0+0"
    xdotool key Escape; sleep 0.5
    kill -TERM "$pid"; wait "$pid" || true

    make_folder 8 # and many more, so that the run lasts long enough to be seen
    (cd "$work/Photos" && seq -f 'DSC_%05g.jpg' 1 40000 | xargs touch)
    "$app" "$work/Photos" &
    pid=$!
    sleep 3
    xdotool mousemove $(at 430 240) click 1; sleep 1
    xdotool key Return; sleep 1.5
    shoot "sort-running-$tag" "${w}x${h}+0+0"
    xdotool key q; sleep 1 # a key stops the run
    shoot "sort-interrupted-$tag" "1024x768+0+0"
    xdotool key Return; sleep 0.5
    kill -TERM "$pid"; wait "$pid" || true
}

if [ "${ORDALIX_SCREEN:-}" != inside ]; then
    ORDALIX_SCREEN=inside xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$app"
    ls "$out"
    exit 0
fi
session 100 96dpi
session 150 144dpi
