// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "daemon/PlistPreferenceStore.h"

namespace drivetherm {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOrder = {"baseRpm",       "lowerThreshold", "upperThreshold",
                                         "fahrenheit",    "pinToBase",      "HDDName",
                                         "useAmbientTemp"};

class PlistStore : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plist-store-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file() const { return (dir / "com.quillmoor.Drivetherm.plist").string(); }
    std::string read(const std::string& path) const {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& text) const { std::ofstream(file()) << text; }
    PlistPreferenceStore open() const {
        return PlistPreferenceStore(dir.string(), "com.quillmoor.Drivetherm", kOrder);
    }

    fs::path dir;
};

TEST_F(PlistStore, ValuesRoundTripThroughARealXmlPropertyList) {
    {
        auto store = open();
        store.setValue("useAmbientTemp", true);
        store.setValue("baseRpm", std::int64_t{-250});
        store.setValue("lowerThreshold", static_cast<double>(50.7f));
        store.setValue("HDDName", std::string("WDC <Blue> & Co"));
        ASSERT_TRUE(store.synchronize());
    }
    const std::string text = read(file());
    EXPECT_NE(text.find("<!DOCTYPE plist"), std::string::npos);
    EXPECT_NE(text.find("<integer>-250</integer>"), std::string::npos);
    EXPECT_NE(text.find("WDC &lt;Blue&gt; &amp; Co"), std::string::npos);
    // Known keys in their order, whatever order they were set in.
    EXPECT_LT(text.find("baseRpm"), text.find("lowerThreshold"));
    EXPECT_LT(text.find("HDDName"), text.find("useAmbientTemp"));

    auto store = open();
    EXPECT_EQ(std::get<std::int64_t>(*store.copyValue("baseRpm")), -250);
    EXPECT_EQ(static_cast<float>(std::get<double>(*store.copyValue("lowerThreshold"))), 50.7f);
    EXPECT_EQ(std::get<bool>(*store.copyValue("useAmbientTemp")), true);
    EXPECT_EQ(std::get<std::string>(*store.copyValue("HDDName")), "WDC <Blue> & Co");
    EXPECT_FALSE(store.copyValue("pinToBase").has_value());
}

TEST_F(PlistStore, ARemovedAndReaddedKeyReturnsToItsPlace) {
    auto store = open();
    for (const auto& key : kOrder) store.setValue(key, std::int64_t{1});
    store.removeValue("HDDName");
    store.setValue("HDDName", std::string("x"));
    ASSERT_TRUE(store.synchronize());
    const std::string text = read(file());
    EXPECT_LT(text.find("pinToBase"), text.find("HDDName"));
    EXPECT_LT(text.find("HDDName"), text.find("useAmbientTemp"));
}

TEST_F(PlistStore, UnchangedSettingsDoNotTouchTheFile) {
    {
        auto store = open();
        store.setValue("baseRpm", std::int64_t{1100});
        ASSERT_TRUE(store.synchronize());
    }
    struct stat before {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    auto store = open();
    store.setValue("baseRpm", std::int64_t{1100});
    ASSERT_TRUE(store.synchronize());
    ASSERT_TRUE(store.synchronize());
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // a rewrite would have renamed a new file in
    store.setValue("baseRpm", std::int64_t{1200});
    ASSERT_TRUE(store.synchronize());
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
}

TEST_F(PlistStore, KeysOfOthersAreKept) {
    write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>note</key><string>mine</string><key>list</key><array><integer>1</integer></array></dict></plist>)");
    auto store = open();
    store.setValue("baseRpm", std::int64_t{1300});
    ASSERT_TRUE(store.synchronize());
    const std::string text = read(file());
    EXPECT_NE(text.find("<string>mine</string>"), std::string::npos);
    EXPECT_NE(text.find("<array>"), std::string::npos);
}

