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
. "$(dirname "$0")/../../scripts/private-bus.sh"
start_private_bus "$WORK"
BPID=$PRIVATE_BUS_PID
"$BUILD/daemon/drivethermd" --bus "$PRIVATE_BUS" --hardware sim --state-dir "$WORK/state" \
    -v >"$WORK/log" 2>&1 &
DPID=$!
sleep 1
"$BUILD/bench/daemon/bus_latency" "$PRIVATE_BUS" 1 1000 "$RUN"
"$BUILD/bench/daemon/bus_latency" "$PRIVATE_BUS" 8 1000 "$RUN"
"$BUILD/bench/daemon/bus_latency" "$PRIVATE_BUS" 1 1000 "$RUN" ping
kill -TERM $DPID
wait $DPID || true
DPID=""
grep 'ticks in' "$WORK/log" | sed 's/^drivethermd: /daemon: /'
