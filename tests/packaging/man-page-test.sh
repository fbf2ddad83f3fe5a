#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks one installed manual page: man finds it by its name in the installed tree, and it
# renders without a single warning, as Debian's own check renders it.
#
#   man-page-test.sh ROOT SECTION NAME     (ROOT holds the tree installed with prefix ROOT/usr)
set -eu
mandir="$1/usr/share/man"
section=$2
name=$3
page="$mandir/man$section/$name.$section.gz"

if [ ! -f "$page" ]; then
    echo "FAILED: $page was not installed"
    exit 1
fi
found=$(MANPATH="$mandir" man -w "$section" "$name" 2>&1) || true
if [ "$found" != "$page" ]; then
    echo "FAILED: \"man $section $name\" finds \"$found\", not $page"
    exit 1
fi
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "FAILED: $name($section) renders with warnings:"
    echo "$warnings"
    exit 1
fi
echo "ok: $name($section) is found by man and renders without warnings"
