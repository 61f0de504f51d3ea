#!/usr/bin/env bash
# Installs the build into a temporary prefix, then checks that the installed
# terminal finds the installed emulator through a port link in the per-user
# data folder, identifies it, and writes nothing beside itself. (The Debian
# package is not built here: cpack takes a minute.)
#   test_install.sh CMAKE BUILD-FOLDER
set -euo pipefail
cmake=$1
build=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$prefix" "$work"
}
trap cleanup EXIT
fail() { echo "test_install: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
bin=$prefix/bin
share=$prefix/share
programs=("$bin/BrendlowTerminal" "$bin/BrendlowEmulator" "$bin/brendlowctl")
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
doc=$share/doc/brendlow-terminal
head -1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/' ||
    fail "$doc/copyright is not in Debian's copyright format"
grep -q '^Files: \*$' "$doc/copyright" || fail "$doc/copyright covers no files"
grep -q '^## Installing$' "$doc/README.md" || fail "$doc/README.md is not the README"
installed=$(cd "$prefix" && find . | sort)

"$bin/BrendlowEmulator" --help | grep -q -- '--link' || fail "the emulator's --help says nothing of --link"

# The installed copies keep their data in the per-user folder, even when they
# could write their own folder (the temporary prefix; /usr/bin for root).
export XDG_CONFIG_HOME=$work/config
data=$XDG_CONFIG_HOME/BrendlowTerminal
"$bin/BrendlowEmulator" --link "$data/ports/COM1" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$data/ports/COM1" ] && break; sleep 0.1; done
[ -e "$data/ports/COM1" ] || fail "the emulator made no link"
"$bin/brendlowctl" --port COM1 identify >/dev/null || fail "the installed brendlowctl did not identify COM1"
log=$work/status.log
: >"$log"
BRENDLOW_STATUS_LOG=$log QT_QPA_PLATFORM=offscreen "$bin/BrendlowTerminal" &
terminal=$!
pids+=("$terminal")
for _ in $(seq 100); do grep -q '^identified' "$log" && break; sleep 0.1; done
grep -q '^identified' "$log" || fail "the installed terminal identified no device"
kill -0 "$terminal" 2>/dev/null || fail "the installed terminal ended by itself"
for _ in $(seq 50); do [ -e "$data/Quarnel.ini" ] && break; sleep 0.1; done
[ -e "$data/Quarnel.ini" ] || fail "the terminal remembered no port in $data"
[ "$(cd "$prefix" && find . | sort)" = "$installed" ] ||
    fail "the installed programs wrote into $prefix"

echo "installed into $prefix; the installed terminal identified the installed emulator"
