#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# The system guest's checks, run by drivetherm-guest-check.service once the guest's systemd has
# reached multi-user.target. Their output goes to the second serial port, where
# run-system-guest.sh reads it: a "PASS name: detail" or "FAIL name: detail" line a check,
# "FIGURE name value" lines, and "DTGUEST" marks. The first boot installs the package as a user
# would and checks the service, the bus, polkit, a stop, a crash and a dry run beside it, then
# reboots; the second boot (the marker file says which) checks that the settings survived and
# that a purge removes them, then powers the guest off.
set -u
here=$(cd "$(dirname "$0")" && pwd)
export PATH="$here:/usr/sbin:/usr/bin:/sbin:/bin"
export DT_GUEST_SMC_CONTROL_PORT=0x320
marker=/var/lib/drivetherm-guest-boot
user=tester
# The setting the bus changes on the first boot and the second boot must find.
kept_rpm=2345

uptime_s() { cut -d' ' -f1 /proc/uptime; }
pass() { echo "PASS $1: $2"; }
fail() { echo "FAIL $1: $2"; }
check() { # NAME DETAIL CONDITION...
    name=$1 detail=$2
    shift 2
    if "$@"; then pass "$name" "$detail"; else fail "$name" "$detail"; fi
}
now_ms() { date +%s%3N; }
# Waits up to SECONDS for a command to succeed.
wait_for() { # SECONDS COMMAND...
    limit=$(($(now_ms) + $1 * 1000))
    shift
    while ! "$@" > /dev/null 2>&1; do
        [ "$(now_ms)" -lt $limit ] || return 1
        sleep 0.2
    done
}
# The emulated SMC's test port; a failure of the port stops the checks that need it, loudly.
smc() { perl "$here/smc-control" "$@" || echo "(smc-control failed)"; }
# The forced-mode mask, as a number.
forced_mask() { mask=$(smc get 'FS! ' | tr -d '\n'); case $mask in [0-9a-f][0-9a-f][0-9a-f][0-9a-f]) printf '%d' "0x$mask" ;; *) echo -1 ;; esac; }
fan_forced() { mask=$(forced_mask); [ "$mask" -ge 0 ] && [ $((mask & 2)) -ne 0 ]; }
fan_free() { mask=$(forced_mask); [ "$mask" -ge 0 ] && [ $((mask & 2)) -eq 0 ]; }
main_pid() { systemctl show -p MainPID --value drivethermd; }
active() { [ "$(systemctl is-active drivethermd)" = active ]; }
as_user() { runuser -u $user -- "$@"; }
state_of() { # FILE: its checksum, or "absent"
    if [ -f "$1" ]; then sha256sum < "$1" | cut -c1-16; else echo absent; fi
}

boot=1
[ ! -f $marker ] || boot=$(($(cat $marker) + 1))
echo "$boot" > $marker
sync
echo "DTGUEST booted $boot uptime=$(uptime_s)"
echo "FIGURE boot${boot}_multi_user_s $(uptime_s)"

