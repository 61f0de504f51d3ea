#!/usr/bin/env bash
# Builds the project and runs every test: once in a normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of each
# fuzz target and one pass of each benchmark.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"

install_missing_packages

echo "== build and test"
build_into build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENDLOW_BENCH=ON
run_tests "$ROOT/build"

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
build_into build-asan -DCMAKE_BUILD_TYPE=Debug -DBRENDLOW_SANITIZE=ON -DBRENDLOW_BENCH=OFF
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_tests "$ROOT/build-asan"

echo "== fuzz targets, a short run each (fuzz/run.sh SECONDS for longer)"
"$ROOT/fuzz/run.sh" 7

echo "== benchmarks, one short pass each (./bench.sh gives the real figures)"
export QT_QPA_PLATFORM=offscreen
"$ROOT/build/bench/brendlow_bench_framing" --benchmark_min_time=0.01 >/dev/null
"$ROOT/build/bench/brendlow_bench_show_level" --benchmark_min_time=0.01 >/dev/null
"$ROOT/build/bench/brendlow_bench_system" --smoke >/dev/null
echo "benchmarks ran"
