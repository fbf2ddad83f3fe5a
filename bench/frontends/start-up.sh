#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Start to first paint of the settings window: the program is started N times (default 10)
# offscreen against the daemon on a private bus and the simulated machine, and reports the
# moment of its first paint; the figure is from the fork to that moment, so it includes loading
# the program and Qt, binding to the daemon, the drive walk and the first poll.
# Usage: start-up.sh BUILD_DIR [N]
set -eu
build=${1:?usage: start-up.sh BUILD_DIR [N]}
runs=${2:-10}
window="$build/pane/drivetherm"
daemon="$build/daemon/drivethermd"
for p in "$window" "$daemon"; do
    [ -x "$p" ] || { echo "start-up.sh: $p not built (ninja -C $build drivetherm drivethermd)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/drivetherm-start-up.XXXXXX)
bus_pid="" daemon_pid=""
cleanup() {
    for pid in $daemon_pid $bus_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
. "$(dirname "$0")/../../scripts/private-bus.sh"
start_private_bus "$work"
bus_pid=$PRIVATE_BUS_PID
bus=$PRIVATE_BUS
"$daemon" --bus "$bus" --hardware sim --state-dir "$work" >"$work/daemon.log" 2>&1 &
daemon_pid=$!
sleep 0.5
mkdir -m 700 "$work/run"

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"
# One run first, so that every measured run finds the libraries in the page cache.
"$window" --bus "$bus" --hardware sim --quit-after-first-paint >/dev/null 2>&1
i=0
: >"$work/ms"
while [ "$i" -lt "$runs" ]; do
    start=$(date +%s%N)
    line=$("$window" --bus "$bus" --hardware sim --quit-after-first-paint 2>/dev/null)
    painted=$(echo "$line" | awk '{print $3}')
    echo "$(( (painted - start) / 1000 ))" >>"$work/ms"
    i=$((i + 1))
done
sort -n "$work/ms" | awk -v runs="$runs" '
    { v[NR] = $1 }
    END {
        printf "settings window, start to first paint over %d runs: median %.1f ms, min %.1f ms, max %.1f ms\n",
               runs, v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000
    }'
