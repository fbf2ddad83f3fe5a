#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks the desktop's files as installed: the two menu entries by desktop-file-validate, the
# settings window's AppStream entry by appstreamcli, alone and together with the entries and
# icon it names. Any message, even a hint, fails the test: software centres show what they say.
#
#   desktop-files-test.sh ROOT     (ROOT holds the tree installed with prefix ROOT/usr)
#
# Exits 77 (skipped), saying why, when a validator is not installed.
set -eu
root=$1
share="$root/usr/share"
for tool in desktop-file-validate appstreamcli; do
    if ! command -v $tool >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
        exit 77
    fi
done

status=0
for entry in "$share/applications/drivetherm.desktop" "$share/applications/drivetherm-monitor.desktop"; do
    if ! output=$(desktop-file-validate "$entry" 2>&1) || [ -n "$output" ]; then
        echo "FAILED: desktop-file-validate $entry:"
        echo "$output"
        status=1
    else
        echo "ok: $entry"
    fi
done

metainfo="$share/metainfo/com.quillmoor.drivetherm.metainfo.xml"
# --no-net: the check must not depend on the network; the entry names no web address yet.
for check in "validate --no-net --pedantic $metainfo" "validate-tree --no-net --pedantic $root"; do
    # shellcheck disable=SC2086
    if ! output=$(appstreamcli $check 2>&1) || printf '%s\n' "$output" | grep -q '^ *[EWIP]:'; then
        echo "FAILED: appstreamcli $check:"
        echo "$output"
        status=1
    else
        echo "ok: appstreamcli $check"
    fi
done
exit $status
