#!/usr/bin/env bash
# Builds and runs the terminal. By default a device emulator is started and
# linked at build/ports/COM1, so the panel comes alive without hardware.
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
    -h | --help) sed -n '2,6p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

install_missing_packages
build_into build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -n "$screenshot" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$ROOT/scripts/screenshot.sh" "$ROOT/build" "$screenshot"
fi

emulator_pid=""
cleanup() { [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null; true; }
trap cleanup EXIT INT TERM
if [ "$emulator" = 1 ]; then
    port="$ROOT/build/ports/COM$(settings_port "$ROOT/build")"
    mkdir -p "$ROOT/build/ports"
    "$ROOT/build/BrendlowEmulator" --link "$port" > "$ROOT/build/emulator.out" &
    emulator_pid=$!
    for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
fi
"$ROOT/build/BrendlowTerminal"
