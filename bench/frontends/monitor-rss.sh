#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The tray monitor's memory when idle: it runs under Xvfb with a stand-in for the panel's tray
# against the daemon on a private bus, updating every five seconds as it ships; after SECONDS
# (default 30) its resident set (VmRSS) and its peak (VmHWM) are read from /proc.
# Usage: monitor-rss.sh BUILD_DIR [SECONDS]
set -eu
build=${1:?usage: monitor-rss.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
monitor="$build/monitor/drivetherm-monitor"
daemon="$build/daemon/drivethermd"
watcher="$build/tests/gui/frontends/fake-status-notifier-watcher"
for p in "$monitor" "$daemon" "$watcher"; do
    [ -x "$p" ] || { echo "monitor-rss.sh: $p not built (ninja -C $build drivetherm-monitor drivethermd fake-status-notifier-watcher)" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "monitor-rss.sh: Xvfb is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/drivetherm-monitor-rss.XXXXXX)
bus_pid="" daemon_pid="" watcher_pid="" xvfb_pid="" monitor_pid=""
cleanup() {
    for pid in $monitor_pid $xvfb_pid $watcher_pid $daemon_pid $bus_pid; do
        kill "$pid" 2>/dev/null || true
    done
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
"$watcher" "$bus" >"$work/watcher.log" 2>&1 &
watcher_pid=$!
Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
mkdir -m 700 "$work/run"

DISPLAY=":$(head -n1 "$work/display")" DBUS_SESSION_BUS_ADDRESS="$bus" XDG_RUNTIME_DIR="$work/run" \
    XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
    "$monitor" --bus "$bus" --hardware sim >"$work/monitor.log" 2>&1 &
monitor_pid=$!
sleep "$seconds"
if ! kill -0 "$monitor_pid" 2>/dev/null; then
    echo "monitor-rss.sh: the monitor ended:" >&2
    cat "$work/monitor.log" >&2
    exit 1
fi
awk -v s="$seconds" '
    /^VmRSS/ { rss = $2 } /^VmHWM/ { hwm = $2 }
    END { printf "tray monitor after %d s idle: VmRSS %.1f MiB, VmHWM %.1f MiB\n", s, rss / 1024, hwm / 1024 }
' "/proc/$monitor_pid/status"
grep -q "^registered" "$work/watcher.log" || echo "monitor-rss.sh: note: the icon never registered with the tray" >&2
