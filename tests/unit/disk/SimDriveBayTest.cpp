// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DiskAccess.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "hardware/machine/MachineFile.h"
#include "hardware/machine/MachineSections.h"

namespace drivetherm {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;

// A machine file whose "drives" member starts on line 2 and, when it is an array, holds one drive
// per line from line 3 on, so that every message names the line of its own drive.
std::string machineText(const json& drives) {
    if (!drives.is_array()) return "{\n\"drives\": " + drives.dump() + "\n}\n";
    std::string text = "{\n\"drives\": [\n";
    for (std::size_t index = 0; index < drives.size(); ++index)
        text += drives[index].dump() + (index + 1 < drives.size() ? ",\n" : "\n");
    return text + "]\n}\n";
}

std::string errorOf(const json& drives) {
    try {
        readDrivesSection(MachineFile::parse(machineText(drives), "m.json"));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(SimDriveBay, EveryMistakeInTheDrivesIsNamedInOneLine) {
    const json good = {
        {"bsdName", "disk0"}, {"model", "A"}, {"smart", "property"}, {"temperature", 38}};
    const auto with = [&](const char* key, const json& value) {
        json drive = good;
        drive[key] = value;
        return json::array({drive});
    };
    const auto without = [&](const char* key) {
        json drive = good;
        drive.erase(key);
        return json::array({drive});
    };
    struct Case {
        json drives;
        std::string message;
    };
    const std::string hex1023(1023, '0');
    const Case cases[] = {
        {json::object(), "m.json:2: drives: expected an array of drives"},
        {json::array({1}), "m.json:3: drives[0]: expected an object"},
        {with("smart", "maybe"),
         R"(m.json:3: drives[0].smart: expected "property", "ata-features" or "none")"},
        {with("temprature", 30), "m.json:3: drives[0].temprature: unknown member"},
        {without("model"), R"(m.json:3: drives[0]: missing "model")"},
        {with("model", ""),
         "m.json:3: drives[0].model: expected the drive's model string, not an empty one"},
        {with("bsdName", "sda"),
         R"(m.json:3: drives[0].bsdName: expected a whole-disk name such as "disk0")"},
        {json::array({good, good}), R"(m.json:4: drives[1].bsdName: "disk0" is already drives[0])"},
        {with("smart", "ata-features"),
         R"(m.json:3: drives[0].ataFeatures: missing: "ata-features" needs the feature bits (0x20 = SMART))"},
        {with("ataFeatures", 33),
         R"(m.json:3: drives[0].ataFeatures: only with "smart": "ata-features")"},
        {with("temperature", 300),
         "m.json:3: drives[0].temperature: expected an integer from 0 to 255"},
        {with("temperature", 38.5),
         "m.json:3: drives[0].temperature: expected an integer from 0 to 255"},
        {with("temperature", 18446744073709551615u),
         "m.json:3: drives[0].temperature: expected an integer from 0 to 255"},
        {without("temperature"), R"(m.json:3: drives[0]: missing "temperature" (or "smartData"))"},
        {with("smartData", "00"),
         R"(m.json:3: drives[0].smartData: give either "temperature" or "smartData", not both)"},
        {[&] {
             json d = good;
             d.erase("temperature");
             d["smartData"] = hex1023;
             return json::array({d});
         }(),
         "m.json:3: drives[0].smartData: expected 512 bytes as 1024 hex digits"},
        {[&] {
             json d = good;
             d.erase("temperature");
             d["smartData"] = hex1023 + "g";
             return json::array({d});
         }(),
         "m.json:3: drives[0].smartData: expected 512 bytes as 1024 hex digits"},
        {with("fault", "broken"),
         R"(m.json:3: drives[0].fault: expected "none", "timeout", "not-responding", "busy", "no-attribute" or "absent")"},
        {with("faultCount", 2),
         R"(m.json:3: drives[0].faultCount: only with "fault": "timeout" or "not-responding")"},
        {[&] {
             json d = good;
             d["fault"] = "timeout";
             d["faultCount"] = 0;
             return json::array({d});
         }(),
         "m.json:3: drives[0].faultCount: expected an integer from 1 to 2147483647"},
        {with("powerMode", "sleep"),
         R"(m.json:3: drives[0].powerMode: expected "active" or "standby")"},
        {with("interface", "scsi"), R"(m.json:3: drives[0].interface: expected "ata" or "nvme")"},
        {with("temperatureSource", "attribute-9"),
         R"(m.json:3: drives[0].temperatureSource: expected "attribute-194", "attribute-190" or "sct")"},
        {[&] {
             json d = good;
             d["interface"] = "nvme";
             d["temperatureSource"] = "sct";
             return json::array({d});
         }(),
         "m.json:3: drives[0].temperatureSource: only for an ATA drive"},
        {[&] {
             json d = good;
             d["interface"] = "nvme";
             d["smart"] = "ata-features";
             d["ataFeatures"] = 33;
             return json::array({d});
         }(),
         R"(m.json:3: drives[0].smart: an NVMe drive has no ATA features: "property" or "none")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drives.dump());
        EXPECT_EQ(errorOf(c.drives), c.message);
    }
    EXPECT_EQ(errorOf(json::array({good})), "(accepted)");
    EXPECT_EQ(errorOf(json()), "(accepted)") << "a machine without drives";
}

class SimDriveBayReadTest : public ::testing::Test {
protected:
    void load(const MachineFile& file) {
        disks_.reset();
        bay_ = readDrivesSection(file);
        disks_.emplace(bay_.get(), bay_.get(), clock_);
    }
    void load(const json& drives) {
        load(MachineFile::parse(json{{"drives", drives}}.dump(), "test"));
    }
    void TearDown() override {
        if (bay_) {
            EXPECT_EQ(bay_->outstandingReferences(), 0u);
        }
    }
    SmartReader& reader() { return disks_->reader(); }
    DriveWalk& walk() { return disks_->walk(); }
    std::vector<std::string> driveNames() {
        RegistryIterator iterator;
        EXPECT_EQ(walk().FindStorageMedia(&iterator), kIOReturnSuccess);
        return walk().GetDriveNameArray(iterator);
    }

    std::unique_ptr<SimDriveBay> bay_;
    ManualClock clock_;
    std::optional<DiskAccess> disks_;
};

TEST_F(SimDriveBayReadTest, TheShippedMachinesDisksAreListedAndRead) {
    const MachineFile file = MachineFile::load(DRIVETHERM_SOURCE_DIR "/machines/default.json");
    const json& drives = file.root().at("drives");
    load(file);
    // Every SMART-capable drive of the file is listed under its model, resolves back to its
    // BSD name and reads the temperature the file gives.
    std::vector<std::string> models;
    for (const json& drive : drives) {
        SCOPED_TRACE(drive.dump());
        const std::string bsdName = drive["bsdName"];
        const std::string model = drive["model"];
        if (drive["smart"] == "none") continue;
        models.push_back(model);
        EXPECT_EQ(walk().GetBSDNameForDriveName(model), bsdName);
        EXPECT_EQ(reader().readDriveTemperature(("/dev/rdisk" + bsdName.substr(4)).c_str()),
                  drive["temperature"].get<int>());
        EXPECT_EQ(bay_->readCount(bsdName), 1);
    }
    EXPECT_FALSE(models.empty());
    EXPECT_EQ(driveNames(), models);
}

TEST_F(SimDriveBayReadTest, FaultsReachTheReaderAsARealDiskWouldShowThem) {
    struct Case {
        const char* what;
        json extra;
        std::uint8_t temperature;
        int sleeps;
        int reads;
    };
    const Case cases[] = {
        {"healthy", json::object(), 38, 0, 1},
        {"two time-outs", {{"fault", "timeout"}, {"faultCount", 2}}, 38, 2, 3},
        {"always timing out", {{"fault", "timeout"}}, 0, 6, 6},
        {"five times not responding", {{"fault", "not-responding"}, {"faultCount", 5}}, 38, 5, 6},
        {"six times not responding", {{"fault", "not-responding"}, {"faultCount", 6}}, 0, 6, 6},
        {"busy", {{"fault", "busy"}}, 0, 0, 1},
        {"no attribute 194", {{"fault", "no-attribute"}}, 0, 0, 1},
        {"absent", {{"fault", "absent"}}, 0, 0, 0},
        {"asleep", {{"powerMode", "standby"}}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        json drive = {
            {"bsdName", "disk0"}, {"model", "A"}, {"smart", "property"}, {"temperature", 38}};
        drive.update(c.extra);
        load(json::array({drive}));
        clock_ = ManualClock();
        EXPECT_EQ(reader().readDriveTemperature("disk0"), c.temperature);
        EXPECT_EQ(clock_.sleeps(), c.sleeps);
        EXPECT_EQ(bay_->readCount("disk0"), c.reads);
    }
}

TEST_F(SimDriveBayReadTest, EveryKindOfDriveIsReadWhereItReportsItsTemperature) {
    using S = TemperatureSource;
    struct Case {
        const char* what;
        json extra;
        TemperatureSource source;
        int readsPerCheck;  // SMART data and SCT status reads that reach the drive
    };
    const Case cases[] = {
        {"attribute 194", json::object(), S::Attribute194, 1},
        {"attribute 190", {{"temperatureSource", "attribute-190"}}, S::Attribute190, 1},
        {"SCT status", {{"temperatureSource", "sct"}}, S::SctStatus, 2},
        {"NVMe", {{"interface", "nvme"}}, S::NvmeHealthLog, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        json drive = {
            {"bsdName", "disk0"}, {"model", "A"}, {"smart", "property"}, {"temperature", 38}};
        drive.update(c.extra);
        load(json::array({drive}));
        EXPECT_EQ(reader().readDriveTemperature("disk0"), 38);
        EXPECT_EQ(reader().lastTemperatureSource(), c.source);
        EXPECT_EQ(bay_->readCount("disk0"), c.readsPerCheck);
        // The simulator and the thermal model move it where the drive reports it.
        EXPECT_TRUE(bay_->setTemperature("disk0", 45));
        EXPECT_EQ(bay_->temperature("disk0"), 45);
        EXPECT_EQ(reader().readDriveTemperature("disk0"), 45);
        EXPECT_TRUE(bay_->setFault("disk0", "no-attribute"));
        EXPECT_EQ(reader().readDriveTemperature("disk0"), 0);
        EXPECT_TRUE(bay_->setFault("disk0", "none"));
        // Asleep, it is left alone at every step.
        const int before = bay_->readCount("disk0");
        EXPECT_TRUE(bay_->setPowerMode("disk0", "standby"));
        EXPECT_EQ(reader().readDriveTemperature("disk0"), 0);
        EXPECT_EQ(bay_->readCount("disk0"), before);
    }
}

TEST_F(SimDriveBayReadTest, TheSimulatorChangesTemperatureFaultsAndPowerWhileRunning) {
    load(json::array({
        {{"bsdName", "disk0"}, {"model", "A"}, {"smart", "property"}, {"temperature", 38}},
        {{"bsdName", "disk1"},
         {"model", "B"},
         {"smart", "ata-features"},
         {"ataFeatures", 0x21},
         {"temperature", 31}},
        {{"bsdName", "disk2"}, {"model", "C"}, {"smart", "none"}},
    }));
    EXPECT_THAT(driveNames(), ElementsAre("A", "B"));

    EXPECT_TRUE(bay_->setTemperature("disk1", 47));
    EXPECT_EQ(bay_->temperature("disk1"), 47);
    EXPECT_EQ(reader().readDriveTemperature("disk1"), 47);
    EXPECT_FALSE(bay_->setTemperature("disk9", 47));
    EXPECT_EQ(bay_->temperature("disk9"), std::nullopt);
    EXPECT_EQ(bay_->readCount("disk9"), -1);

    EXPECT_TRUE(bay_->setFault("disk0", "absent"));
    EXPECT_THAT(driveNames(), ElementsAre("B"));
    EXPECT_EQ(walk().GetBSDNameForDriveName("A"), std::nullopt);
    EXPECT_EQ(reader().readDriveTemperature("disk0"), 0);
    EXPECT_TRUE(bay_->setFault("disk0", "none"));
    EXPECT_THAT(driveNames(), ElementsAre("A", "B"));
    EXPECT_EQ(reader().readDriveTemperature("disk0"), 38);
    EXPECT_FALSE(bay_->setFault("disk0", "melted"));
    EXPECT_FALSE(bay_->setFault("disk7", "none"));

    // A drive that goes while its SMART device is open answers as a disk that is gone.
    const int slot = reader().openSmartDevice("disk1", "ATA");
    ASSERT_GE(slot, 0);
    EXPECT_TRUE(bay_->setFault("disk1", "absent"));
    SmartDataBlock buffer{};
    EXPECT_EQ(reader().readSmartData(slot, buffer), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    reader().closeSmartDevice(slot);
    EXPECT_TRUE(bay_->setFault("disk1", "none"));

    const int before = bay_->readCount("disk1");
    EXPECT_TRUE(bay_->setPowerMode("disk1", "standby"));
    EXPECT_EQ(reader().readDriveTemperature("disk1"), 0);
    EXPECT_EQ(bay_->readCount("disk1"), before) << "a sleeping disk is not touched";
    EXPECT_TRUE(bay_->setPowerMode("disk1", "active"));
    EXPECT_EQ(reader().readDriveTemperature("disk1"), 47);
    EXPECT_FALSE(bay_->setPowerMode("disk1", "off"));
}

}  // namespace
}  // namespace drivetherm
