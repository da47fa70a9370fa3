#!/usr/bin/env bash
# The collector's figures an operator asks for, per storage backend, printed as one table:
#   - uploads/s, p50 and p99 with a new TLS connection per upload, against a bare TLS
#     accept-and-answer loop measured in the same run (the handshake is the ceiling);
#   - 1,000 slow connections held (half never start TLS, half trickle a head) while valid
#     uploads keep their p99;
#   - ten header floods of 64 MiB at once: the collector's peak RSS;
#   - kill -9 twice under load: every upload answered "ok" is in the database;
#   - disk full (SQLite on a small tmpfs, needs root): a clear error, nothing half-stored.
# Usage: scripts/soak.sh [sqlite|postgresql|both]   (default both; PostgreSQL when installed)
#   UPLOADS (2000), CONCURRENCY (8), SLOW (1000), BUILD_DIR (build)
# The load generator is ours (collector/tools/tavsoak.cpp): h2load cannot open a new TLS
# connection for every request at a steady rate.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
which=${1:-both}
uploads=${UPLOADS:-2000}
concurrency=${CONCURRENCY:-8}
slow=${SLOW:-1000}
cmake --build "$build" --target tavcollector tavsoak >&2
bin=$build/collector/tavcollector
soak=$build/collector/tavsoak

work=$(mktemp -d /tmp/tavsoak.XXXXXX)
pids=()
pgfile=$work/pg.uri
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  mountpoint -q "$work/full" 2>/dev/null && umount "$work/full"
  "$root/scripts/pg-server.sh" stop "$pgfile" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"
"$bin" certs --dir "$work/certs" >/dev/null
rows=()
row() { rows+=("$(printf '| %-10s | %-52s | %-44s | %-10s |' "$1" "$2" "$3" "$4")"); }

# start_collector NAME DB [serve args...]: runs it in the background; sets PID and PORT.
start_collector() {
  local name=$1 db=$2; shift 2
  rm -f "$work/$name.port"
  "$bin" serve --cert-dir "$work/certs" --db "$db" --port-file "$work/$name.port" "$@" \
    >/dev/null 2>>"$work/$name.log" &
  PID=$!
  pids+=("$PID")
  for _ in $(seq 300); do [ -s "$work/$name.port" ] && break; sleep 0.05; done
  [ -s "$work/$name.port" ] || { echo "soak: $name did not start" >&2; cat "$work/$name.log" >&2; exit 1; }
  PORT=$(cat "$work/$name.port")
}
stop_collector() { kill -TERM "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
peak_mb() { awk '/VmHWM/ {printf "%.0f", $2/1024}' "/proc/$1/status"; }
stored() {  # stored session ids with prefix $2 in database $1, sorted
  case $1 in
    postgres*) psql "$1" -Atc "SELECT session_id FROM uploads WHERE session_id LIKE '$2%'" ;;
    *) sqlite3 "$1" "SELECT session_id FROM uploads WHERE session_id LIKE '$2%'" ;;
  esac | sort
}

"$soak" bare --cert "$work/certs/server.pem" --key "$work/certs/server.key" --port-file "$work/bare.port" --threads 2 &
pids+=("$!")
bare_pid=$!
for _ in $(seq 100); do [ -s "$work/bare.port" ] && break; sleep 0.05; done
bare_port=$(cat "$work/bare.port")

