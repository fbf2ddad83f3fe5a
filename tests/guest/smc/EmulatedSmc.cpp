// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/guest/smc/EmulatedSmc.h"

#include <sys/io.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace drivetherm::guest {

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> bytesFromHex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

EmulatedSmc::EmulatedSmc() {
    const char* port = std::getenv("DT_GUEST_SMC_CONTROL_PORT");
    if (port == nullptr) return;
    port_ = static_cast<unsigned>(std::strtoul(port, nullptr, 0));
    usable_ = port_ != 0 && ::ioperm(port_, 1, 1) == 0;
}

std::string EmulatedSmc::ask(const std::string& line) {
    if (!usable_) return "";
    for (const char c : line) ::outb(static_cast<unsigned char>(c), port_);
    ::outb('\n', port_);
    std::string answer;
    for (unsigned char c = ::inb(port_); c != 0; c = ::inb(port_)) answer += static_cast<char>(c);
    return answer;
}

void EmulatedSmc::reset() {
    ask("reset");
}

std::optional<std::vector<std::uint8_t>> EmulatedSmc::bytesOf(const std::string& key) {
    std::string answer = ask("get " + key);
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    if (answer == "none") return std::nullopt;
    return bytesFromHex(answer);
}

bool EmulatedSmc::setBytes(const std::string& key, const std::vector<std::uint8_t>& bytes) {
    return ask("set " + key + " " + hexOf(bytes)) == "ok\n";
}

std::map<std::string, std::vector<std::uint8_t>> EmulatedSmc::dump() {
    std::map<std::string, std::vector<std::uint8_t>> keys;
    std::istringstream lines(ask("dump"));
    for (std::string line; std::getline(lines, line);) {
        // "KEY TYPE HEX": the key and the type may hold blanks, so by column.
        if (line.size() < 10) continue;
        if (const auto bytes = bytesFromHex(line.substr(10))) keys[line.substr(0, 4)] = *bytes;
    }
    return keys;
}

std::vector<EmulatedSmc::Write> EmulatedSmc::takeWrites() {
    std::vector<Write> writes;
    std::istringstream lines(ask("writes"));
    for (std::string line; std::getline(lines, line);) {
        // "KEY HEX ok|refused"
        const std::size_t space = line.find(' ', 5);
        if (line.size() < 6 || space == std::string::npos) {
            writes.push_back({line, {}, false});  // "overflow": fails every comparison
            continue;
        }
        writes.push_back(
            {line.substr(0, 4),
             bytesFromHex(line.substr(5, space - 5)).value_or(std::vector<std::uint8_t>{}),
             line.substr(space + 1) == "ok"});
    }
    return writes;
}

EmulatedSmc::Counts EmulatedSmc::counts() {
    Counts counts;
    std::istringstream answer(ask("counts"));
    std::string word;
    while (answer >> word) {
        std::uint64_t value = 0;
        answer >> value;
        if (word == "read") counts.reads = value;
        if (word == "write") counts.writes = value;
        if (word == "index") counts.byIndex = value;
        if (word == "type") counts.types = value;
        if (word == "failed") counts.failed = value;
    }
    return counts;
}

bool EmulatedSmc::setFault(const std::string& fault) {
    return ask("fault " + fault) == "ok\n";
}

}  // namespace drivetherm::guest
