#!/usr/bin/env bash
# Installs the build into a temporary prefix, then checks that the installed
# terminal finds the installed emulator through a port link and identifies it.
#   test_install.sh CMAKE BUILD-FOLDER
set -euo pipefail
cmake=$1
build=$2
prefix=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
fail() { echo "test_install: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
bin=$prefix/bin
share=$prefix/share
programs=("$bin/BrendlowTerminal" "$bin/BrendlowEmulator")
# The console tool, wherever the build puts it, is installed beside them.
[ -n "$(find "$build" -maxdepth 2 -type f -name brendlowctl -print -quit)" ] && programs+=("$bin/brendlowctl")
for f in "${programs[@]}"; do
    [ -x "$f" ] || fail "$f was not installed"
    # The installed programs must not lean on the build folder.
    ! readelf -d "$f" | grep -q "$build" || fail "$f still refers to $build"
done
desktop=$share/applications/brendlow-terminal.desktop
grep -qx 'Exec=BrendlowTerminal' "$desktop" || fail "$desktop does not start BrendlowTerminal"
grep -qx 'Icon=brendlow-terminal' "$desktop" || fail "$desktop names another icon"
for n in 16 32 48 64 128 256; do
    icon=$share/icons/hicolor/${n}x$n/apps/brendlow-terminal.png
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${n}x$n" ] || fail "$icon is not a ${n}x$n image"
done

"$bin/BrendlowEmulator" --help | grep -q -- '--link' || fail "the emulator's --help says nothing of --link"

# The installed terminal and emulator talk: COM1 is linked in the data folder,
# which is the program folder here, as the user can write it.
mkdir "$bin/ports"
"$bin/BrendlowEmulator" --link "$bin/ports/COM1" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$bin/ports/COM1" ] && break; sleep 0.1; done
[ -e "$bin/ports/COM1" ] || fail "the emulator made no link"
log=$prefix/status.log
: >"$log"
BRENDLOW_STATUS_LOG=$log QT_QPA_PLATFORM=offscreen "$bin/BrendlowTerminal" &
terminal=$!
pids+=("$terminal")
for _ in $(seq 100); do grep -q '^identified' "$log" && break; sleep 0.1; done
grep -q '^identified' "$log" || fail "the installed terminal identified no device"
kill -0 "$terminal" 2>/dev/null || fail "the installed terminal ended by itself"
echo "installed into $prefix; the installed terminal identified the installed emulator"
