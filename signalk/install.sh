#!/usr/bin/env bash
# Installs the pinned Signal K server (package-lock.json) beside this script.
here=$(cd "$(dirname "$0")" && pwd)
"$here/../scripts/npm-install.sh" "$here" signalk-server || exit 1
# The server serves its admin UI (the data browser) from its own
# node_modules, where a global install puts it; npm hoists it up here, beside
# the server, so without these links /admin/ answers 500.
mkdir -p "$here/node_modules/signalk-server/node_modules/@signalk" || exit 1
for ui in server-admin-ui server-admin-ui-react19; do
    link=$here/node_modules/signalk-server/node_modules/@signalk/$ui
    # Two installs may run at once: the link either one made will do.
    [ -e "$link" ] || ln -s "../../../@signalk/$ui" "$link" 2>/dev/null || [ -e "$link" ] ||
        { echo "install.sh: cannot link $link" >&2; exit 1; }
done
