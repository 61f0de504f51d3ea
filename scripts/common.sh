# Shared by run.sh, test.sh and bench.sh: installs the Debian packages the
# project needs when any is missing, then configures and builds.

BRENDLOW_PACKAGES="cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev \
libbenchmark-dev clang libclang-rt-14-dev xvfb xauth imagemagick fonts-dejavu-core dpkg-dev"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
    local missing=()
    for p in $BRENDLOW_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# build_into DIR [cmake options...]
build_into() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$(nproc)"
}

# The port the terminal will try first: the one its settings file names
# (COM1 when there is none), so that the emulator is linked where it looks.
settings_port() {
    local file="$1/Quarnel.ini" n=""
    [ -f "$file" ] && n=$(tr -d '\r' < "$file" | grep -aoiE '^com=?[0-9]+;' | tail -1 | grep -oE '[0-9]+')
    [ -n "$n" ] && [ "$n" -ge 1 ] && [ "$n" -le 30 ] && echo "$n" || echo 1
}

# run_tests DIR: every test of the build in DIR, two at a time. When any
# fails, ends with a summary that names the failed tests and shows the last
# lines of each one's output, so that the cause is at the end of a long log
# and not somewhere in its middle (all of it is in DIR/Testing/Temporary/LastTest.log).
run_tests() {
    local dir=$1
    ctest --test-dir "$dir" --output-on-failure -j 2 && return 0
    local temporary=$dir/Testing/Temporary name
    if [ ! -s "$temporary/LastTestsFailed.log" ]; then
        echo "== FAILED: ctest in $dir (no test reported a failure; see above)" >&2
        return 1
    fi
    while IFS=: read -r _ name; do
        echo "== $name failed; the last 30 lines of its output:" >&2
        # The test's last run: ctest --repeat writes a section for each.
        awk -v name="$name" '
            /^[0-9]+\/[0-9]+ Test: / { mine = ($NF == name); next }
            mine && /^Output:$/ { getline; reading = 1; n = 0; next }
            reading && /^<end of output>$/ {
                reading = 0; last = n
                for (i = 1; i <= n; ++i) shown[i] = seen[i]
                next
            }
            reading { seen[++n] = $0 }
            END { for (i = (last > 30 ? last - 29 : 1); i <= last; ++i) print shown[i] }
        ' "$temporary/LastTest.log" >&2
    done <"$temporary/LastTestsFailed.log"
    echo "== FAILED in $dir: $(cut -d: -f2 "$temporary/LastTestsFailed.log" | paste -sd' ')" >&2
    return 1
}
