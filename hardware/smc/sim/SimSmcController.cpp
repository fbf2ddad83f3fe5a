// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/sim/SimSmcController.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

// The result byte of a reply (offset 40), as a real controller sets it. Nothing of this system
// reads it; it is there so that a dump of a simulated reply looks like a real one.
constexpr std::size_t kResultByte = 4;
constexpr std::uint8_t kSmcResultKeyNotFound = 0x84;

std::uint32_t codeOf(std::string_view key) {
    char text[5] = {};
    std::memcpy(text, key.data(), std::min<std::size_t>(key.size(), 4));
    return packSmcCode(text);
}

std::string fanKey(int fan, const char* suffix) {
    char key[8];
    std::snprintf(key, sizeof key, "F%d%s", fan, suffix);
    return key;
}

// Keys a real controller computes itself and never lets a client change.
bool isReadOnly(std::string_view name) {
    return name == "#KEY" || name == "FNum";
}

}  // namespace

const SimSmcController::Key* SimSmcController::find(std::uint32_t code) const {
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), code,
                                     [](const Key& key, std::uint32_t c) { return key.code < c; });
    return it != keys_.end() && it->code == code ? &*it : nullptr;
}

SimSmcController::Key* SimSmcController::find(std::uint32_t code) {
    return const_cast<Key*>(std::as_const(*this).find(code));
}

const SimSmcController::Key* SimSmcController::find(std::string_view key) const {
    if (key.size() != 4) return nullptr;
    return find(codeOf(key));
}

void SimSmcController::setKey(std::string_view key, std::string_view type,
                              std::vector<std::uint8_t> bytes) {
    const std::uint32_t code = codeOf(key);
    if (Key* existing = find(code)) {
        existing->type = std::string(type);
        existing->bytes = std::move(bytes);
    } else {
        const auto it = std::lower_bound(keys_.begin(), keys_.end(), code,
                                         [](const Key& k, std::uint32_t c) { return k.code < c; });
        keys_.insert(it,
                     Key{code, std::string(key.substr(0, 4)), std::string(type), std::move(bytes)});
    }
    updateKeyCount();
}

