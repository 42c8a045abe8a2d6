#!/usr/bin/env bash
# The Windows program used as a user would from a command prompt, under Wine: its version, a
# sort, a flatten, and the system's folders refused. Everything happens in the sandbox's drive.
#   windows-smoke.sh WINE PROGRAM ZROOT (PROGRAM and the work folder lie under ZROOT, Wine's Z:)
set -euo pipefail
wine=$1
program=$2
zroot=$3
dos() { echo "Z:${1#"$zroot"}" | tr / '\\'; }
exe=$(dos "$program")
work="$zroot/smoke"
rm -rf "$work"
mkdir -p "$work/tri" "$work/arbre/a/b"
failures=0
check() { # what, expected status, actual status, output, expected text
    if [ "$2" -ne "$3" ] || ! grep -qF -- "$5" <<<"$4"; then
        echo "ÉCHEC : $1 (statut $3, attendu $2)"
        echo "$4" | sed 's/^/  /'
        failures=$((failures + 1))
    else
        echo "ok : $1"
    fi
}
run() { "$wine" "$exe" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

status=0; out=$(run --version) || status=$?
check "--version" 0 "$status" "$out" "ordalix "

for name in b.txt a.jpg Été.png 2.doc; do echo "$name" >"$work/tri/$name"; done
status=0; out=$(run --fichiers --criteres lettre "$(dos "$work/tri")") || status=$?
check "tri par lettre" 0 "$status" "$out" "4 fichier(s) rangé(s), 0 ignoré(s), 0 laissé(s) en place"
for expected in b/b.txt a/a.jpg É/Été.png 2/2.doc; do
    [ -f "$work/tri/$expected" ] || { echo "ÉCHEC : $expected absent"; failures=$((failures + 1)); }
done
[ -z "$(find "$work/tri" -maxdepth 1 -type f)" ] || { echo "ÉCHEC : originaux restés"; failures=$((failures + 1)); }

echo x >"$work/arbre/a/x.txt"
echo y >"$work/arbre/a/b/y.txt"
status=0; out=$(run --aplatir "$(dos "$work/arbre")") || status=$?
check "aplatissement" 0 "$status" "$out" "2 fichier(s) présent(s) ou ramené(s)"
[ -f "$work/arbre/x.txt" ] && [ -f "$work/arbre/y.txt" ] || { echo "ÉCHEC : fichiers non ramenés"; failures=$((failures + 1)); }

for folder in 'C:\' 'C:\windows\system32' 'C:\Program Files' 'C:\ProgramData'; do
    status=0; out=$(run --fichiers --criteres annee "$folder") || status=$?
    check "refus de $folder" 2 "$status" "$out" "appartient au système"
done

echo "windows-smoke: $failures échec(s)"
[ "$failures" -eq 0 ]
