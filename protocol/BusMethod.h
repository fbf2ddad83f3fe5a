// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace drivetherm {

// One method of a bus interface, as the daemon registers it and a client calls it. The tables
// of DaemonInterface and SimulatorInterface are the only place where a method's name and
// signatures are spelled; protocol/com.quillmoor.Drivetherm.xml describes the same methods for
// people and other programs, and a test holds the two together.
struct BusMethod {
    const char* name;
    const char* in;   // D-Bus signature of the arguments
    const char* out;  // D-Bus signature of the reply
    // The arguments' names and then the reply's, each ended by a NUL, the layout sd-bus takes
    // for introspection ("rpm\0").
    const char* names;
    // Changes something: the daemon answers only a caller the Authorizer lets through.
    bool privileged;
};

}  // namespace drivetherm
