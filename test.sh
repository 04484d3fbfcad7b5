#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   ./test.sh             release build, all tests
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build, all tests
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=Release)
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQNL_SANITIZE=ON)
fi
jobs=${JOBS:-$(nproc)}   # JOBS=n caps the parallel build and test jobs

cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$jobs"
