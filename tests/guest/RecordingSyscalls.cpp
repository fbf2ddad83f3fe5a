// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/guest/RecordingSyscalls.h"

#include <cerrno>

namespace drivetherm::guest {

int RecordingSyscalls::openFile(const char* path, int flags) {
    const int fd = systemSgioSyscalls().openFile(path, flags);
    const int error = errno;
    opens_.push_back({path, fd});
    if (fd >= 0) ++openDescriptors_;
    errno = error;
    return fd;
}

ssize_t RecordingSyscalls::readFile(int fd, void* buffer, std::size_t size) {
    return systemSgioSyscalls().readFile(fd, buffer, size);
}

int RecordingSyscalls::sgIo(int fd, sg_io_hdr_t* header) {
    Exchange exchange;
    exchange.cdb.assign(header->cmdp, header->cmdp + header->cmd_len);
    exchange.transferLength = header->dxfer_len;
    exchange.direction = header->dxfer_direction;
    exchange.result = systemSgioSyscalls().sgIo(fd, header);
    exchange.error = exchange.result < 0 ? errno : 0;
    exchange.status = header->status;
    exchange.hostStatus = header->host_status;
    exchange.driverStatus = header->driver_status;
    const auto* sense = static_cast<const std::uint8_t*>(header->sbp);
    if (sense != nullptr) exchange.sense.assign(sense, sense + header->sb_len_wr);
    exchanges_.push_back(std::move(exchange));
    errno = exchanges_.back().error;
    return exchanges_.back().result;
}

int RecordingSyscalls::nvmeAdmin(int fd, nvme_admin_cmd* command) {
    AdminCommand record;
    record.command = *command;
    record.result = systemSgioSyscalls().nvmeAdmin(fd, command);
    record.error = record.result < 0 ? errno : 0;
    adminCommands_.push_back(record);
    errno = record.error;
    return record.result;
}

int RecordingSyscalls::closeFile(int fd) {
    --openDescriptors_;
    return systemSgioSyscalls().closeFile(fd);
}

void RecordingSyscalls::clear() {
    opens_.clear();
    exchanges_.clear();
    adminCommands_.clear();
}

std::vector<std::string> RecordingSyscalls::deviceNodesOpened() const {
    std::vector<std::string> nodes;
    for (const Open& open : opens_)
        if (open.path.starts_with("/dev/")) nodes.push_back(open.path);
    return nodes;
}

}  // namespace drivetherm::guest
