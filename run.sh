#!/usr/bin/env bash
# Installs what is missing (the same setup as ./test.sh), builds and starts the window.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target QuarDemo
exec build/demo/window/QuarDemo "$@"
