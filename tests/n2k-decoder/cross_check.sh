#!/usr/bin/env bash
# The device's NMEA 2000 messages through the field's standard decoder,
# compared with what the panel shows; the differences the decoder is known to
# show are the table in docs/nmea2000.md.
# CHECK is the n2k_decoder_check program (tests/n2k_decoder_check.cpp).
#   cross_check.sh grid SOURCE-FOLDER BUILD-FOLDER CHECK
#       every group at every level 0..100, Warnings off and on, from the bus
#       model the emulator sends with; then the same log with one value
#       spoiled, which the check must catch.
#   cross_check.sh emulator SOURCE-FOLDER BUILD-FOLDER CHECK
#       what BrendlowEmulator --candump logs while brendlowctl sweeps the
#       level 0..100 with Warnings off, then 100..0 with Warnings on. Exit 77
#       (skipped) for an emulator without --candump.
set -euo pipefail
mode=$1
src=$2
build=$3
here=$src/tests/n2k-decoder
doc=$src/docs/nmea2000.md
check=$4
sandbox=$(mktemp -d)
emulator=""
cleanup() {
    if [ -n "$emulator" ]; then kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; fi
    rm -rf "$sandbox"
}
trap cleanup EXIT

decode() { node "$here/decode.js" "$1" >"$2"; }

if [ "$mode" = grid ]; then
    "$check" candump >"$sandbox/grid.log"
    decode "$sandbox/grid.log" "$sandbox/grid.jsonl"
    "$check" compare "$doc" "$sandbox/grid.jsonl"

    # Engine speed at level 36, Warnings on (the 138th state) one step off:
    # the check must name that field at that state and fail.
    line=$(grep -F '(1700000137.000000) can0 09F20000#' "$sandbox/grid.log")
    data=${line#*#}
    spoiled=${line%#*}#${data:0:2}$(printf %02X $(((16#${data:2:2} + 1) % 256)))${data:4}
    awk -v old="$line" -v new="$spoiled" '$0 == old { $0 = new; n++ } { print } END { exit n != 1 }' \
        "$sandbox/grid.log" >"$sandbox/spoiled.log"
    decode "$sandbox/spoiled.log" "$sandbox/spoiled.jsonl"
    if "$check" compare "$doc" "$sandbox/spoiled.jsonl" >"$sandbox/spoiled.out"; then
        echo "cross_check: a spoiled engine speed went unnoticed" >&2
        exit 1
    fi
    grep -q "level 36, Warnings on: 127488 speed: decoder" "$sandbox/spoiled.out" || {
        echo "cross_check: the spoiled engine speed was not reported as such:" >&2
        cat "$sandbox/spoiled.out" >&2
        exit 1
    }
    echo "a spoiled engine speed is caught"
    exit 0
fi

[ "$mode" = emulator ] || { echo "cross_check: unknown mode $mode" >&2; exit 64; }
if ! "$build/BrendlowEmulator" --help | grep -q -- '--candump'; then
    echo "skipped: this BrendlowEmulator has no --candump"
    exit 77
fi
"$build/BrendlowEmulator" --link "$sandbox/COM1" --candump "$sandbox/emulator.log" >/dev/null &
emulator=$!
for _ in $(seq 100); do [ -e "$sandbox/COM1" ] && break; sleep 0.1; done
ctl() { "$build/brendlowctl" --port "$sandbox/COM1" "$@" >/dev/null; }
# Each step is acknowledged before the next: the emulator's messages follow
# the states in this order, whatever the machine's load.
ctl sweep 0 100 --every 0
ctl key warnings
ctl sweep 100 0 --every 0
kill "$emulator"
wait "$emulator" || true
emulator=""

sequence=50:0 # the emulator starts at level 50
for level in $(seq 0 100); do sequence+=,$level:0; done
for level in $(seq 100 -1 0); do sequence+=,$level:1; done
decode "$sandbox/emulator.log" "$sandbox/emulator.jsonl"
"$check" compare "$doc" "$sandbox/emulator.jsonl" --sequence "$sequence"
