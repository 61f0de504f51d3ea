#!/usr/bin/env bash
# Installs the pinned decoder (package-lock.json) into node_modules/ beside
# this script: at the first run and whenever the lock changed, quietly; it
# needs the network only then. The package's native CAN socket add-on is not
# built (--ignore-scripts): we only read candump files.
set -euo pipefail
dir=$(cd "$(dirname "$0")" && pwd)
stamp=$dir/node_modules/.installed-lock
# Two builds' tests may install at once: one does, the other waits.
exec 9<"$dir/package-lock.json"
flock 9
want=$(sha256sum <"$dir/package-lock.json")
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    exit 0
fi
for tool in node npm; do
    command -v "$tool" >/dev/null || {
        echo "install.sh: $tool is missing: install Debian's nodejs and npm packages" >&2
        exit 1
    }
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd "$dir" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error) >"$log" 2>&1; then
    echo "install.sh: npm ci failed in $dir:" >&2
    tail -n 20 "$log" >&2
    exit 1
fi
echo "$want" >"$stamp"
echo "installed $(cd "$dir" && node -p "require('@canboat/canboatjs/package.json').version") of @canboat/canboatjs"
