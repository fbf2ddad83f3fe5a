// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace drivetherm {

// A broken precondition of a call, found by a check in the code: a programming error of the
// caller, raised as an exception and never caught by the widgets themselves.
class InternalInconsistencyError : public std::logic_error {
public:
    InternalInconsistencyError(std::string method, std::string file, int line,
                               const std::string& description)
        : std::logic_error(description),
          method_(std::move(method)),
          file_(std::move(file)),
          line_(line) {}

    const std::string& method() const { return method_; }
    const std::string& file() const { return file_; }
    int line() const { return line_; }

private:
    std::string method_;
    std::string file_;
    int line_;
};

}  // namespace drivetherm