void SimSmcController::updateKeyCount() {
    // "#KEY" counts itself, so it is added before the count is taken.
    const std::uint32_t code = codeOf("#KEY");
    if (find(code) == nullptr) {
        const auto it = std::lower_bound(keys_.begin(), keys_.end(), code,
                                         [](const Key& k, std::uint32_t c) { return k.code < c; });
        keys_.insert(it, Key{code, "#KEY", "ui32", {0, 0, 0, 0}});
    }
    const auto count = static_cast<std::uint32_t>(keys_.size());
    find(code)->bytes = {static_cast<std::uint8_t>(count >> 24),
                         static_cast<std::uint8_t>(count >> 16),
                         static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

kern_return_t SimSmcController::exchange(const SmcParamRecord& request, SmcParamRecord& reply) {
    ++exchanges_;
    if (exchangeFault_) return kIOReturnNotResponding;

    switch (request.commandCode) {
        case kSmcCmdReadKeyInfo: {
            const Key* key = find(request.keyCode);
            reply.keyCode = request.keyCode;
            if (key == nullptr) {
                // The exchange itself succeeds; the missing key shows as size 0.
                reply.valueSize = 0;
                reply.valueType = 0;
                reply.reserved1[kResultByte] = kSmcResultKeyNotFound;
                return kIOReturnSuccess;
            }
            reply.valueSize = static_cast<std::uint32_t>(key->bytes.size());
            reply.valueType = codeOf(key->type);
            return kIOReturnSuccess;
        }
        case kSmcCmdReadBytes: {
            const Key* key = find(request.keyCode);
            reply.keyCode = request.keyCode;
            std::memset(reply.valueBytes, 0, sizeof reply.valueBytes);
            if (key == nullptr) {
                reply.reserved1[kResultByte] = kSmcResultKeyNotFound;
                return kIOReturnSuccess;
            }
            if (request.valueSize != key->bytes.size()) return kIOReturnBadArgument;
            std::copy(key->bytes.begin(), key->bytes.end(), reply.valueBytes);
            reply.valueSize = request.valueSize;
            return kIOReturnSuccess;
        }
        case kSmcCmdWriteBytes: {
            Key* key = find(request.keyCode);
            if (key == nullptr) return kIOReturnNotFound;
            if (isReadOnly(key->name)) return kIOReturnNotWritable;
            if (request.valueSize != key->bytes.size()) return kIOReturnBadArgument;
            std::copy(request.valueBytes, request.valueBytes + key->bytes.size(),
                      key->bytes.begin());
            ++key->writes;
            return kIOReturnSuccess;
        }
        case kSmcCmdReadIndex: {
            if (request.keyIndex >= keys_.size()) return kIOReturnBadArgument;
            reply.keyCode = keys_[request.keyIndex].code;
            return kIOReturnSuccess;
        }
        default:
            return kIOReturnUnsupported;
    }
}

kern_return_t SimSmcController::readKey(std::string_view key, std::string& type,
                                        std::vector<std::uint8_t>& bytes) const {
    const Key* found = find(key);
    if (found == nullptr) {
        type.clear();
        bytes.clear();
        return kIOReturnNotFound;
    }
    type = found->type;
    bytes = found->bytes;
    return kIOReturnSuccess;
}

bool SimSmcController::setSensorTemperature(std::string_view key, double celsius) {
    const Key* found = find(key);
    if (found == nullptr || found->type != "sp78" || found->bytes.size() != 2) return false;
    Key* sensor = find(found->code);
    encodeSp78(celsius, sensor->bytes.data());
    return true;
}

double SimSmcController::sensorTemperature(std::string_view key) const {
    const Key* found = find(key);
    if (found == nullptr || found->type != "sp78" || found->bytes.size() != 2) return 0.0;
    return decodeSp78(found->bytes.data());
}

int SimSmcController::fanCount() const {
    const Key* count = find(std::string_view("FNum"));
    if (count == nullptr) return 0;
    return static_cast<int>(
        decodeSmcUnsigned(count->bytes.data(), static_cast<int>(count->bytes.size())));
}

int SimSmcController::fanSpeed(int fan, const char* suffix) const {
    if (fan < 0 || fan > 9) return -1;
    const Key* key = find(std::string_view(fanKey(fan, suffix)));
    if (key == nullptr || key->type != "fpe2" || key->bytes.size() != 2) return -1;
    return static_cast<int>(decodeFpe2(key->bytes.data(), 2));
}

int SimSmcController::fanMinimum(int fan) const {
    return fanSpeed(fan, "Mn");
}
int SimSmcController::fanMaximum(int fan) const {
    return fanSpeed(fan, "Mx");
}
int SimSmcController::fanTarget(int fan) const {
    return fanSpeed(fan, "Tg");
}
int SimSmcController::fanActual(int fan) const {
    return fanSpeed(fan, "Ac");
}

bool SimSmcController::fanForced(int fan) const {
    const Key* mask = find(std::string_view("FS! "));
    if (fan < 0 || fan > 15 || mask == nullptr || mask->bytes.size() < 2) return false;
    const unsigned bits = (mask->bytes[0] << 8) | mask->bytes[1];
    return ((bits >> fan) & 1u) != 0;
}

void SimSmcController::setFanActual(int fan, int rpm) {
    if (fan < 0 || fan > 9) return;
    Key* key = find(codeOf(fanKey(fan, "Ac")));
    if (key == nullptr || key->bytes.size() != 2) return;
    encodeFpe2(std::clamp(rpm, 0, kSmcMaxFpe2Rpm), key->bytes.data());
}

int SimSmcController::writeCount(std::string_view key) const {
    const Key* found = find(key);
    return found == nullptr ? 0 : found->writes;
}

}  // namespace drivetherm
