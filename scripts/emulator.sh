# Sourced by run.sh and scripts/screenshot.sh: the emulator linked where the
# terminal looks first.

# start_emulator BUILD COMn LOG: starts the emulator linked at BUILD/ports/COMn
# and waits for its link. The ports/ folder decides what every COMn opens, so
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
    "$build/BrendlowEmulator" --link "$port" >"$log" 2>&1 &
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