run_backend() {
  local backend=$1 db=$2 tag=$3
  echo "soak: $backend" >&2

  # Throughput: the bare loop and the collector in turns, so that a machine whose speed drifts
  # (a shared host) weighs on both alike; the same client for both, verifying the certificate.
  start_collector "$tag-rate" "$db"
  local rounds=4 r out bare_s=0 coll_s=0 bare_runs="" coll_failed=0 lat=()
  for r in $(seq "$rounds"); do
    out=$("$soak" load --port "$bare_port" --ca "$work/certs/ca.pem" --uploads $((uploads / rounds)) \
      --concurrency "$concurrency" --prefix "$tag-B$r")
    bare_s=$(awk -v a="$bare_s" -v b="$(field seconds "$out")" 'BEGIN {print a+b}')
    bare_runs="$bare_runs $(field rate "$out")"
    out=$("$soak" load --port "$PORT" --ca "$work/certs/ca.pem" --uploads $((uploads / rounds)) \
      --concurrency "$concurrency" --prefix "$tag-RATE$r")
    coll_s=$(awk -v a="$coll_s" -v b="$(field seconds "$out")" 'BEGIN {print a+b}')
    coll_failed=$((coll_failed + $(field failed "$out")))
    lat+=("$(field p50_ms "$out")/$(field p99_ms "$out")")
  done
  stop_collector "$PID"
  local per=$((uploads / rounds * rounds)) bare_rate coll_rate ratio
  bare_rate=$(awk -v n="$per" -v s="$bare_s" 'BEGIN {printf "%.1f", n/s}')
  coll_rate=$(awk -v n="$per" -v s="$coll_s" 'BEGIN {printf "%.1f", n/s}')
  ratio=$(awk -v c="$coll_rate" -v b="$bare_rate" 'BEGIN {printf "%.2f", c/b}')
  row "$backend" "uploads/s, new TLS connection each ($per, $concurrency at once)" \
    "$coll_rate/s p50/p99 ms by round ${lat[*]} fail $coll_failed" ""
  row "$backend" "bare TLS accept-and-answer loop, in turns with it" "$bare_rate/s (rounds$bare_runs)" ""
  row "$backend" "collector / bare loop" "$ratio" ">= 0.80"

  # Slow connections held while uploads go on.
  start_collector "$tag-slow" "$db"
  "$soak" slow --port "$PORT" --count "$slow" --seconds 30 --sources 40 >"$work/slow.out" &
  local slow_pid=$!
  sleep 8
  c=$("$soak" load --port "$PORT" --ca "$work/certs/ca.pem" --seconds 15 --concurrency 4 --prefix "$tag-SLOW")
  wait "$slow_pid"
  stop_collector "$PID"
  row "$backend" "$slow slow connections (held on average, reconnects)" \
    "$(field held_avg "$(cat "$work/slow.out")") held, $(field reconnects "$(cat "$work/slow.out")") reconnects" ""
  row "$backend" "  valid uploads meanwhile" \
    "$(field ok "$c") ok, $(field failed "$c") failed, p50 $(field p50_ms "$c") ms p99 $(field p99_ms "$c") ms" "p99 < 1000 ms"

  # Header flood.
  start_collector "$tag-flood" "$db"
  local before flood
  before=$(peak_mb "$PID")
  flood=$("$soak" flood --port "$PORT" --count 10 --mib 64)
  local peak
  peak=$(peak_mb "$PID")
  stop_collector "$PID"
  row "$backend" "10 header floods of 64 MiB at once: peak RSS" "$peak MB (at start $before MB), replies$(sed 's/statuses//' <<<"$flood")" "< 256 MB"

  # kill -9 under load, twice, restarted on the same port.
  start_collector "$tag-kill" "$db"
  local port=$PORT
  rm -f "$work/ok.$tag"
  "$soak" load --port "$port" --ca "$work/certs/ca.pem" --seconds 12 --concurrency "$concurrency" \
    --prefix "$tag-KILL" --ok-file "$work/ok.$tag" >"$work/kill.out" &
  local load_pid=$!
  for _ in 1 2; do
    sleep 3
    kill -9 "$PID"
    wait "$PID" 2>/dev/null || true
    start_collector "$tag-kill" "$db" --port "$port"
  done
  wait "$load_pid"
  stop_collector "$PID"
  sort -u "$work/ok.$tag" >"$work/ok.$tag.sorted"
  stored "$db" "$tag-KILL" >"$work/stored.$tag"
  local answered lost
  answered=$(wc -l <"$work/ok.$tag.sorted")
  lost=$(comm -23 "$work/ok.$tag.sorted" "$work/stored.$tag" | wc -l)
  row "$backend" "kill -9 twice under load" "$answered answered ok, $lost of them not stored" "0 lost"
}

if [ "$which" != postgresql ]; then
  run_backend SQLite "$work/soak.sqlite" sq
  # Disk full: the database on a 4 MiB tmpfs.
  if mkdir -p "$work/full" && mount -t tmpfs -o size=4m tmpfs "$work/full" 2>/dev/null; then
    start_collector full "$work/full/db.sqlite"
    c=$("$soak" load --port "$PORT" --ca "$work/certs/ca.pem" --uploads 3000 --concurrency 2 --prefix FULL --ok-file "$work/ok.full")
    stop_collector "$PID"
    msg=$(grep -m1 -o '"stat":"error"[^}]*"msg":"[^"]*"' "$work/full.log" | sed 's/.*"msg":"\([^"]*\)"/\1/' || true)
    check=$(sqlite3 -readonly "$work/full/db.sqlite" "PRAGMA integrity_check" 2>&1 || true)
    stored_n=$(sqlite3 -readonly "$work/full/db.sqlite" "SELECT COUNT(*) FROM uploads" 2>&1 || true)
    row SQLite "disk full (4 MiB tmpfs, 3000 uploads)" \
      "$(field ok "$c") ok, $(field failed "$c") refused: \"$msg\"; integrity $check; stored $stored_n" "clear error"
  else
    row SQLite "disk full" "not run: mounting a tmpfs needs root" ""
  fi
fi
if [ "$which" != sqlite ]; then
  if PG_DURABLE=1 "$root/scripts/pg-server.sh" start "$pgfile" >&2; then
    uri=$(cat "$pgfile")
    psql "$uri" -qc "CREATE DATABASE soak" >/dev/null
    run_backend PostgreSQL "${uri/\/postgres\?//soak?}" pg
    row PostgreSQL "disk full" "not run: the database server's disk is not simulated" ""
  else
    row PostgreSQL "all" "not run: PostgreSQL 15 is not installed" ""
  fi
fi

echo
echo "tavcollector soak, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load generator on the same machine"
printf '| %-10s | %-52s | %-44s | %-10s |\n' backend figure value goal
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..12})" "$(printf -- '-%.0s' {1..54})" "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..12})"
printf '%s\n' "${rows[@]}"
