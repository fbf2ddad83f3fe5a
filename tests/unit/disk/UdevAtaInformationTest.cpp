// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "hardware/disk/linux/UdevAtaInformation.h"

namespace drivetherm {
namespace {

// "000-015: 00 89 ..." lines after "#" comments, as bytes.
std::string readHexPage(const std::string& name) {
    std::ifstream file(std::string(DRIVETHERM_TEST_DATA "/disk/") + name);
    EXPECT_TRUE(file) << name;
    std::string page;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream bytes(line.substr(line.find(':') + 1));
        unsigned byte = 0;
        while (bytes >> std::hex >> byte) page += static_cast<char>(byte);
    }
    return page;
}

// The page a real kernel showed for QEMU's IDE disk.
std::string capturedPage() {
    return readHexPage("ata-information-qemu-ide-disk.hex");
}

// Byte offset of IDENTIFY word `word` in the page.
std::size_t wordAt(unsigned word) {
    return 60 + 2 * word;
}

TEST(UdevAtaInformation, TheCapturedPageOfADiskThatSupportsSmartSaysSo) {
    const std::string page = capturedPage();
    ASSERT_EQ(page.size(), kAtaInformationPageSize);
    EXPECT_EQ(smartSupportedFromAtaInformation(page), true);
}

TEST(UdevAtaInformation, ADriveWhoseWord82LacksTheSmartBitDoesNotSupportIt) {
    std::string page = capturedPage();
    page[wordAt(82)] = static_cast<char>(page[wordAt(82)] & ~0x01);
    EXPECT_EQ(smartSupportedFromAtaInformation(page), false);
}

TEST(UdevAtaInformation, Word206TellsWhetherTheDriveHasSct) {
    std::string page = capturedPage();
    EXPECT_EQ(sctSupportedFromAtaInformation(page), false) << "QEMU's disk has no SCT";
    page[wordAt(206)] = 0x01;
    EXPECT_EQ(sctSupportedFromAtaInformation(page), true);
    page[56] = static_cast<char>(0xA1);
    EXPECT_EQ(sctSupportedFromAtaInformation(page), std::nullopt) << "a CD-ROM drive's data";
}

TEST(UdevAtaInformation, PagesThatCannotTellSayNothing) {
    struct Case {
        const char* what;
        std::size_t offset;
        char value;
    };
    const Case cases[] = {
        {"words 82-84 marked invalid", wordAt(83) + 1, 0x00},
        {"words 82-84 marked invalid (all ones)", wordAt(83) + 1, static_cast<char>(0xFF)},
        {"another page code", 1, static_cast<char>(0x80)},
        {"IDENTIFY PACKET DEVICE data (a CD-ROM drive)", 56, static_cast<char>(0xA1)},
    };
    for (const Case& c : cases) {
        std::string page = capturedPage();
        page[c.offset] = c.value;
        EXPECT_EQ(smartSupportedFromAtaInformation(page), std::nullopt) << c.what;
    }
    EXPECT_EQ(
        smartSupportedFromAtaInformation(capturedPage().substr(0, kAtaInformationPageSize - 1)),
        std::nullopt)
        << "a cut page";
    EXPECT_EQ(smartSupportedFromAtaInformation(""), std::nullopt);
}

}  // namespace
}  // namespace drivetherm
