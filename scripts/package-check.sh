#!/usr/bin/env bash
# Checks the desktop files, builds the package, installs it on this machine, starts the
# installed program headless on a folder and closes it, runs the installed command without a
# display and checks its timer units, then removes the package.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
for package in desktop-file-utils appstream lintian; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$package"
done

echo "== Desktop entry and metainfo"
desktop-file-validate packaging/ordalix.desktop
appstreamcli validate --no-net --pedantic packaging/io.github.ordalix.Ordalix.metainfo.xml

echo "== Package"
deb=$(scripts/package.sh | tail -n 1)
# Debian's own checker: no error and no warning (its notes about running as root aside).
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2> >(grep -v "root privileges" >&2)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$deb"
test -x /usr/bin/ordalix
test -f /usr/share/applications/ordalix.desktop
test -f /usr/share/icons/hicolor/scalable/apps/ordalix.svg
test -f /usr/share/man/man1/ordalix.1*

echo "== Installed program, headless, on a folder"
home=$(mktemp -d)
folder=$(mktemp -d)
touch "$folder/photo.jpg"
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    QT_QPA_PLATFORM=offscreen /usr/bin/ordalix "$folder" &
pid=$!
sleep 3
kill -TERM "$pid"
wait "$pid"
tr -d '\r' <"$folder/OrdalixParDate.INI" | grep -qx "DOSSIER=$folder"
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    QT_QPA_PLATFORM=offscreen /usr/bin/ordalix &
pid=$!
sleep 3
kill -TERM "$pid"
wait "$pid"
test -f "$home/.config/ordalix/ordalix.INI"
test ! -e /usr/bin/ordalix.INI
echo "installed program started and closed; settings in $folder and in the user's folder"

echo "== Installed command, without a display"
test -f /usr/lib/systemd/user/ordalix-ranger@.service
test -f /usr/lib/systemd/user/ordalix-ranger@.timer
units=$(mktemp -d)
instance=$(systemd-escape --path "$folder")
cp /usr/lib/systemd/user/ordalix-ranger@.service "$units/ordalix-ranger@$instance.service"
cp /usr/lib/systemd/user/ordalix-ranger@.timer "$units/ordalix-ranger@$instance.timer"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify --man=no "$units"/*
fi
grep -qx "ExecStart=/usr/bin/ordalix --fichiers \$ORDALIX_OPTIONS %f" "$units"/*.service
rm -rf "$units"
touch -d 2024-03-09 "$folder/photo.jpg"
command=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home"
    XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state" /usr/bin/ordalix)
# Read whole before they are searched: grep -q would stop reading, and the pipe fail.
version=$("${command[@]}" --version)
[[ "$version" == "ordalix "* ]]
plan=$("${command[@]}" --fichiers --criteres annee,mois --simulation "$folder")
grep -q "photo.jpg → 2024/03" <<<"$plan"
"${command[@]}" --fichiers --criteres annee,mois "$folder"
test -f "$folder/2024/03/photo.jpg"
"${command[@]}" --annuler "$folder"
test -f "$folder/photo.jpg" && test ! -e "$folder/2024"
echo "installed command sorted, showed its plan and undid a run without a display"

DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq ordalix
test ! -e /usr/bin/ordalix
rm -rf "$home" "$folder"
echo "package installed, run and removed"
