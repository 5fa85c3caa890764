#!/usr/bin/env bash
# Builds the suite with its tests (AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors) into build-test/ and runs every test headless. Extra arguments go to ctest (-L core ...).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSUITE_SANITIZE=ON -DSUITE_WERROR=ON \
  -DSUITE_TESTS=ON >/dev/null
cmake --build build-test
export QT_QPA_PLATFORM=offscreen
cd build-test
ctest --output-on-failure -j "$(nproc)" "$@"
