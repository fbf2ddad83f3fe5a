// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// A fuzz target's rule: ends the run with the failed condition named, so the crash report says
// which rule broke.
#define check(condition) \
    ((condition)         \
         ? void(0)       \
         : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition), std::abort()))
