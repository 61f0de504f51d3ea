#!/usr/bin/env bash
# Runs the emulator and the terminal on the current display, waits until the
# device is identified and a level has been shown, and saves a PNG of the
# terminal's window. Exits non-zero when no device was identified or nothing
# was saved.
set -u
build=$1
out=$2
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/emulator.sh"
# The main window's title, by which ImageMagick finds the window to save.
title="Tessaly Brendlow Remote Terminal V1.00A Build03292013-01"
start_emulator "$build" "COM$(settings_port "$build")" /dev/null || exit 1
log=$(mktemp)
BRENDLOW_STATUS_LOG=$log "$build/BrendlowTerminal" &
terminal=$!
status=1
for _ in $(seq 100); do
    if grep -q '^identified' "$log" && grep -q '^level' "$log"; then status=0; break; fi
    sleep 0.1
done
sleep 0.5
if [ $status -ne 0 ]; then
    echo "screenshot: no device was identified" >&2
elif import -window "$title" "$out"; then
    echo "Saved the terminal's window to $out"
else
    echo "screenshot: could not save the window to $out" >&2
    status=1
fi
kill "$terminal" 2>/dev/null
wait "$terminal" 2>/dev/null
stop_emulator
rm -f "$log"
exit $status
