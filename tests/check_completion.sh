#!/usr/bin/env bash
# The bash completion offers exactly the options each program's --help lists.
# Usage: check_completion.sh COMPLETION_SCRIPT PROGRAM...
set -euo pipefail
script="$1"
shift
complete() { :; }  # the script registers itself; nothing to register here
# shellcheck source=/dev/null
source "$script"
status=0
for program in "$@"; do
    name="$(basename "$program")"
    listed="$("$program" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+' |
              grep -v -- '--help-all' | sort -u)"
    offered="$(_ostrel_options "$name" | tr ' ' '\n' | grep -- '^--' | sort -u)"
    if [ "$listed" != "$offered" ]; then
        echo "$name: --help and the completion differ:"
        diff <(echo "$listed") <(echo "$offered") || true
        status=1
    fi
done
exit $status
