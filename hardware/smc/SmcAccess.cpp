// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/SmcAccess.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcTransport.h"

namespace drivetherm {
namespace {

// The one connection of the process. A function-local static so that it exists before any
// static initialiser of a caller might open it.
std::unique_ptr<SmcTransport>& connection() {
    static std::unique_ptr<SmcTransport> open;
    return open;
}

bool reportRepeats = true;
std::string lastReport;  // the failure last printed, until an open succeeds

// The SMC layer's three connection errors go to standard output, where the daemon's journal and
// the tool's user see them; flushed at once because a daemon's stdout is a pipe.
void report(const std::string& line) {
    if (!reportRepeats && line == lastReport) return;
    lastReport = line;
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

void reportOpenFailure(const char* call, kern_return_t status) {
    char line[96];
    std::snprintf(line, sizeof line, "Error: %s() = %08x\n", call, static_cast<unsigned>(status));
    report(line);
}

void reportNoSmc() { report("Error: no SMC found\n"); }

void copyKeyName(const char* key, char name[5]) {
    std::size_t i = 0;
    for (; i < 4 && key[i] != '\0'; ++i) name[i] = key[i];
    for (; i < 5; ++i) name[i] = '\0';
}

}  // namespace

void setSmcOpenReportsRepeats(bool repeat) {
    reportRepeats = repeat;
    lastReport.clear();
}

int openSmcConnection() {
    SmcDriver* driver = smcDriver();
    if (driver == nullptr) {
        reportNoSmc();
        return 1;
    }
    SmcOpenResult result = driver->open();
    switch (result.step) {
        case SmcOpenResult::Step::Opened:
            if (result.connection) {
                connection() = std::move(result.connection);
                lastReport.clear();
                return 0;
            }
            // A driver that claims success without a connection has found no usable SMC.
            reportNoSmc();
            return 1;
        case SmcOpenResult::Step::MatchingFailed:
            reportOpenFailure("IOServiceGetMatchingServices", result.status);
            return 1;
        case SmcOpenResult::Step::NoService:
            reportNoSmc();
            return 1;
        case SmcOpenResult::Step::OpenFailed:
            reportOpenFailure("IOServiceOpen", result.status);
            return 1;
    }
    reportNoSmc();
    return 1;
}

kern_return_t closeSmcConnection() {
    connection().reset();
    return kIOReturnSuccess;
}

kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) {
    if (!connection()) return kIOReturnNotOpen;
    return connection()->callSmc(request, reply);
}

kern_return_t readSmcKey(const char* key, SmcValue& value) {
    value = SmcValue{};
    SmcParamRecord request{};
    SmcParamRecord reply{};
    copyKeyName(key, value.keyName);
    request.keyCode = packSmcCode(key);
    request.commandCode = kSmcCmdReadKeyInfo;
    kern_return_t status = callSmc(request, reply);
    if (status != kIOReturnSuccess) return status;

    // A size beyond the record's 32 value bytes is a malformed answer; taking it would make
    // every later user of the value read past its bytes.
    if (reply.valueSize > sizeof value.valueBytes) return kIOReturnError;
    value.valueSize = reply.valueSize;
    unpackSmcCode(reply.valueType, value.valueType);

    request.valueSize = value.valueSize;
    request.commandCode = kSmcCmdReadBytes;
    reply = SmcParamRecord{};
    status = callSmc(request, reply);
    if (status != kIOReturnSuccess) return status;
    std::memcpy(value.valueBytes, reply.valueBytes, sizeof value.valueBytes);
    return kIOReturnSuccess;
}

kern_return_t writeSmcKey(const SmcValue& value) {
    SmcValue current;
    const kern_return_t status = readSmcKey(value.keyName, current);
    if (status != kIOReturnSuccess) return status;
    // A key the SMC does not hold reads as size 0: there is nothing to write then either.
    if (current.valueSize != value.valueSize || current.valueSize == 0) return kIOReturnError;

    SmcParamRecord request{};
    SmcParamRecord reply{};
    request.keyCode = packSmcCode(value.keyName);
    request.commandCode = kSmcCmdWriteBytes;
    request.valueSize = value.valueSize;
    std::memcpy(request.valueBytes, value.valueBytes, sizeof request.valueBytes);
    return callSmc(request, reply);
}

int readSmcKeyCount() {
    SmcValue value;
    readSmcKey("#KEY", value);
    const std::uint32_t count = decodeSmcUnsigned(value.valueBytes, static_cast<int>(value.valueSize));
    // A count that does not fit an int is garbage, not a key list to walk.
    return count > 0x7FFFFFFFu ? 0 : static_cast<int>(count);
}

kern_return_t readSmcKeyAtIndex(std::uint32_t index, char key[5]) {
    SmcParamRecord request{};
    SmcParamRecord reply{};
    request.commandCode = kSmcCmdReadIndex;
    request.keyIndex = index;
    const kern_return_t status = callSmc(request, reply);
    if (status == kIOReturnSuccess) unpackSmcCode(reply.keyCode, key);
    return status;
}

double readSmcTemperature(const char* key) {
    SmcValue value;
    if (readSmcKey(key, value) != kIOReturnSuccess) return 0.0;
    if (value.valueSize == 0 || std::strcmp(value.valueType, "sp78") != 0) return 0.0;
    return decodeSp78(value.valueBytes);
}

int readSmcFanSpeed(const char* key) {
    SmcValue value;
    if (readSmcKey(key, value) != kIOReturnSuccess) return -1;
    if (value.valueSize == 0 || std::strcmp(value.valueType, "fpe2") != 0) return -1;
    return static_cast<int>(decodeFpe2(value.valueBytes, static_cast<int>(value.valueSize)));
}

kern_return_t writeSmcFanSpeed(const char* key, int rpm) {
    SmcValue value;
    copyKeyName(key, value.keyName);
    value.valueSize = 2;
    encodeFpe2(std::clamp(rpm, 0, kSmcMaxFpe2Rpm), value.valueBytes);
    return writeSmcKey(value);
}

}  // namespace drivetherm
