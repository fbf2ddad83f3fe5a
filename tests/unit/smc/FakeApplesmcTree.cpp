// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/unit/smc/FakeApplesmcTree.h"

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace drivetherm::testing {
namespace {

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool isWritable(const std::string& name) {
    if (name == "key_at_index") return true;
    if (name.rfind("fan", 0) != 0) return false;
    const auto underscore = name.find('_');
    const std::string attribute =
        underscore == std::string::npos ? "" : name.substr(underscore + 1);
    return attribute == "min" || attribute == "output" || attribute == "manual";
}

}  // namespace

FakeApplesmcTree::FakeApplesmcTree(const std::string& keyList, Placement placement) {
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/drivetherm-applesmc-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a directory for " + pattern);
    root_ = pattern;
    const auto keys = loadFakeKeyList(keyList);
    if (placement == Placement::Platform) {
        deviceDir_ = root_ + "/devices/platform/applesmc.768";
    } else {
        deviceDir_ = root_ + "/class/hwmon/hwmon3/device";
        writeApplesmcTree({}, root_ + "/class/hwmon/hwmon0/device");  // another chip's hwmon
        std::ofstream(root_ + "/class/hwmon/hwmon0/device/name") << "coretemp\n";
    }
    writeApplesmcTree(keys, deviceDir_);
    std::ifstream source(keyList, std::ios::binary);
    std::ofstream(keyListPath(), std::ios::binary) << source.rdbuf();
    selection_ = std::make_unique<FakeApplesmcSelection>(keys, deviceDir_);
}

FakeApplesmcTree::~FakeApplesmcTree() {
    ::nftw(
        root_.c_str(),
        [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string FakeApplesmcTree::attribute(const std::string& name) const {
    std::ifstream file(deviceDir_ + "/" + name);
    std::ostringstream text;
    text << file.rdbuf();
    std::string value = text.str();
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

void FakeApplesmcTree::setAttribute(const std::string& name, const std::string& value) {
    std::ofstream(deviceDir_ + "/" + name, std::ios::trunc) << value << "\n";
}

std::map<std::string, std::string> FakeApplesmcTree::snapshot() const {
    std::map<std::string, std::string> files;
    DIR* dir = ::opendir(deviceDir_.c_str());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.') files[entry->d_name] = attribute(entry->d_name);
    }
    if (dir) ::closedir(dir);
    return files;
}

int FakeApplesmcTree::failure(const std::string& path) const {
    const auto it = failures_.find(baseName(path));
    return it == failures_.end() ? 0 : it->second;
}

long FakeApplesmcTree::readFile(const std::string& path, char* buffer, std::size_t capacity) {
    ++operations_;
    log_.push_back("read " + baseName(path));
    if (beforeRead) beforeRead(baseName(path));
    if (const int error = failure(path)) return -error;
    if (selection_->handles(path)) return selection_->read(path, buffer, capacity);
    return posixApplesmcFiles().readFile(path, buffer, capacity);
}

int FakeApplesmcTree::writeFile(const std::string& path, std::string_view text) {
    ++operations_;
    log_.push_back("write " + baseName(path) + "=" + std::string(text));
    if (const int error = failure(path)) return -error;
    if (selection_->handles(path)) return selection_->write(path, text);
    if (path.rfind(deviceDir_ + "/", 0) == 0) {
        // The driver's own checks: read-only attributes, and speeds as decimal rpm below 16384.
        if (!isWritable(baseName(path))) return -EACCES;
        const std::string value(text);
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || (*end != '\0' && *end != '\n') || number >= 16384) return -EINVAL;
        return posixApplesmcFiles().writeFile(path, std::to_string(number) + "\n");
    }
    return posixApplesmcFiles().writeFile(path, text);
}

std::vector<std::string> FakeApplesmcTree::listDirectory(const std::string& path) {
    ++operations_;
    log_.push_back("list " + path.substr(root_.size()));
    return posixApplesmcFiles().listDirectory(path);
}

}  // namespace drivetherm::testing
