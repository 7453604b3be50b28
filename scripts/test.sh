#!/usr/bin/env bash
# Builds everything into build/ and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/build.sh -DBELMORAND_BUILD_TESTS=ON
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 600
if [ "${CI:-}" = true ]; then
    # Each check with the seconds it took, so CI's time stays visible.
    stage() {
        local start=$SECONDS
        bash "$@"
        echo "== $* took $((SECONDS - start)) s"
    }
    stage scripts/lint.sh              # formatting and clang-tidy
    stage scripts/qt6.sh               # the same suite against Qt 6
    stage scripts/package.sh --install # the .deb, installed and used, then removed
    stage scripts/sanitize.sh          # the suite under ASan and UBSan
    stage scripts/tsan.sh              # the parallel tests under TSan
    stage scripts/fuzz.sh 60           # a short fuzz of reading and of whole conversions
fi
