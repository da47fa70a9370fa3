#!/usr/bin/env bash
# The application's main job on this machine: an emulated television, a local receiving server,
# and the survey on screen, uploading to it; at the end, the operators' dashboard of that server
# (its URL and a login made for this run), with made-up surveys beside the real one.
#
#   scripts/demo.sh            on $DISPLAY when there is one (answer with the keyboard: arrows
#                              move, Return selects / presses, Escape is Back), else on a virtual
#                              screen driven by real X key events, with a screenshot
#   scripts/demo.sh --virtual  always on a virtual screen
# Environment: BUILD_DIR (default build), MENU_LANGUAGE (en_US.utf8 by default; translated:
# de_DE, fr_FR, es_ES, it_IT, nl_NL, pl_PL, pt_PT, pt_BR, sv_SE, tr_TR, ar_AE (mirrored), ja_JP,
# zh_CN, ko_KR, each with .utf8; any other language shows English).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD=$(mkdir -p "${BUILD_DIR:-build}" && cd "${BUILD_DIR:-build}" && pwd)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target tavsurvey tavcollector vconftool tavplatform tavrin_themes tavrin_catalogs
# Theme files, translations and the survey's data folders go to the application's paths.
cmake --install "$BUILD" --component survey >/dev/null

. scripts/lib/tvsession.sh
trap tv_stop_all EXIT
demo=$BUILD/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== Emulated television: $demo/tv"
tv_new_root "$demo/tv" "${MENU_LANGUAGE:-en_US.utf8}"
for key in db/menu_widget/language db/comss/hwduid; do "$BUILD/platform/core/vconftool" get "$key"; done
echo "model $("$BUILD/platform/core/tavplatform" get info/292), firmware $("$BUILD/platform/core/tavplatform" get info/128), country $("$BUILD/platform/core/tavplatform" get settings/10036)"

echo "== Collector (its CA goes to /opt/data/cert/trxca.pem)"
tv_start_collector "$demo/collector"
echo "upload URL: $TV_URL"

launch=(--url "$TV_URL" --pincode 4711 --sessionid "demo-$(date +%H%M%S)")
if [ "${1:-}" != --virtual ] && [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  echo "== Survey on $DISPLAY: arrows move, Return selects and presses, Escape is Back"
  "$BUILD/src/tavsurvey/tavsurvey" "${launch[@]}" || true
else
  echo "== Survey on a virtual screen, answered with X key events"
  tv_start_display
  tv_start_survey "${launch[@]}"
  # Q1: "No"; Q2: "Satisfied"; the other questions keep their first answers.
  tv_keys Down Return Down Down Return
  tv_screenshot "$demo/survey.png"
  tv_keys Right
  t0=$(date +%s%N)
  xdotool key Return
  tv_wait_survey 60
  echo "survey closed $(( ($(date +%s%N) - t0) / 1000000 )) ms after Return on Submit (upload included)"
  echo "screenshot: $demo/survey.png"
fi

echo "== What the survey logged"
tv_log '^(Exporting|Send survey|Response answer|Open api connection error|Unable to export)'
echo "== Collector report"
"$BUILD/collector/tavcollector" report --db "$demo/collector/surveys.sqlite"

# The operators' dashboard on the same collector: a few thousand made-up surveys beside the one
# just sent, and an operator whose password is made for this run and shown only here.
"$BUILD/collector/tavcollector" seed --db "$demo/collector/surveys.sqlite" --count 3000 --days 120 >/dev/null
password=$(head -c 15 /dev/urandom | base64 | tr '+/' '-_')
echo "$password" | "$BUILD/collector/tavcollector" user add demo --db "$demo/collector/surveys.sqlite" >/dev/null
echo "== Dashboard (the collector's CA is $demo/collector/certs/ca.pem; a browser will ask to accept it)"
echo "URL:      ${TV_URL%/survey}/dashboard"
echo "login:    demo"
echo "password: $password"
if [ -t 0 ]; then
  read -r -p "The collector runs until you press Enter. " _
fi
