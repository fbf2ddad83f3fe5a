// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/unit/smc/FakeApplesmc.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace drivetherm::testing {
namespace {

std::uint32_t codeOf(const std::string& name) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < 4; ++i)
        code = (code << 8) | static_cast<std::uint8_t>(i < name.size() ? name[i] : 0);
    return code;
}

std::vector<std::uint8_t> bigEndian(std::uint64_t value, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[size - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

std::vector<std::uint8_t> sp78Bytes(double celsius) {
    const auto raw =
        static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(celsius * 256.0)));
    return bigEndian(raw, 2);
}

std::vector<std::uint8_t> parseValue(const std::string& type, const std::string& valueText,
                                     const std::string& where) {
    std::istringstream in(valueText);
    std::string form, value;
    in >> form;
    std::getline(in, value);
    if (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (form == "rpm") return bigEndian(static_cast<std::uint64_t>(std::stol(value)) << 2, 2);
    if (form == "celsius") return sp78Bytes(std::stod(value));
    if (form == "uint") {
        const std::size_t size = type == "ui8 " ? 1 : type == "ui16" ? 2 : 4;
        return bigEndian(std::stoull(value), size);
    }
    if (form == "text") {
        std::vector<std::uint8_t> bytes(16, 0);
        std::copy(value.begin(), value.end(), bytes.begin() + 4);
        return bytes;
    }
    if (form == "hex") {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(value.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    }
    throw std::runtime_error(where + ": unknown value form \"" + form + "\"");
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file) throw std::runtime_error("cannot write " + path);
}

int fanSpeed(const std::vector<std::uint8_t>& bytes) {
    return ((bytes[0] << 8) | bytes[1]) >> 2;
}

const FakeSmcKey* findKey(const std::vector<FakeSmcKey>& keys, const std::string& name) {
    for (const auto& key : keys) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Where the driver keeps a fan key's value as a file of its own.
std::optional<std::string> fanFile(const std::string& name) {
    if (name.size() != 4 || name[0] != 'F' || name[1] < '0' || name[1] > '9') return std::nullopt;
    const std::string fan = "fan" + std::to_string(name[1] - '0' + 1) + "_";
    const std::string suffix = name.substr(2);
    if (suffix == "Ac") return fan + "input";
    if (suffix == "Mn") return fan + "min";
    if (suffix == "Mx") return fan + "max";
    if (suffix == "Sf") return fan + "safe";
    if (suffix == "Tg") return fan + "output";
    return std::nullopt;
}

}  // namespace

std::vector<FakeSmcKey> loadFakeKeyList(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read the key list " + path);
    std::vector<FakeSmcKey> keys;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (line.empty() || line == "#" || line.rfind("# ", 0) == 0) continue;
        const std::string where = path + ":" + std::to_string(number);
        if (line.size() < 11 || line[4] != ' ' || line[9] != ' ')
            throw std::runtime_error(where + ": bad columns");
        const std::string name = line.substr(0, 4);
        const std::string type = line.substr(5, 4);
        keys.push_back({name, type, parseValue(type, line.substr(10), where)});
    }
    keys.push_back({"#KEY", "ui32", {}});
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return codeOf(a.name) < codeOf(b.name); });
    for (auto& key : keys) {
        if (key.name == "#KEY") key.bytes = bigEndian(keys.size(), 4);
    }
    return keys;
}

void writeApplesmcTree(const std::vector<FakeSmcKey>& keys, const std::string& deviceDir) {
    for (std::size_t at = 1; at != std::string::npos; at = deviceDir.find('/', at + 1)) {
        ::mkdir(deviceDir.substr(0, at).c_str(), 0755);
    }
    ::mkdir(deviceDir.c_str(), 0755);
    const std::string dir = deviceDir + "/";
    writeText(dir + "name", "applesmc\n");
    writeText(dir + "key_count", std::to_string(keys.size()) + "\n");
    for (const char* file : {"key_at_index", "key_at_index_name", "key_at_index_type",
                             "key_at_index_data_length", "key_at_index_data"}) {
        writeText(dir + file, "");
    }

    const FakeSmcKey* fanCount = findKey(keys, "FNum");
    const FakeSmcKey* forced = findKey(keys, "FS! ");
    const unsigned mask = forced ? (forced->bytes[0] << 8) | forced->bytes[1] : 0;
    for (int fan = 0; fanCount && fan < fanCount->bytes[0]; ++fan) {
        const std::string prefix = dir + "fan" + std::to_string(fan + 1) + "_";
        const std::string n = std::to_string(fan);
        for (const char* suffix : {"Ac", "Mn", "Mx", "Sf", "Tg"}) {
            if (const FakeSmcKey* key = findKey(keys, "F" + n + suffix)) {
                writeText(dir + *fanFile(key->name), std::to_string(fanSpeed(key->bytes)) + "\n");
            }
        }
        if (const FakeSmcKey* id = findKey(keys, "F" + n + "ID")) {
            writeText(prefix + "label",
                      std::string(reinterpret_cast<const char*>(id->bytes.data()) + 4) + "\n");
        }
        writeText(prefix + "manual", std::to_string((mask >> fan) & 1u) + "\n");
    }

    int sensor = 0;
    for (const auto& key : keys) {
        if (key.name[0] != 'T' || key.type != "sp78") continue;
        const std::string prefix = dir + "temp" + std::to_string(++sensor) + "_";
        const auto raw = static_cast<std::int16_t>((key.bytes[0] << 8) | key.bytes[1]);
        writeText(prefix + "label", key.name + "\n");
        writeText(prefix + "input", std::to_string(250 * (raw >> 6)) + "\n");
    }
}

