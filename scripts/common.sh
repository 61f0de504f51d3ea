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