if [ "$boot" = 1 ]; then
    # --- The package, as a user installs it ------------------------------------------------------
    # The SMC as the machine left it: what every hand-back must restore.
    original_mask=$(smc get 'FS! ')
    original_min=$(smc get 'F1Mn')
    check smc_test_port "the emulated SMC answers on its test port: FS! $original_mask, F1Mn $original_min" \
        sh -c 'echo "$1 $2" | grep -qx "[0-9a-f]\{4\} [0-9a-f]\{4\}"' _ "$(echo $original_mask)" "$(echo $original_min)"
    check applesmc_loaded "udev loaded the SMC driver for this Mac" test -d /sys/devices/platform/applesmc.768
    deb=$(ls "$here"/drivetherm_*.deb | head -1)
    if apt-get install -y --no-install-recommends "$deb" > /tmp/apt.log 2>&1; then
        pass package_installs "apt install ./$(basename "$deb")"
    else
        fail package_installs "apt install ./$(basename "$deb"): $(tail -3 /tmp/apt.log | tr '\n' ' ')"
    fi
    programs=$(dpkg -L drivetherm | grep -E '/s?bin/[^/]+$' | xargs -n1 basename | tr '\n' ' ')
    missing=""
    for program in $programs; do
        man -w "$program" > /dev/null 2>&1 || missing="$missing $program"
    done
    check man_pages "a manual page for each of: $programs${missing:+(none for$missing)}" test -z "$missing"
    man_text=$(MANPAGER=cat MANWIDTH=80 man drivethermd 2> /dev/null | head -5 | tr -s ' \n' ' ')
    check man_drivethermd "man drivethermd: $man_text" test -n "$man_text"
    verify=$(systemd-analyze verify "$(systemctl show -p FragmentPath --value drivethermd)" 2>&1)
    check unit_verifies "systemd-analyze verify: ${verify:-clean}" test -z "$verify"

    # --- The service: enabled and started as the manual says -------------------------------------
    systemctl disable --now drivethermd > /dev/null 2>&1
    started=$(now_ms)
    systemctl enable --now drivethermd > /tmp/enable.log 2>&1
    wait_for 5 active
    took=$(($(now_ms) - started))
    echo "FIGURE enable_now_to_active_ms $took"
    # Of that, the service's own start: from leaving "inactive" to "active" (its name on the bus).
    # The rest is systemctl enable's reload of systemd's configuration, seconds under emulation.
    left_inactive=$(systemctl show -p InactiveExitTimestampMonotonic --value drivethermd)
    became_active=$(systemctl show -p ActiveEnterTimestampMonotonic --value drivethermd)
    start_ms=$(( (became_active - left_inactive) / 1000 ))
    echo "FIGURE start_to_active_ms $start_ms"
    journalctl -b -u drivethermd -o short-monotonic | tail -6 | sed 's/^/  journal: /'
    check service_active_within_5s "systemctl enable --now: active; the service started in $start_ms ms ($took ms with enable's reload)" \
        test "$(systemctl is-active drivethermd)" = active -a $start_ms -le 5000 -a $start_ms -gt 0
    owner=$(busctl --system status com.quillmoor.Drivetherm 2> /dev/null | sed -n 's/^PID=//p')
    check owns_bus_name "com.quillmoor.Drivetherm owned by PID ${owner:-none}, MainPID $(main_pid)" test -n "$owner" -a "$owner" = "$(main_pid)"
    # The loop's writes, as the SMC saw them: the HDD fan forced to the curve's speed.
    smc writes > /dev/null
    wait_for 10 fan_forced
    sleep 2
    writes=$(smc writes)
    echo "$writes" | sed 's/^/  smc write: /' | sort | uniq -c | head -8
    check smc_sees_loop_writes "the SMC took F1Tg writes and FS! forces fan 1 ($(smc get 'FS! '))" \
        sh -c 'echo "$1" | grep -q "^F1Tg [0-9a-f]* ok$"' _ "$writes"
    # A temperature check reads the disk over SG_IO; the journal holds it, or its failure.
    wait_for 30 sh -c 'journalctl -b -u drivethermd -o cat | grep -q "check: "'
    denied=$(journalctl -b -u drivethermd -o cat | grep -iE 'EPERM|EACCES|permission denied|operation not permitted|not permitted|denied' | head -3)
    check journal_no_permission_errors "journal of drivethermd: ${denied:-no permission error}" test -z "$denied"
    exposure=$(systemd-analyze security drivethermd 2> /dev/null | sed -n 's/.*Overall exposure level for drivethermd.service: *//p')
    echo "FIGURE exposure $exposure"
    score=$(echo "$exposure" | cut -d' ' -f1)
    check exposure_at_most_2 "systemd-analyze security drivethermd: $exposure" awk "BEGIN { exit !($score <= 2.0) }"

    # --- The bus policy and polkit with the shipped files -------------------------------------------
    useradd -m $user 2> /dev/null || true
    status=$(as_user drivethermctl status 2>&1)
    check user_reads_status "drivethermctl status as $user: $(echo "$status" | head -3 | tr '\n' ' ')" test $? -eq 0 -a -n "$status"
    before=$(drivethermctl get baseRpm 2>&1)
    refused=$(as_user drivethermctl set baseRpm 1999 2>&1)
    refused_status=$?
    after=$(drivethermctl get baseRpm 2>&1)
    check user_without_session_refused "set baseRpm as $user: exit $refused_status, \"$refused\"; baseRpm $before -> $after" \
        test $refused_status -eq 3 -a "$before" = "$after"
    mkdir -p /etc/polkit-1/rules.d
    cat > /etc/polkit-1/rules.d/50-drivetherm-guest.rules << RULES
