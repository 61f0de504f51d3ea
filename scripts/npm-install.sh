#!/usr/bin/env bash
# npm-install.sh DIR PACKAGE: installs the packages pinned in DIR's
# package-lock.json into DIR/node_modules, at the first run and whenever the
# lock changed, quietly; it needs the network only then. Says which version of
# PACKAGE it installed. Native add-ons are not built (--ignore-scripts): we
# read candump text, never a CAN socket or a serial port from node.
set -euo pipefail
dir=$(cd "$1" && pwd)
package=$2
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
        echo "npm-install.sh: $tool is missing: install Debian's nodejs and npm packages" >&2
        exit 1
    }
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd "$dir" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error) >"$log" 2>&1; then
    echo "npm-install.sh: npm ci failed in $dir:" >&2
    tail -n 20 "$log" >&2
    exit 1
fi
echo "$want" >"$stamp"
echo "installed $(cd "$dir" && node -p "require('$package/package.json').version") of $package"
