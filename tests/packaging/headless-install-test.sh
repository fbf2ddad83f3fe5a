#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The drivetherm package's files on their own, as a server without a desktop gets them: installs
# only what goes into that package into a scratch prefix, checks that none of its programs needs
# Qt and that nothing of the desktop came along, then runs the installed drivethermd on the
# simulated machine on a bus of its own and asks it for its status with the installed
# drivethermctl, whose JSON must parse and carry the documented fields with their types.
#
#   headless-install-test.sh CMAKE BUILD_DIR SOURCE_DIR SCRATCH_DIR
set -eu
cmake=$1
build=$2
source=$3
root=$4

fail() {
    echo "FAILED: $*"
    [ -f "$root/daemon.log" ] && sed 's/^/daemon: /' "$root/daemon.log"
    exit 1
}

rm -rf "$root"
mkdir -p "$root/state"
"$cmake" --install "$build" --component headless --prefix "$root/usr" >/dev/null
for program in sbin/drivethermd bin/drivethermctl bin/drivetherm-smc; do
    [ -x "$root/usr/$program" ] || fail "the package lacks $program"
    if ldd "$root/usr/$program" | grep -q 'libQt'; then
        fail "$program needs Qt"
    fi
done
for file in bin/drivetherm bin/drivetherm-monitor share/applications share/metainfo; do
    [ ! -e "$root/usr/$file" ] || fail "$file belongs in the desktop package"
done
for file in share/doc/drivetherm/copyright share/doc/drivetherm/changelog.gz; do
    [ -f "$root/usr/$file" ] || fail "the package lacks $file"
done

# shellcheck source=../../scripts/private-bus.sh
. "$source/scripts/private-bus.sh"
start_private_bus "$root"
daemon=""
trap 'kill $daemon $PRIVATE_BUS_PID 2>/dev/null || true' EXIT
"$root/usr/sbin/drivethermd" --bus "$PRIVATE_BUS" --hardware sim --state-dir "$root/state" \
    >"$root/daemon.log" 2>&1 &
daemon=$!

status=""
for _ in $(seq 100); do
    if status=$("$root/usr/bin/drivethermctl" --bus "$PRIVATE_BUS" status --json 2>/dev/null); then
        break
    fi
    status=""
    sleep 0.1
done
[ -n "$status" ] || fail "the installed drivethermctl got no status from the installed daemon"

python3 - "$status" <<'PYTHON' || fail "drivethermctl status --json printed: $status"
import json
import sys

# The documented fields in their order, with their types.
number = (int, float)
fields = [("running", bool), ("base_rpm", int), ("lower_threshold_celsius", number),
          ("upper_threshold_celsius", number), ("fahrenheit", bool), ("pin_to_base", bool),
          ("drive", str), ("use_ambient_temp", bool), ("fan_index", int),
          ("temperature_celsius", number), ("fan_rpm", int), ("driven_fan_index", int),
          ("fan_label", str), ("fan_mode", str), ("fan_minimum_rpm", int),
          ("fan_maximum_rpm", int)]
status = json.loads(sys.argv[1])
names = list(status)
assert names[:len(fields)] == [name for name, _ in fields], names
for name, kind in fields:
    value = status[name]
    # In JSON true is not a number: bool is an int to Python, so check it first.
    assert isinstance(value, bool) == (kind is bool) and isinstance(value, kind), (name, value)
assert status["running"] is True
assert 0 < status["temperature_celsius"] < 100, status
PYTHON
echo "ok: the drivetherm package's files alone run the daemon, and drivethermctl reads it: $status"
