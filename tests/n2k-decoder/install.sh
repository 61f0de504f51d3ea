#!/usr/bin/env bash
# Installs the pinned decoder (package-lock.json) beside this script.
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../scripts/npm-install.sh" "$here" @canboat/canboatjs
