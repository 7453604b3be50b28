#!/usr/bin/env bash
# Builds the test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ and runs it: any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBELMORAND_SANITIZE=address,undefined \
    -DBELMORAND_BUILD_TESTS=ON >/dev/null
cmake --build build-asan --parallel "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure --timeout 900 -E "examples_qpdf|reports_qpdf"
