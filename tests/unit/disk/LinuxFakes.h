// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <fcntl.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hardware/disk/SmartData.h"
#include "hardware/disk/linux/SgioSyscalls.h"
#include "hardware/disk/linux/UdevRoots.h"

namespace drivetherm::test {

// A root filesystem in a temporary directory with the parts the disk backends read:
// sys/ (devices, class/block links, uevent, dev, device/model, device/vendor), dev/ and
// run/udev/data/. Removed with the object.
class FakeSysfs {
public:
    struct Disk {
        std::string name{};                           // "sda"
        std::string major_minor{};                    // "8:0"
        std::map<std::string, std::string> udev{};    // udev database properties; none = no entry
        std::optional<std::string> model{};           // sysfs device/model
        std::optional<std::string> vendor{};          // sysfs device/vendor
        std::optional<std::string> ataInformation{};  // sysfs device/vpd_pg89 (binary)
        std::vector<int> partitions{};                // partition numbers
        bool isVirtual = false;
        // A namespace of an NVMe controller ("nvme0n1"), laid out as the kernel does: the disk
        // below its controller ("device" links to it, which holds `model`), the controller below
        // its PCI function ("device" again), whose power status is the one that sleeps.
        bool nvme = false;
    };

    FakeSysfs() {
        char pattern[] = "/tmp/drivetherm-sysfs-XXXXXX";
        root_ = ::mkdtemp(pattern);
        std::filesystem::create_directories(root_ / "sys" / "class" / "block");
        std::filesystem::create_directories(root_ / "dev");
        std::filesystem::create_directories(root_ / "run" / "udev" / "data");
    }
    ~FakeSysfs() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    UdevRoots roots() const { return UdevRoots::forSysfsRoot((root_ / "sys").string()); }
    std::filesystem::path root() const { return root_; }
    std::filesystem::path sys() const { return root_ / "sys"; }

    void addDisk(const Disk& disk) {
        if (disk.nvme) return addNvmeNamespace(disk);
        const auto relative =
            disk.isVirtual
                ? std::filesystem::path("devices/virtual/block") / disk.name
                : std::filesystem::path(
                      "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block") /
                      disk.name;
        const auto directory = sys() / relative;
        std::filesystem::create_directories(directory / "device" / "power");
        const auto [major, minor] = split(disk.major_minor);
        write(directory / "uevent", "MAJOR=" + major + "\nMINOR=" + minor +
                                        "\nDEVNAME=" + disk.name + "\nDEVTYPE=disk\n");
        write(directory / "dev", disk.major_minor + "\n");
        if (disk.model) write(directory / "device" / "model", *disk.model);
        if (disk.vendor) write(directory / "device" / "vendor", *disk.vendor);
        if (disk.ataInformation) write(directory / "device" / "vpd_pg89", *disk.ataInformation);
        write(directory / "device" / "power" / "runtime_status", "active\n");
        std::filesystem::create_directory_symlink(std::filesystem::path("../..") / relative,
                                                  sys() / "class" / "block" / disk.name);
        if (!disk.udev.empty()) {
            std::string database = "S:disk/by-id/fake\nW:1\n";
            for (const auto& [key, value] : disk.udev) database += "E:" + key + "=" + value + "\n";
            write(root_ / "run" / "udev" / "data" / ("b" + disk.major_minor), database);
        }
        write(root_ / "dev" / disk.name, "");
        for (int number : disk.partitions) {
            const std::string name = disk.name + std::to_string(number);
            const auto partition = directory / name;
            std::filesystem::create_directories(partition);
            write(partition / "uevent",
                  "MAJOR=" + major + "\nMINOR=" + std::to_string(std::stoi(minor) + number) +
                      "\nDEVNAME=" + name + "\nDEVTYPE=partition\nPARTN=" + std::to_string(number) +
                      "\n");
            write(partition / "partition", std::to_string(number) + "\n");
            std::filesystem::create_directory_symlink(
                std::filesystem::path("../..") / relative / name, sys() / "class" / "block" / name);
            write(root_ / "dev" / name, "");
        }
    }

    // The power status of the device that sleeps: an ATA disk's SCSI device, an NVMe
    // namespace's PCI function.
    void setRuntimeStatus(const std::string& disk, const std::string& status) {
        auto device = sys() / "class" / "block" / disk / "device";
        if (disk.starts_with("nvme")) device /= "device";
        write(device / "power" / "runtime_status", status + "\n");
    }

