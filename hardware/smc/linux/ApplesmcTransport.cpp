// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/linux/ApplesmcTransport.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

std::string keyOf(std::uint32_t code) {
    char text[5];
    unpackSmcCode(code, text);
    return text;
}

bool isFanKey(const std::string& key) {
    return key.size() == 4 && key[0] == 'F' && key[1] >= '0' && key[1] <= '9';
}

int fanOf(const std::string& key) {
    return key[1] - '0';
}

std::string fanFile(int fan, const char* attribute) {
    return "fan" + std::to_string(fan + 1) + "_" + attribute;
}

}  // namespace

ApplesmcTransport::ApplesmcTransport(std::shared_ptr<ApplesmcDevice> device, bool smcBytes)
    : device_(std::move(device)), smcBytes_(smcBytes) {}

std::optional<std::string> ApplesmcTransport::fanFileOf(const std::string& key) {
    if (!isFanKey(key)) return std::nullopt;
    static constexpr std::pair<const char*, const char*> kFiles[] = {
        {"Ac", "input"}, {"Mn", "min"}, {"Mx", "max"}, {"Sf", "safe"}, {"Tg", "output"},
    };
    for (const auto& [suffix, attribute] : kFiles) {
        if (key.compare(2, 2, suffix) == 0) return fanFile(fanOf(key), attribute);
    }
    return std::nullopt;
}

kern_return_t ApplesmcTransport::callSmc(const SmcParamRecord& request, SmcParamRecord& reply) {
    switch (request.commandCode) {
        case kSmcCmdReadKeyInfo:
            return readKeyInfo(keyOf(request.keyCode), reply);
        case kSmcCmdReadBytes:
            return readBytes(keyOf(request.keyCode), request.valueSize, reply);
        case kSmcCmdWriteBytes:
            return writeBytes(keyOf(request.keyCode), request);
        case kSmcCmdReadIndex:
            return readKeyAtIndex(request.keyIndex, reply);
        default:
            return kIOReturnUnsupported;
    }
}

kern_return_t ApplesmcTransport::readKeyInfo(const std::string& key, SmcParamRecord& reply) {
    const ApplesmcKeyInfo* info = nullptr;
    const kern_return_t status = device_->keys().find(key, info);
    if (status != kIOReturnSuccess) return status;
    reply.keyCode = packSmcCode(key.c_str());
    // A key the SMC does not hold shows as size 0, as on a real controller.
    reply.valueSize = info ? info->size : 0;
    reply.valueType = info ? packSmcCode(info->type.c_str()) : 0;
    return kIOReturnSuccess;
}

kern_return_t ApplesmcTransport::readNumber(const std::string& path, long& value) {
    char text[32];
    const long count = device_->files().readFile(path, text, sizeof text - 1);
    if (count < 0) return applesmcStatus(count);
    text[count] = '\0';
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    if (end == text || (*end != '\0' && *end != '\n')) return kIOReturnIOError;
    return kIOReturnSuccess;
}

kern_return_t ApplesmcTransport::readBytes(const std::string& key, std::uint32_t size,
                                           SmcParamRecord& reply) {
    const ApplesmcKeyInfo* info = nullptr;
    kern_return_t status = device_->keys().find(key, info);
    if (status != kIOReturnSuccess) return status;
    std::memset(reply.valueBytes, 0, sizeof reply.valueBytes);
    reply.keyCode = packSmcCode(key.c_str());
    if (info == nullptr) return kIOReturnSuccess;
    // The driver refuses a read of the wrong length.
    if (size != info->size) return kIOReturnBadArgument;
    reply.valueSize = size;

    // The dedicated files show only two-byte values.
    const bool fromFile = info->size == 2 && !smcBytes_;
    if (const auto file = fanFileOf(key);
        file && fromFile && info->type == "fpe2" && device_->hasFile(*file)) {
        // The driver shows fpe2 >> 2: whole rpm, so the bytes are rpm << 2 without the fraction.
        long rpm = 0;
        if ((status = readNumber(device_->path(*file), rpm)) != kIOReturnSuccess) return status;
        if (rpm < 0 || rpm > kSmcMaxFpe2Rpm) return kIOReturnIOError;
        encodeFpe2(static_cast<int>(rpm), reply.valueBytes);
        return kIOReturnSuccess;
    }
    if (key[0] == 'T' && fromFile && info->type == "sp78") {
        if (const std::string* input = device_->temperatureInput(key)) {
            // Millidegrees in quarter degrees: 250 × (sp78 >> 6), so sp78 = (m / 250) << 6.
            long millidegrees = 0;
            if ((status = readNumber(*input, millidegrees)) != kIOReturnSuccess) return status;
            const long quarters = static_cast<long>(std::floor(millidegrees / 250.0));
            if (quarters < -512 || quarters > 511) return kIOReturnIOError;
            const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(quarters * 64));
            reply.valueBytes[0] = static_cast<std::uint8_t>(raw >> 8);
            reply.valueBytes[1] = static_cast<std::uint8_t>(raw & 0xFF);
            return kIOReturnSuccess;
        }
    }
    return device_->keys().readData(*info, reply.valueBytes);
}

