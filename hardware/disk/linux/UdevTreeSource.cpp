// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevTreeSource.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "hardware/disk/linux/UdevNames.h"

namespace drivetherm {
namespace {

namespace fs = std::filesystem;

// Small attribute files only: a sysfs attribute is at most a page.
std::optional<std::string> readSmallFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(4096, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

// "KEY=VALUE" lines; with `prefix` only the lines that start with it ("E:" in udev's database).
void readProperties(const std::string& text, std::string_view prefix,
                    std::map<std::string, std::string>& properties) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.starts_with(prefix)) continue;
        const std::string_view entry = std::string_view(line).substr(prefix.size());
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        properties.insert_or_assign(std::string(entry.substr(0, equals)),
                                    std::string(entry.substr(equals + 1)));
    }
}

int toInt(std::string_view text) {
    int value = 0;
    const auto trimmed = trimTrailingBlanks(text);
    std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    return value;
}

bool isInside(const fs::path& path, const fs::path& root) {
    const auto relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

UdevTreeSource::UdevTreeSource(std::string sysfsRoot, std::string udevDataDir)
    : sysfsRoot_(std::move(sysfsRoot)), udevDataDir_(std::move(udevDataDir)) {}

bool UdevTreeSource::scan(std::vector<UdevBlockDevice>& devices) {
    devices.clear();
    std::error_code error;
    const fs::path root = fs::canonical(sysfsRoot_, error);
    if (error) return false;
    fs::directory_iterator entries(root / "class" / "block", error);
    if (error) return false;

    for (const fs::directory_entry& entry : entries) {
        UdevBlockDevice device;
        device.sysname = entry.path().filename().string();
        if (!isSafeDeviceName(device.sysname)) continue;
        // class/block holds links into devices/; one readlink resolves them (sysfs has no
        // further links on the way), and a link that leads out of the tree is not followed.
        fs::path directory = entry.path();
        if (entry.is_symlink(error)) {
            const fs::path target = fs::read_symlink(entry.path(), error);
            if (error) continue;
            directory = (target.is_absolute() ? target : entry.path().parent_path() / target)
                            .lexically_normal();
        }
        if (!isInside(directory, root)) continue;

        const auto uevent = readSmallFile(directory / "uevent");
        if (uevent) readProperties(*uevent, "", device.properties);
        device.devtype = device.properties["DEVTYPE"];
        if (device.devtype != "disk" && device.devtype != "partition") continue;
        device.isVirtual =
            directory.lexically_relative(root).string().starts_with("devices/virtual/");

        std::string majorMinor;
        if (device.properties.contains("MAJOR") && device.properties.contains("MINOR"))
            majorMinor = device.properties["MAJOR"] + ":" + device.properties["MINOR"];
        else if (const auto dev = readSmallFile(directory / "dev"))
            majorMinor = trimTrailingBlanks(*dev);
        if (!majorMinor.empty() && isSafeDeviceName("b" + majorMinor)) {
            if (const auto database = readSmallFile(fs::path(udevDataDir_) / ("b" + majorMinor)))
                readProperties(*database, "E:", device.properties);
        }

        if (device.devtype == "partition") {
            device.parentSysname = directory.parent_path().filename().string();
            if (const auto number = readSmallFile(directory / "partition"))
                device.partitionNumber = toInt(*number);
            else if (device.properties.contains("PARTN"))
                device.partitionNumber = toInt(device.properties["PARTN"]);
        } else {
            device.vendor = readSmallFile(directory / "device" / "vendor");
            device.model = readSmallFile(directory / "device" / "model");
            // Only where udev has not identified the drive; its word on SMART comes first.
            if (!device.properties.contains("ID_ATA"))
                device.ataInformation = readSmallFile(directory / "device" / "vpd_pg89");
        }
        devices.push_back(std::move(device));
    }
    return true;
}

}  // namespace drivetherm
