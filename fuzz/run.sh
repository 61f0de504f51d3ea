#!/bin/bash
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS
# seconds (default 20) on a copy of its seed corpus. Exits non-zero when a
# target fails to build or finds a crash, leak, overflow or undefined
# behaviour; the failing input is left in fuzz/out/artifacts/<target>/.
#
#   fuzz/run.sh [SECONDS]
set -u

seconds="${1:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="$here/out"
build="$root/build-fuzz"
targets=(fuzz_framing fuzz_settings fuzz_hexpair fuzz_bus_frames)

mkdir -p "$out"
echo "== building the fuzz targets in build-fuzz/"
if ! { cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENDLOW_FUZZ=ON &&
    cmake --build "$build" -j "$(nproc)"; } >"$out/build.log" 2>&1; then
    cat "$out/build.log"
    echo "fuzz: the targets did not build"
    exit 1
fi

status=0
summary=()
for target in "${targets[@]}"; do
    # Work on a copy so the fuzzer's finds stay out of the repository.
    corpus="$out/corpus/$target"
    artifacts="$out/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    cp "$here/corpus/$target/"* "$corpus/"
    log="$out/$target.log"

    echo "== running $target for ${seconds}s (log: $log)"
    "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    rc=$?
    execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
    secs="$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*')"
    if [ "$rc" -ne 0 ]; then
        grep -m1 -E 'ERROR: |runtime error|deadly signal|Test unit written' "$log"
        tail -n 30 "$log"
        summary+=("$target: FAILED (exit $rc), ${execs:-?} executions; see $log")
        status=1
    else
        summary+=("$target: ok, ${execs:-?} executions in ${secs:-?} s, corpus $(ls "$corpus" | wc -l) inputs")
    fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$status"
