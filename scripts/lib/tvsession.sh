# Shared by the demo and the end-to-end tests: an emulated television on a virtual X screen
# (Xvfb with a window manager, so the window draws and takes real X key events from xdotool),
# the survey on it, and its receiving server. Source this file; it defines tv_* functions and
# keeps the processes it starts in TV_PIDS for tv_stop_all.
#   BUILD (required): the build folder.
# After sourcing, a caller may set TV_SURVEY_WRAPPER (a command put before the survey, e.g. a
# memory checker with its options) and TV_WINDOW_WAIT (seconds to wait for the window, default 20).

TV_PIDS=()
TV_SURVEY_WRAPPER=()

tv_stop_all() {
  local p
  for p in "${TV_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${TV_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  TV_PIDS=()
}

# A fresh platform root with the television's identity; exports what the platform stand-ins read.
tv_new_root() {
  export TAV_PLATFORM_ROOT=$1
  mkdir -p "$TAV_PLATFORM_ROOT"
  export TAV_DLOG_STDERR=0 TAV_DLOG_FILE=$TAV_PLATFORM_ROOT/dlog.log
  export ECORE_NO_SYSTEM_MODULES=1 EINA_LOG_BACKTRACE=0 EINA_LOG_LEVELS=ecore_con:0
  "$BUILD/platform/core/vconftool" set -t string db/menu_widget/language "${2:-en_US.utf8}"
}

# Xvfb on a free display number, with openbox and a compositor (the survey's window is
# see-through, like an overlay on the television picture); exports DISPLAY.
tv_start_display() {
  local fd_file=$TAV_PLATFORM_ROOT/display
  rm -f "$fd_file"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  TV_PIDS+=($!)
  local i
  for i in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.05; done
  [ -s "$fd_file" ] || { echo "tvsession: Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$(head -n1 "$fd_file")
  openbox >/dev/null 2>&1 &
  TV_PIDS+=($!)
  xcompmgr >/dev/null 2>&1 &
  TV_PIDS+=($!)
  # Windows are placed and focused once the window manager has announced itself on the screen.
  for i in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
  echo "tvsession: no window manager on $DISPLAY" >&2
  return 1
}

# Starts the survey with the launch extras given as arguments (--url U --pincode P --sessionid S)
# and waits until its window is up; TV_SURVEY_PID is its pid.
tv_start_survey() {
  "${TV_SURVEY_WRAPPER[@]}" "$BUILD/src/tavsurvey/tavsurvey" "$@" >"$TAV_PLATFORM_ROOT/survey.out" 2>&1 &
  TV_SURVEY_PID=$!
  TV_PIDS+=($TV_SURVEY_PID)
  # Polled rather than xdotool's --sync, which gives up on an X error when any other window
  # goes away during its search (the window manager's own, at start).
  local i
  for i in $(seq $(( ${TV_WINDOW_WAIT:-20} * 20 ))); do
    xdotool search --name tavSurvey >/dev/null 2>&1 && break
    sleep 0.05
  done
  xdotool search --name tavSurvey >/dev/null 2>&1 || { echo "tvsession: no survey window" >&2; return 1; }
  # The popup is laid out a moment after the window appears; keys count once its first answer
  # has the toolkit's focus.
  tv_wait_log '^Focused object$' "${TV_WINDOW_WAIT:-20}" || { echo "tvsession: the survey never focused an answer" >&2; return 1; }
}

# Real X key events, one after the other: each is sent once the survey has answered the one
# before it with a log line (a key it handles, or a button's click), or has ended.
tv_keys() {
  local k before i
  for k in "$@"; do
    before=$(tv_log . | wc -l)
    xdotool key "$k"
    for i in $(seq 200); do
      [ "$(tv_log . | wc -l)" -gt "$before" ] && break
      kill -0 "$TV_SURVEY_PID" 2>/dev/null || break
      sleep 0.05
    done
  done
}

# Waits up to $1 seconds for the survey to end; fails when it is still running. Its exit status
# is then in TV_SURVEY_STATUS.
tv_wait_survey() {
  local i
  for i in $(seq $(( ${1:-10} * 20 ))); do
    if ! kill -0 "$TV_SURVEY_PID" 2>/dev/null; then
      TV_SURVEY_STATUS=0
      wait "$TV_SURVEY_PID" 2>/dev/null || TV_SURVEY_STATUS=$?
      return 0
    fi
    sleep 0.05
  done
  echo "tvsession: survey still running after ${1:-10} s" >&2
  return 1
}

tv_screenshot() { import -window root "$1"; }

# Lines of the survey's log (the message after the prefix) matching a pattern.
tv_log() { grep ' [DIWE]/TAVRIN(' "$TAV_DLOG_FILE" | sed 's/^.* > //' | grep -E "$1" || true; }

# Waits up to $2 seconds until the log has at least $3 (default 1) lines matching pattern $1.
tv_wait_log() {
  local i
  for i in $(seq $(( ${2:-10} * 5 ))); do
    [ "$(tv_log "$1" | wc -l)" -ge "${3:-1}" ] && return 0
    sleep 0.2
  done
  echo "tvsession: fewer than ${3:-1} log lines '$1' after ${2:-10} s" >&2
  return 1
}

# Starts a collector in $1 (certificates, database) with extra serve arguments; TV_URL is the
# upload URL. The collector's CA is added to the television's CA file.
tv_start_collector() {
  local dir=$1; shift
  mkdir -p "$dir"
  "$BUILD/collector/tavcollector" certs --dir "$dir/certs" --install-ca /opt/data/cert/trxca.pem >/dev/null
  rm -f "$dir/port"
  "$BUILD/collector/tavcollector" serve --cert-dir "$dir/certs" --db "$dir/surveys.sqlite" \
    --port 0 --port-file "$dir/port" "$@" >"$dir/url" 2>"$dir/collector.log" &
  TV_PIDS+=($!)
  local i
  for i in $(seq 200); do [ -s "$dir/port" ] && break; sleep 0.05; done
  [ -s "$dir/port" ] || { echo "tvsession: collector did not start" >&2; cat "$dir/collector.log" >&2; return 1; }
  TV_URL=https://127.0.0.1:$(cat "$dir/port")/survey
}
