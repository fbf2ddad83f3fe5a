// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/AutostartEntry.h"
#include "monitor/LaunchAtLoginController.h"

namespace drivetherm {
namespace {

namespace fs = std::filesystem;

// A temporary XDG_CONFIG_HOME, a bin directory on a private PATH holding the application and a
// link to it, and an older copy elsewhere.
class LoginItems : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "drivetherm-login-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        autostart = root / "config" / "autostart";
        for (const char* dir : {"bin", "old"}) {
            fs::create_directory(root / dir);
            std::ofstream(root / dir / "drivetherm-monitor") << "#!/bin/sh\n";
            fs::permissions(root / dir / "drivetherm-monitor", fs::perms::owner_all);
        }
        app = root / "bin" / "drivetherm-monitor";
        old = root / "old" / "drivetherm-monitor";
        fs::create_symlink(app, root / "bin" / "monitor-link");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(root);
    }

    void entry(const std::string& name, const std::string& text) {
        fs::create_directories(autostart);
        std::ofstream(autostart / name) << text;
    }
    static std::string exec(const std::string& line) {
        return "[Desktop Entry]\nType=Application\nExec=" + line + "\n";
    }
    LaunchAtLoginController controller() const {
        return LaunchAtLoginController(app, LaunchAtLoginController::defaultDirectory(),
                                       "relative/dir:" + (root / "bin").string());
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        std::error_code none;
        for (const auto& e : fs::directory_iterator(autostart, none)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root, autostart, app, old;
};

TEST_F(LoginItems, SwitchingOnAddsOneEntryForTheApplicationAndSwitchingTwiceChangesNothing) {
    EXPECT_FALSE(controller().launchAtLogin());  // no directory yet
    controller().setLaunchAtLogin(true);
    controller().setLaunchAtLogin(true);
    EXPECT_EQ(entries(), std::vector<std::string>{"drivetherm-monitor.desktop"});
    EXPECT_TRUE(controller().launchAtLogin());
    std::stringstream text;
    text << std::ifstream(autostart / "drivetherm-monitor.desktop").rdbuf();
    EXPECT_EQ(AutostartEntry::parse(text.str()).program, fs::canonical(app).string());

    controller().setLaunchAtLogin(false);
    controller().setLaunchAtLogin(false);
    EXPECT_TRUE(entries().empty());
    EXPECT_FALSE(controller().launchAtLogin());
}

TEST_F(LoginItems, AnEntryCountsWhenItsProgramResolvesToTheApplication) {
    struct Row {
        std::string what, text;
        bool counts;
    };
    const std::vector<Row> rows = {
        {"absolute path", exec(app.string() + " --bus system"), true},
        {"link to it", exec((root / "bin" / "monitor-link").string()), true},
        {"bare name on PATH", exec("drivetherm-monitor"), true},
        {"quoted", exec("\"" + app.string() + "\" %U"), true},
        {"escaped blank in the value", exec(app.string() + "\\s--bus"), true},
        {"another copy", exec(old.string()), false},
        {"not on PATH", exec("monitor-elsewhere"), false},
        {"relative path", exec("bin/drivetherm-monitor"), false},
        {"hidden", exec(app.string()) + "Hidden=true\n", false},
        {"switched off", exec(app.string()) + "X-GNOME-Autostart-enabled=false\n", false},
        {"only in an action", "[Desktop Entry]\n[Desktop Action a]\nExec=" + app.string(), false},
        {"no Exec", "[Desktop Entry]\nName=x\n", false},
        {"unclosed quote", exec("\"" + app.string()), false},
    };
    for (const Row& row : rows) {
        fs::remove_all(autostart);
        entry("other.desktop", row.text);
        EXPECT_EQ(controller().launchAtLogin(), row.counts) << row.what;
    }
    // Entries that cannot be read are passed over.
    fs::remove_all(autostart);
    fs::create_directories(autostart / "a.desktop");                // not a file
    fs::create_symlink(root / "nowhere", autostart / "b.desktop");  // dangling
    entry("c.txt", exec(app.string()));                             // not a desktop entry
    EXPECT_FALSE(controller().launchAtLogin());
}

TEST_F(LoginItems, AMovedApplicationGetsASecondEntryBesideTheOldOne) {
    entry("drivetherm-monitor.desktop", exec(old.string()));
    EXPECT_FALSE(controller().launchAtLogin());
    controller().setLaunchAtLogin(true);
    EXPECT_EQ(entries(), (std::vector<std::string>{"drivetherm-monitor-2.desktop",
                                                   "drivetherm-monitor.desktop"}));
    EXPECT_TRUE(controller().launchAtLogin());
}

TEST_F(LoginItems, SwitchingOffRemovesOnlyTheFirstMatchingEntry) {
    entry("a.desktop", exec(app.string()));
    entry("b.desktop", exec("drivetherm-monitor"));
    entry("c.desktop", exec(old.string()));
    controller().setLaunchAtLogin(false);
    EXPECT_EQ(entries(), (std::vector<std::string>{"b.desktop", "c.desktop"}));
    EXPECT_TRUE(controller().launchAtLogin());
}

TEST_F(LoginItems, AnAutostartDirectoryThatCannotBeMadeChangesNothing) {
    std::ofstream(root / "config") << "a file where the directory should be";
    controller().setLaunchAtLogin(true);
    EXPECT_FALSE(controller().launchAtLogin());
    // A relative XDG_CONFIG_HOME does not count; the home's .config does.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const char* home = std::getenv("HOME");
    EXPECT_EQ(LaunchAtLoginController::defaultDirectory(),
              fs::path(home && *home ? home : "/") / ".config" / "autostart");
}

TEST(AutostartEntry, WritesAnyProgramPathSoThatItReadsBackUnchanged) {
    for (const std::string program :
         {"/usr/bin/drivetherm-monitor", "/opt/My Apps/monitor", "/tmp/100%/monitor",
          "/tmp/a\"b$c`d\\e/monitor", "/tmp/tab\there"}) {
        EXPECT_EQ(AutostartEntry::parse(AutostartEntry::textFor(program)).program, program);
    }
}

}  // namespace
}  // namespace drivetherm
