// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/IOReturn.h"

namespace drivetherm {

// The applesmc transport's only way to the driver's files. Each call is one file operation
// (open, one read or write, close); the driver turns every read of an attribute into a live
// exchange with the SMC, so the transport counts on as few of them as possible. Tests replace
// this with a layer over a fake tree.
class ApplesmcFiles {
public:
    virtual ~ApplesmcFiles() = default;

    // Reads the file's content with one read of at most `capacity` bytes: the number of bytes
    // read, or -errno.
    virtual long readFile(const std::string& path, char* buffer, std::size_t capacity) = 0;

    // Replaces the file's content with `text` in one write: 0, or -errno (the driver refuses a
    // value it does not take with -EINVAL, an SMC that does not answer gives -EIO).
    virtual int writeFile(const std::string& path, std::string_view text) = 0;

    // The names in a directory, without "." and ".."; empty when it cannot be read.
    virtual std::vector<std::string> listDirectory(const std::string& path) = 0;
};

// The real files, through open(2), read(2), write(2) and close(2).
ApplesmcFiles& posixApplesmcFiles();

// What a failed file operation (-errno) means as an SMC status: a value the driver refused, an
// SMC that did not answer, a file that is not there or not ours to write.
kern_return_t applesmcStatus(long negativeErrno);

}  // namespace drivetherm
