// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/NvmeSmartDevice.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/Log.h"
#include "hardware/disk/SmartLogPages.h"
#include "hardware/disk/linux/SgioCommand.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "nvme";
constexpr std::uint8_t kGetLogPage = 0x02;
// The log of the whole controller, not of one namespace.
constexpr std::uint32_t kAllNamespaces = 0xFFFFFFFF;
// Retain Asynchronous Event: reading the log acknowledges nothing the kernel's driver awaits.
constexpr std::uint32_t kRetainAsynchronousEvent = 1u << 15;
// The status the kernel gives a command it aborted after its time-out ("host aborted").
constexpr int kHostAbortedStatus = 0x371;

SmartOutcome outcomeOfAdminCommand(int result, int error) {
    if (result == 0) return SmartOutcome::Success;
    if (result > 0)
        return (result & 0x7FF) == kHostAbortedStatus ? SmartOutcome::Timeout
                                                      : SmartOutcome::OtherError;
    switch (error) {
        case EINTR:  // the kernel's word for a command it cancelled after its time-out
        case ETIMEDOUT:
            return SmartOutcome::Timeout;
        case ENODEV:
        case ENXIO:
        case ENOENT:
            return SmartOutcome::NotResponding;
        case EBUSY:
            return SmartOutcome::ExclusiveAccess;
        default:
            return SmartOutcome::OtherError;
    }
}

}  // namespace

NvmeSmartDevice::NvmeSmartDevice(SgioSyscalls& syscalls, std::string devicePath,
                                 std::string runtimeStatusPath)
    : syscalls_(syscalls),
      devicePath_(std::move(devicePath)),
      runtimeStatusPath_(std::move(runtimeStatusPath)) {}

NvmeSmartDevice::~NvmeSmartDevice() {
    if (fd_ >= 0) syscalls_.closeFile(fd_);
}

SmartOutcome NvmeSmartDevice::prepare() {
    if (asleep_) return SmartOutcome::Standby;
    if (fd_ >= 0) return SmartOutcome::Success;
    if (isRuntimeSuspended(syscalls_, runtimeStatusPath_)) {
        log::debug(kTag, "%s: runtime-suspended, not woken", devicePath_.c_str());
        asleep_ = true;
        return SmartOutcome::Standby;
    }
    fd_ = syscalls_.openFile(devicePath_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        log::debug(kTag, "%s: cannot open: %s", devicePath_.c_str(), std::strerror(error));
        return outcomeOfOpenError(error);
    }
    return SmartOutcome::Success;
}

SmartOutcome NvmeSmartDevice::enableOperations(bool) {
    const SmartOutcome outcome = prepare();
    attemptEnded_ = endsAttempt(outcome) ? outcome : SmartOutcome::Success;
    return outcome;
}

SmartOutcome NvmeSmartDevice::readData(SmartDataBlock& data) {
    if (const SmartOutcome ended = std::exchange(attemptEnded_, SmartOutcome::Success);
        ended != SmartOutcome::Success)
        return ended;
    if (const SmartOutcome ready = prepare(); ready != SmartOutcome::Success) return ready;

    SmartDataBlock page{};
    nvme_admin_cmd command;
    std::memset(&command, 0, sizeof command);
    command.opcode = kGetLogPage;
    command.nsid = kAllNamespaces;
    command.addr = reinterpret_cast<std::uintptr_t>(page.data());
    command.data_len = static_cast<std::uint32_t>(page.size());
    // Log identifier, and the number of dwords less one in the upper half.
    command.cdw10 = kNvmeHealthLogIdentifier | kRetainAsynchronousEvent |
                    ((static_cast<std::uint32_t>(page.size() / 4) - 1) << 16);
    command.timeout_ms = kCommandTimeoutMs;

    const int result = syscalls_.nvmeAdmin(fd_, &command);
    const int error = result < 0 ? errno : 0;
    const SmartOutcome outcome = outcomeOfAdminCommand(result, error);
    if (log::enabled(log::Level::Debug))
        log::debug(kTag, "%s: get log page %02x: ioctl %d errno %d: %s; bytes 0-7 [%s]",
                   devicePath_.c_str(), kNvmeHealthLogIdentifier, result, error,
                   smartOutcomeName(outcome), hexBytes({page.data(), 8}).c_str());
    if (outcome == SmartOutcome::Success) data = page;
    return outcome;
}

}  // namespace drivetherm
