#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# A long run of drivethermd on the simulated machine, on a private bus, at one tick a second,
# with a client polling as the settings window does (every setting and a fresh reading,
# Temperature(true, true), every 5 s: what `drivethermctl status` asks). A drive is chosen, so
# the daemon keeps its settings file up to date. At the end:
#   - resident memory at the start (after the first poll), at the end, and the most it held,
#   - open descriptors at the start and at the end,
#   - ticks fired, late (more than a tenth of a tick after due) and dropped, against the
#     seconds run (the daemon's closing line at debug level),
#   - bytes the daemon wrote to storage (/proc/PID/io write_bytes; its log goes through a pipe,
#     so this is the state directory), and how often the settings file was replaced,
#   - the polls that failed.
#
#   bench/daemon/soak.sh BUILD_DIR [SECONDS]    (default 3600: an hour)
set -eu
BUILD=${1:?usage: soak.sh BUILD_DIR [SECONDS]}
RUN=${2:-3600}
DAEMON="$BUILD/daemon/drivethermd"
CTL="$BUILD/tools/drivethermctl"
WORK=$(mktemp -d /tmp/drivetherm-soak.XXXXXX)
DPID=""
trap 'kill $DPID $BPID 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$WORK"' EXIT

. "$(dirname "$0")/../../scripts/private-bus.sh"
start_private_bus "$WORK"
BPID=$PRIVATE_BUS_PID
mkdir -p "$WORK/state"
# The log through a pipe: its writes are not the daemon's storage writes.
mkfifo "$WORK/log.pipe"
cat "$WORK/log.pipe" >"$WORK/log" &
LOGPID=$!
"$DAEMON" --bus "$PRIVATE_BUS" --hardware sim --state-dir "$WORK/state" -v \
    >"$WORK/log.pipe" 2>&1 &
DPID=$!
for _ in $(seq 50); do
    "$CTL" --bus "$PRIVATE_BUS" get baseRpm >/dev/null 2>&1 && break
    sleep 0.1
done
"$CTL" --bus "$PRIVATE_BUS" set HDDName "APPLE HDD HTS541010A9E682"
"$CTL" --bus "$PRIVATE_BUS" status >/dev/null

rss() { awk '/^VmRSS:/ {print $2}' /proc/$DPID/status; }
descriptors() { ls /proc/$DPID/fd | wc -l; }
written() { awk '/^write_bytes:/ {print $2}' /proc/$DPID/io; }
settings="$WORK/state/com.quillmoor.Drivetherm.plist"
inode() { stat -c %i "$settings" 2>/dev/null || echo none; }

rss_start=$(rss)
fds_start=$(descriptors)
written_start=$(written)
last_inode=$(inode)
replaced=0
polls=0
failed=0
start=$(date +%s)
echo "soak: $RUN s, a poll every 5 s; daemon $DPID"
elapsed=0
while [ "$elapsed" -lt "$RUN" ]; do
    sleep 1
    elapsed=$(( $(date +%s) - start ))
    now_inode=$(inode)
    if [ "$now_inode" != "$last_inode" ]; then
        replaced=$((replaced + 1))
        last_inode=$now_inode
    fi
    if [ $((elapsed % 5)) -eq 0 ]; then
        polls=$((polls + 1))
        "$CTL" --bus "$PRIVATE_BUS" status >/dev/null 2>&1 || failed=$((failed + 1))
    fi
    if [ $((elapsed % 600)) -eq 0 ]; then
        echo "soak: $elapsed s: RSS $(rss) kB, $(descriptors) descriptors"
    fi
done

rss_end=$(rss)
rss_max=$(awk '/^VmHWM:/ {print $2}' /proc/$DPID/status)
fds_end=$(descriptors)
written_end=$(written)
size=$(stat -c %s "$settings")
kill -TERM $DPID
wait $DPID || true
DPID=""
wait $LOGPID || true

echo "RSS: start $rss_start kB, end $rss_end kB, max $rss_max kB"
echo "descriptors: start $fds_start, end $fds_end"
grep 'ticks in' "$WORK/log" | sed 's/^drivethermd: /ticks: /'
echo "written to storage: $((written_end - written_start)) bytes in $elapsed s; the settings file ($size bytes) replaced $replaced times"
for file in "$WORK/state"/*; do
    echo "state directory: $(basename "$file"), $(stat -c %s "$file") bytes, last changed $(( $(stat -c %Y "$file") - start )) s into the run"
done
echo "polls: $polls, failed: $failed"
grep -v 'ticks in\|^drivethermd: following\|serving' "$WORK/log" | grep -i 'warning\|error\|cannot' | sort | uniq -c | head -n 10 || true
