#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The system guest installs the drivetherm package that scripts/build-packages makes. This keeps
# it current for the test: nothing to do when the .deb is newer than every source file it is made
# from (CI builds the packages before the guest tier), otherwise `scripts/build-packages
# --headless` (the package without Qt; about two minutes of compiling on two cores, much less
# when its build directory or ccache has the objects).
#
#   ensure-package.sh DEB
set -eu
deb=$1
top=$(cd "$(dirname "$0")/../../.." && pwd)
if [ -f "$deb" ]; then
    newer=$(cd "$top" && find CMakeLists.txt cmake common daemon hardware protocol tools packaging docs/man machines \
        -type f -newer "$deb" 2> /dev/null | head -1)
    if [ -z "$newer" ]; then
        echo "package: $deb is current"
        exit 0
    fi
    echo "package: $newer changed since $deb was made: building it again"
fi
"$top/scripts/build-packages" --headless
[ -f "$deb" ] || { echo "package: scripts/build-packages made no $deb"; exit 1; }
