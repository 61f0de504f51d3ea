#!/usr/bin/env bash
# Builds the terminal and the emulator (one line of progress; the whole log
# when the build fails) and runs them: the emulator is linked at
# build/ports/COM1, so the panel comes alive without hardware.
#   ./run.sh                   terminal + emulator
#   ./run.sh --no-emulator     terminal alone, for a real device
#   ./run.sh --screenshot F    both under Xvfb; saves a PNG of the live window
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"

emulator=1
screenshot=""
while [ $# -gt 0 ]; do
    case "$1" in
    --no-emulator) emulator=0 ;;
    --screenshot) screenshot=${2:?--screenshot needs a file name}; shift ;;
    -h | --help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

install_missing_packages
# Only the two programs, quietly: the whole log only when the build fails.
mkdir -p "$ROOT/build"
log="$ROOT/build/run-build.log"
printf 'Building BrendlowTerminal and BrendlowEmulator in build/ ... '
if ! { cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$ROOT/build" -j "$(nproc)" --target BrendlowTerminal BrendlowEmulator; } >"$log" 2>&1; then
    echo "failed:"
    cat "$log"
    exit 1
fi
echo "done"

if [ -n "$screenshot" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$ROOT/scripts/screenshot.sh" "$ROOT/build" "$screenshot"
fi

emulator_pid=""
cleanup() { [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null; true; }
trap cleanup EXIT INT TERM
if [ "$emulator" = 1 ]; then
    name="COM$(settings_port "$ROOT/build")"
    port="$ROOT/build/ports/$name"
    mkdir -p "$ROOT/build/ports"
    "$ROOT/build/BrendlowEmulator" --link "$port" > "$ROOT/build/emulator.out" &
    emulator_pid=$!
    for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
    if [ ! -e "$port" ]; then
        echo "run.sh: the emulator made no link at build/ports/$name:" >&2
        cat "$ROOT/build/emulator.out" >&2
        exit 1
    fi
    echo "Started the emulator (process $emulator_pid) on $(readlink "$port"), linked at build/ports/$name; the terminal's $name is that port."
    echo "Starting the terminal build/BrendlowTerminal; closing it stops the emulator."
else
    echo "Starting the terminal build/BrendlowTerminal, without the emulator."
fi
"$ROOT/build/BrendlowTerminal"
