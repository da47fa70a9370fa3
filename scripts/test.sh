#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
#   BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments), BUILD_TARGETS, CTEST_ARGS
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
cmake --build "$build" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
