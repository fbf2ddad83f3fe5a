// SPDX-License-Identifier: GPL-2.0-or-later
// drivetherm-smc: the SMC command-line tool.
#include <cstdio>

#include "tools/drivetherm-smc/SmcTool.h"

int main(int argc, char** argv) {
    drivetherm::SmcTool tool(stdout, stderr);
    return tool.run(argc, argv);
}
