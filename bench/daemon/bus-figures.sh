#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Method-call latency on a private bus with 1 and 8 clients at 1,000 calls/s in all while the
# daemon ticks once a second, and how late the ticks ran meanwhile.
#
#   bench/daemon/bus-figures.sh BUILD_DIR [SECONDS]   (default 20 per run)
set -eu
BUILD=${1:?usage: bus-figures.sh BUILD_DIR [SECONDS]}
RUN=${2:-20}
WORK=$(mktemp -d /tmp/drivetherm-bus.XXXXXX)
trap 'kill $DPID $BPID 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$WORK"' EXIT
cat >"$WORK/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path=$WORK/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/>
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/></policy></busconfig>
CONF
dbus-daemon --config-file="$WORK/bus.conf" --nofork --print-address=1 >"$WORK/address" 2>/dev/null &
BPID=$!
sleep 0.5
"$BUILD/daemon/drivethermd" --bus "unix:path=$WORK/bus" --hardware sim --state-dir "$WORK/state" \
    -v >"$WORK/log" 2>&1 &
DPID=$!
sleep 1
"$BUILD/bench/daemon/bus_latency" "unix:path=$WORK/bus" 1 1000 "$RUN"
"$BUILD/bench/daemon/bus_latency" "unix:path=$WORK/bus" 8 1000 "$RUN"
kill -TERM $DPID
wait $DPID || true
DPID=""
grep 'ticks in' "$WORK/log" | sed 's/^drivethermd: /daemon: /'
