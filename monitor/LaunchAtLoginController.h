// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace drivetherm {

// Whether the tray monitor starts when the user logs in, and the switch for it, over the XDG
// autostart directory ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart). It keeps no
// state: the directory is the only record, so the switch always shows what the desktop will do,
// also after a change made elsewhere.
//
// An entry belongs to the application when the program its Exec line names resolves to the
// application's own file: symbolic links followed, a bare name looked up along PATH. Entries
// that cannot be read or resolved, and entries the desktop skips (Hidden=true), never count.
// Switching on adds an entry named drivetherm-monitor.desktop (or -2, -3, ... when that name is
// taken by an entry for another location); switching off removes the first matching entry in
// name order and leaves any further ones; switching to the state already in place changes
// nothing.
class LaunchAtLoginController {
public:
    static constexpr const char* kEntryName = "drivetherm-monitor";

    // This program, the user's autostart directory and PATH.
    LaunchAtLoginController();
    LaunchAtLoginController(std::filesystem::path application, std::filesystem::path directory,
                            std::string searchPath);

    // The application's own file, with every link resolved.
    std::filesystem::path appURL() const;
    bool launchAtLogin() const { return willLaunchAtLogin(appURL()); }
    bool willLaunchAtLogin(const std::filesystem::path& application) const;
    void setLaunchAtLogin(bool enabled) { setLaunchAtLogin(appURL(), enabled); }
    void setLaunchAtLogin(const std::filesystem::path& application, bool enabled);

    // $XDG_CONFIG_HOME/autostart when that is an absolute path, else ~/.config/autostart.
    static std::filesystem::path defaultDirectory();
    const std::filesystem::path& directory() const { return directory_; }

private:
    // The first entry, in name order, whose program resolves to `application`.
    std::optional<std::filesystem::path> findItem(const std::filesystem::path& application) const;
    std::optional<std::filesystem::path> resolve(const std::string& program) const;
    void insertItem(const std::filesystem::path& application) const;

    std::filesystem::path application_;
    std::filesystem::path directory_;
    std::string searchPath_;
};

}  // namespace drivetherm
