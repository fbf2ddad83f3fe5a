// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hardware/smc/linux/ApplesmcFiles.h"
#include "tests/unit/smc/FakeApplesmc.h"

namespace drivetherm::testing {

// A fake sysfs tree in a temporary directory with one applesmc device built from a fixture's key
// list, and the file layer the transport uses on it: the real files for the attributes, the
// driver's selector interpreted in-process for `key_at_index*`, and the driver's own checks on
// writes (only fanN_min, fanN_output, fanN_manual and key_at_index are writable; speeds must be
// decimal and below 16384). Every operation is counted and logged.
class FakeApplesmcTree final : public ApplesmcFiles {
public:
    enum class Placement { Platform, Hwmon };

    // `keyList` is a file under tests/data/smc/.
    explicit FakeApplesmcTree(const std::string& keyList,
                              Placement placement = Placement::Platform);
    ~FakeApplesmcTree() override;
    FakeApplesmcTree(const FakeApplesmcTree&) = delete;
    FakeApplesmcTree& operator=(const FakeApplesmcTree&) = delete;

    const std::string& root() const { return root_; }
    const std::string& deviceDir() const { return deviceDir_; }
    // Where the tree keeps its key list, for programs that run on the tree.
    std::string keyListPath() const { return root_ + "/applesmc.keys"; }

    // The content of one attribute, line break removed.
    std::string attribute(const std::string& name) const;
    void setAttribute(const std::string& name, const std::string& value);
    // Every attribute with its content, to show that nothing changed.
    std::map<std::string, std::string> snapshot() const;

    // Makes every operation on that attribute fail with -errno until cleared (errno 0).
    void failAttribute(const std::string& name, int error) { failures_[name] = error; }

    // Called before each read with the attribute's name: lets a test act as another process.
    std::function<void(const std::string&)> beforeRead;

    int operations() const { return operations_; }
    const std::vector<std::string>& log() const { return log_; }
    void resetCounts() {
        operations_ = 0;
        log_.clear();
    }

    long readFile(const std::string& path, char* buffer, std::size_t capacity) override;
    int writeFile(const std::string& path, std::string_view text) override;
    std::vector<std::string> listDirectory(const std::string& path) override;

private:
    int failure(const std::string& path) const;

    std::string root_;
    std::string deviceDir_;
    std::unique_ptr<FakeApplesmcSelection> selection_;
    std::map<std::string, int> failures_;
    int operations_ = 0;
    std::vector<std::string> log_;
};

}  // namespace drivetherm::testing