kern_return_t ApplesmcTransport::writeNumber(const std::string& file, long value) {
    return applesmcStatus(device_->files().writeFile(device_->path(file), std::to_string(value)));
}

kern_return_t ApplesmcTransport::writeForcedMask(const ApplesmcKeyInfo& info,
                                                 const SmcParamRecord& request) {
    const std::vector<int>& fans = device_->manualFans();
    if (fans.empty()) return kIOReturnNotWritable;
    const unsigned mask = (request.valueBytes[0] << 8) | request.valueBytes[1];
    // The driver sets one bit of "FS! " per fanN_manual write and keeps the others. Only the bits
    // that change are written: rewriting another fan's bit with the value read a moment ago
    // could undo what another program just did to that fan.
    std::uint8_t bytes[32] = {};
    const kern_return_t read = device_->keys().readData(info, bytes);
    if (read != kIOReturnSuccess) return read;
    const unsigned changed = mask ^ ((bytes[0] << 8) | bytes[1]);
    for (const int fan : fans) {
        if (((changed >> fan) & 1u) == 0) continue;
        const kern_return_t status = writeNumber(fanFile(fan, "manual"), (mask >> fan) & 1u);
        if (status != kIOReturnSuccess) return status;
    }
    return kIOReturnSuccess;
}

kern_return_t ApplesmcTransport::writeBytes(const std::string& key, const SmcParamRecord& request) {
    const ApplesmcKeyInfo* info = nullptr;
    const kern_return_t status = device_->keys().find(key, info);
    if (status != kIOReturnSuccess) return status;
    if (info == nullptr) return kIOReturnNotFound;
    if (request.valueSize != info->size) return kIOReturnBadArgument;

    if (key == "FS! ") {
        if (info->size != 2) return kIOReturnNotWritable;
        return writeForcedMask(*info, request);
    }
    const bool speedKey =
        isFanKey(key) && (key.compare(2, 2, "Mn") == 0 || key.compare(2, 2, "Mx") == 0 ||
                          key.compare(2, 2, "Tg") == 0);
    // The driver takes decimal rpm and stores rpm << 2: only a two-byte fpe2 key fits that.
    if (!speedKey || info->type != "fpe2" || info->size != 2) return kIOReturnNotWritable;

    const long rpm = static_cast<long>(decodeFpe2(request.valueBytes, 2));
    const int fan = fanOf(key);
    if (key.compare(2, 2, "Mn") == 0) return writeNumber(fanFile(fan, "min"), rpm);
    if (key.compare(2, 2, "Tg") == 0) return writeNumber(fanFile(fan, "output"), rpm);
    // "F%dMx": no file writes the maximum; forced mode at that speed holds the fan there. A fan
    // already forced is left so: the driver turns each write of the bit into a read and a
    // write of "FS! ", a look costs the read alone.
    long manual = 0;
    if (readNumber(device_->path(fanFile(fan, "manual")), manual) != kIOReturnSuccess ||
        manual != 1) {
        if (const kern_return_t forced = writeNumber(fanFile(fan, "manual"), 1);
            forced != kIOReturnSuccess) {
            return forced;
        }
    }
    return writeNumber(fanFile(fan, "output"), rpm);
}

kern_return_t ApplesmcTransport::readKeyAtIndex(std::uint32_t index, SmcParamRecord& reply) {
    std::string name;
    const kern_return_t status = device_->keys().nameAt(index, name);
    if (status != kIOReturnSuccess) return status;
    reply.keyCode = packSmcCode(name.c_str());
    return kIOReturnSuccess;
}

}  // namespace drivetherm
