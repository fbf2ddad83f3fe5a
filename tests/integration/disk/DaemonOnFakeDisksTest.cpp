// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermd on a fake tree of disks (SG_IO and NVMe admin commands answered by a preloaded
// library, FakeDiskPreload) and a fake applesmc device, on a private bus: the daemon follows a
// solid-state disk that reports only attribute 190, one that reports only its SCT status and an
// NVMe drive, wakes none of them when they sleep, and a disk that never answers holds its first
// check about six seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "protocol/DbusDaemonClient.h"
#include "tests/support/PrivateBus.h"
#include "tests/unit/disk/LinuxFakes.h"
#include "tests/unit/smc/FakeApplesmc.h"

namespace drivetherm {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// "000-015: 10 00 ..." lines after "#" comments, as bytes.
std::string readHexFile(const std::string& name) {
    std::ifstream file(std::string(DRIVETHERM_TEST_DATA "/disk/") + name);
    std::string bytes;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream hex(line.substr(line.find(':') + 1));
        for (unsigned byte = 0; hex >> std::hex >> byte;) bytes += static_cast<char>(byte);
    }
    return bytes;
}

// A real drive's SMART block with its attribute 194 entry removed (the id byte cleared), as a
// solid-state disk that reports its temperature only in attribute 190 answers.
std::string only190() {
    std::string block = readHexFile("smart-raw-samsung-hd501lj.hex").substr(0, 512);
    for (std::size_t entry = 2; entry < 362; entry += 12)
        if (static_cast<unsigned char>(block[entry]) == 194) block[entry] = 0;
    return block;
}

// A real drive's block without either temperature attribute, and an SCT status page at 36 °C
// (format version 3, the temperature at offset 200).
std::string noTemperatureAttribute() {
    std::string block = readHexFile("smart-raw-wd-wd5000aaks.hex").substr(0, 512);
    for (std::size_t entry = 2; entry < 362; entry += 12)
        if (static_cast<unsigned char>(block[entry]) == 194) block[entry] = 0;
    return block;
}
std::string sctStatusAt36() {
    std::string page(512, '\0');
    page[0] = 3;
    page[200] = 36;
    return page;
}

// The ATA Information page of QEMU's disk with the SCT bit of IDENTIFY word 206 set.
std::string identifyWithSct() {
    std::string page = readHexFile("ata-information-qemu-ide-disk.hex");
    page[60 + 2 * 206] = 0x01;
    return page;
}

constexpr const char* kNvmeModel = "Samsung SSD 970 EVO Plus 1TB";
constexpr const char* k190Model = "Samsung SSD 860 EVO 500GB";
constexpr const char* kSctModel = "SATA SSD 240GB";

class DaemonOnFakeDisks : public ::testing::Test {
protected:
    void SetUp() override {
        // disk0 = nvme0n1, disk1 = sda, disk2 = sdb: NVMe namespaces sort first.
        sysfs_.addDisk(
            {.name = "nvme0n1", .major_minor = "259:0", .model = kNvmeModel, .nvme = true});
        sysfs_.addDisk({.name = "sda",
                        .major_minor = "8:0",
                        .udev = {{"ID_ATA", "1"},
                                 {"ID_ATA_FEATURE_SET_SMART", "1"},
                                 {"ID_MODEL_ENC", "Samsung\\x20SSD\\x20860\\x20EVO\\x20500GB"}}});
        sysfs_.addDisk({.name = "sdb",
                        .major_minor = "8:16",
                        .model = std::string(kSctModel) + "  \n",
                        .vendor = "ATA     \n",
                        .ataInformation = identifyWithSct()});
        fs::create_directories(data_);
        fs::create_directories(state_);
        write("sda.smart", only190());
        write("sdb.smart", noTemperatureAttribute());
        write("sdb.sct", sctStatusAt36());
        write("nvme0n1.health", readHexFile("nvme-health-qemu.hex"));
        testing::writeApplesmcTree(testing::loadFakeKeyList(keyList()), applesmc());
    }
    void TearDown() override {
        if (HasFailure() && daemon_)
            std::fprintf(stderr, "---- daemon log ----\n%s\n", log().c_str());
    }

