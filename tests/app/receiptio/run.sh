#!/usr/bin/env bash
# receiptio tells a Star printer from an ESC/POS one by the automatic status
# it answers with. Under each Star model, on TCP, it must read the printer as
# online, print its example to success, and read paper out and cover open.
# receiptio comes from npm, as the lock file pins it, into the build folder.
#   run.sh OSTREL_CAPTURE BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
capture="$1"
modules="$2/receiptio-test"
if [ ! -x "$modules/node_modules/.bin/receiptio" ]; then
  mkdir -p "$modules"
  cp "$here/package.json" "$here/package-lock.json" "$modules/"
  (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
fi
receiptio="$modules/node_modules/.bin/receiptio"
example="$modules/node_modules/receiptio/example/example.receipt"

# receiptio always connects to port 9100: the printer listens there on a
# loopback address of this run's own, so that runs side by side never meet.
address="127.$(($$ % 200 + 20)).$((RANDOM % 250 + 1)).1"
work="$(mktemp -d)"
printer=""
trap '[ -z "$printer" ] || kill "$printer" 2>/dev/null; rm -rf "$work"' EXIT

passed=0
failed=0
# check MODEL STATE WANTED RECEIPTIO-ARGUMENTS...
check() {
  local model="$1" state="$2" wanted="$3"
  shift 3
  rm -rf "$work/out" && mkdir "$work/out"
  "$capture" --listen "$address:9100" --printer "$model" ${state:+--state "$state"} --out "$work/out" \
    >"$work/lines" 2>"$work/err" &
  printer=$!
  for _ in $(seq 100); do
    grep -q "listening on" "$work/err" && break
    sleep 0.1
  done
  local said
  said="$(timeout 60 "$receiptio" -d "$address" "$@" 2>&1 | tail -n 1 || true)"
  kill "$printer" 2>/dev/null || true
  wait "$printer" 2>/dev/null || true
  printer=""
  if [ "$said" = "$wanted" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $model ${state:-online}, receiptio $*: '$said', not '$wanted'"
    cat "$work/err" "$work/lines"
  fi
}

models="$("$capture" --printer list | awk '$1 ~ /^star-/ { print $1 }')"
[ -n "$models" ] || { echo "no Star model listed"; exit 1; }
for model in $models; do
  check "$model" "" online -q
  check "$model" "" success "$example"
  check "$model" paper-out paperempty -q
  check "$model" cover-open coveropen -q
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
