#!/usr/bin/env bash
# Starts a local survey collector for the demo and prints the upload URL (the "url" launch extra
# of the survey) on stdout; everything else goes to stderr.
#   - makes a local CA and a server certificate for 127.0.0.1/localhost once (COLLECTOR_DIR/certs),
#   - adds the CA to the television's CA file (CA_FILE, default /opt/data/cert/trxca.pem),
#   - starts `tavcollector serve` in the background on COLLECTOR_PORT (default 0: a free port),
#     stopping one started earlier from the same COLLECTOR_DIR.
# Extra arguments go to `tavcollector serve`, e.g. --reply fail, --reply http500, --delay-ms 5000.
# Files in COLLECTOR_DIR (default ~/.local/state/tavcollector, private to the user): surveys.sqlite, port, pid, collector.log.
# Stop it with scripts/collector-down.sh; read the stored surveys with
#   tavcollector report --db "$COLLECTOR_DIR/surveys.sqlite"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bin=${TAVCOLLECTOR:-$build/collector/tavcollector}
dir=${COLLECTOR_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/tavcollector}
ca_file=${CA_FILE:-/opt/data/cert/trxca.pem}

if [ ! -x "$bin" ]; then
  if [ -f "$build/build.ninja" ]; then
    cmake --build "$build" --target tavcollector >&2
  else
    echo "collector-up: $bin not built (cmake -S $root -B $build -G Ninja && ninja -C $build tavcollector)" >&2
    exit 1
  fi
fi

mkdir -p -m 700 "$dir"
"$root/scripts/collector-down.sh" >&2 || true
"$bin" certs --dir "$dir/certs" --install-ca "$ca_file" >&2

rm -f "$dir/port"
nohup "$bin" serve --cert-dir "$dir/certs" --db "$dir/surveys.sqlite" \
  --port "${COLLECTOR_PORT:-0}" --port-file "$dir/port" "$@" \
  >"$dir/url" 2>"$dir/collector.log" </dev/null &
pid=$!
echo "$pid" >"$dir/pid"

for _ in $(seq 200); do
  [ -s "$dir/port" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "collector-up: tavcollector did not start:" >&2
    cat "$dir/collector.log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -s "$dir/port" ]; then
  echo "collector-up: no port after 10 s" >&2
  exit 1
fi
echo "collector-up: pid $pid, CA in $ca_file, database $dir/surveys.sqlite" >&2
echo "https://127.0.0.1:$(cat "$dir/port")/survey"
