#!/usr/bin/env bash
# Runs the emulator and the terminal on the current display, waits until the
# device is identified and a level has been shown, and saves a PNG of the
# screen. Exits non-zero when no device was identified.
set -u
build=$1
out=$2
. "$(dirname "$0")/common.sh"
port="$build/ports/COM$(settings_port "$build")"
mkdir -p "$build/ports"
log=$(mktemp)
"$build/BrendlowEmulator" --link "$port" > /dev/null &
emulator=$!
for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
BRENDLOW_STATUS_LOG=$log "$build/BrendlowTerminal" &
terminal=$!
status=1
for _ in $(seq 100); do
    if grep -q '^identified' "$log" && grep -q '^level' "$log"; then status=0; break; fi
    sleep 0.1
done
sleep 0.5
import -window root "$out"
kill "$terminal" "$emulator" 2>/dev/null
wait 2>/dev/null
rm -f "$log"
[ $status -eq 0 ] || echo "screenshot: no device was identified" >&2
exit $status
