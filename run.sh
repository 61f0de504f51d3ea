#!/usr/bin/env bash
# Builds the terminal, the emulator and brendlowctl (one line of progress; the
# whole log when the build fails) and runs them: the emulator is linked at
# build/ports/COM1, so the panel comes alive without hardware.
#   ./run.sh                   terminal + emulator
#   ./run.sh --no-emulator     terminal alone, for a real device
#   ./run.sh --emulator-only   emulator alone, for brendlowctl; Ctrl+C stops it
#   ./run.sh --screenshot F    both under Xvfb; saves a PNG of the live window
#   ./run.sh --help            this text
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"
. "$ROOT/scripts/emulator.sh"

mode=both
screenshot=""
while [ $# -gt 0 ]; do
    case "$1" in
    --no-emulator) mode=terminal ;;
    --emulator-only) mode=emulator ;;
    --screenshot)
        [ $# -ge 2 ] || { echo "run.sh: --screenshot needs a file name" >&2; exit 2; }
        screenshot=$2
        shift
        ;;
    -h | --help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (--help lists the options)" >&2; exit 2 ;;
    esac
    shift
done

install_missing_packages
# Every installed program, quietly: the whole log only when the build fails.
# Building what the install step installs lets `cmake --install build` follow.
mkdir -p "$ROOT/build"
log="$ROOT/build/run-build.log"
printf 'Building BrendlowTerminal, BrendlowEmulator and brendlowctl in build/ ... '
if ! { cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$ROOT/build" -j "$(nproc)" --target installable; } >"$log" 2>&1; then
    echo "failed:"
    cat "$log"
    exit 1
fi
echo "done"

if [ -n "$screenshot" ]; then
    case "$screenshot" in /*) ;; *) screenshot="$PWD/$screenshot" ;; esac
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$ROOT/scripts/screenshot.sh" "$ROOT/build" "$screenshot"
fi

if [ "$mode" = terminal ]; then
    echo "Starting the terminal build/BrendlowTerminal, without the emulator."
    exec "$ROOT/build/BrendlowTerminal"
fi

name="COM$(settings_port "$ROOT/build")"
start_emulator "$ROOT/build" "$name" "$ROOT/build/emulator.out" ||
    { cat "$ROOT/build/emulator.out" >&2; exit 1; }
trap stop_emulator EXIT INT TERM
pty=$(readlink "$ROOT/build/ports/$name")
if [ "$mode" = emulator ]; then
    echo "The emulator runs on $pty, linked at build/ports/$name (process $emulator_pid), and on the NMEA 2000 bus $demo_bus."
    echo "brendlowctl reaches it as $name, its default port; try:"
    echo "    build/brendlowctl identify"
    echo "    build/brendlowctl watch --count 3"
    echo "    build/brendlowctl bus --can $demo_bus --seconds 5"
    echo "Ctrl+C stops it."
    wait "$emulator_pid" || true
    exit 0
fi
echo "Started the emulator (process $emulator_pid) on $pty, linked at build/ports/$name; the terminal's $name is that port. Its NMEA 2000 side is on $demo_bus."
echo "Starting the terminal build/BrendlowTerminal; closing it stops the emulator."
"$ROOT/build/BrendlowTerminal"
