// SPDX-License-Identifier: GPL-2.0-or-later
// Settings files the settings-file fuzz target (fuzz/SettingsFileFuzzer.cpp) found to break the
// daemon's start, each loaded as drivethermd loads it: the store, then readPreferences.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "daemon/HDDDaemon.h"
#include "daemon/PlistPreferenceStore.h"
#include "tests/unit/daemon/FakeDaemonHardware.h"

namespace drivetherm {
namespace {

namespace fs = std::filesystem;

class FuzzedSettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("fuzzed-settings-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& bytes) const {
        std::ofstream(dir / "com.quillmoor.Drivetherm.plist", std::ios::binary) << bytes;
    }

    fs::path dir;
};

// A NUL byte inside a <string>: the property-list library hands the value over only by a call
// that asserts the string holds no NUL, which aborted the daemon at every start.
TEST_F(FuzzedSettingsFile, ANulInsideTheDriveNameIsRefusedWithoutAbortingTheStart) {
    using namespace std::string_literals;
    write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>baseRpm</key>\n\t<integer>1500</integer>\n"
        "\t<key>HDDName</key>\n\t<string>WDC\0WD10EZEX</string>\n</dict>\n</plist>\n"s);

    PlistPreferenceStore store(dir.string(), "com.quillmoor.Drivetherm");
    testing::FakeDaemonHardware hardware;
    HDDDaemon daemon(hardware, store);
    daemon.readPreferences();

    // A control character in a drive name is refused as the setter refuses it: no drive chosen,
    // and never the name cut at the NUL.
    EXPECT_EQ(daemon.HDDName().value_or(""), "");
}

// A key the daemon does not know is kept and written back; holding a string with a NUL inside,
// its writing read past the string's end, into the heap, and out into the settings file.
TEST_F(FuzzedSettingsFile, AStringWithANulUnderAnUnknownKeyNeverReachesTheWrittenFile) {
    using namespace std::string_literals;
    write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>HDDN*ame</key>\n\t<string>WD\0\0\0\0\x81\0\0\0EX-08M2NA0</string>\n"
        "</dict>\n</plist>\n"s);
    {
        PlistPreferenceStore store(dir.string(), "com.quillmoor.Drivetherm");
        store.setValue(HDDDaemon::kBaseRpmKey, std::int64_t{1500});
        ASSERT_TRUE(store.synchronize());
    }
    std::ifstream in(dir / "com.quillmoor.Drivetherm.plist", std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written.find('\0'), std::string::npos);
    PlistPreferenceStore again(dir.string(), "com.quillmoor.Drivetherm");
    EXPECT_EQ(again.setAsidePath(), "");
    EXPECT_EQ(again.copyValue(HDDDaemon::kBaseRpmKey), PreferenceValue(std::int64_t{1500}));
}

}  // namespace
}  // namespace drivetherm
