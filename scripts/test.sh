#!/usr/bin/env bash
# Builds everything into build/ and runs the whole test suite; the same on
# every machine. CI runs further stages after it (.ci/run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/build.sh -DBELMORAND_BUILD_TESTS=ON
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 600
