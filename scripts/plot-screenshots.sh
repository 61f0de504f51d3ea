#!/usr/bin/env bash
# Screenshots of the plot during a ramp, for docs/: the terminal and the
# emulator under Xvfb, the plot open from the start on four read-outs. The
# emulator steps the level 0..100 at each broadcast; once at 5 broadcasts a
# second (a ramp every 20 s), once in a flood at the full line rate.
#   scripts/plot-screenshots.sh [BUILD [OUT]]   (default: build, docs)
# Needs xvfb-run and ImageMagick's import; exits non-zero when a screenshot
# could not be made.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$ROOT/build}" && pwd) || exit 1
out=$(cd "${2:-$ROOT/docs}" && pwd) || exit 1
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$build" "$out"
fi
# Engine speed, engine temperature, alternator potential, fuel level.
readouts=1035,1039,1040,1055
# A copy of the terminal in a folder of its own inside the build tree keeps
# its settings and port links there: the build's own stay as they are.
work=$(mktemp -d "$build/plot-shots-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$build/BrendlowTerminal" "$work/"

# shoot NAME SECONDS EMULATOR-OPTIONS...: runs both for SECONDS, then saves
# the plot's window as OUT/NAME.
shoot() {
    local name=$1 seconds=$2 status=0
    shift 2
    "$build/BrendlowEmulator" --link "$work/ports/COM1" --sweep "$@" >/dev/null 2>&1 &
    local emulator=$!
    for _ in $(seq 50); do [ -e "$work/ports/COM1" ] && break; sleep 0.1; done
    BRENDLOW_PLOT=$readouts "$work/BrendlowTerminal" &
    local terminal=$!
    sleep "$seconds"
    if import -window "Plot" "$out/$name"; then
        echo "Saved the plot to $out/$name"
    else
        echo "plot-screenshots: could not save $out/$name" >&2
        status=1
    fi
    kill "$terminal" "$emulator" 2>/dev/null
    wait "$terminal" "$emulator" 2>/dev/null
    return $status
}

status=0
shoot plot-ramp.png 45 --rate 5 || status=1
shoot plot-flood.png 20 --flood --pace-bytes 11520 || status=1
exit $status