FakeApplesmcSelection::FakeApplesmcSelection(std::vector<FakeSmcKey> keys, std::string deviceDir)
    : keys_(std::move(keys)), dir_(std::move(deviceDir)) {}

bool FakeApplesmcSelection::handles(std::string_view path) const {
    if (path.substr(0, dir_.size()) != dir_ || path.size() <= dir_.size() ||
        path[dir_.size()] != '/')
        return false;
    return baseName(path).rfind("key_at_index", 0) == 0;
}

int FakeApplesmcSelection::write(std::string_view path, std::string_view text) {
    if (baseName(path) != "key_at_index") return -EACCES;
    char* end = nullptr;
    const std::string value(text);
    const unsigned long index = std::strtoul(value.c_str(), &end, 10);
    if (end == value.c_str() || (*end != '\0' && *end != '\n') || index >= keys_.size())
        return -EINVAL;
    selected_ = static_cast<std::uint32_t>(index);
    return 0;
}

std::optional<long> FakeApplesmcSelection::readNumber(const std::string& file) const {
    std::ifstream in(dir_ + "/" + file);
    long value = 0;
    if (!(in >> value)) return std::nullopt;
    return value;
}

// The SMC's own bytes while the key's file still shows what they give; the bytes of what the file
// was changed to otherwise. The driver's files drop fraction bits that key_at_index_data keeps.
std::vector<std::uint8_t> FakeApplesmcSelection::liveBytes(const FakeSmcKey& key) const {
    if (const auto file = fanFile(key.name); file && key.type == "fpe2") {
        const auto rpm = readNumber(*file);
        if (rpm && *rpm != fanSpeed(key.bytes))
            return bigEndian(static_cast<std::uint64_t>(*rpm) << 2, 2);
        return key.bytes;
    }
    if (key.name == "FS! " && key.bytes.size() == 2) {
        unsigned mask = (key.bytes[0] << 8) | key.bytes[1];
        for (int fan = 0; fan < 16; ++fan) {
            if (const auto bit = readNumber("fan" + std::to_string(fan + 1) + "_manual")) {
                mask = *bit ? mask | (1u << fan) : mask & ~(1u << fan);
            }
        }
        return bigEndian(mask, 2);
    }
    if (key.name[0] == 'T' && key.type == "sp78") {
        int sensor = 0;
        for (const auto& other : keys_) {
            if (other.name[0] != 'T' || other.type != "sp78") continue;
            ++sensor;
            if (other.name != key.name) continue;
            const auto milli = readNumber("temp" + std::to_string(sensor) + "_input");
            const auto raw = static_cast<std::int16_t>((key.bytes[0] << 8) | key.bytes[1]);
            if (milli && *milli != 250 * (raw >> 6)) {
                return bigEndian(
                    static_cast<std::uint16_t>(static_cast<std::int16_t>((*milli / 250) * 64)), 2);
            }
        }
    }
    return key.bytes;
}

long FakeApplesmcSelection::read(std::string_view path, char* buffer, std::size_t capacity) const {
    const std::string attribute = baseName(path);
    const FakeSmcKey& key = keys_[selected_];
    std::string text;
    if (attribute == "key_at_index") {
        text = std::to_string(selected_) + "\n";
    } else if (attribute == "key_at_index_name") {
        text = key.name + "\n";
    } else if (attribute == "key_at_index_type") {
        text = key.type + "\n";
    } else if (attribute == "key_at_index_data_length") {
        text = std::to_string(key.bytes.size()) + "\n";
    } else if (attribute == "key_at_index_data") {
        const auto bytes = liveBytes(key);
        text.assign(bytes.begin(), bytes.end());
        // The driver reads exactly the key's length into the buffer it is given.
        if (text.size() > capacity) return -EINVAL;
    } else {
        return -ENOENT;
    }
    const std::size_t count = std::min(text.size(), capacity);
    std::memcpy(buffer, text.data(), count);
    return static_cast<long>(count);
}

}  // namespace drivetherm::testing
