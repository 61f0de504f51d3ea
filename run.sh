#!/usr/bin/env bash
# Builds the terminal, the emulator and brendlowctl (one line of progress; the
# whole log when the build fails) and runs them: the emulator is linked at
# build/ports/COM1, so the panel comes alive without hardware.
#   ./run.sh                   terminal + emulator
#   ./run.sh --no-emulator     terminal alone, for a real device
#   ./run.sh --emulator-only   emulator alone, for brendlowctl; Ctrl+C stops it
#   ./run.sh --signalk         also a Signal K server fed by the emulator's bus,
#                              on http://127.0.0.1:3000/ (with --emulator-only:
#                              emulator and server); --signalk-port N for another
#   ./run.sh --screenshot F    both under Xvfb; saves a PNG of the live window
#   ./run.sh --help            this text
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
. "$ROOT/scripts/common.sh"
. "$ROOT/scripts/emulator.sh"
. "$ROOT/scripts/signalk.sh"

mode=both
screenshot=""
signalk=0
while [ $# -gt 0 ]; do
    case "$1" in
    --no-emulator) mode=terminal ;;
    --emulator-only) mode=emulator ;;
    --signalk) signalk=1 ;;
    --signalk-port)
        [[ $# -ge 2 && $2 =~ ^[0-9]+$ && $2 -ge 1 && $2 -le 65535 ]] ||
            { echo "run.sh: --signalk-port needs a TCP port 1..65535" >&2; exit 2; }
        signalk=1
        signalk_port=$2
        shift
        ;;
    --screenshot)
        [ $# -ge 2 ] || { echo "run.sh: --screenshot needs a file name" >&2; exit 2; }
        screenshot=$2
        shift
        ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (--help lists the options)" >&2; exit 2 ;;
    esac
    shift
done

if [ "$signalk" = 1 ] && { [ "$mode" = terminal ] || [ -n "$screenshot" ]; }; then
    echo "run.sh: --signalk needs the emulator: not with --no-emulator or --screenshot" >&2
    exit 2
fi

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
gateway=()
[ "$signalk" = 0 ] || gateway=(--gateway "$demo_gateway")
start_emulator "$ROOT/build" "$name" "$ROOT/build/emulator.out" "${gateway[@]}" || exit 1
trap 'stop_signalk; stop_emulator' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if [ "$signalk" = 1 ]; then
    printf 'Starting the Signal K server ... '
    start_signalk "$ROOT/build" "$signalk_port" "$demo_gateway" "$ROOT/build/signalk.out" || exit 1
    echo "done"
    echo "Signal K server (process $signalk_pid): http://127.0.0.1:$signalk_port/ ; its data browser: http://127.0.0.1:$signalk_port/admin/#/databrowser"
    echo "It reads the emulator's bus from 127.0.0.1:$demo_gateway; its configuration is in build/signalk/, its output in build/signalk.out."
fi
pty=$(readlink "$ROOT/build/ports/$name")
if [ "$mode" = emulator ]; then
    echo "The emulator runs on $pty, linked at build/ports/$name (process $emulator_pid), and on the NMEA 2000 bus $demo_bus."
    echo "brendlowctl reaches it as $name, its default port; try:"
    echo "    build/brendlowctl identify"
    echo "    build/brendlowctl watch --count 3"
    echo "    build/brendlowctl bus --can $demo_bus --seconds 5"
    if [ "$signalk" = 1 ]; then echo "Ctrl+C stops it and the Signal K server."; else echo "Ctrl+C stops it."; fi
    wait "$emulator_pid" || true
    exit 0
fi
echo "Started the emulator (process $emulator_pid) on $pty, linked at build/ports/$name; the terminal's $name is that port. Its NMEA 2000 side is on $demo_bus."
if [ "$signalk" = 1 ]; then
    echo "Starting the terminal build/BrendlowTerminal; closing it stops the emulator and the Signal K server."
else
    echo "Starting the terminal build/BrendlowTerminal; closing it stops the emulator."
fi
"$ROOT/build/BrendlowTerminal"
