#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and fuzzes each
# for SECONDS (default 60), starting from fuzz/corpus and fuzz/regressions.
# New inputs go to build-fuzz/corpus-*, crashes to build-fuzz/artifacts/;
# copy a crash into fuzz/regressions/ once it is fixed, so the normal test
# run replays it.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/deps.sh test
bash scripts/deps.sh clang
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBELMORAND_FUZZ=ON -DBELMORAND_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" --target fuzz_reader fuzz_convert
mkdir -p build-fuzz/artifacts
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in fuzz_reader fuzz_convert; do
    corpus=build-fuzz/corpus-$target
    mkdir -p "$corpus"
    QT_QPA_PLATFORM=offscreen build-fuzz/fuzz/$target -max_total_time="$seconds" -max_len=65536 \
        -dict=fuzz/json.dict -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
        "$corpus" fuzz/corpus fuzz/regressions 2>&1 | tail -n 12
done
