#!/usr/bin/env bash
# Stops the collector that scripts/collector-up.sh started from COLLECTOR_DIR (by its pid file).
set -euo pipefail
dir=${COLLECTOR_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/tavcollector}
[ -f "$dir/pid" ] || exit 0
pid=$(cat "$dir/pid")
# Only a tavcollector may be behind the recorded pid; a reused pid is left alone.
if kill -0 "$pid" 2>/dev/null && grep -q tavcollector "/proc/$pid/cmdline" 2>/dev/null; then
  kill -TERM "$pid"
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "collector-down: stopped $pid" >&2
fi
rm -f "$dir/pid" "$dir/port"
