#!/usr/bin/env bash
# Runs the page test in Debian's chromium; puppeteer-core comes from npm,
# as the lock file pins it, into the build folder.
#   run.sh OSTREL_CAPTURE DECODE_SYMBOLS BUILD_DIR [SCREENSHOT_FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
modules="$3/browser-test"
# The browser tests run side by side and share one install: the first
# installs, under a lock, and the others wait for it to be whole.
mkdir -p "$modules"
(
  flock 9
  if [ ! -f "$modules/.installed" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$modules/"
    (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
    touch "$modules/.installed"
  fi
) 9>"$modules.lock"
# OSTREL_BROWSER_TEST names another test of this folder to run instead.
test="${OSTREL_BROWSER_TEST:-page_test.mjs}"
cp "$here/$test" "$here/till_harness.mjs" "$modules/"
exec node "$modules/$test" "$1" "$2" "${4:-}"
