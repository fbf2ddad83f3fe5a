// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>

#include "hardware/IOReturn.h"
#include "hardware/smc/SmcValue.h"

namespace drivetherm {
class SmcSession;
}

namespace drivetherm {

// The SMC diagnostic listing: one key's value, every key, a report of the fans, the tool's usage
// text. Each routine that reads expects the session's connection to be open (openSmcConnection)
// and leaves closing it to the caller. Output goes to `out`, standard output unless a test gives
// another stream.

// "  KEY   [TYPE]  " then the decoded value (unsigned types with "%u ", "fpe2" with "%.0f ") and
// the bytes; "no data" for a value of size 0.
void printSmcValue(const SmcValue& value, std::FILE* out = stdout);
void printFpe2Value(const SmcValue& value, std::FILE* out = stdout);
void printUnsignedValue(const SmcValue& value, std::FILE* out = stdout);
// "(bytes 1f 40)" and a line break.
void printValueBytes(const SmcValue& value, std::FILE* out = stdout);

// Every key the SMC holds, in index order, one printSmcValue line each. Indices whose lookup
// fails are skipped. Returns 0.
int listAllSmcKeys(SmcSession& smc, std::FILE* out = stdout);

// "Total fans in system: N" and, for each fan, its five speeds and its mode. kIOReturnError, and
// nothing printed, when "FNum" cannot be read. Fan keys carry a one-digit fan number, so at most
// fans 0 to 9 are reported.
kern_return_t printFanReport(SmcSession& smc, std::FILE* out = stdout);

// The usage text of the SMC command-line tool, with `name` as the program name.
void printSmcToolUsage(const char* name, std::FILE* out = stdout);

// The tool's version, as the usage text's first line shows it.
inline constexpr const char* kSmcToolVersion = "0.01";

// Fan keys are "F" + one digit + two letters: fans 0 to 9.
inline constexpr int kSmcMaxReportedFans = 10;

}  // namespace drivetherm