polkit.addRule(function(action, subject) {
    if (action.id == "com.quillmoor.Drivetherm.configure" && subject.user == "$user")
        return polkit.Result.YES;
});
RULES
    # polkitd reads a new rule file by itself; give it a moment.
    sleep 2
    granted=$(as_user drivethermctl set baseRpm $kept_rpm 2>&1)
    granted_status=$?
    now=$(drivethermctl get baseRpm 2>&1)
    check polkit_rule_grants "set baseRpm $kept_rpm as $user with a rule for com.quillmoor.Drivetherm.configure: exit $granted_status${granted:+, \"$granted\"}; baseRpm now $now" \
        test $granted_status -eq 0 -a "$now" = $kept_rpm
    owned=$(as_user busctl --system call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus RequestName su com.quillmoor.Drivetherm 4 2>&1)
    check only_root_owns_name "RequestName as $user: ${owned:-no answer}" sh -c 'echo "$1" | grep -qi "not allowed\|denied"' _ "$owned"

    # --- A dry run beside the service ---------------------------------------------------------------
    # The service is held still (SIGSTOP keeps its name) so that any SMC write seen is the dry run's.
    # The setting just made is stored at the end of the service's tick: before the dry run.
    wait_for 10 test -f /var/lib/drivetherm/com.quillmoor.Drivetherm.plist
    settings_before=$(state_of /var/lib/drivetherm/com.quillmoor.Drivetherm.plist)
    limits_before=$(state_of /var/lib/drivetherm/fan-limits)
    systemctl kill -s STOP drivethermd
    sleep 1
    smc writes > /dev/null
    dry=$(timeout -s INT 8 drivethermd --dry-run -v 2>&1)
    dry_writes=$(smc writes)
    dry_mask=$(forced_mask)
    settings_after=$(state_of /var/lib/drivetherm/com.quillmoor.Drivetherm.plist)
    limits_after=$(state_of /var/lib/drivetherm/fan-limits)
    systemctl kill -s CONT drivethermd
    echo "$dry" | head -6 | sed 's/^/  dry run: /'
    check dry_run_refused_name "the dry run says it cannot own the name, and promises no hand-back" \
        sh -c 'echo "$1" | grep -q "cannot own the name" && ! echo "$1" | grep -q "this one will"' _ "$dry"
    check dry_run_writes_nothing "SMC writes during the dry run: ${dry_writes:-none}; settings $settings_before -> $settings_after, fan-limits $limits_before -> $limits_after" \
        test -z "$dry_writes" -a "$dry_mask" -ge 0 -a "$settings_before" != absent -a "$settings_before" = "$settings_after" -a "$limits_before" = "$limits_after"
    check service_still_owns_name "after the dry run the service still answers" drivethermctl get baseRpm

    # --- Stop, crash, restart ----------------------------------------------------------------------
    wait_for 10 fan_forced
    systemctl stop drivethermd
    check stop_hands_fan_back "after systemctl stop: FS! $(smc get 'FS! ' | tr -d '\n') (was $original_mask), F1Mn $(smc get F1Mn | tr -d '\n') (was $original_min)" \
        sh -c '[ -n "$2" ] && [ "$1" = "$2" ] && [ -n "$4" ] && [ "$3" = "$4" ]' _ "$(smc get 'FS! ')" "$original_mask" "$(smc get F1Mn)" "$original_min"
    systemctl start drivethermd
    wait_for 10 fan_forced
    old_pid=$(main_pid)
    smc writes > /dev/null
    systemctl kill -s KILL drivethermd
    # Restart=on-failure brings it back after RestartSec; ExecStopPost= ran in between.
    wait_for 20 sh -c "[ \"\$(systemctl show -p MainPID --value drivethermd)\" != $old_pid ] && [ \"\$(systemctl show -p MainPID --value drivethermd)\" != 0 ] && [ \"\$(systemctl is-active drivethermd)\" = active ]"
    new_pid=$(main_pid)
    crash_writes=$(smc writes | tr '\n' ' ')
    # The hand-back: the forced bit cleared and the minimum restored, before the new daemon's writes.
    released=$(echo "$crash_writes" | grep -o "FS!  [0-9a-f]* ok" | head -1)
    check kill_hands_back_and_restarts "KILL: PID $old_pid -> $new_pid, first FS! write after it: ${released:-none}" \
        sh -c '[ "$1" != "$2" ] && [ "$2" != 0 ] && [ -n "$3" ] && [ $((0x$(echo "$3" | cut -d" " -f3) & 2)) -eq 0 ]' _ "$old_pid" "$new_pid" "$released"
    denied=$(journalctl -b -o cat _SYSTEMD_UNIT=drivethermd.service + SYSLOG_IDENTIFIER=drivetherm-smc | grep -iE 'EPERM|EACCES|permission denied|not permitted' | head -3)
    check no_permission_errors_after_crash "journal after the crash: ${denied:-no permission error}" test -z "$denied"

    echo "DTGUEST reboot uptime=$(uptime_s)"
    sync
    systemctl reboot
    exit 0
fi

# --- Second boot: the settings kept, then the purge ------------------------------------------------
wait_for 30 active
check service_active_after_reboot "enabled service active after the reboot" active
# At boot udev loads the SMC driver while services start: the daemon must not have raced it.
restarts=$(systemctl show -p NRestarts --value drivethermd)
no_smc=$(journalctl -b -u drivethermd -o cat | grep -i "no Apple SMC" | head -1)
check started_once_at_boot "restarts at boot: $restarts${no_smc:+; $no_smc}" test "$restarts" = 0 -a -z "$no_smc"
kept=$(drivethermctl get baseRpm 2>&1)
check setting_survives_reboot "baseRpm after the reboot: $kept (set to $kept_rpm over the bus)" test "$kept" = $kept_rpm
apt-get purge -y drivetherm > /tmp/purge.log 2>&1 || dpkg --purge drivetherm >> /tmp/purge.log 2>&1
check purge_removes_settings "dpkg --purge: /var/lib/drivetherm $(test -e /var/lib/drivetherm && echo remains || echo is gone)" test ! -e /var/lib/drivetherm
check purge_hands_fan_back "after the purge FS! is $(smc get 'FS! ' | tr -d '\n')" fan_free
echo "DTGUEST done uptime=$(uptime_s)"
sync
systemctl poweroff
