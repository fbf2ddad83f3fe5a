#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Figures of drivethermd at rest on the simulated machine, on a private bus:
#   - resident memory after start,
#   - wake-ups per second (context switches over a minute),
#   - bytes written to the state directory at rest (a drive is chosen, so the daemon stores its
#     settings after every temperature check; unchanged settings must not touch the file),
#   - the tick count against the elapsed time (drift) over the whole run.
#
#   bench/daemon/daemon-figures.sh BUILD_DIR [SECONDS]    (default 600: ten minutes)
set -eu
BUILD=${1:?usage: daemon-figures.sh BUILD_DIR [SECONDS]}
SECONDS_TO_RUN=${2:-600}
DAEMON="$BUILD/daemon/drivethermd"
WORK=$(mktemp -d /tmp/drivetherm-figures.XXXXXX)
trap 'kill $DPID $BPID 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$WORK"' EXIT

. "$(dirname "$0")/../../scripts/private-bus.sh"
start_private_bus "$WORK"
BPID=$PRIVATE_BUS_PID
mkdir -p "$WORK/state"
"$DAEMON" --bus "$PRIVATE_BUS" --hardware sim --state-dir "$WORK/state" -v \
    >"$WORK/log" 2>&1 &
DPID=$!
sleep 1
CTL="$BUILD/tools/drivethermctl"
"$CTL" --bus "$PRIVATE_BUS" set HDDName "APPLE HDD HTS541010A9E682"
sleep 4
settings="$WORK/state/com.quillmoor.Drivetherm.plist"
stamp_before=$(stat -c '%i %Y %s' "$settings")

# RSS counts every page of the shared libraries this process has mapped, which depends on what
# the page cache holds; PSS shares them out and the private pages are the daemon's own.
awk '/^Rss:/ {r=$2} /^Pss:/ {p=$2} /^Private_(Clean|Dirty):/ {v+=$2}
     END {printf "idle memory: RSS %d kB, PSS %d kB, private %d kB\n", r, p, v}' /proc/$DPID/smaps_rollup

switches() { awk '/ctxt_switches/ {s += $2} END {print s}' /proc/$DPID/status; }
before=$(switches)
window=$(( SECONDS_TO_RUN < 60 ? SECONDS_TO_RUN : 60 ))
sleep "$window"
after=$(switches)
echo "wake-ups: $(( after - before )) context switches in ${window} s ($(awk "BEGIN {printf \"%.2f\", ($after - $before) / $window}") per second)"

rest=$(( SECONDS_TO_RUN - window - 5 ))
[ "$rest" -gt 0 ] && sleep "$rest"
stamp_after=$(stat -c '%i %Y %s' "$settings")
if [ "$stamp_before" = "$stamp_after" ]; then
    echo "bytes written to the state directory at rest: 0 (the settings file was not rewritten)"
else
    echo "bytes written to the state directory at rest: the settings file was rewritten ($stamp_before -> $stamp_after)"
fi

kill -TERM $DPID
wait $DPID || true
DPID=""
grep 'ticks in' "$WORK/log" | sed 's/^drivethermd: /ticks: /'
