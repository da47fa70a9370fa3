#!/usr/bin/env bash
# End to end: the real tavsurvey binary on a virtual X screen, driven by real key events, against
# the real collector. One case per run:  survey_e2e.sh BUILD_DIR CASE
set -uo pipefail
# The survey writes the television's own paths (CA file, survey folder, installed themes): in a
# private view of them, so that the host keeps its own and cases run side by side.
[ "${TAV_ISOLATED:-}" = 1 ] || exec "$(dirname "$0")/../support/isolate.sh" "$0" "$@"
BUILD=$(cd "$1" && pwd)
CASE=$2
. "$(dirname "$0")/../../scripts/lib/tvsession.sh"

SURVEY_DIR=/opt/usr/apps/org.tizen.tavrin/survey
CA_FILE=/opt/data/cert/trxca.pem
failures=0
check() {   # check "what" command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
has_log() { [ -n "$(tv_log "$1")" ]; }
no_log() { [ -z "$(tv_log "$1")" ]; }
sql() { sqlite3 "$work/collector/surveys.sqlite" "$1"; }
survey_files() { ls -A "$SURVEY_DIR" 2>/dev/null; }

work=$(mktemp -d /tmp/tave2e.XXXXXX)
finish() {
  tv_stop_all
  rm -rf "$work"
}
trap finish EXIT
cmake --install "$BUILD" --component survey >/dev/null || exit 1
mkdir -p "$SURVEY_DIR"
rm -f "$SURVEY_DIR"/*

tv_new_root "$work/tv"
"$BUILD/platform/core/vconftool" set -t string db/comss/hwduid E2E-DUID-0042 >/dev/null
"$BUILD/platform/core/tavplatform" set info/292 string QE65E2E
tv_start_display || exit 1

collector_args=()
timeout_env=()
case $CASE in
  reply-fail) collector_args=(--reply fail) ;;
  reply-500) collector_args=(--reply http500) ;;
  stalled) collector_args=(--delay-ms 60000); timeout_env=(TAVSURVEY_UPLOAD_TIMEOUT=1) ;;
  timeout) timeout_env=(TAVSURVEY_POPUP_TIMEOUT=2) ;;
esac
tv_start_collector "$work/collector" "${collector_args[@]}" || exit 1
url=$TV_URL
if [ "$CASE" = unreachable ]; then
  # A loopback port that nothing listens on.
  url=https://127.0.0.1:1/survey
fi
if [ "$CASE" = no-result-dir ]; then
  rm -rf "$SURVEY_DIR"
fi

for kv in "${timeout_env[@]}"; do export "$kv"; done
tv_start_survey --url "$url" --pincode 4711 --sessionid "e2e-$CASE" || exit 1

stored() { [ "$(sql 'SELECT count(*) FROM uploads')" = "$1" ]; }
home_launched() { "$BUILD/platform/core/tavplatform" journal app_launch | grep -q org.vintre.firstscreen; }

case $CASE in
  submit)
    # Q1: second answer; Q2: second answer; Q3-Q5 stay at their first answers; then Submit.
    tv_keys Down Return Down Down Return Right Return
    check "survey ended" tv_wait_survey 15
    check "one survey stored" stored 1
    check "the chosen answers" [ "$(sql 'SELECT group_concat(question || ":" || selected, " ") FROM (SELECT * FROM answers ORDER BY question)')" = "1:2 2:2 3:1 4:1 5:1" ]
    check "session, PIN and device headers" [ "$(sql 'SELECT session_id, pincode, duid, category, source, purchase_date, product_year FROM uploads')" = "e2e-submit|4711|E2E-DUID-0042|TAVAS|survey|$("$BUILD/platform/core/tavplatform" get settings/10001)|2021" ]
    check "device values in the envelope" [ "$(sql 'SELECT model_name, country, local_set FROM uploads')" = "QE65E2E|DE|$("$BUILD/platform/core/tavplatform" get info/90)" ]
    check "upload file named after the model" [ -n "$(sql "SELECT file_name FROM uploads WHERE file_name LIKE 'Survey_%_QE65E2E.zip'")" ]
    check "no warning about the reply" no_log '^Response answer'
    check "result and upload files removed" [ -z "$(survey_files)" ]
    check "home screen launched" home_launched
    ;;
  cancel)
    tv_keys Down Return Right Right Return
    check "survey ended" tv_wait_survey 10
    check "nothing uploaded" stored 0
    check "no result document" [ -z "$(survey_files)" ]
    check "home screen launched" home_launched
    ;;
  back)
    tv_keys Down Return Escape
    check "survey ended" tv_wait_survey 10
    check "nothing uploaded" stored 0
    check "home screen launched" home_launched
    ;;
  timeout)
    check "survey ended by itself" tv_wait_survey 10
    check "nothing uploaded" stored 0
    check "home screen launched" home_launched
    ;;
  reply-fail|reply-500|unreachable|stalled)
    tv_keys Right Return
    if [ "$CASE" = stalled ]; then
      tv_wait_log '^Release keys handle$' 10
      # Once the survey has let go of the keys, with the upload still waiting for its reply: the
      # display server no longer shows the window, the home screen has been launched.
      check "upload still running" kill -0 "$TV_SURVEY_PID"
      check "window unmapped during the upload" [ -z "$(xdotool search --onlyvisible --name tavSurvey)" ]
      check "keys released during the upload" has_log '^Release keys handle$'
      check "home screen launched during the upload" home_launched
    fi
    check "survey ended" tv_wait_survey 30
    check "nothing stored" stored 0
    case $CASE in
      reply-fail) check "warning with the reply" has_log '^Response answer: fail, file crc: [0-9]+$' ;;
      reply-500) check "request error 26" has_log '^Open api connection error: 26$'
                 check "warning with the reply" has_log '^Response answer: error, file crc: [0-9]+$' ;;
      unreachable) check "request error" has_log '^Open api connection error: [0-9]+$'
                   check "empty reply" has_log '^Response answer: , file crc: $' ;;
      stalled) check "three attempts" [ "$(tv_log '^Connection problem: #' | wc -l)" = 3 ]
               check "request error" has_log '^Open api connection error: [0-9]+$' ;;
    esac
    check "result and upload files removed" [ -z "$(survey_files)" ]
    check "home screen launched" home_launched
    ;;
  no-result-dir)
    tv_keys Right Return
    check "survey ended" tv_wait_survey 10
    check "export failed" has_log '^Unable to export survey result retVal:\[-1\]$'
    check "nothing uploaded" stored 0
    check "home screen launched" home_launched
    ;;
  *) echo "unknown case $CASE"; exit 2 ;;
esac

if [ $failures -ne 0 ]; then
  echo "--- survey log"; grep TAVRIN "$TAV_DLOG_FILE" | grep -v 'key error' | tail -40
  echo "--- collector"; cat "$work/collector/collector.log"
fi
exit $failures
