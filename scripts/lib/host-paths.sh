#!/usr/bin/env bash
# What the tests must never change on the machine that runs them: /etc, /opt, /usr/apps and the
# user's platform root. `snapshot FILE` records every entry there (type, size, mode, change
# time, content checksum); `check FILE` records them again and fails, listing the differences,
# when anything was added, removed or rewritten since.
#   host-paths.sh snapshot|check FILE
set -euo pipefail
paths=(/etc /opt /usr/apps "${TAV_PLATFORM_ROOT:-$HOME/.tavplatform}")

record() {
  local p
  for p in "${paths[@]}"; do
    if [ ! -e "$p" ]; then echo "absent $p"; continue; fi
    find "$p" -xdev -printf '%y %m %s %C@ %p\n'
    find "$p" -xdev -type f -readable -size -4M -print0 | xargs -0 -r sha1sum
  done | LC_ALL=C sort
}

case ${1:-} in
  snapshot) record >"$2" ;;
  check)
    now=$(mktemp)
    trap 'rm -f "$now"' EXIT
    record >"$now"
    if ! diff -u "$2" "$now" >"$now.diff"; then
      echo "FAILED: the host's system paths or platform root changed during the run:" >&2
      grep '^[-+][^-+]' "$now.diff" | head -40 >&2
      rm -f "$now.diff"
      exit 1
    fi
    rm -f "$now.diff"
    echo "host paths unchanged: ${paths[*]}"
    ;;
  *) echo "usage: $0 snapshot|check FILE" >&2; exit 2 ;;
esac
