#!/usr/bin/env bash
# The application's main job against a local default. Until the survey application is in
# place this builds what exists and shows the emulated television it will run on.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
export TAV_PLATFORM_ROOT=${TAV_PLATFORM_ROOT:-$PWD/build/demo-root}
echo "Emulated television at $(build/platform/core/tavplatform root):"
build/platform/core/vconftool get db/menu_widget/language
build/platform/core/vconftool get db/comss/hwduid
echo "firmware: $(build/platform/core/tavplatform get info/128)"
echo "model:    $(build/platform/core/tavplatform get info/292)"
