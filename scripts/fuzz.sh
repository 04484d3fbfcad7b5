#!/usr/bin/env bash
# Coverage-guided fuzzing of the readers (clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer), by hand; not part of the test suite.
#   scripts/fuzz.sh [seconds per target=600] [target...]
# Targets: fuzz_ddl_reader (the DDL script reader), fuzz_body_reader (the body reader, from
# scripts and from stored sources), fuzz_sql_text (the SQL text routines, the parameter scanner
# and the executor's splitting). Each is seeded with the fixture scripts and keeps its corpus in
# build-fuzz/corpus/<target>; a crash, leak or timeout leaves its input in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

seconds=${1:-600}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(fuzz_ddl_reader fuzz_body_reader fuzz_sql_text)
jobs=${JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQNL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target "${targets[@]}"

mkdir -p build-fuzz/findings
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  cp -n tests/fixtures/scripts/*.sql "$corpus"/ 2>/dev/null || true
  echo "== $t: $seconds s"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "build-fuzz/bench/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$t"- "$corpus"
done
