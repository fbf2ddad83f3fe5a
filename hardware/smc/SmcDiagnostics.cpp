// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/SmcDiagnostics.h"

#include <algorithm>
#include <cstring>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

int sizeOf(const SmcValue& value) {
    // valueBytes holds 32 bytes whatever a caller put into valueSize.
    return static_cast<int>(std::min<std::uint32_t>(value.valueSize, sizeof value.valueBytes));
}

bool isUnsignedType(const char* type) {
    return std::strcmp(type, "ui8 ") == 0 || std::strcmp(type, "ui16") == 0 ||
           std::strcmp(type, "ui32") == 0;
}

struct FanSpeedRow {
    const char* keyPattern;
    const char* line;
};

constexpr FanSpeedRow kFanSpeedRows[] = {
    {"F%dAc", "    Actual speed : %.0f\n"}, {"F%dMn", "    Minimum speed: %.0f\n"},
    {"F%dMx", "    Maximum speed: %.0f\n"}, {"F%dSf", "    Safe speed   : %.0f\n"},
    {"F%dTg", "    Target speed : %.0f\n"},
};

}  // namespace

void printFpe2Value(const SmcValue& value, std::FILE* out) {
    std::fprintf(out, "%.0f ", static_cast<double>(decodeFpe2(value.valueBytes, sizeOf(value))));
}

void printUnsignedValue(const SmcValue& value, std::FILE* out) {
    std::fprintf(out, "%u ", decodeSmcUnsigned(value.valueBytes, sizeOf(value)));
}

void printValueBytes(const SmcValue& value, std::FILE* out) {
    std::fputs("(bytes", out);
    for (int i = 0; i < sizeOf(value); ++i) std::fprintf(out, " %02x", value.valueBytes[i]);
    std::fputs(")\n", out);
}

void printSmcValue(const SmcValue& value, std::FILE* out) {
    std::fprintf(out, "  %-4s  [%-4s]  ", value.keyName, value.valueType);
    if (value.valueSize == 0) {
        std::fputs("no data\n", out);
        return;
    }
    if (isUnsignedType(value.valueType)) {
        printUnsignedValue(value, out);
    } else if (std::strcmp(value.valueType, "fpe2") == 0) {
        printFpe2Value(value, out);
    }
    printValueBytes(value, out);
}

int listAllSmcKeys(SmcSession& smc, std::FILE* out) {
    const int count = smc.readSmcKeyCount();
    for (int i = 0; i < count; ++i) {
        char key[5] = {};
        if (smc.readSmcKeyAtIndex(static_cast<std::uint32_t>(i), key) != kIOReturnSuccess) continue;
        SmcValue value;
        smc.readSmcKey(key, value);
        printSmcValue(value, out);
    }
    return 0;
}

kern_return_t printFanReport(SmcSession& smc, std::FILE* out) {
    SmcValue fanCount;
    if (smc.readSmcKey("FNum", fanCount) != kIOReturnSuccess) return kIOReturnError;
    const auto total = decodeSmcUnsigned(fanCount.valueBytes, sizeOf(fanCount));
    std::fprintf(out, "Total fans in system: %d\n", static_cast<int>(total));

    const int reported = static_cast<int>(std::min<std::uint32_t>(total, kSmcMaxReportedFans));
    for (int fan = 0; fan < reported; ++fan) {
        std::fprintf(out, "\nFan #%d:\n", fan);
        for (const FanSpeedRow& row : kFanSpeedRows) {
            char key[8];
            std::snprintf(key, sizeof key, row.keyPattern, fan);
            SmcValue speed;
            smc.readSmcKey(key, speed);
            std::fprintf(out, row.line,
                         static_cast<double>(decodeFpe2(speed.valueBytes, sizeOf(speed))));
        }
        SmcValue forced;
        smc.readSmcKey("FS! ", forced);
        const unsigned mask = (forced.valueBytes[0] << 8) | forced.valueBytes[1];
        std::fputs((mask >> fan) & 1u ? "    Mode         : forced\n" : "    Mode         : auto\n",
                   out);
    }
    return kIOReturnSuccess;
}

void printSmcToolUsage(const char* name, std::FILE* out) {
    std::fprintf(out, "Apple System Management Control (SMC) tool %s\n", kSmcToolVersion);
    std::fputs("Usage:\n", out);
    std::fprintf(out, "%s [options]\n", name);
    std::fputs(
        "    -f         : fan info decoded\n"
        "    -h         : help\n"
        "    -k <key>   : key to manipulate\n"
        "    -l         : list all keys and values\n"
        "    -r         : read the value of a key\n"
        "    -w <value> : write the specified value to a key\n"
        "    -v         : version\n"
        "\n",
        out);
}

}  // namespace drivetherm