    static std::string keyList() { return DRIVETHERM_TEST_DATA "/smc/imac12-1.keys"; }
    std::string applesmc() const {
        return (sysfs_.sys() / "devices/platform/applesmc.768").string();
    }
    void write(const std::string& name, const std::string& bytes) const {
        test::FakeSysfs::write(data_ / name, bytes);
    }
    std::string log() const { return daemon_ ? daemon_->log() : ""; }

    // Starts the daemon following the drive of that model (stored as the user's choice).
    void start(const std::string& model) {
        test::FakeSysfs::write(
            state_ / "com.quillmoor.Drivetherm.plist",
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>HDDName</key>"
            "<string>" +
                model + "</string></dict></plist>");
        started_ = Clock::now();
        daemon_ = std::make_unique<testing::ChildProcess>(
            DRIVETHERM_DAEMON,
            std::vector<std::string>{"--bus", bus_.address(), "--hardware", "linux", "--sysfs-root",
                                     sysfs_.sys().string(), "--state-dir", state_.string(), "-v"},
            (sysfs_.root() / ("daemon-" + std::to_string(++starts_) + ".log")).string(),
            std::vector<std::string>{"LD_PRELOAD=" DRIVETHERM_FAKE_APPLESMC_PRELOAD
                                     ":" DRIVETHERM_FAKE_DISK_PRELOAD,
                                     "DRIVETHERM_FAKE_APPLESMC_KEYS=" + keyList(),
                                     "DRIVETHERM_FAKE_APPLESMC_DIR=" + applesmc(),
                                     "DRIVETHERM_FAKE_DISK_DEV=" + (sysfs_.root() / "dev").string(),
                                     "DRIVETHERM_FAKE_DISK_DATA=" + data_.string(),
                                     "ASAN_OPTIONS=verify_asan_link_order=0"});
    }

