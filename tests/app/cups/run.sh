#!/usr/bin/env bash
# CUPS prints to the stand-in as to a real printer. First CUPS's own lpd
# backend, run by hand as cupsd would run it: the control file first, the data
# file first, and streamed; then a cupsd of this run's own (its own folder and
# socket) with a raw queue on lpd:// and another on socket://, fed by lp.
# Each job must arrive byte for byte, one job each, with its job name.
#   run.sh OSTREL_CAPTURE
set -euo pipefail
capture="$1"
backends=/usr/lib/cups/backend
[ -x "$backends/lpd" ] || { echo "CUPS's lpd backend is missing: install Debian's cups (scripts/test does)"; exit 1; }

work="$(mktemp -d)"
chmod 755 "$work" # cupsd's backends that run as lp read the jobs in it
printer=""
cupsd=""
trap '[ -z "$printer" ] || kill "$printer" 2>/dev/null; [ -z "$cupsd" ] || kill "$cupsd" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/out"
"$capture" --lpd 127.0.0.1:0 --listen 127.0.0.1:0 --out "$work/out" >"$work/lines" 2>"$work/err" &
printer=$!
for _ in $(seq 100); do
  grep -q "listening for LPD" "$work/err" && break
  sleep 0.1
done
lpd_port="$(sed -n 's/.*listening for LPD on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/err")"
tcp_port="$(sed -n 's/.*: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/err")"
[ -n "$lpd_port" ] && [ -n "$tcp_port" ] || { cat "$work/err"; exit 1; }

# Every byte value, then enough random bytes to take several reads.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))' >"$work/job.bin"
head -c 300000 /dev/urandom >>"$work/job.bin"

failed=0
jobs=0
# expect WHAT SOURCE-KIND JOB-NAME: the next job is job.bin, from that kind of
# port, with that job name (none for socket://).
expect() {
  jobs=$((jobs + 1))
  for _ in $(seq 200); do
    [ "$(wc -l <"$work/lines")" -ge "$jobs" ] && break
    sleep 0.1
  done
  local file
  file="$(printf '%s/out/job-%04d.bin' "$work" "$jobs")"
  local said
  said="$(sed -n "${jobs}p" "$work/lines" | python3 -c '
import json, sys
line = sys.stdin.read()
job = json.loads(line) if line else {}
# A job line writes each byte as the character of its value.
name = job.get("lpd_job_name", "").encode("latin-1").decode("utf-8", "replace")
print(job.get("source", "").split(" ")[0], name, job.get("lpd_incomplete", ""), sep="|")')"
  if ! cmp -s "$file" "$work/job.bin" || [ "$said" != "$2|$3|" ]; then
    failed=$((failed + 1))
    echo "FAILED: $1: '$said', not '$2|$3|'; bytes: $(cmp "$file" "$work/job.bin" 2>&1 || true)"
  fi
}
# The side channel cupsd gives a backend: open, and silent.
backend() {
  DEVICE_URI="$1" timeout 60 "$backends/lpd" 7 cashier "$2" 1 "" "${@:3}" 2>"$work/backend" 4< <(sleep 60) ||
    { echo "the backend failed:"; grep -v DEBUG "$work/backend"; }
}

uri="lpd://127.0.0.1:$lpd_port/receipts?reserve=none"
backend "$uri" "Receipt #12" "$work/job.bin"
expect "lpd backend, control file first" lpd "Receipt _12"
backend "$uri&order=data,control" "Receipt 13" "$work/job.bin"
expect "lpd backend, data file first" lpd "Receipt 13"
backend "$uri&mode=stream" "Receipt 14" <"$work/job.bin"
expect "lpd backend, streamed" lpd "Receipt 14"
backend "$uri&sanitize_title=no" "Café №15" "$work/job.bin"
expect "lpd backend, a title in UTF-8" lpd "Café №15"

# A cupsd of our own, run in the foreground as the current user.
if command -v cupsd >/dev/null && command -v lpadmin >/dev/null; then
  c="$work/cups"
  mkdir -p "$c/etc" "$c/spool" "$c/tmp" "$c/cache" "$c/state" "$c/log"
  cat >"$c/etc/cups-files.conf" <<EOF
ServerRoot $c/etc
RequestRoot $c/spool
TempDir $c/tmp
CacheDir $c/cache
StateDir $c/state
AccessLog $c/log/access_log
ErrorLog $c/log/error_log
PageLog $c/log/page_log
EOF
  cat >"$c/etc/cupsd.conf" <<EOF
Listen $c/cups.sock
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cupsd -f -c "$c/etc/cupsd.conf" -s "$c/etc/cups-files.conf" >"$c/log/out" 2>&1 &
  cupsd=$!
  for _ in $(seq 100); do
    [ -S "$c/cups.sock" ] && break
    sleep 0.1
  done
  lpadmin -h "$c/cups.sock" -p lpd-receipts -E -v "$uri"
  lpadmin -h "$c/cups.sock" -p socket-receipts -E -v "socket://127.0.0.1:$tcp_port"
  lp -h "$c/cups.sock" -d lpd-receipts -t "Receipt 16" -o raw "$work/job.bin" >/dev/null
  expect "cupsd, lpd://" lpd "Receipt 16"
  lp -h "$c/cups.sock" -d socket-receipts -t "Receipt 17" -o raw "$work/job.bin" >/dev/null
  expect "cupsd, socket://" tcp ""
  [ "$failed" -eq 0 ] || tail -n 30 "$c/log/error_log"
else
  echo "FAILED: no cupsd or lpadmin: install Debian's cups (scripts/test does)"
  failed=$((failed + 1))
fi

[ "$failed" -eq 0 ] || cat "$work/err"
echo "$jobs jobs, $failed failed"
[ "$failed" -eq 0 ]
