// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/guest/GuestSmartctl.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <sstream>

namespace drivetherm::guest {
namespace {

// "  1 Raw_Read_Error_Rate 0x0003 100 100 006 Pre-fail Always - 0x000000000000"
bool parseRow(const std::string& line, SmartctlAttribute& attribute) {
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    for (std::string token; fields >> token;) tokens.push_back(token);
    if (tokens.size() < 10 || !tokens[2].starts_with("0x") || !tokens.back().starts_with("0x"))
        return false;
    try {
        attribute.id = static_cast<unsigned>(std::stoul(tokens[0]));
        attribute.flags = static_cast<unsigned>(std::stoul(tokens[2], nullptr, 16));
        attribute.value = static_cast<unsigned>(std::stoul(tokens[3]));
        attribute.worst = static_cast<unsigned>(std::stoul(tokens[4]));
        attribute.raw = std::stoull(tokens.back(), nullptr, 16);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

SmartctlTable runSmartctlAttributes(const std::string& devicePath) {
    SmartctlTable table;
    const std::string command = "smartctl -A -v N,hex48 " + devicePath + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return table;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe) != nullptr) {
        table.output += line.data();
        SmartctlAttribute attribute;
        if (parseRow(line.data(), attribute)) table.attributes.push_back(attribute);
    }
    const int status = ::pclose(pipe);
    table.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return table;
}

int runSmartctlNvmeTemperature(const std::string& devicePath, std::string& output) {
    output.clear();
    const std::string command = "smartctl -a " + devicePath + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    int celsius = -1;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe) != nullptr) {
        output += line.data();
        std::istringstream fields(line.data());
        std::string label;
        int value = 0;
        std::string unit;
        if (fields >> label && label == "Temperature:" && fields >> value >> unit &&
            unit == "Celsius")
            celsius = value;
    }
    ::pclose(pipe);
    return celsius;
}

}  // namespace drivetherm::guest
