#!/bin/bash
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS
# seconds (default 20) on a copy of its seed corpus, one line each. Exits
# non-zero when a target fails to build or finds a crash, leak, overflow or
# undefined behaviour; the failing input is left in fuzz/out/artifacts/<target>/
# and each target's whole libFuzzer output in fuzz/out/<target>.log.
#
#   fuzz/run.sh [SECONDS]
set -u

seconds="${1:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(dirname "$here")"
. "$ROOT/scripts/common.sh"
out="$here/out"
targets=(fuzz_framing fuzz_settings fuzz_hexpair fuzz_bus_frames fuzz_scenario)

build_with_progress build-fuzz -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENDLOW_FUZZ=ON || exit 1

# Only this run's logs, so that their executions can be added up.
mkdir -p "$out"
rm -f "$out"/*.log
status=0
for target in "${targets[@]}"; do
    # Work on a copy so the fuzzer's finds stay out of the repository.
    corpus="$out/corpus/$target"
    artifacts="$out/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    cp "$here/corpus/$target/"* "$corpus/"
    log="$out/$target.log"

    printf 'Fuzzing %s for %ss ... ' "$target" "$seconds"
    "$ROOT/build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    rc=$?
    execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
    if [ "$rc" -ne 0 ]; then
        echo "FAILED (exit $rc) after $(thousands "${execs:-?}") executions:"
        grep -m1 -E 'ERROR: |runtime error|deadly signal|Test unit written' "$log"
        tail -n 30 "$log"
        echo "== $target failed; its log is $log, the input in $artifacts/"
        status=1
    else
        echo "$(thousands "${execs:-?}") executions, nothing found; corpus $(ls "$corpus" | wc -l) inputs"
    fi
done
[ "$status" -eq 0 ] || echo "fuzz: FAILED, see above"
exit "$status"
