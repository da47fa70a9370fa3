#!/usr/bin/env bash
# How fast the dashboard answers with 100,000 stored surveys, on both backends: seeds an SQLite
# file (kept in BUILD/bench-dashboard, so a second run skips that, about a minute) and a
# throwaway PostgreSQL 15 server (seeded each run, about three minutes), then times each data
# request of the page (bench/dashboard_bench). Fails when a median passes 200 ms.
#
#   scripts/bench-dashboard.sh [RUNS]     (default 9)
# Environment: BUILD_DIR (default build), COUNT (default 100000), BENCH_CHECK_GOALS=0 reports
# without failing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
scripts/install-deps.sh
BUILD=$(mkdir -p "${BUILD_DIR:-build}" && cd "${BUILD_DIR:-build}" && pwd)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target dashboard_bench >/dev/null
work=$BUILD/bench-dashboard
mkdir -p "$work"
bench=("$BUILD/bench/dashboard_bench" --count "${COUNT:-100000}" --runs "$runs")

pg_uri=$work/pg.uri
trap 'scripts/pg-server.sh stop "$pg_uri" >/dev/null 2>&1 || true' EXIT
status=0
echo "== SQLite"
"${bench[@]}" --db "sqlite:$work/surveys.sqlite" || status=$?
echo "== PostgreSQL"
if scripts/pg-server.sh start "$pg_uri"; then
  "${bench[@]}" --db "$(cat "$pg_uri")" || status=$?
else
  echo "no PostgreSQL 15 server (apt-get install postgresql-15)"; status=1
fi
[ "${BENCH_CHECK_GOALS:-1}" = 0 ] && exit 0
exit $status
