# SPDX-License-Identifier: GPL-2.0-or-later
# Sourced by the demonstration and the figure scripts: a dbus-daemon of their own, with a
# minimal configuration (no service directories; every local user may connect and own names).
#
#   start_private_bus DIR    starts it with its socket in DIR; sets PRIVATE_BUS (the address)
#                            and PRIVATE_BUS_PID
start_private_bus() {
    cat >"$1/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$1/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$1/bus.conf" --nofork --print-address=1 >"$1/address" 2>/dev/null &
    PRIVATE_BUS_PID=$!
    for _ in $(seq 50); do [ -s "$1/address" ] && break; sleep 0.1; done
    PRIVATE_BUS="unix:path=$1/bus"
}
