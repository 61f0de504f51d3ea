#!/usr/bin/env bash
# Every project include names its folder ("session/PortMap.h"), so that an
# include line shows the layer it reaches into; the build refuses a higher
# layer, this refuses a bare name that would slip through within a folder.
# (node_modules/ holds the decoder the tests install, not our code.)
set -u
cd "$(dirname "$0")/.."
bare=$(grep -rnE '^#include "[^/"]+\.h"' core session can widgets window cli emulator tests fuzz bench \
    --include='*.h' --include='*.cpp' --exclude-dir=node_modules || true)
if [ -n "$bare" ]; then
    echo "includes without their folder:"
    echo "$bare"
    exit 1
fi
echo "every include names its folder"
