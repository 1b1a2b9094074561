#!/usr/bin/env bash
# Runs the README's CI recipe as it stands, in a folder of its own, with the
# programs built here on PATH: a job sent, taken and compared the same; then
# the same recipe with no job sent must end with status 4.
# Usage: check_readme_recipe.sh README PROGRAM_FOLDER
set -euo pipefail
readme="$1"
export PATH="$2:$PATH"
recipe="$(awk '/^<!-- ci-recipe -->/{f=1; next} f && /^```$/{if (in_block) exit; in_block=1; next} in_block' "$readme")"
[ -n "$recipe" ] || { echo "no recipe found in $readme"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '\x1b@Quick start\n\x1dV\x00' > golden.bin
cp golden.bin job.bin
bash -euo pipefail -c "$recipe" > out.txt 2>&1 || { cat out.txt; echo "the recipe failed"; exit 1; }
grep -q '^same: ' out.txt || { cat out.txt; echo "no 'same' from the compare"; exit 1; }
# Without a job it must fail with 4, and soon: the timeout is cut short here.
rm -rf jobs ready
missing="$(printf '%s\n' "$recipe" | sed -e 's/--timeout 60/--timeout 1/' -e '/ostrel-send/d' -e '/ostrel-replay/d')"
status=0
bash -euo pipefail -c "$missing" > out.txt 2>&1 || status=$?
[ "$status" -eq 4 ] || { cat out.txt; echo "expected exit status 4 without a job, got $status"; exit 1; }
echo "the README's CI recipe works as written"
