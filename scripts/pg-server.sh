#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for tests and the soak run, reached over a Unix socket only.
#   pg-server.sh start FILE   starts one and writes its admin URI to FILE
#                             (postgresql:///postgres?host=DIR&port=PORT&user=postgres)
#   pg-server.sh stop FILE    stops the server FILE names and removes it; no FILE, nothing to do
# Exit 77 (a skip for CTest) when the server binaries are not installed. PGBIN overrides their
# folder. fsync is off: the data only has to outlive the test run, not a crash of the machine;
# PG_DURABLE=1 keeps the server's durable defaults (the soak run's figures include the flush).
set -euo pipefail
cmd=${1:-} file=${2:-}
[ -n "$cmd" ] && [ -n "$file" ] || { echo "usage: $0 start|stop FILE" >&2; exit 2; }
PGBIN=${PGBIN:-/usr/lib/postgresql/15/bin}
if [ "$(id -u)" = 0 ]; then as=(runuser -u postgres --); else as=(); fi

dir_of() { sed -n 's/.*[?&]host=\([^&]*\).*/\1/p' "$1"; }

case "$cmd" in
start)
  rm -f "$file"
  [ -x "$PGBIN/initdb" ] || { echo "no $PGBIN/initdb (apt-get install postgresql-15)" >&2; exit 77; }
  # Short: the socket path inside it must stay under 108 bytes.
  dir=$(mktemp -d /tmp/pgtest.XXXXXX)
  trap 'rm -rf "$dir"' ERR
  [ ${#as[@]} -eq 0 ] || chown postgres: "$dir"
  port=5432
  "${as[@]}" "$PGBIN/initdb" -D "$dir/data" -U postgres -E UTF8 --locale=C --auth-local=trust \
    --auth-host=reject --no-sync >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  fast="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  [ "${PG_DURABLE:-0}" = 1 ] && fast=""
  "${as[@]}" "$PGBIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o \
    "-c listen_addresses='' -p $port -k $dir $fast -c max_connections=200" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  echo "postgresql:///postgres?host=$dir&port=$port&user=postgres" >"$file.tmp"
  mv "$file.tmp" "$file"
  ;;
stop)
  [ -f "$file" ] || exit 0
  dir=$(dir_of "$file")
  rm -f "$file"
  case "$dir" in /tmp/pgtest.*) ;; *) echo "not a test server: $dir" >&2; exit 1 ;; esac
  "${as[@]}" "$PGBIN/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop FILE" >&2; exit 2 ;;
esac
