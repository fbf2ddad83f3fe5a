// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/DaemonSnapshot.h"

namespace drivetherm {

DaemonSettings readDaemonSettings(DaemonProtocol& daemon) {
    DaemonSettings s;
    s.baseRpm = daemon.baseRpm();
    s.lowerThreshold = daemon.lowerThreshold();
    s.upperThreshold = daemon.upperThreshold();
    s.fahrenheit = daemon.fahrenheit();
    s.pinToBase = daemon.pinToBase();
    s.useAmbientTemp = daemon.useAmbientTemp();
    s.HDDName = daemon.HDDName();
    // A daemon that does not know these questions keeps the fan as it always did: the window
    // then offers its own range and names no fan.
    try {
        daemon.fanRange(&s.fanMinimum, &s.fanMaximum);
        const ControlledFan fan = daemon.controlledFan();
        s.fanIndex = fan.index;
        s.fanLabel = fan.label;
        s.fanMode = fan.mode;
    } catch (const DaemonConnectionLost&) {
        throw;
    } catch (const DaemonRefused&) {
        throw;
    } catch (const DaemonError&) {
        s.fanMinimum = s.fanMaximum = 0;
    }
    return s;
}

}  // namespace drivetherm
