#!/usr/bin/env bash
# Takes the documentation's screenshots from the real window under Xvfb, framed by a window
# manager (openbox) as on a desktop, at 96 and 192 dots per inch: the three views, the sort
# question with its plan, a run's report, the undo's question and its reports, the folder
# dialog and the flatten question. Installs xvfb, openbox, xdotool and imagemagick when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
app=$(realpath "${1:-build/app/ordalix}")
out=$(realpath -m docs/screenshots)

if [ "${ORDALIX_SCREEN:-}" != inside ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for package in xvfb openbox xdotool imagemagick; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
                "$package"
    done
    mkdir -p "$out"
    ORDALIX_SCREEN=inside xvfb-run -a -s "-screen 0 2400x1800x24" "$0" "$app"
    ls "$out"
    exit 0
fi

work=$(mktemp -d)
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1

make_folder() {
    rm -rf "$work/Photos" "$work/home"
    mkdir -p "$work/Photos"/{Vacances,Famille,Anniversaire,"Voyage Italie"} "$work/home"
    for i in $(seq -w 1 8); do
        echo "$i" >"$work/Photos/IMG_$i.jpg"
        touch -d "2021-0$((10#$i % 9 + 1))-05" "$work/Photos/IMG_$i.jpg"
    done
    echo x >"$work/Photos/rapport.pdf"
    touch -d 2021-06-05 "$work/Photos/rapport.pdf"
    # Sorted last week: the new one replaces it, and the plan says so.
    mkdir -p "$work/Photos/2021"
    echo ancienne >"$work/Photos/2021/IMG_2.jpg"
}

# The window's id once it is shown; every click is relative to its client area.
window() {
    local id=""
    for _ in $(seq 50); do
        id=$(xdotool search --name "Vermilux" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && break
        sleep 0.2
    done
    echo "$id"
}

session() {
    local scale=$1 tag=$2
    at() { echo $(($1 * scale / 100)) $(($2 * scale / 100)); }
    click() { xdotool mousemove --window "$win" $(at "$1" "$2") click "${3:-1}"; }
    # The window with its frame, or the box in front with its own.
    shoot() { import -frame -window "$win" "$out/$1-$tag.png"; }
    shoot_box() { import -frame -window "$(xdotool getactivewindow)" "$out/$1-$tag.png"; }
    export QT_SCALE_FACTOR=$(awk "BEGIN{print $scale/100}")
    make_folder
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/share" \
        XDG_STATE_HOME="$work/home/state" "$app" "$work/Photos" &
    local pid=$!
    win=$(window)
    sleep 1.5
    shoot sort-files
    click 12 120; sleep 0.5 # the folders
    shoot sort-folders
    click 100 10; sleep 0.5 # DéOrdalix
    shoot flatten
    click 430 250; sleep 1 # its button: the question
    shoot_box flatten-question
    xdotool key Escape; sleep 0.5
    click 30 10; sleep 0.3
    click 12 55; sleep 0.5 # back to the files
    click 437 239; sleep 1 # RANGER: the question, its plan unfolded
    xdotool key Tab space; sleep 0.7
    shoot_box sort-question-details
    xdotool key shift+Tab Return; sleep 2 # OK: the report
    shoot_box sort-report
    xdotool key Return; sleep 0.5
    echo "changée depuis" >>"$work/Photos/2021/IMG_3.jpg" # the undo leaves this one
    click 190 180; sleep 0.3
    xdotool key ctrl+z; sleep 1 # the undo's question
    shoot_box undo-question
    xdotool key Return; sleep 1.5 # its report, the item it left named in its details
    xdotool key Tab space; sleep 0.7
    shoot_box undo-report-left
    xdotool key shift+Tab Return; sleep 0.5
    click 483 353; sleep 1.5 # the folder dialog
    shoot_box folder-dialog
    xdotool key Escape; sleep 0.5
    kill -TERM "$pid"
    wait "$pid" || true
}

session 100 96dpi
session 200 192dpi
