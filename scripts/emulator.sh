# Sourced by run.sh and scripts/screenshot.sh: the emulator linked where the
# terminal looks first.

# The emulator also stands on this virtual NMEA 2000 bus, which it hosts on
# this machine only; brendlowctl bus and other CAN programs can join it. A
# port already taken turns the bus side off (said in the log); the serial
# side runs on.
demo_bus="virtualcan:tcp://127.0.0.1:35470/can0"

# start_emulator BUILD COMn LOG: starts the emulator linked at BUILD/ports/COMn,
# on the demo bus, and waits for its link. The ports/ folder decides what every COMn opens, so
# when it is made here only for the emulator, stop_emulator removes it again
# and the built-in ports come back. Sets emulator_pid.
emulator_pid=""
made_ports_folder=""
start_emulator() {
    local build=$1 name=$2 log=$3
    local port="$build/ports/$name"
    if [ ! -e "$build/ports" ]; then
        mkdir -p "$build/ports"
        made_ports_folder="$build/ports"
    fi
    "$build/BrendlowEmulator" --link "$port" --can "$demo_bus" >"$log" 2>&1 &
    emulator_pid=$!
    for _ in $(seq 50); do [ -e "$port" ] && return 0; sleep 0.1; done
    echo "The emulator made no link at $port:" >&2
    stop_emulator
    return 1
}

stop_emulator() {
    if [ -n "$emulator_pid" ]; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
        emulator_pid=""
    fi
    # Only when empty: a port assigned meanwhile keeps the folder.
    if [ -n "$made_ports_folder" ]; then
        rmdir "$made_ports_folder" 2>/dev/null || true
        made_ports_folder=""
    fi
}
