# Sourced by run.sh and the Signal K screenshot and benchmark scripts: the
# pinned Signal K server (signalk/), fed by the emulator's gateway.

signalk_port=3000

# start_signalk BUILD PORT GATEWAY LOG: installs the server when it is
# missing, starts it on 127.0.0.1:PORT with its configuration in
# BUILD/signalk/, reading the gateway on 127.0.0.1:GATEWAY, and waits until
# it answers. Sets signalk_pid. On failure says why (a port that is taken, a
# server that cannot be installed) and leaves nothing running.
signalk_pid=""
start_signalk() {
    local build=$1 port=$2 gateway=$3 log=$4 status
    "$ROOT/signalk/install.sh" || return 1
    node "$ROOT/signalk/serve.js" --config "$build/signalk" --port "$port" --gateway "$gateway" \
        >"$log" 2>&1 &
    signalk_pid=$!
    # serve.js says "ready" or ends within a minute.
    while kill -0 "$signalk_pid" 2>/dev/null; do
        grep -q '^ready: ' "$log" && return 0
        sleep 0.2
    done
    status=0
    wait "$signalk_pid" || status=$?
    signalk_pid=""
    grep '^serve.js: ' "$log" >&2 || { echo "The Signal K server stopped ($status):" >&2; tail -n 20 "$log" >&2; }
    return 1
}

stop_signalk() {
    if [ -n "$signalk_pid" ]; then
        kill "$signalk_pid" 2>/dev/null || true
        wait "$signalk_pid" 2>/dev/null || true
        signalk_pid=""
    fi
}
