#!/usr/bin/env bash
# Installs the pinned Signal K server (package-lock.json) beside this script.
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../scripts/npm-install.sh" "$here" signalk-server
