#!/usr/bin/env bash
# Builds the tests that run conversions in parallel with ThreadSanitizer into
# build-tsan/ and runs them: any report fails the run, but for the canary,
# which races on purpose and must be reported.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/deps.sh clang
cmake -S . -B build-tsan -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBELMORAND_SANITIZE=thread -DBELMORAND_BUILD_TESTS=ON >/dev/null
tests=(tst_tsancanary tst_stress tst_mainwindow tst_cli)
cmake --build build-tsan --parallel "$(nproc)" --target "${tests[@]}"
# Qt's libraries are not instrumented: what happens inside them alone is not
# ours to judge (tests/sanitizers/tsan.supp); our hand-offs through them are
# annotated in system/threadhandoff.
export TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1:history_size=4"
regex=$(IFS='|'; echo "^(${tests[*]})")
QT_QPA_PLATFORM=offscreen ctest --test-dir build-tsan --output-on-failure --timeout 900 -R "$regex"
