#!/usr/bin/env bash
# Keeps the README true: every command it shows after a `$` runs here against
# an emulator and must print what the README shows; every option of run.sh and
# test.sh it names must be one the script offers; every brendlowctl command in
# its table must be one the tool knows. (The install commands are run by
# test_install.)
#   test_readme.sh SOURCE-FOLDER BUILD-FOLDER
set -euo pipefail
src=$1
build=$2
readme=$src/README.md
sandbox=$(mktemp -d)
emulator=""
cleanup() {
    [ -n "$emulator" ] && kill "$emulator" 2>/dev/null && wait "$emulator" 2>/dev/null
    rm -rf "$sandbox"
}
trap cleanup EXIT
failures=0
fail() { echo "test_readme: $*" >&2; failures=$((failures + 1)); }

# The examples run from a project folder of their own, where build/ holds the
# programs and, as after ./run.sh --emulator-only, an emulator at ports/COM1.
mkdir -p "$sandbox/build/ports" "$sandbox/examples" "$sandbox/tests"
ln -s "$src/tests/n2k-decoder" "$sandbox/tests/n2k-decoder"
cp "$build/brendlowctl" "$build/BrendlowEmulator" "$sandbox/build/"
touch "$sandbox/build/CMakeCache.txt" # a build tree keeps its data beside its programs
export XDG_CONFIG_HOME=$sandbox/config
# On the bus ./run.sh puts it on, which the README's bus example names; the
# decoder that example runs is the one the cross-check installs.
demo_bus=$(. "$src/scripts/emulator.sh" && echo "$demo_bus")
"$sandbox/build/BrendlowEmulator" --link "$sandbox/build/ports/COM1" --can "$demo_bus" >/dev/null 2>&1 &
emulator=$!
for _ in $(seq 50); do [ -e "$sandbox/build/ports/COM1" ] && break; sleep 0.1; done

# Each example of an indented block: "$ command" (continued while a line ends
# in | or \), then the lines it prints, up to the next "$" or the block's end.
awk -v dir="$sandbox/examples" '
    function close_example() { if (n) { close(dir "/" n ".cmd"); close(dir "/" n ".want") } }
    /^    \$ / {
        close_example(); n++
        line = substr($0, 7); print line > (dir "/" n ".cmd"); printf "" > (dir "/" n ".want")
        continued = line ~ /[|\\]$/; next
    }
    n && continued && /^    / { line = substr($0, 5); print line > (dir "/" n ".cmd"); continued = line ~ /[|\\]$/; next }
    n && /^    / { print substr($0, 5) > (dir "/" n ".want"); next }
    /^[^ ]/ || /^$/ { if (n && !continued) { close_example(); done[n] = 1 } }
    END { close_example() }
' "$readme"
examples=$(find "$sandbox/examples" -name '*.cmd' | wc -l)
[ "$examples" -ge 3 ] || fail "found only $examples examples with a \$ in the README"
for cmd in $(find "$sandbox/examples" -name '*.cmd' | sort -V); do
    want=${cmd%.cmd}.want
    if ! (cd "$sandbox" && bash -o pipefail "$cmd") >"$sandbox/got" 2>"$sandbox/err"; then
        fail "\$ $(head -1 "$cmd") failed: $(cat "$sandbox/err")"
    elif ! diff -u "$want" "$sandbox/got" >"$sandbox/diff"; then
        fail "\$ $(head -1 "$cmd") printed something else than the README shows:"
        cat "$sandbox/diff" >&2
    fi
done

# Options of the project's scripts named anywhere in the README.
for script in run.sh test.sh; do
    help=$("$src/$script" --help)
    for option in $(grep -oE "\./$script --[a-z-]+" "$readme" | sed 's/.* //' | sort -u); do
        grep -q -- "$option" <<<"$help" || fail "the README names ./$script $option, which --help does not list"
    done
done

# The commands of brendlowctl's table.
help=$("$build/brendlowctl" --help)
for command in $(grep -oE '^\| `[a-z]+' "$readme" | sed 's/.*`//' | sort -u); do
    grep -qE "^ +$command( |$)" <<<"$help" || fail "the README's table names the command $command, which brendlowctl --help does not list"
done

[ "$failures" -eq 0 ] || exit 1
echo "test_readme: $examples examples and the named options and commands match"
