#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each in turn for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      default 300, or $FUZZ_SECONDS
# Environment: BUILD_DIR (default build-fuzz), FUZZ_TARGETS (names to run, default all),
# FUZZ_TIMEOUT (seconds per input, default 10), FUZZ_RSS_MB (default 2048), FUZZ_SEED (libFuzzer's
# random seed; unset, a new one each run; CI fixes it so that its short run tries the same inputs
# every time and a red run is a finding that can be replayed, not a roll of the dice).
# The working corpus of a target is $BUILD_DIR/corpus/<target> (kept between runs, seeded from
# fuzz/corpus/<name>), findings go to $BUILD_DIR/artifacts/<target>/, the output to
# $BUILD_DIR/logs/<target>.log. Exits non-zero when any target found a crash, leak or time-out.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-300}}
build=${BUILD_DIR:-build-fuzz}
timeout=${FUZZ_TIMEOUT:-10}
rss=${FUZZ_RSS_MB:-2048}
seed=()
[ -n "${FUZZ_SEED:-}" ] && seed=(-seed="$FUZZ_SEED")

./scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAV_FUZZ=ON -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_BENCHMARKS=OFF >/dev/null
ninja -C "$build" -j2 fuzz_all

targets=${FUZZ_TARGETS:-$(cd "$build/fuzz" && ls fuzz_* | grep -v '\.' | sort)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for t in $targets; do
  name=${t#fuzz_}
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$artifacts" "$build/logs"
  dict=()
  case $name in
    xmlparser|libxml) dict=(-dict=fuzz/xml.dict) ;;
    collector_upload) dict=(-dict=fuzz/upload.dict) ;;
  esac
  echo "=== $t: ${seconds}s ==="
  rc=0
  # New inputs go to the first folder; the committed seeds are read from the second.
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb="$rss" \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "${seed[@]}" "${dict[@]}" \
    "$corpus" "fuzz/corpus/$name" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
  units=$(find "$corpus" -type f | wc -l)
  if [ "$rc" -eq 0 ]; then
    echo "$t: ok, ${runs:-?} runs, ${cov:-no coverage line}, corpus $units inputs"
  else
    echo "$t: FAILED (exit $rc) after ${runs:-?} runs, ${cov:-no coverage line}; log $log"
    grep -E 'ERROR|SUMMARY|property broken|Test unit written|deadly signal|timeout' "$log" | head -n 12 || true
    ls "$artifacts" 2>/dev/null | sed 's/^/  artifact: /'
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "fuzzing: all targets ran clean"
