#!/usr/bin/env bash
# The tests: set up, build, run every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
bash scripts/build.sh -DLUMORA_TESTS=ON -DLUMORA_BENCH=ON -DLUMORA_WERROR=ON
cd build
ctest --output-on-failure -j"$(nproc)"
