#!/usr/bin/env bash
# Builds everything into build/ and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
werror=OFF
[ "${CI:-}" = true ] && werror=ON
bash scripts/build.sh -DBELMORAND_BUILD_TESTS=ON -DBELMORAND_WERROR=$werror
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 600
if [ "${CI:-}" = true ]; then
    # Formatting and clang-tidy.
    bash scripts/lint.sh
    # The same suite against Qt 6.
    bash scripts/qt6.sh
    # The Debian package, installed and used, then removed.
    bash scripts/package.sh --install
    # The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
    bash scripts/sanitize.sh
    # The tests that run conversions in parallel under ThreadSanitizer.
    bash scripts/tsan.sh
    # A short fuzz of reading and of whole conversions.
    bash scripts/fuzz.sh 60
fi
