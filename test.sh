#!/usr/bin/env bash
# Usage: ./test.sh [-h|--help]
#
# Builds the project and runs every test, in this order:
#   build/       a RelWithDebInfo build with the benchmarks: the unit and
#                end-to-end tests (ctest)
#   build-asan/  a Debug build under AddressSanitizer and
#                UndefinedBehaviorSanitizer: the same tests again
#   build-fuzz/  the fuzz targets (clang, libFuzzer): 7 seconds each
#                (fuzz/run.sh SECONDS for longer runs)
#   build/bench/ one short pass of each benchmark (./bench.sh gives the
#                real figures)
# Missing Debian packages are installed first (as root, or through sudo).
#
# The first run takes about 10-15 minutes on two cores (longer when others
# share them), most of it the three builds; later runs build only what
# changed and take about 3 minutes.
# It shows one line for each step and ends with one line that counts what
# passed. The logs stay behind: DIR/build.log and DIR/test.log for each build
# folder, DIR/Testing/Temporary/LastTest.log for every test's output,
# fuzz/out/ for the fuzz targets, build/bench/test-*.log for the benchmarks.
#
# Exit status: 0 when everything passed, 1 when anything failed (the last
# lines name it and show its output), 2 for an unknown option.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)

for arg in "$@"; do
    case "$arg" in
    -h | --help)
        awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
        exit 0
        ;;
    *)
        echo "test.sh: unknown option '$arg' (./test.sh --help says what it does)" >&2
        exit 2
        ;;
    esac
done

. "$ROOT/scripts/common.sh"

# Qt wants a private runtime folder and warns, in every test that starts a
# Qt application, when there is none (a CI machine or an ssh session without
# a login). mktemp makes it with mode 0700, as Qt requires.
XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/brendlow-test-XXXXXX")
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

passed=()
comma_list() {
    local text=$1
    shift
    for part in "$@"; do text+=", $part"; done
    echo "$text"
}
# failed WHAT: the closing line when a step failed; its details are above.
failed() {
    local done=""
    [ ${#passed[@]} -eq 0 ] || done=" after $(comma_list "${passed[@]}")"
    echo "test.sh: FAILED: $1$done; $(format_duration $SECONDS)" >&2
    exit 1
}

install_missing_packages || failed "the missing Debian packages could not be installed"

build_with_progress build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENDLOW_BENCH=ON || failed "the build in build/"
run_tests "$ROOT/build" || failed "$TESTS_PASSED test suites passed (build)"
passed+=("$TESTS_PASSED test suites passed (build)")

build_with_progress build-asan -DCMAKE_BUILD_TYPE=Debug -DBRENDLOW_SANITIZE=ON -DBRENDLOW_BENCH=OFF ||
    failed "the build in build-asan/"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_tests "$ROOT/build-asan" || failed "$TESTS_PASSED test suites passed (build-asan)"
passed+=("$TESTS_PASSED (build-asan)")

"$ROOT/fuzz/run.sh" 7 || failed "a fuzz target (fuzz/run.sh)"
executions=$(cat "$ROOT"/fuzz/out/*.log | grep -o 'stat::number_of_executed_units: *[0-9]*' |
    awk '{ n += $2 } END { print n + 0 }')
passed+=("$(thousands "$executions") fuzz executions")

# JSON keeps Google Benchmark's notes on the machine (and its warning that
# Debian's library was built for debugging, which does not matter for a
# pass that only checks that they run) out of the way; the figures are
# ./bench.sh's business.
label="Running each benchmark once"
start=$SECONDS
printf '%s ... ' "$label"
export QT_QPA_PLATFORM=offscreen
bench="$ROOT/build/bench"
micro=0
for name in framing show_level; do
    if ! "$bench/brendlow_bench_$name" --benchmark_min_time=0.01 --benchmark_format=json \
        >"$bench/test-$name.json" 2>"$bench/test-$name.log"; then
        echo "failed:"
        cat "$bench/test-$name.log" >&2
        failed "brendlow_bench_$name (its output: build/bench/test-$name.json and .log)"
    fi
    micro=$((micro + $(grep -c '"run_type": "iteration"' "$bench/test-$name.json")))
done
if ! "$bench/brendlow_bench_system" --smoke >"$bench/test-system.md" 2>"$bench/test-system.log"; then
    echo "failed:"
    cat "$bench/test-system.log" "$bench/test-system.md" >&2
    failed "brendlow_bench_system --smoke"
fi
figures=$(grep -c '^| [0-9]' "$bench/test-system.md")
echo "$micro benchmarks and $figures system figures in $(format_duration $((SECONDS - start)))"
passed+=("$micro benchmarks and $figures system figures")

echo "All passed: $(comma_list "${passed[@]}"); $(format_duration $SECONDS) in all"
