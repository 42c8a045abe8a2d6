#!/usr/bin/env bash
# The installer as a Windows user meets it, under Wine: a silent install, then what it left (the
# program, the Start menu's shortcut, the folder menu's keys, the installed programs' entry),
# the installed program's answer and a sort through it, then a silent removal, which takes all
# that away and leaves the user's settings.
#   windows-install-check.sh WINE SETUP ZROOT (SETUP lies under ZROOT, Wine's Z:)
set -euo pipefail
wine=$1
setup=$2
zroot=$3
dos() { echo "Z:${1#"$zroot"}" | tr / '\\'; }
drive_c="$WINEPREFIX/drive_c"
user=$(ls "$drive_c/users" | grep -vx Public | head -1)
local_appdata="$drive_c/users/$user/AppData/Local"
roaming="$drive_c/users/$user/AppData/Roaming"
installed="$local_appdata/Programs/Ordalix"
shortcut="$roaming/Microsoft/Windows/Start Menu/Programs/Ordalix.lnk"
keys=('HKCU\Software\Classes\Directory\shell\Ordalix\command'
    'HKCU\Software\Classes\Directory\Background\shell\Ordalix\command'
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ordalix')
failures=0
fail() { echo "ÉCHEC : $*"; failures=$((failures + 1)); }
ok() { echo "ok : $*"; }
query() { "$wine" reg query "$1" "${@:2}" 2>/dev/null | tr -d '\r'; }

"$wine" "$(dos "$setup")" /S
[ -f "$installed/ordalix.exe" ] && ok "programme installé" || fail "pas de $installed/ordalix.exe"
[ -f "$installed/uninstall.exe" ] && ok "désinstalleur" || fail "pas de désinstalleur"
[ -f "$shortcut" ] && ok "raccourci du menu Démarrer" || fail "pas de raccourci"
command=$(query "${keys[0]}" /ve)
grep -qF '\ordalix.exe" "%1"' <<<"$command" && ok "menu des dossiers" || fail "menu des dossiers : $command"
command=$(query "${keys[1]}" /ve)
grep -qF '\ordalix.exe" "%V"' <<<"$command" && ok "menu du fond d'un dossier" || fail "menu du fond : $command"
label=$(query 'HKCU\Software\Classes\Directory\shell\Ordalix' /ve)
grep -qF 'Ranger avec Ordalix' <<<"$label" && ok "libellé du menu" || fail "libellé : $label"
entry=$(query "${keys[2]}")
for value in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize UninstallString \
    QuietUninstallString; do
    grep -q "^ *$value " <<<"$entry" && ok "programmes installés : $value" || fail "pas de $value"
done

version=$("$wine" "$installed/ordalix.exe" --version 2>&1 | tr -d '\r' || true)
grep -q '^ordalix [0-9]' <<<"$version" && ok "--version : $version" || fail "--version : $version"

work="$drive_c/users/$user/rangement"
rm -rf "$work"
mkdir -p "$work"
for name in a.txt b.jpg; do echo "$name" >"$work/$name"; done
touch -d 2021-03-05T10:00 "$work/a.txt" "$work/b.jpg"
out=$("$wine" "$installed/ordalix.exe" -f -c A "C:\\users\\$user\\rangement" 2>&1 | tr -d '\r' || true)
[ -f "$work/2021/a.txt" ] && [ -f "$work/2021/b.jpg" ] && ok "rangement par le programme installé" ||
    fail "rangement : $out"

# What belongs to the user: the settings an installed copy keeps in the roaming profile, and
# the run records the sort above left in the local one.
mkdir -p "$roaming/Ordalix"
echo '[OPTIONS]' >"$roaming/Ordalix/ordalix.INI"
"$wine" "$installed/uninstall.exe" /S
# The uninstaller goes on from a copy of itself in the temporary folder: wait for that copy.
for _ in $(seq 120); do
    pgrep -f 'Au_\.exe' >/dev/null || [ -e "$installed/uninstall.exe" ] || break
    sleep 0.5
done
[ ! -e "$installed/ordalix.exe" ] && [ ! -e "$installed/uninstall.exe" ] && ok "programme retiré" ||
    fail "fichiers restés : $(ls "$installed" 2>/dev/null)"
[ ! -e "$shortcut" ] && ok "raccourci retiré" || fail "raccourci resté"
for key in "${keys[@]}"; do
    if query "$key" >/dev/null; then fail "clé restée : $key"; else ok "clé retirée : $key"; fi
done
[ -f "$roaming/Ordalix/ordalix.INI" ] && ok "réglages de l'utilisateur gardés" || fail "réglages perdus"
ls "$local_appdata/Ordalix/"*.log >/dev/null 2>&1 && ok "journaux d'annulation gardés" ||
    fail "journaux d'annulation perdus"

echo "windows-install-check: $failures échec(s)"
[ "$failures" -eq 0 ]
