# Sourced by run.sh and scripts/screenshot.sh: the emulator linked where the
# terminal looks first.

# The emulator also stands on this virtual NMEA 2000 bus, which it hosts on
# this machine only; brendlowctl bus and other CAN programs can join it. A
# port already taken turns the bus side off (said in the log); the serial
# side runs on.
demo_bus="virtualcan:tcp://127.0.0.1:35470/can0"
# ./run.sh --signalk has the emulator serve that bus here as a gateway does
# (candump lines over TCP, 127.0.0.1 only), for the Signal K server.
demo_gateway=35471

# start_emulator BUILD COMn LOG [OPTION...]: starts the emulator linked at
# BUILD/ports/COMn, on the demo bus, with any further options, and waits for
# its link. On failure it says why, with the emulator's log. The ports/ folder decides what every COMn opens, so
# when it is made here only for the emulator, stop_emulator removes it again
# and the built-in ports come back. Sets emulator_pid.
emulator_pid=""
made_ports_folder=""
start_emulator() {
    local build=$1 name=$2 log=$3
    shift 3
    local port="$build/ports/$name"
    # A live link is another emulator's (a dead one's link dangles).
    if [ -e "$port" ]; then
        echo "Another emulator is linked at $port already (is ./run.sh running?); stop it first." >&2
        return 1
    fi
    if [ ! -e "$build/ports" ]; then
        mkdir -p "$build/ports"
        made_ports_folder="$build/ports"
    fi
    "$build/BrendlowEmulator" --link "$port" --can "$demo_bus" "$@" >"$log" 2>&1 &
    emulator_pid=$!
    for _ in $(seq 50); do
        [ -e "$port" ] && return 0
        kill -0 "$emulator_pid" 2>/dev/null || break # it said why in its log
        sleep 0.1
    done
    echo "The emulator made no link at $port:" >&2
    stop_emulator
    cat "$log" >&2
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
