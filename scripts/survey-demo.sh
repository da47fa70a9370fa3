#!/usr/bin/env bash
# The survey on a desktop display.
#
# With --here it starts the survey on the current DISPLAY for a person to use. Otherwise it
# starts a virtual 1920x1080 screen (Xvfb) with a window manager (openbox) and a compositor
# (xcompmgr: the dialog's window is see-through), plays the key script through xdotool, saves
# screenshots as <build>/screenshots/demo-<n>.png and prints what the survey did.
#
# The desktop keyboard stands in for the remote control: arrows move, Return is OK, Escape is
# Back, F12 is Exit, Pause is Power.
#
#   scripts/survey-demo.sh                               # virtual screen, default key script
#   KEYS="shot Down Return Right shot Return" scripts/survey-demo.sh   # "shot" takes a screenshot
#   MENU_LANGUAGE=de_DE.utf8 scripts/survey-demo.sh      # any of en_US de_DE fr_FR es_ES ko_KR
#   DISPLAY=:0 scripts/survey-demo.sh --here
# Environment: BUILD_DIR (default build), TAV_PLATFORM_ROOT (default: a new temporary one).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
keys=${KEYS:-"shot Down shot Return Down Down Down Return shot Right shot Escape"}
language=${MENU_LANGUAGE:-en_US.utf8}

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tavsurvey vconftool tavplatform tavrin_themes tavrin_catalogs >/dev/null
# Themes, catalogs and data folders go to the application's installed paths.
cmake --install "$build" --component survey >/dev/null

export TAV_PLATFORM_ROOT=${TAV_PLATFORM_ROOT:-$(mktemp -d /tmp/tavdemo.XXXXXX)}
export TAV_DLOG_STDERR=0 TAV_DLOG_FILE=$TAV_PLATFORM_ROOT/dlog.log
export ECORE_NO_SYSTEM_MODULES=1 EINA_LOG_BACKTRACE=0 EINA_LOG_LEVELS=ecore_con:0
"$build/platform/core/vconftool" set -t string db/menu_widget/language "$language"
survey=("$build/src/tavsurvey/tavsurvey" --url https://survey.example/upload --pincode 4711 --sessionid demo)

if [ "${1:-}" = "--here" ]; then
  echo "Survey on $DISPLAY; log: $TAV_DLOG_FILE"
  exec "${survey[@]}"
fi

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
n=79
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
openbox >/dev/null 2>&1 & pids+=($!)
xcompmgr >/dev/null 2>&1 & pids+=($!)
sleep 1

"${survey[@]}" >"$TAV_PLATFORM_ROOT/survey.out" 2>&1 & app=$!
pids+=($app)
xdotool search --sync --name tavSurvey >/dev/null
sleep 1.5
shots=$build/screenshots
mkdir -p "$shots"
shot=0
for key in $keys; do
  if [ "$key" = shot ]; then
    shot=$((shot + 1))
    import -window root "$shots/demo-$shot.png"
    echo "screenshot: $shots/demo-$shot.png"
  else
    xdotool key "$key"
    sleep 0.4
  fi
done
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  echo "survey still open after the key script"
else
  wait "$app" && echo "survey ended, exit status 0" || echo "survey ended, exit status $?"
fi
echo "--- sounds (feedback patterns) and launched applications"
"$build/platform/core/tavplatform" journal feedback 2>/dev/null | grep play || true
"$build/platform/core/tavplatform" journal app_launch 2>/dev/null || true
echo "--- survey log"
grep TAVRIN "$TAV_DLOG_FILE" | grep -E "RCU Key|Survey popup|Hide|Destroy|Exporting|Send survey" || true
