// SPDX-License-Identifier: GPL-2.0-or-later
// Preloaded into drivethermd (LD_PRELOAD) so that it can read disks of a fake tree: the SG_IO
// and NVMe admin-command ioctls on a node of the fake device directory are answered from files,
// as a drive would, and written down; every other ioctl goes to the system. Environment:
//
//   DRIVETHERM_FAKE_DISK_DEV   the fake device directory (its nodes are empty regular files)
//   DRIVETHERM_FAKE_DISK_DATA  a directory of files per node NAME:
//     NAME.smart    the 512 bytes SMART READ DATA answers (else the drive aborts it)
//     NAME.sct      the 512 bytes of its SCT status page (else SMART READ LOG E0h is aborted)
//     NAME.health   the 512 bytes of an NVMe controller's health log page
//     NAME.standby  present: CHECK POWER MODE answers standby
//     NAME.hang     present: every command waits out its time-out and times out
//     NAME.commands written here: one line per command received ("e5", "b0d0", "b0d5 e0",
//                   "nvme 02 02")
#include <dlfcn.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "tests/unit/disk/LinuxFakes.h"

namespace {

using drivetherm::test::ScriptedSyscalls;
using drivetherm::test::SgioAnswer;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The name of the fake node `fd` is open on, or nothing when it is no node of the fake tree.
std::optional<std::string> fakeNodeOf(int fd) {
    const std::string directory = environment("DRIVETHERM_FAKE_DISK_DEV");
    if (directory.empty()) return std::nullopt;
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) return std::nullopt;
    const std::string path(target, static_cast<std::size_t>(length));
    if (!path.starts_with(directory + "/")) return std::nullopt;
    return path.substr(directory.size() + 1);
}

std::string dataPath(const std::string& node, const char* suffix) {
    return environment("DRIVETHERM_FAKE_DISK_DATA") + "/" + node + suffix;
}

bool exists(const std::string& node, const char* suffix) {
    return ::access(dataPath(node, suffix).c_str(), F_OK) == 0;
}

std::optional<std::string> contents(const std::string& node, const char* suffix) {
    std::ifstream file(dataPath(node, suffix), std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void note(const std::string& node, const std::string& command) {
    std::ofstream(dataPath(node, ".commands"), std::ios::app) << command << "\n";
}

SgioAnswer answerOf(const std::string& node, unsigned key, std::uint8_t logAddress) {
    const auto block = [&](const char* suffix) -> std::optional<SgioAnswer> {
        const auto bytes = contents(node, suffix);
        if (!bytes) return std::nullopt;
        SgioAnswer answer;
        answer.data.assign(bytes->begin(), bytes->end());
        return answer;
    };
    switch (key) {
        case drivetherm::test::kCheckPowerMode:
            return ScriptedSyscalls::powerMode(exists(node, ".standby") ? 0x00 : 0xFF);
        case drivetherm::test::kSmartEnable:
            return {};
        case drivetherm::test::kSmartRead:
            return block(".smart").value_or(ScriptedSyscalls::refused());
        case drivetherm::test::kSmartReadLog:
            if (logAddress == 0xE0) return block(".sct").value_or(ScriptedSyscalls::refused());
            return ScriptedSyscalls::refused();
        default:
            return ScriptedSyscalls::refused();
    }
}

int answerSgIo(const std::string& node, sg_io_hdr_t* header) {
    const std::vector<std::uint8_t> cdb(header->cmdp, header->cmdp + header->cmd_len);
    const unsigned key = ScriptedSyscalls::keyOf(cdb);
    const std::uint8_t logAddress = cdb.size() == 16 ? cdb[8] : cdb.size() == 12 ? cdb[5] : 0;
    char text[16];
    std::snprintf(text, sizeof text, key == drivetherm::test::kSmartReadLog ? "%x %02x" : "%x", key,
                  logAddress);
    note(node, text);
    header->status = 0;
    header->host_status = 0;
    header->driver_status = 0;
    header->sb_len_wr = 0;
    if (exists(node, ".hang")) {
        ::usleep(header->timeout * 1000);
        header->host_status = 0x03;  // DID_TIME_OUT
        return 0;
    }
    const SgioAnswer answer = answerOf(node, key, logAddress);
    header->status = answer.status;
    header->host_status = answer.host;
    header->driver_status = answer.driver;
    header->sb_len_wr =
        static_cast<unsigned char>(std::min<std::size_t>(answer.sense.size(), header->mx_sb_len));
    if (header->sb_len_wr > 0) std::memcpy(header->sbp, answer.sense.data(), header->sb_len_wr);
    if (!answer.data.empty() && header->dxferp != nullptr)
        std::memcpy(header->dxferp, answer.data.data(),
                    std::min<std::size_t>(answer.data.size(), header->dxfer_len));
    return 0;
}

int answerNvme(const std::string& node, nvme_admin_cmd* command) {
    char text[24];
    std::snprintf(text, sizeof text, "nvme %02x %02x", command->opcode, command->cdw10 & 0xFF);
    note(node, text);
    if (exists(node, ".hang")) {
        ::usleep(command->timeout_ms * 1000);
        errno = EINTR;  // what the kernel answers for a command it cancelled
        return -1;
    }
    const auto log = contents(node, ".health");
    if (command->opcode != 0x02 || (command->cdw10 & 0xFF) != 0x02 || !log) return 0x4009;
    std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(command->addr)), log->data(),
                std::min<std::size_t>(log->size(), command->data_len));
    return 0;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == SG_IO || request == NVME_IOCTL_ADMIN_CMD) {
        if (const auto node = fakeNodeOf(fd)) {
            if (request == SG_IO) return answerSgIo(*node, static_cast<sg_io_hdr_t*>(argument));
            return answerNvme(*node, static_cast<nvme_admin_cmd*>(argument));
        }
    }
    static auto real =
        reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
}
