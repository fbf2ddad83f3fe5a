// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace drivetherm {

// A programming error in the use of the key-value layer: a key the object does not have, a write
// to a read-only key, none written to a key that holds a plain number or flag.
class KeyValueError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

}  // namespace drivetherm