TEST_F(PlistStore, ABrokenFileGivesAnEmptyDomainAndIsKeptBesideNeverDeleted) {
    const std::string broken[] = {
        "garbage \x01\x02 not xml", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>", ""};
    for (const std::string& content : broken) {
        write(content);
        auto store = open();
        EXPECT_FALSE(store.copyValue("baseRpm").has_value());
        ASSERT_FALSE(store.setAsidePath().empty()) << content;
        EXPECT_EQ(read(store.setAsidePath()), content);
        EXPECT_FALSE(fs::exists(file()));
    }
    // Four broken files, four copies: none replaced another.
    int copies = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        copies += entry.path().filename().string().find(".broken-") != std::string::npos;
    }
    EXPECT_EQ(copies, 4);
}

TEST_F(PlistStore, AnUnwritableDirectoryKeepsTheValuesAndRetriesAtTheNextStore) {
    fs::remove_all(dir);
    auto store = open();
    store.setValue("baseRpm", std::int64_t{1400});
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(std::get<std::int64_t>(*store.copyValue("baseRpm")), 1400);
    fs::create_directories(dir);
    EXPECT_TRUE(store.synchronize());
    EXPECT_NE(read(file()).find("<integer>1400</integer>"), std::string::npos);
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(PlistStore, AnOversizedFileIsSetAsideRatherThanRead) {
    write(std::string(PlistPreferenceStore::kLargestFile + 1, ' '));
    auto store = open();
    EXPECT_FALSE(store.setAsidePath().empty());
}

TEST_F(PlistStore, TheStoresOwnStaleTemporaryFilesAndOnlyThoseAreRemovedAtStart) {
    const std::string stale[] = {"com.quillmoor.Drivetherm.plist.a1B2c3",
                                 "com.quillmoor.Drivetherm.plist.XXXXXX"};
    const std::string kept[] = {"com.quillmoor.Drivetherm.plist.a1B2c",  // five characters
                                "com.quillmoor.Drivetherm.plist.a1B2c34",
                                "com.quillmoor.Drivetherm.plist.a1-2c3",
                                "com.quillmoor.Drivetherm.plist.broken-20260101T000000Z",
                                "other.plist.a1B2c3",
                                "fan-limits"};
    for (const auto& name : stale) std::ofstream(dir / name) << "<plist";
    for (const auto& name : kept) std::ofstream(dir / name) << "mine";
    fs::create_directory(dir / "com.quillmoor.Drivetherm.plist.D1r3ct");  // not a file of ours
    write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
    auto store = open();
    for (const auto& name : stale) EXPECT_FALSE(fs::exists(dir / name)) << name;
    for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_TRUE(fs::exists(dir / "com.quillmoor.Drivetherm.plist.D1r3ct"));
    EXPECT_TRUE(fs::exists(file()));
}

TEST_F(PlistStore, AFileThatIsNoRegularFileIsSetAsideWithoutBlocking) {
    ASSERT_EQ(::mkfifo(file().c_str(), 0644), 0);
    ::alarm(10);  // a store that waits in open() for a writer ends the test here
    auto store = open();
    ::alarm(0);
    ASSERT_FALSE(store.setAsidePath().empty());
    struct stat st {};
    ASSERT_EQ(::lstat(store.setAsidePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    store.setValue("baseRpm", std::int64_t{1500});
    ASSERT_TRUE(store.synchronize());
    EXPECT_NE(read(file()).find("<integer>1500</integer>"), std::string::npos);
}

TEST_F(PlistStore, AFileRemovedOrEditedBehindTheStoreIsWrittenAgain) {
    auto store = open();
    store.setValue("baseRpm", std::int64_t{1300});
    ASSERT_TRUE(store.synchronize());
    fs::remove(file());
    ASSERT_TRUE(store.synchronize());
    EXPECT_NE(read(file()).find("<integer>1300</integer>"), std::string::npos);
    // An edit in place, of the same length: only its modification time tells.
    std::string edited = read(file());
    edited.replace(edited.find("1300"), 4, "1900");
    {
        std::fstream in(file(), std::ios::in | std::ios::out);
        in << edited;
    }
    ASSERT_TRUE(store.synchronize());
    EXPECT_NE(read(file()).find("<integer>1300</integer>"), std::string::npos);
    // Written out on request even when nothing changed.
    struct stat before {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    ASSERT_TRUE(store.rewrite());
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
}

}  // namespace
}  // namespace drivetherm
