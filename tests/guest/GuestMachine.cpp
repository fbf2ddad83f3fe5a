// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/guest/GuestMachine.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace drivetherm::guest {
namespace {

namespace fs = std::filesystem;

std::string environment(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

// The unit serial number page: byte 3 is the length of the serial that follows from byte 4.
std::string serialFromVpdPage80(const std::string& page) {
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80) return "";
    const std::size_t length =
        std::min<std::size_t>(static_cast<unsigned char>(page[3]), page.size() - 4);
    std::string serial = page.substr(4, length);
    serial.erase(0, serial.find_first_not_of(' '));
    return withoutTrailingBlanks(serial);
}

}  // namespace

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string withoutTrailingBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\0'))
        text.pop_back();
    return text;
}

GuestMachine GuestMachine::fromEnvironment() {
    GuestMachine machine;
    machine.machine_ = environment("DT_GUEST_MACHINE");
    machine.withUdev_ = environment("DT_GUEST_UDEV") == "yes";
    machine.cdbLength_ = environment("DT_GUEST_CDB", "16") == "12" ? 12 : 16;
    machine.serials_ = words(environment("DT_GUEST_SERIALS"));
    for (const std::string& serial : machine.serials_)
        machine.models_[serial] = environment(("DT_GUEST_MODEL_" + serial).c_str());
    machine.partitioned_ = environment("DT_GUEST_PARTITIONED");

    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/sys/class/block", error)) {
        const std::string name = entry.path().filename().string();
        const fs::path directory = fs::canonical(entry.path(), error);
        if (error || directory.string().starts_with("/sys/devices/virtual/")) continue;
        const std::string uevent = readTextFile((directory / "uevent").string()).value_or("");
        if (uevent.find("DEVTYPE=disk\n") == std::string::npos) continue;
        GuestDisk disk;
        disk.kernelName = name;
        disk.vendor = withoutTrailingBlanks(
            readTextFile((directory / "device" / "vendor").string()).value_or(""));
        disk.sysfsModel = withoutTrailingBlanks(
            readTextFile((directory / "device" / "model").string()).value_or(""));
        disk.serial = serialFromVpdPage80(
            readTextFile((directory / "device" / "vpd_pg80").string()).value_or(""));
        if (const auto model = machine.models_.find(disk.serial); model != machine.models_.end()) {
            disk.expectedModel = model->second;
            disk.expectedRotation = static_cast<unsigned>(
                std::strtoul(environment(("DT_GUEST_ROTATION_" + disk.serial).c_str(), "0").c_str(),
                             nullptr, 10));
        }
        disk.majorMinor =
            withoutTrailingBlanks(readTextFile((directory / "dev").string()).value_or(""));
        disk.rotational =
            withoutTrailingBlanks(
                readTextFile((directory / "queue" / "rotational").string()).value_or("")) == "1";
        for (const fs::directory_entry& child : fs::directory_iterator(directory, error)) {
            const std::string childName = child.path().filename().string();
            if (childName.starts_with(name) && fs::exists(child.path() / "partition"))
                disk.partitions.push_back(childName);
        }
        std::sort(disk.partitions.begin(), disk.partitions.end());
        machine.disks_.push_back(std::move(disk));
    }
    // The names this machine has ("sda", "sdb", "sr0") sort alike by the natural and the byte
    // order.
    std::sort(machine.disks_.begin(), machine.disks_.end(),
              [](const GuestDisk& a, const GuestDisk& b) { return a.kernelName < b.kernelName; });
    return machine;
}

const GuestDisk* GuestMachine::diskWithSerial(const std::string& serial) const {
    for (const GuestDisk& disk : disks_)
        if (!serial.empty() && disk.serial == serial) return &disk;
    return nullptr;
}

const GuestDisk* GuestMachine::firstNonAtaDisk() const {
    for (const GuestDisk& disk : disks_)
        if (!disk.isAta()) return &disk;
    return nullptr;
}

std::string GuestMachine::bsdNameOf(const GuestDisk& disk) const {
    for (std::size_t index = 0; index < disks_.size(); ++index)
        if (disks_[index].kernelName == disk.kernelName) return "disk" + std::to_string(index);
    return "";
}

std::string GuestMachine::listedModelOf(const GuestDisk& disk) const {
    const std::string model = disk.expectedModel.value_or("");
    return withoutTrailingBlanks(withUdev_ ? model : model.substr(0, 16));
}

std::string GuestMachine::otherRunModelOf(const GuestDisk& disk) const {
    const std::string model = disk.expectedModel.value_or("");
    return withoutTrailingBlanks(withUdev_ ? model.substr(0, 16) : model);
}

}  // namespace drivetherm::guest