    // The first check's line ("check: 47.00 °C from disk1 (attribute 190), target ..."), once
    // it is logged, and how long after the start that was; the daemon is stopped then, before
    // a second check (61 ticks of a second later), unless `stop` is false.
    std::string firstCheck(Clock::duration& after, bool stop = true) {
        const auto deadline = started_ + std::chrono::seconds(40);
        while (Clock::now() < deadline) {
            const std::string text = log();
            const std::size_t at = text.find("check: ");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
                after = Clock::now() - started_;
                if (stop) daemon_->stop(SIGTERM);
                return text.substr(at, text.find('\n', at) - at);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        after = Clock::now() - started_;
        return "(no check within 40 s)";
    }

    std::string commands(const std::string& node) const {
        std::ifstream file(data_ / (node + ".commands"));
        std::string all;
        for (std::string line; std::getline(file, line);) all += (all.empty() ? "" : " ") + line;
        return all;
    }

    test::FakeSysfs sysfs_;
    fs::path data_ = sysfs_.root() / "drives";
    fs::path state_ = sysfs_.root() / "state";
    testing::PrivateBus bus_;
    std::unique_ptr<testing::ChildProcess> daemon_;
    Clock::time_point started_;
    int starts_ = 0;
};

TEST_F(DaemonOnFakeDisks, EachKindOfDriveIsFollowedAndNoneIsWokenAsleep) {
    struct Case {
        const char* what;
        const char* model;
        const char* node;
        const char* asleep;  // the file that puts the drive to sleep, or nullptr
        const char* from;    // what the check line says the temperature came from
        const char* commands;
    };
    const Case cases[] = {
        {"an SSD with only 190", k190Model, "sda", nullptr, "47.00 °C from disk1 (attribute 190)",
         "e5 b0d8 b0d0"},
        {"an SSD with only SCT", kSctModel, "sdb", nullptr, "36.00 °C from disk2 (SCT status)",
         "e5 b0d8 b0d0 b0d5 e0"},
        {"an NVMe drive", kNvmeModel, "nvme0n1", nullptr, "50.00 °C from disk0 (NVMe health log)",
         "nvme 02 02"},
        // Asleep, each is asked its power mode at most, and the SMC's sensors stand in.
        {"the 190 SSD in standby", k190Model, "sda", "sda.standby", "from sensors", "e5"},
        {"the SCT SSD in standby", kSctModel, "sdb", "sdb.standby", "from sensors", "e5"},
        {"the NVMe drive suspended", kNvmeModel, "nvme0n1", "suspended", "from sensors", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(data_ / (std::string(c.node) + ".commands"));
        sysfs_.setRuntimeStatus("nvme0n1", "active");
        if (c.asleep != nullptr && std::string(c.asleep) == "suspended")
            sysfs_.setRuntimeStatus(c.node, "suspended");
        else if (c.asleep != nullptr)
            write(c.asleep, "");
        start(c.model);
        Clock::duration after{};
        const std::string check = firstCheck(after);
        EXPECT_NE(check.find(c.from), std::string::npos) << check;
        EXPECT_EQ(commands(c.node), c.commands);
        if (c.asleep != nullptr) fs::remove(data_ / c.asleep);
        if (HasFailure()) break;
    }
}

TEST_F(DaemonOnFakeDisks, ADiskThatNeverAnswersHoldsTheFirstCheckSixSecondsAndNothingElse) {
    write("sda.hang", "");
    start(k190Model);
    // The bus answers at once: the name is owned before the first tick reads the disk.
    int baseRpm = -1;
    while (baseRpm < 0 && Clock::now() - started_ < std::chrono::seconds(10)) {
        try {
            if (DaemonProxy daemon = DbusDaemonClient::bind(bus_.address()); !daemon.isNone())
                baseRpm = daemon.baseRpm();
        } catch (const DaemonError&) {
        }
        if (baseRpm < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto answered = Clock::now() - started_;
    EXPECT_EQ(baseRpm, 1100);
    EXPECT_LE(answered, std::chrono::seconds(1))
        << "BaseRpm answered after " << std::chrono::duration<double>(answered).count() << " s";

    Clock::duration after{};
    const std::string check = firstCheck(after, false);
    EXPECT_NE(check.find("from sensors"), std::string::npos) << check;
    EXPECT_LE(after, std::chrono::seconds(7))
        << "the first check came after " << std::chrono::duration<double>(after).count() << " s";

    // A client polling a fresh temperature, more often than the window does, neither reaches
    // the silent disk nor holds the loop.
    DaemonProxy client = DbusDaemonClient::bind(bus_.address());
    ASSERT_FALSE(client.isNone());
    for (int poll = 0; poll < 8; ++poll) {
        const auto asked = Clock::now();
        float celsius = 0;
        client.temperature(&celsius, nullptr);
        EXPECT_GT(celsius, 0.0f);
        EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1)) << "poll " << poll;
        std::this_thread::sleep_until(asked + std::chrono::seconds(1));
    }
    ASSERT_EQ(daemon_->stop(SIGTERM), 0);
    // Six attempts, each one power check that times out; nothing else was sent.
    EXPECT_EQ(commands("sda"), "e5 e5 e5 e5 e5 e5");

    // "N ticks in T s, D dropped": the first check's stall drops the six ticks due while it
    // waits; of the ticks due after it, at least nine in ten ran.
    const std::string text = log();
    const std::size_t at = text.find(" ticks in ");
    ASSERT_NE(at, std::string::npos) << "no tick count at exit";
    const std::size_t begin = text.find_last_not_of("0123456789", at - 1) + 1;
    const long fired = std::stol(text.substr(begin, at - begin));
    const long dropped = std::stol(text.substr(text.find("s, ", at) + 3));
    const long afterCheck = fired - 1 + std::max(0L, dropped - 6);
    EXPECT_GE(fired - 1, 0.9 * afterCheck) << fired << " ticks fired, " << dropped << " dropped";
    EXPECT_GE(fired, 8);
    std::printf(
        "BaseRpm answered after %.3f s, the first check after %.3f s; %ld ticks fired, "
        "%ld dropped\n",
        std::chrono::duration<double>(answered).count(),
        std::chrono::duration<double>(after).count(), fired, dropped);
}

}  // namespace
}  // namespace drivetherm
