#!/usr/bin/env bash
# Long run of the terminal against a device that keeps going away: the
# emulator is stopped (alternately SIGTERM and SIGKILL) and started again
# every 2 s, through phases of clean lines, noise, garbage and a flood at the
# line rate. Prints the terminal's open files, memory, CPU time and how often
# it identified the device, at the start, each minute and at the end; exits
# non-zero when the terminal died.
#   ./soak.sh MINUTES
# The run folder (the terminal's copy, its settings, the logs) stays in
# build/soak/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"

minutes=${1:-}
case "$minutes" in
'' | *[!0-9]* | 0) echo "usage: ./soak.sh MINUTES" >&2; exit 2 ;;
esac

install_missing_packages
mkdir -p "$ROOT/build"
build_into build -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$ROOT/build/soak-build.log" 2>&1 ||
    { tail -40 "$ROOT/build/soak-build.log" >&2; exit 1; }

# The terminal takes its settings from beside its executable and maps COMn
# to ports/COMn there: a copy in a folder of its own.
RUN="$ROOT/build/soak"
rm -rf "$RUN"
mkdir -p "$RUN/ports"
cp "$ROOT/build/BrendlowTerminal" "$RUN/"
printf 'COM=1;\r\n' >"$RUN/Quarnel.ini"
STATUS="$RUN/status.log"
: >"$STATUS"

PHASES=(clean noise garbage flood)
PHASE_SECONDS=15
CYCLE_SECONDS=2
HZ=$(getconf CLK_TCK)

emulator_pid=""
terminal_pid=""
stops=0

phase_options() {
    case "$1" in
    noise) echo --noise ;;
    garbage) echo --garbage ;;
    flood) echo --flood --pace-bytes 11520 ;;
    esac
}

start_emulator() {
    # shellcheck disable=SC2046 # the options are words
    "$ROOT/build/BrendlowEmulator" --link "$RUN/ports/COM1" $(phase_options "$1") \
        >>"$RUN/emulator.out" 2>&1 &
    emulator_pid=$!
}

# SIGKILL leaves the link behind, pointing at a pty that is gone.
stop_emulator() {
    [ -n "$emulator_pid" ] || return 0
    if [ $((stops % 2)) -eq 0 ]; then kill -TERM "$emulator_pid" 2>/dev/null || true
    else kill -KILL "$emulator_pid" 2>/dev/null || true; fi
    wait "$emulator_pid" 2>/dev/null || true
    emulator_pid=""
    stops=$((stops + 1))
}

cleanup() {
    stop_emulator
    if [ -n "$terminal_pid" ]; then
        kill -TERM "$terminal_pid" 2>/dev/null || true
        wait "$terminal_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Running and not a zombie: a dead child stays in /proc until it is waited for.
alive() {
    local state
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

last_cpu=0
last_wall=$(date +%s.%N)
report() {
    local pid=$terminal_pid fds rss cpu wall identified
    fds=$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    cpu=$(sed 's/.*) //' "/proc/$pid/stat" | awk -v hz="$HZ" '{printf "%.2f", ($12 + $13) / hz}')
    wall=$(date +%s.%N)
    identified=$(grep -c '^identified ' "$STATUS" || true)
    printf '%-9s %4d fds  %7d kB RSS  %8.2f s CPU (%5.1f%% of a core since the last line)  %5d identified  %4d emulator stops  phase %s\n' \
        "$1" "$fds" "$rss" "$cpu" \
        "$(awk -v c="$cpu" -v lc="$last_cpu" -v w="$wall" -v lw="$last_wall" \
            'BEGIN {d = w - lw; printf "%.1f", (d > 0) ? 100 * (c - lc) / d : 0}')" \
        "$identified" "$stops" "$2"
    last_cpu=$cpu
    last_wall=$wall
}

died() {
    local status=0
    wait "$terminal_pid" || status=$?
    terminal_pid=""
    echo "soak: the terminal died (exit status $status) after $1 s; its last output:" >&2
    tail -20 "$RUN/terminal.out" >&2
    exit 1
}

echo "soak: $minutes min, emulator restarted every ${CYCLE_SECONDS} s, phases of ${PHASE_SECONDS} s: ${PHASES[*]}; run folder $RUN"
start_emulator clean
for _ in $(seq 50); do [ -e "$RUN/ports/COM1" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen BRENDLOW_STATUS_LOG="$STATUS" "$RUN/BrendlowTerminal" >"$RUN/terminal.out" 2>&1 &
terminal_pid=$!
sleep 1
alive "$terminal_pid" || died 1
report start clean

start=$(date +%s)
end=$((start + minutes * 60))
next_minute=1
phase=clean
while [ "$(date +%s)" -lt "$end" ]; do
    elapsed=$(($(date +%s) - start))
    phase=${PHASES[$((elapsed / PHASE_SECONDS % ${#PHASES[@]}))]}
    stop_emulator
    start_emulator "$phase"
    sleep "$CYCLE_SECONDS"
    alive "$terminal_pid" || died "$(($(date +%s) - start))"
    if [ "$next_minute" -lt "$minutes" ] && [ $(($(date +%s) - start)) -ge $((next_minute * 60)) ]; then
        report "minute $next_minute" "$phase"
        next_minute=$((next_minute + 1))
    fi
done
report end "$phase"
echo "soak: the terminal ran for $minutes min"