    static void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

private:
    void addNvmeNamespace(const Disk& disk) {
        const std::string controller = disk.name.substr(0, disk.name.find('n', 4));
        const auto function = std::filesystem::path("devices/pci0000:00/0000:00:1c.4") /
                              ("0000:0" + std::to_string(5 + controllers_++) + ":00.0");
        const auto controllerDir = function / "nvme" / controller;
        const auto relative = controllerDir / disk.name;
        std::filesystem::create_directories(sys() / relative);
        std::filesystem::create_directories(sys() / function / "power");
        write(sys() / function / "power" / "runtime_status", "active\n");
        std::filesystem::create_directory_symlink("../../" + controller,
                                                  sys() / relative / "device");
        std::filesystem::create_directory_symlink("../../../" + function.filename().string(),
                                                  sys() / controllerDir / "device");
        const auto [major, minor] = split(disk.major_minor);
        write(sys() / relative / "uevent", "MAJOR=" + major + "\nMINOR=" + minor +
                                               "\nDEVNAME=" + disk.name + "\nDEVTYPE=disk\n");
        write(sys() / relative / "dev", disk.major_minor + "\n");
        if (disk.model) write(sys() / controllerDir / "model", *disk.model);
        std::filesystem::create_directory_symlink(std::filesystem::path("../..") / relative,
                                                  sys() / "class" / "block" / disk.name);
        if (!disk.udev.empty()) {
            std::string database = "S:disk/by-id/fake\nW:1\n";
            for (const auto& [key, value] : disk.udev) database += "E:" + key + "=" + value + "\n";
            write(root_ / "run" / "udev" / "data" / ("b" + disk.major_minor), database);
        }
        write(root_ / "dev" / disk.name, "");
    }

    static std::pair<std::string, std::string> split(const std::string& majorMinor) {
        const auto colon = majorMinor.find(':');
        return {majorMinor.substr(0, colon), majorMinor.substr(colon + 1)};
    }

    std::filesystem::path root_;
    int controllers_ = 0;
};

// What one SG_IO call answers.
struct SgioAnswer {
    int result = 0;
    int error = 0;
    std::uint8_t status = 0;
    std::uint16_t host = 0;
    std::uint16_t driver = 0;
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> data;  // copied into the transfer buffer
};

// What one NVMe admin command answers: the ioctl's result (0, an NVMe status, or -1 and
// `error`) and the data copied into the command's buffer.
struct NvmeAnswer {
    int result = 0;
    int error = 0;
    std::vector<std::uint8_t> data;
};

// Replies a drive gives, by ATA command and feature, the last one repeated; an NVMe
// controller's replies to admin commands likewise.
class ScriptedSyscalls final : public SgioSyscalls {
public:
    struct Call {
        std::string what;  // "open", "read", "ioctl", "nvme", "close"
        std::string path;  // for open
        std::vector<std::uint8_t> cdb;
        int direction = 0;
        unsigned length = 0;
        unsigned timeoutMs = 0;  // of an SG_IO or NVMe command
    };

    // Keyed by the ATA command byte and, for SMART, its feature byte (0xB0D0: READ DATA).
    std::map<unsigned, std::deque<SgioAnswer>> answers;
    std::deque<NvmeAnswer> nvmeAnswers;
    std::vector<nvme_admin_cmd> adminCommands;  // as sent
    std::map<std::string, int> openErrors;      // path → errno
    std::vector<Call> calls;
    // The files of a fake tree are real: opens other than of a disk go to the system.
    std::string diskPrefix;

    static SgioAnswer powerMode(std::uint8_t count) {
        // Descriptor sense: RECOVERED ERROR, ATA PASS-THROUGH information available, with the
        // ATA status return holding the sector count; byte for byte what libata answered in a
        // QEMU guest (device register 0, status 50h).
        SgioAnswer answer;
        answer.status = 0x02;
        answer.driver = 0x08;
        answer.sense = {0x72, 0x01, 0x00,  0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0,
                        0,    0,    count, 0,    0, 0, 0, 0,  0,    0x00, 0x50};
        return answer;
    }
    static SgioAnswer smartData(const SmartDataBlock& block) {
        SgioAnswer answer;
        answer.data.assign(block.begin(), block.end());
        return answer;
    }
    static SgioAnswer refused() {
        SgioAnswer answer;
        answer.status = 0x02;
        answer.driver = 0x08;
        answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00};
        return answer;
    }
    static SgioAnswer hostTimeout() {
        SgioAnswer answer;
        answer.host = 0x03;
        return answer;
    }
    static SgioAnswer failsWith(int error) {
        SgioAnswer answer;
        answer.result = -1;
        answer.error = error;
        return answer;
    }

