// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/SmcSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcTransport.h"

namespace drivetherm {
namespace {

void copyKeyName(const char* key, char name[5]) {
    std::size_t i = 0;
    for (; i < 4 && key[i] != '\0'; ++i) name[i] = key[i];
    for (; i < 5; ++i) name[i] = '\0';
}

}  // namespace

SmcSession::~SmcSession() = default;

// The SMC layer's three connection errors go to standard output, where the daemon's journal and
// the tool's user see them; flushed at once because a daemon's stdout is a pipe.
void SmcSession::report(const std::string& line) {
    if (!reportRepeats_ && line == lastReport_) return;
    lastReport_ = line;
    std::fputs(line.c_str(), messages_);
    std::fflush(messages_);
}

void SmcSession::reportOpenFailure(const char* call, kern_return_t status) {
    char line[96];
    std::snprintf(line, sizeof line, "Error: %s() = %08x\n", call, static_cast<unsigned>(status));
    report(line);
}

void SmcSession::setOpenReportsRepeats(bool repeat) {
    reportRepeats_ = repeat;
    lastReport_.clear();
}

int SmcSession::openSmcConnection() {
    constexpr const char* kNoSmc = "Error: no SMC found\n";
    if (driver_ == nullptr) {
        lastFailure_ = SmcOpenResult::Step::NoService;
        report(kNoSmc);
        return 1;
    }
    SmcOpenResult result = driver_->open();
    lastFailure_ = result.step == SmcOpenResult::Step::Opened && !result.connection
                       ? SmcOpenResult::Step::NoService
                       : result.step;
    switch (result.step) {
        case SmcOpenResult::Step::Opened:
            if (result.connection) {
                connection_ = std::move(result.connection);
                lastReport_.clear();
                return 0;
            }
            // A driver that claims success without a connection has found no usable SMC.
            report(kNoSmc);
            return 1;
        case SmcOpenResult::Step::MatchingFailed:
            reportOpenFailure("IOServiceGetMatchingServices", result.status);
            return 1;
        case SmcOpenResult::Step::NoService:
            report(kNoSmc);
            return 1;
        case SmcOpenResult::Step::OpenFailed:
            reportOpenFailure("IOServiceOpen", result.status);
            return 1;
    }
    report(kNoSmc);
    return 1;
}

kern_return_t SmcSession::closeSmcConnection() {
    connection_.reset();
    return kIOReturnSuccess;
}

kern_return_t SmcSession::callSmc(const SmcParamRecord& request, SmcParamRecord& reply) {
    if (!connection_) return kIOReturnNotOpen;
    return connection_->callSmc(request, reply);
}

kern_return_t SmcSession::readSmcKey(const char* key, SmcValue& value) {
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

kern_return_t SmcSession::writeSmcKey(const SmcValue& value) {
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

int SmcSession::readSmcKeyCount() {
    SmcValue value;
    readSmcKey("#KEY", value);
    const std::uint32_t count =
        decodeSmcUnsigned(value.valueBytes, static_cast<int>(value.valueSize));
    // A count that does not fit an int is garbage, not a key list to walk.
    return count > 0x7FFFFFFFu ? 0 : static_cast<int>(count);
}

kern_return_t SmcSession::readSmcKeyAtIndex(std::uint32_t index, char key[5]) {
    SmcParamRecord request{};
    SmcParamRecord reply{};
    request.commandCode = kSmcCmdReadIndex;
    request.keyIndex = index;
    const kern_return_t status = callSmc(request, reply);
    if (status == kIOReturnSuccess) unpackSmcCode(reply.keyCode, key);
    return status;
}

double SmcSession::readSmcTemperature(const char* key) {
    SmcValue value;
    if (readSmcKey(key, value) != kIOReturnSuccess) return 0.0;
    if (value.valueSize == 0 || std::strcmp(value.valueType, "sp78") != 0) return 0.0;
    return decodeSp78(value.valueBytes);
}

int SmcSession::readSmcFanSpeed(const char* key) {
    SmcValue value;
    if (readSmcKey(key, value) != kIOReturnSuccess) return -1;
    if (value.valueSize == 0 || std::strcmp(value.valueType, "fpe2") != 0) return -1;
    return static_cast<int>(decodeFpe2(value.valueBytes, static_cast<int>(value.valueSize)));
}

kern_return_t SmcSession::writeSmcFanSpeed(const char* key, int rpm) {
    SmcValue value;
    copyKeyName(key, value.keyName);
    value.valueSize = 2;
    encodeFpe2(std::clamp(rpm, 0, kSmcMaxFpe2Rpm), value.valueBytes);
    return writeSmcKey(value);
}

int SmcSession::readSmcFanCount() {
    SmcValue value;
    if (readSmcKey("FNum", value) != kIOReturnSuccess || value.valueSize > 4) return -1;
    // An SMC without the key has no fan to tell of (it reads as size 0, hence 0).
    const std::uint32_t count =
        decodeSmcUnsigned(value.valueBytes, static_cast<int>(value.valueSize));
    return count > 0x7FFFFFFFu ? -1 : static_cast<int>(count);
}

std::string SmcSession::readSmcFanLabel(int fan) {
    SmcValue value;
    if (fan < 0 || fan > 9 || readSmcKey(smcFanKey(fan, "ID").c_str(), value) != kIOReturnSuccess)
        return {};
    // Four bytes of type, zone and location, then the name.
    if (value.valueSize <= 4) return {};
    const char* name = reinterpret_cast<const char*>(value.valueBytes) + 4;
    std::string label(name, ::strnlen(name, value.valueSize - 4));
    while (!label.empty() && (label.back() == ' ' || label.back() == '\n')) label.pop_back();
    return label;
}

}  // namespace drivetherm
