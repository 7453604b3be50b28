#!/usr/bin/env bash
# Builds everything against Qt 6 into build-qt6/ and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test-qt6
cmake -S . -B build-qt6 -G Ninja -DQT_DEFAULT_MAJOR_VERSION=6 -DBELMORAND_BUILD_TESTS=ON >/dev/null
cmake --build build-qt6 --parallel "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build-qt6 --output-on-failure --timeout 600
