#!/usr/bin/env bash
# One full survey run under valgrind memcheck: an emulated television on a virtual screen, the
# local collector, the survey answered with real key events and submitted. Fails when the
# collector did not store exactly that survey, or when valgrind reports a memory error or a
# definite or indirect leak that tests/valgrind.supp does not suppress. That file holds only
# leaks of third-party libraries; before the survey, a program that leaks on purpose through the
# toolkit (tests/tavgui/leak_canary.cpp) checks that the file hides none of its leaks.
#   BUILD_DIR (default build): a normal build; the targets needed are configured and built.
# Output: a summary; on failure the relevant errors. Files stay in $BUILD/valgrind-survey.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
BUILD=$(mkdir -p "${BUILD_DIR:-build}" && cd "${BUILD_DIR:-build}" && pwd)
command -v valgrind >/dev/null || scripts/install-deps.sh
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target tavsurvey tavcollector vconftool tavplatform tavrin_themes tavrin_catalogs leak_canary
# The survey writes the television's own paths (CA file, survey folder, installed themes): the
# rest runs again in a private view of them, so that the host keeps its own.
[ "${TAV_ISOLATED:-}" = 1 ] || exec tests/support/isolate.sh "$repo/scripts/valgrind-survey.sh" "$@"
cmake --install "$BUILD" --component survey >/dev/null

. scripts/lib/tvsession.sh
SURVEY_DIR=/opt/usr/apps/org.tizen.tavrin/survey
CA_FILE=/opt/data/cert/trxca.pem
work=$BUILD/valgrind-survey
rm -rf "$work"
mkdir -p "$work"
trap tv_stop_all EXIT
mkdir -p "$SURVEY_DIR"
rm -f "$SURVEY_DIR"/*

VALGRIND_ERROR=86   # valgrind's exit status when it found errors, one the survey does not exit with
memcheck() {   # memcheck NAME: MEMCHECK is valgrind with its output in $work/NAME.{xml,log}
  MEMCHECK=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect
    --errors-for-leak-kinds=definite,indirect --track-origins=no --num-callers=40
    --error-exitcode=$VALGRIND_ERROR --suppressions="$repo/tests/valgrind.supp"
    --child-silent-after-fork=yes --gen-suppressions=all
    --xml=yes --xml-file="$work/$1.xml" --log-file="$work/$1.log")
}
check_xml() {   # check_xml NAME [vgcheck options]: prints the errors, fails on any
  local name=$1; shift
  python3 scripts/lib/vgcheck.py "$work/$name.xml" --root "$repo" --suggest "$work/$name.suggested.supp" "$@"
}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
survey_log() { echo "--- survey log"; grep TAVRIN "$TAV_DLOG_FILE" | grep -v 'key error' | tail -30; }
# A step the run cannot go on without.
die() {
  echo "FAILED: $*"
  survey_log
  echo "--- survey output"; tail -20 "$TAV_PLATFORM_ROOT/survey.out"
  echo "--- valgrind log"; tail -20 "$work/survey.log"
  exit 1
}
t0=$(date +%s)

tv_new_root "$work/tv"
tv_start_display

echo "== Suppressions against deliberate leaks (tests/tavgui/leak_canary)"
canary_status=0
memcheck canary
timeout 300 "${MEMCHECK[@]}" "$BUILD/tests/tavgui/leak_canary" >"$work/canary.out" 2>&1 || canary_status=$?
# The canary's leaks make valgrind report errors: that exit status is the expected one.
[ $canary_status = $VALGRIND_ERROR ] || fail "canary exited with $canary_status (valgrind log: $work/canary.log)"
check_xml canary --supp tests/valgrind.supp --expect-leaks leakToolkitString,leakCanvasString,leakStringBuffer,leakPlainCopy,leakInCallback \
  || fail "the suppressions hide a leak of our own code, or miss toolkit noise (above)"

echo "== Survey under valgrind"
tv_start_collector "$work/collector"
# valgrind makes the survey 20 to 50 times slower: the popup's idle time-out and the upload's
# time limit are stretched so that neither ends the run early.
export TAVSURVEY_POPUP_TIMEOUT=900 TAVSURVEY_UPLOAD_TIMEOUT=300
memcheck survey
TV_SURVEY_WRAPPER=("${MEMCHECK[@]}")
TV_WINDOW_WAIT=240
session=valgrind-$(date +%H%M%S)
t_survey=$(date +%s)
tv_start_survey --url "$TV_URL" --pincode 4711 --sessionid "$session" || die "no survey window"
# Keys go to the window that has the X focus, and the survey acts on them once its first
# answer has the toolkit's focus.
tv_wait_log '^Focused object$' 240 || die "the survey's first answer never had the focus"
window=$(xdotool search --name tavSurvey | tail -n1) || die "the survey window is gone"
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]; }
for _ in $(seq 150); do has_focus && break; sleep 0.2; done
has_focus || timeout 30 xdotool windowfocus --sync "$window" || die "the survey window never had the keyboard focus"
# Each key is sent after the survey has logged the previous one (press and release): a slow
# survey must not see key events merged or lost.
send_key() {
  local before
  before=$(tv_log "^RCU Key: $1\$" | wc -l)
  xdotool key "$1"
  tv_wait_log "^RCU Key: $1\$" 120 $((before + 2)) || die "the survey did not take the key $1"
}
# Q1: answer 2 ("No"); Q2: answer 3; Q3 to Q5 keep their first answers; Right goes to Submit.
for k in Down Return Down Down Down Return Right; do send_key "$k"; done
xdotool key Return
if tv_wait_survey 600; then
  survey_status=$TV_SURVEY_STATUS
else
  survey_status=timeout
fi
echo "survey ran $(( $(date +%s) - t_survey )) s under valgrind, exit status $survey_status"

report=$("$BUILD/collector/tavcollector" report --db "$work/collector/surveys.sqlite") || die "no collector report"
echo "$report" | sed -n '1,4p'
grep -qx 'Stored surveys: 1' <<<"$report" || fail "the collector did not store exactly one survey"
grep -Eq "^ +1 +.* $session +4711 +.* 2 3 1 1 1 *\$" <<<"$report" \
  || fail "the stored survey is not $session with answers 2 3 1 1 1"
[ -z "$(ls -A "$SURVEY_DIR")" ] || fail "result or upload files left in $SURVEY_DIR"

case $survey_status in
  0) ;;
  $VALGRIND_ERROR) fail "valgrind found errors in the survey" ;;
  *) die "survey status $survey_status" ;;
esac
check_xml survey || fail "valgrind errors in the survey (above; generated suppressions in $work/survey.suggested.supp)"

if [ $failures -ne 0 ]; then
  survey_log
  echo "valgrind memcheck: $failures failure(s); files in $work"
  exit 1
fi
echo "valgrind memcheck: survey clean (no memory errors, no leak of ours), one survey stored; $(( $(date +%s) - t0 )) s"
