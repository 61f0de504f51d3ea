#!/usr/bin/env bash
# Builds the benchmarks in release mode into build-bench and prints one table:
# the machine and its load, each figure, its goal, the figure over its goal
# (or over the line rate) and the raw figures, all measured in this run.
# Exits non-zero, naming them, when any goal is missed.
#   ./bench.sh           the full run (about 22 minutes, 10 of them a scenario)
#   ./bench.sh --quick   3 s runs instead of 10 s (40 s idle), memory read after 10 s instead of 60 s, a 1-minute scenario
#   ./bench.sh --smoke   a few seconds of each, only to check that everything runs
# Logs and the run folders are kept in build-bench/bench/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"

mode=full
while [ $# -gt 0 ]; do
    case "$1" in
    --quick) mode=quick ;;
    --smoke) mode=smoke ;;
    -h | --help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 64 ;;
    esac
    shift
done

install_missing_packages
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRENDLOW_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target \
    brendlow_bench_framing brendlow_bench_show_level brendlow_bench_system \
    BrendlowTerminal BrendlowEmulator brendlowctl >"$BUILD/bench-build.log" 2>&1 ||
    { tail -40 "$BUILD/bench-build.log" >&2; exit 1; }

# The Signal K row runs the pinned server: installed at the first run.
"$ROOT/signalk/install.sh" >&2 || { echo "bench: the Signal K server could not be installed" >&2; exit 1; }

OUT="$BUILD/bench"
case "$mode" in
full) micro=(--benchmark_repetitions=5 --benchmark_display_aggregates_only=true); system=() ;;
quick) micro=(--benchmark_repetitions=3 --benchmark_display_aggregates_only=true); system=(--quick) ;;
smoke) micro=(--benchmark_min_time=0.01); system=(--smoke) ;;
esac

export QT_QPA_PLATFORM=offscreen
failed=()
echo "bench: framing ..." >&2
"$OUT/brendlow_bench_framing" "${micro[@]}" \
    --benchmark_out="$OUT/framing.json" --benchmark_out_format=json >"$OUT/framing.txt" 2>&1 ||
    failed+=("brendlow_bench_framing (see $OUT/framing.txt)")
echo "bench: ShowLevel ..." >&2
# It first checks that the read-outs look exactly as drawn the plain way, and
# measures nothing when they do not.
"$OUT/brendlow_bench_show_level" "${micro[@]}" \
    --benchmark_out="$OUT/show_level.json" --benchmark_out_format=json >"$OUT/show_level.txt" 2>&1 ||
    failed+=("brendlow_bench_show_level: $(grep -m1 -i 'differ\|error' "$OUT/show_level.txt" || echo "see $OUT/show_level.txt")")
status=0
"$OUT/brendlow_bench_system" "${system[@]}" \
    --framing-json "$OUT/framing.json" --show-level-json "$OUT/show_level.json" \
    >"$OUT/table.md" || status=$?
cat "$OUT/table.md"
[ "$status" -eq 0 ] || failed+=("brendlow_bench_system exited with $status")
if [ ${#failed[@]} -gt 0 ]; then
    printf 'bench: FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
