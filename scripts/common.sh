# Shared by run.sh, test.sh, bench.sh, soak.sh and fuzz/run.sh: installs the
# Debian packages the project needs when any is missing, configures and
# builds (quietly, with one line of progress, or with cmake's own output), and
# runs the tests of a build.

BRENDLOW_PACKAGES="cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-serialbus-dev \
qt6-charts-dev libgl-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xauth imagemagick \
fonts-dejavu-core dpkg-dev jq"
# Node.js and npm run the field's own NMEA 2000 tools in the tests. Debian's
# packages are installed only when the commands are missing: a machine may
# have Node.js from elsewhere, and Debian's npm would fight it.
BRENDLOW_COMMANDS="node:nodejs npm:npm"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# One line while apt works; all of apt's output only when it fails, since
# that is the only time anyone needs to read it.
install_missing_packages() {
    local missing=() p log status=0
    for p in $BRENDLOW_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    for p in $BRENDLOW_COMMANDS; do
        command -v "${p%%:*}" >/dev/null || missing+=("${p#*:}")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    log=$(mktemp)
    if [ ${#missing[@]} -eq 1 ]; then
        printf 'Installing 1 missing Debian package ... '
    else
        printf 'Installing %d missing Debian packages ... ' "${#missing[@]}"
    fi
    { as_root apt-get update -qq &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1 ||
        status=$?
    if [ "$status" -eq 0 ]; then
        echo "done"
    else
        echo "failed:"
        cat "$log" >&2
        echo "== could not install: ${missing[*]}" >&2
    fi
    rm -f "$log"
    return "$status"
}

# build_into DIR [cmake options...]
build_into() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$(nproc)"
}

# format_duration SECONDS: "45s", "3m 07s".
format_duration() {
    if [ "$1" -ge 60 ]; then printf '%dm %02ds' $(($1 / 60)) $(($1 % 60)); else printf '%ds' "$1"; fi
}

# thousands N: 1234567 as 1,234,567.
thousands() {
    sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta' <<<"$1"
}

# progress LABEL: reads a build's or ctest's output and shows how far it got.
# On a terminal one line, rewritten in place; into a pipe or a CI log a plain
# line at each quarter, so that a log shows it moving without the noise, but
# none for a step that has nothing to do (done within 10 seconds).
progress() {
    local label=$1 line percent shown text quarter=0 start=$SECONDS
    local tty=0
    shown=-1
    if [ -t 1 ]; then
        tty=1
        printf '%s ... ' "$label"
    fi
    while IFS= read -r line; do
        if [[ $line =~ ^\[\ *([0-9]+)%\] ]]; then # make
            percent=${BASH_REMATCH[1]}
            text="$percent%"
        elif [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]]; then # ninja
            percent=$((100 * BASH_REMATCH[1] / BASH_REMATCH[2]))
            text="$percent%"
        elif [[ $line =~ ^\ *([0-9]+)/([0-9]+)\ Test\ +# ]]; then # ctest
            percent=$((100 * BASH_REMATCH[1] / BASH_REMATCH[2]))
            text="${BASH_REMATCH[1]}/${BASH_REMATCH[2]}"
        else
            continue
        fi
        # Parallel jobs finish out of order; never show it going back.
        [ "$percent" -gt "$shown" ] || continue
        shown=$percent
        if [ "$tty" = 1 ]; then
            printf '\r%s ... %s' "$label" "$text"
        elif [ "$percent" -lt 100 ] && [ $((percent / 25)) -gt "$quarter" ] && [ $((SECONDS - start)) -ge 10 ]; then
            quarter=$((percent / 25))
            echo "$label ... $text"
        fi
    done
}

# progress_end LABEL TEXT: the line progress left, completed.
progress_end() {
    if [ -t 1 ]; then printf '\r\033[K'; fi
    echo "$1 ... $2"
}

# build_with_progress DIR [cmake options...]: build_into, showing only how
# far it got; when it fails, the whole log (kept in DIR/build.log).
build_with_progress() {
    local - dir=$1 label="Building $1/" start=$SECONDS status
    set +e
    mkdir -p "$ROOT/$dir"
    build_into "$@" 2>&1 | tee "$ROOT/$dir/build.log" | progress "$label"
    status=${PIPESTATUS[0]}
    if [ "$status" -eq 0 ]; then
        progress_end "$label" "done in $(format_duration $((SECONDS - start)))"
        return 0
    fi
    progress_end "$label" "failed:"
    cat "$ROOT/$dir/build.log" >&2
    echo "== the build in $dir/ failed (exit $status); its log is $dir/build.log" >&2
    return 1
}

# The port the terminal will try first: the one its settings file names
# (COM1 when there is none), so that the emulator is linked where it looks.
settings_port() {
    local file="$1/Quarnel.ini" n=""
    [ -f "$file" ] && n=$(tr -d '\r' < "$file" | grep -aoiE '^com=?[0-9]+;' | tail -1 | grep -oE '[0-9]+')
    [ -n "$n" ] && [ "$n" -ge 1 ] && [ "$n" -le 30 ] && echo "$n" || echo 1
}

# run_tests DIR: every test of the build in DIR, two at a time, showing how
# many have finished; ends with one line that counts them, and sets
# TESTS_PASSED to "passed/total". Everything ctest said is in DIR/test.log.
# When any fails, ends with a summary that names the failed tests and shows
# the last lines of each one's output, so that the cause is at the end of a
# long log and not somewhere in its middle (all of it is in
# DIR/Testing/Temporary/LastTest.log).
run_tests() {
    local - dir=$1 label="Testing ${1#"$ROOT"/}/" start=$SECONDS status total failed
    set +e
    ctest --test-dir "$dir" --output-on-failure -j 2 2>&1 | tee "$dir/test.log" | progress "$label"
    status=${PIPESTATUS[0]}
    total=$(grep -oE 'tests failed out of [0-9]+' "$dir/test.log" | grep -oE '[0-9]+$')
    failed=$(grep -oE '[0-9]+ tests failed out of' "$dir/test.log" | grep -oE '^[0-9]+')
    TESTS_PASSED="$((${total:-0} - ${failed:-0}))/${total:-0}"
    if [ "$status" -eq 0 ]; then
        progress_end "$label" "$TESTS_PASSED test suites passed in $(format_duration $((SECONDS - start)))"
        return 0
    fi
    progress_end "$label" "$TESTS_PASSED test suites passed; ctest exited with $status:"
    grep -E '^ *[0-9]+/[0-9]+ Test +#' "$dir/test.log" | grep -v ' Passed ' >&2
    local temporary=$dir/Testing/Temporary name
    if [ ! -s "$temporary/LastTestsFailed.log" ]; then
        tail -n 30 "$dir/test.log" >&2
        echo "== FAILED: ctest in $dir (no test reported a failure; its output is in $dir/test.log)" >&2
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
