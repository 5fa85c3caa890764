#!/usr/bin/env bash
# Builds the suite into build/, registers its COM libraries and starts Reelwright.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_TESTS=OFF >/dev/null
cmake --build build
scripts/register.sh build/bin
exec build/bin/Reelwright "$@"
