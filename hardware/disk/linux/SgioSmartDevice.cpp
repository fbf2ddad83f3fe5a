// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioSmartDevice.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/Log.h"
#include "hardware/disk/SmartLogPages.h"
#include "hardware/disk/linux/UdevAtaInformation.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "sgio";
constexpr std::size_t kSenseSize = 32;

SmartOutcome outcomeOf(SgioVerdict verdict) {
    switch (verdict) {
        case SgioVerdict::Done:
            return SmartOutcome::Success;
        case SgioVerdict::Timeout:
            return SmartOutcome::Timeout;
        case SgioVerdict::NotResponding:
            return SmartOutcome::NotResponding;
        case SgioVerdict::ExclusiveAccess:
            return SmartOutcome::ExclusiveAccess;
        case SgioVerdict::Refused:
        case SgioVerdict::AtaError:
        case SgioVerdict::Failed:
            return SmartOutcome::OtherError;
    }
    return SmartOutcome::OtherError;
}

}  // namespace

SgioSmartDevice::SgioSmartDevice(SgioSyscalls& syscalls, std::string devicePath,
                                 std::string runtimeStatusPath, std::string ataInformationPath,
                                 unsigned passThroughLength)
    : syscalls_(syscalls),
      devicePath_(std::move(devicePath)),
      runtimeStatusPath_(std::move(runtimeStatusPath)),
      ataInformationPath_(std::move(ataInformationPath)),
      twelveOnly_(passThroughLength == 12) {}

SgioSmartDevice::~SgioSmartDevice() {
    if (fd_ >= 0) syscalls_.closeFile(fd_);
}

bool SgioSmartDevice::sctUnsupported() {
    if (ataInformationPath_.empty()) return false;
    // Without the kernel's copy of the IDENTIFY data (a disk behind a USB bridge), the drive
    // itself will say by refusing the read.
    const auto page = readSmallFile(syscalls_, ataInformationPath_, 1024);
    if (!page) return false;
    const auto supported = sctSupportedFromAtaInformation(*page);
    return supported && !*supported;
}

SmartOutcome SgioSmartDevice::prepare() {
    if (power_ == Power::Asleep) return SmartOutcome::Standby;
    if (power_ == Power::Unknown && isRuntimeSuspended(syscalls_, runtimeStatusPath_)) {
        log::debug(kTag, "%s: runtime-suspended, not woken", devicePath_.c_str());
        power_ = Power::Asleep;
        return SmartOutcome::Standby;
    }
    if (fd_ < 0) {
        fd_ = syscalls_.openFile(devicePath_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            const int error = errno;
            log::debug(kTag, "%s: cannot open: %s", devicePath_.c_str(), std::strerror(error));
            return outcomeOfOpenError(error);
        }
    }
    if (power_ == Power::Unknown) {
        const SgioResult answer = execute(checkPowerModeCommand(), {});
        if (answer.verdict == SgioVerdict::Timeout ||
            answer.verdict == SgioVerdict::NotResponding ||
            answer.verdict == SgioVerdict::ExclusiveAccess)
            return outcomeOf(answer.verdict);
        // A drive that cannot say its power mode is taken as awake: the read will tell.
        if (answer.verdict == SgioVerdict::Done && answer.ata &&
            isStandbyPowerMode(answer.ata->sectorCount)) {
            log::debug(kTag, "%s: in standby (power mode %02x), not woken", devicePath_.c_str(),
                       answer.ata->sectorCount);
            power_ = Power::Asleep;
            return SmartOutcome::Standby;
        }
        power_ = Power::Awake;
    }
    return SmartOutcome::Success;
}

SgioResult SgioSmartDevice::execute(const AtaCommand& command, std::span<std::uint8_t> data) {
    for (;;) {
        const PassThroughCdb cdb = buildPassThroughCdb(twelveOnly_ ? 12 : 16, command);
        std::array<std::uint8_t, kSenseSize> sense{};
        sg_io_hdr_t header;
        std::memset(&header, 0, sizeof header);
        header.interface_id = 'S';
        header.cmd_len = static_cast<unsigned char>(cdb.length);
        header.cmdp = const_cast<unsigned char*>(cdb.bytes.data());
        header.dxfer_direction = data.empty() ? SG_DXFER_NONE : SG_DXFER_FROM_DEV;
        header.dxferp = data.empty() ? nullptr : data.data();
        header.dxfer_len = static_cast<unsigned>(data.size());
        header.sbp = sense.data();
        header.mx_sb_len = static_cast<unsigned char>(sense.size());
        header.timeout = kCommandTimeoutMs;

        const bool dumping = log::enabled(log::Level::Debug);
        if (dumping)
            log::debug(kTag, "%s: cdb %s", devicePath_.c_str(), hexBytes(cdb.view()).c_str());
        SgioReply reply;
        reply.result = syscalls_.sgIo(fd_, &header);
        reply.error = reply.result < 0 ? errno : 0;
        reply.status = header.status;
        reply.hostStatus = header.host_status;
        reply.driverStatus = header.driver_status;
        reply.sense = std::span<const std::uint8_t>(
            sense.data(), std::min<std::size_t>(header.sb_len_wr, sense.size()));
        const SgioResult result = classifySgioReply(reply);
        if (dumping)
            log::debug(
                kTag, "%s: ioctl %d errno %d status %02x host %04x driver %04x sense [%s]: %s",
                devicePath_.c_str(), reply.result, reply.error, reply.status, reply.hostStatus,
                reply.driverStatus, hexBytes(reply.sense).c_str(), sgioVerdictName(result.verdict));

        if (result.verdict == SgioVerdict::Refused && !twelveOnly_) {
            // Some bridges know only the 12-byte form; this disk keeps using it.
            twelveOnly_ = true;
            continue;
        }
        return result;
    }
}

SmartOutcome SgioSmartDevice::enableOperations(bool enable) {
    attemptEnded_ = SmartOutcome::Success;
    SmartOutcome outcome = prepare();
    if (outcome == SmartOutcome::Success)
        outcome = outcomeOf(execute(smartEnableOperationsCommand(enable), {}).verdict);
    if (endsAttempt(outcome)) attemptEnded_ = outcome;
    return outcome;
}

SmartOutcome SgioSmartDevice::readData(SmartDataBlock& data) {
    if (const SmartOutcome ended = std::exchange(attemptEnded_, SmartOutcome::Success);
        ended != SmartOutcome::Success) {
        log::debug(kTag, "%s: attempt ended before the read (%s)", devicePath_.c_str(),
                   smartOutcomeName(ended));
        return ended;
    }
    if (const SmartOutcome ready = prepare(); ready != SmartOutcome::Success) return ready;
    SmartDataBlock block{};
    const SmartOutcome outcome = outcomeOf(execute(smartReadDataCommand(), block).verdict);
    if (outcome == SmartOutcome::Success) data = block;
    return outcome;
}

SmartOutcome SgioSmartDevice::readSctStatus(SmartDataBlock& data) {
    if (sctUnsupported()) return SmartOutcome::OtherError;
    if (const SmartOutcome ready = prepare(); ready != SmartOutcome::Success) return ready;
    SmartDataBlock page{};
    const SmartOutcome outcome =
        outcomeOf(execute(smartReadLogCommand(kSctStatusLogAddress), page).verdict);
    if (outcome == SmartOutcome::Success) data = page;
    return outcome;
}

}  // namespace drivetherm
