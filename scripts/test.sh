#!/usr/bin/env bash
# The tests: set up, build, run every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DLUMORA_BENCH=ON
cd build
ctest --output-on-failure -j"$(nproc)"