    int count(const std::string& what) const {
        int n = 0;
        for (const Call& call : calls) n += call.what == what;
        return n;
    }
    // The ATA command bytes of the SG_IO calls made, in order (command << 8 | feature for SMART).
    std::vector<unsigned> ataCommands() const {
        std::vector<unsigned> commands;
        for (const Call& call : calls) {
            if (call.what != "ioctl") continue;
            commands.push_back(keyOf(call.cdb));
        }
        return commands;
    }

    int openFile(const char* path, int flags) override {
        calls.push_back({"open", path, {}, 0, 0});
        if (const auto error = openErrors.find(path); error != openErrors.end()) {
            errno = error->second;
            return -1;
        }
        if (!diskPrefix.empty() && std::string_view(path).starts_with(diskPrefix)) {
            // A disk node: answered by the script, no real descriptor needed.
            return kDiskFd;
        }
        return ::open(path, flags);
    }
    ssize_t readFile(int fd, void* buffer, std::size_t size) override {
        calls.push_back({"read", "", {}, 0, 0});
        return ::read(fd, buffer, size);
    }
    int sgIo(int fd, sg_io_hdr_t* header) override {
        std::vector<std::uint8_t> cdb(header->cmdp, header->cmdp + header->cmd_len);
        calls.push_back(
            {"ioctl", "", cdb, header->dxfer_direction, header->dxfer_len, header->timeout});
        if (fd != kDiskFd) {
            errno = ENOTTY;
            return -1;
        }
        auto& queue = answers[keyOf(cdb)];
        if (queue.empty()) {
            errno = EIO;
            return -1;
        }
        const SgioAnswer answer = queue.front();
        if (queue.size() > 1) queue.pop_front();
        header->status = answer.status;
        header->host_status = answer.host;
        header->driver_status = answer.driver;
        header->sb_len_wr = static_cast<unsigned char>(
            std::min<std::size_t>(answer.sense.size(), header->mx_sb_len));
        if (header->sb_len_wr > 0) std::memcpy(header->sbp, answer.sense.data(), header->sb_len_wr);
        if (!answer.data.empty() && header->dxferp != nullptr)
            std::memcpy(header->dxferp, answer.data.data(),
                        std::min<std::size_t>(answer.data.size(), header->dxfer_len));
        if (answer.result < 0) errno = answer.error;
        return answer.result;
    }
    int nvmeAdmin(int fd, nvme_admin_cmd* command) override {
        calls.push_back({"nvme", "", {command->opcode}, 0, command->data_len, command->timeout_ms});
        adminCommands.push_back(*command);
        if (fd != kDiskFd || nvmeAnswers.empty()) {
            errno = fd != kDiskFd ? ENOTTY : EIO;
            return -1;
        }
        const NvmeAnswer answer = nvmeAnswers.front();
        if (nvmeAnswers.size() > 1) nvmeAnswers.pop_front();
        if (!answer.data.empty() && command->addr != 0)
            std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(command->addr)),
                        answer.data.data(),
                        std::min<std::size_t>(answer.data.size(), command->data_len));
        if (answer.result < 0) errno = answer.error;
        return answer.result;
    }
    int closeFile(int fd) override {
        calls.push_back({"close", "", {}, 0, 0});
        return fd == kDiskFd ? 0 : ::close(fd);
    }

    static unsigned keyOf(const std::vector<std::uint8_t>& cdb) {
        if (cdb.size() == 16) return cdb[14] == 0xB0 ? (0xB000u | cdb[4]) : cdb[14];
        if (cdb.size() == 12) return cdb[9] == 0xB0 ? (0xB000u | cdb[3]) : cdb[9];
        return 0;
    }

    static constexpr int kDiskFd = 1000;
};

inline constexpr unsigned kCheckPowerMode = 0xE5;
inline constexpr unsigned kSmartEnable = 0xB0D8;
inline constexpr unsigned kSmartRead = 0xB0D0;
inline constexpr unsigned kSmartReadLog = 0xB0D5;

}  // namespace drivetherm::test
