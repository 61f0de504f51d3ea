#!/usr/bin/env bash
# Builds the benchmarks in release mode into build-bench and prints one table:
# each figure, its goal, the figure over its goal (or over the line rate) and
# the raw figures, all measured in this run.
#   ./bench.sh           the full run (about two minutes)
#   ./bench.sh --quick   3 s instead of 10 s runs, memory read after 10 s instead of 60 s
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
    -h | --help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

install_missing_packages
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRENDLOW_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target \
    brendlow_bench_framing brendlow_bench_show_level brendlow_bench_system \
    BrendlowTerminal BrendlowEmulator >"$BUILD/bench-build.log" 2>&1 ||
    { tail -40 "$BUILD/bench-build.log" >&2; exit 1; }

OUT="$BUILD/bench"
case "$mode" in
full) micro=(--benchmark_repetitions=5 --benchmark_display_aggregates_only=true); system=() ;;
quick) micro=(--benchmark_repetitions=3 --benchmark_display_aggregates_only=true); system=(--quick) ;;
smoke) micro=(--benchmark_min_time=0.01); system=(--smoke) ;;
esac

export QT_QPA_PLATFORM=offscreen
echo "bench: framing ..." >&2
"$OUT/brendlow_bench_framing" "${micro[@]}" \
    --benchmark_out="$OUT/framing.json" --benchmark_out_format=json >"$OUT/framing.txt" 2>&1
echo "bench: ShowLevel ..." >&2
"$OUT/brendlow_bench_show_level" "${micro[@]}" \
    --benchmark_out="$OUT/show_level.json" --benchmark_out_format=json >"$OUT/show_level.txt" 2>&1
"$OUT/brendlow_bench_system" "${system[@]}" \
    --framing-json "$OUT/framing.json" --show-level-json "$OUT/show_level.json" |
    tee "$OUT/table.md"
