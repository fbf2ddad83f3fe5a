// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "hardware/disk/linux/UdevNames.h"

namespace drivetherm {
namespace {

using namespace std::string_literals;

TEST(UdevNames, ModelStringsComeOutTheSameFromUdevAndFromSysfs) {
    struct Case {
        std::string encoded;  // ID_MODEL_ENC
        std::string sysfs;    // device/model
        std::string model;
    };
    const Case cases[] = {
        {"WDC\\x20WD10EZEX-08M2NA0\\x20\\x20\\x20\\x20", "WDC WD10EZEX-08M2NA0    \n",
         "WDC WD10EZEX-08M2NA0"},
        {"APPLE\\x20HDD\\x20HTS541010A9E682", "APPLE HDD HTS541010A9E682\n",
         "APPLE HDD HTS541010A9E682"},
        {"ST31000528AS\\x20\\x20\\x20\\x20\\x20\\x20\\x20\\x20", "ST31000528AS        ",
         "ST31000528AS"},
        {"\\x20\\x20", "  \n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        EXPECT_EQ(modelFromUdev(c.encoded), c.model);
        EXPECT_EQ(modelFromSysfs(c.sysfs), c.model);
    }
}

TEST(UdevNames, OnlyWellFormedEscapesAreDecoded) {
    struct Case {
        std::string encoded;
        std::string decoded;
    };
    const Case cases[] = {
        {"a\\x20b", "a b"},           {"a\\x5cb", "a\\b"},
        {"\\x2F\\x2f", "//"},         {"a\\x2", "a\\x2"},  // cut short
        {"a\\xZZ", "a\\xZZ"},                              // not hex
        {"a\\y20", "a\\y20"},                              // not an x escape
        {"trailing\\", "trailing\\"}, {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(decodeUdevEscapes(c.encoded), c.decoded);
    }
}

TEST(UdevNames, ModelsAreMadeSafeForTheBus) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"Plain ASCII-1", "Plain ASCII-1"},
        {"Caf\xc3\xa9 \xe2\x82\xac", "Caf\xc3\xa9 \xe2\x82\xac"},  // valid UTF-8 is kept
        {"bad\xff\xfe", "bad??"},
        {"cut\xc3", "cut?"},
        {"overlong\xc0\xaf", "overlong??"},
        {"surrogate\xed\xa0\x80", "surrogate???"},
        {"tab\tnul\0end"s, "tab?nul?end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(printableText(c.bytes), c.text);
    }
    EXPECT_EQ(modelFromUdev("bad\\xff\\x00model\\x20"), "bad??model");
}

TEST(UdevNames, DisksAreNumberedInTheNaturalOrderOfTheirKernelNames) {
    const std::vector<std::string> ordered{
        "hda",     "hdb",      "mmcblk0", "mmcblk2", "mmcblk10", "nvme0n1", "nvme0n2", "nvme0n10",
        "nvme1n1", "nvme10n1", "sda",     "sdb",     "sdz",      "sdaa",    "sdab",    "sdaz",
        "sdba",    "sdzz",     "sdaaa",   "vda",     "vdb",      "xvda"};
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_TRUE(kernelNameLess(ordered[i], ordered[i + 1]))
            << ordered[i] << " < " << ordered[i + 1];
        EXPECT_FALSE(kernelNameLess(ordered[i + 1], ordered[i]))
            << ordered[i + 1] << " < " << ordered[i];
    }
    EXPECT_FALSE(kernelNameLess("sda", "sda"));

    std::vector<std::string> shuffled = ordered;
    std::mt19937 random(1234);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::sort(shuffled.begin(), shuffled.end(),
                  [](const auto& a, const auto& b) { return kernelNameLess(a, b); });
        EXPECT_EQ(shuffled, ordered);
    }
}

TEST(UdevNames, OnlyPlainNamesMayBecomePathComponents) {
    struct Case {
        std::string name;
        bool safe;
    };
    const Case cases[] = {
        {"sda", true},     {"nvme0n1", true},   {"dm-0", true},    {std::string(255, 'a'), true},
        {"", false},       {".", false},        {"..", false},     {"../sda", false},
        {"sda/..", false}, {"/dev/sda", false}, {"sd\0a"s, false}, {std::string(256, 'a'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        EXPECT_EQ(isSafeDeviceName(c.name), c.safe);
    }
}

}  // namespace
}  // namespace drivetherm
