// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hardware/disk/linux/SgioSyscalls.h"

namespace drivetherm::guest {

// The system's own calls, each one written down: which files the SMART backend opened, every
// SG_IO exchange with the CDB sent and the header and sense the kernel gave back, and every NVMe
// admin command with what the ioctl answered.
class RecordingSyscalls final : public SgioSyscalls {
public:
    struct Open {
        std::string path;
        int result = 0;
    };
    struct Exchange {
        std::vector<std::uint8_t> cdb;
        unsigned transferLength = 0;
        int direction = 0;
        int result = 0;
        int error = 0;
        std::uint8_t status = 0;
        std::uint16_t hostStatus = 0;
        std::uint16_t driverStatus = 0;
        std::vector<std::uint8_t> sense;
    };

    int openFile(const char* path, int flags) override;
    ssize_t readFile(int fd, void* buffer, std::size_t size) override;
    struct AdminCommand {
        nvme_admin_cmd command{};  // as sent (its result field as the kernel filled it)
        int result = 0;
        int error = 0;
    };

    int sgIo(int fd, sg_io_hdr_t* header) override;
    int nvmeAdmin(int fd, nvme_admin_cmd* command) override;
    int closeFile(int fd) override;

    void clear();
    const std::vector<Open>& opens() const { return opens_; }
    const std::vector<Exchange>& exchanges() const { return exchanges_; }
    const std::vector<AdminCommand>& adminCommands() const { return adminCommands_; }
    // The paths opened under /dev: the disk nodes.
    std::vector<std::string> deviceNodesOpened() const;
    // Descriptors opened and not yet closed.
    int openDescriptors() const { return openDescriptors_; }

private:
    std::vector<Open> opens_;
    std::vector<Exchange> exchanges_;
    std::vector<AdminCommand> adminCommands_;
    int openDescriptors_ = 0;
};

}  // namespace drivetherm::guest
