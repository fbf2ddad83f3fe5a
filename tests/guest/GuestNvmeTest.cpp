// SPDX-License-Identifier: GPL-2.0-or-later
// An NVMe drive beside a SATA disk on a real kernel: the registry lists the drive by its model
// first, the disk selection finds it, and its temperature is the composite temperature of the
// health log page the kernel's NVMe admin-command ioctl returns, as the reference reader
// (smartctl) reads it on the same controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "hardware/disk/DiskAccess.h"
#include "hardware/disk/linux/LinuxDisks.h"
#include "tests/guest/GuestFixture.h"
#include "tests/guest/GuestSmartctl.h"

namespace drivetherm::guest {
namespace {

using ::testing::ElementsAre;

class GuestNvme : public GuestFixture {
protected:
    const GuestDisk* nvmeDisk() {
        for (const GuestDisk& disk : machine_.disks())
            if (disk.kernelName.starts_with("nvme")) return &disk;
        ADD_FAILURE() << "the guest's kernel shows no NVMe namespace";
        return nullptr;
    }
    static std::string expectedModel() {
        const char* model = std::getenv("DT_GUEST_NVME_MODEL");
        return model != nullptr ? model : "";
    }
};

TEST_F(GuestNvme, TheDriveIsListedByItsModelBeforeTheSataDiskAndIsDisk0) {
    const GuestDisk* nvme = nvmeDisk();
    ASSERT_NE(nvme, nullptr);
    const auto sata = ataDisks();
    ASSERT_EQ(sata.size(), 1u);
    EXPECT_EQ(machine_.bsdNameOf(*nvme), "disk0") << "nvme0n1 sorts before sda";

    RegistryIterator iterator;
    ASSERT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
    EXPECT_THAT(walk_.GetDriveNameArray(iterator),
                ElementsAre(expectedModel(), machine_.listedModelOf(*sata[0])));
    EXPECT_EQ(walk_.GetBSDNameForDriveName(expectedModel()), "disk0");
    EXPECT_EQ(walk_.GetBSDNameForDriveName(machine_.listedModelOf(*sata[0])), "disk1");
}

TEST_F(GuestNvme, ItsTemperatureIsTheHealthLogsAsSmartctlReadsIt) {
    const GuestDisk* nvme = nvmeDisk();
    ASSERT_NE(nvme, nullptr);
    const std::string bsdName = machine_.bsdNameOf(*nvme);

    syscalls_.clear();
    const unsigned celsius = reader_.readDriveTemperature(bsdName.c_str());
    EXPECT_GT(celsius, 0u);
    EXPECT_EQ(reader_.lastTemperatureSource(), TemperatureSource::NvmeHealthLog);
    // The power status of the controller's PCI function is where the backend looks for it.
    ASSERT_FALSE(syscalls_.opens().empty());
    EXPECT_EQ(syscalls_.opens().front().path,
              "/sys/class/block/" + nvme->kernelName + "/device/device/power/runtime_status");
    EXPECT_GE(syscalls_.opens().front().result, 0) << "the file is not there on this kernel";
    EXPECT_THAT(syscalls_.deviceNodesOpened(), ElementsAre("/dev/" + nvme->kernelName));
    ASSERT_EQ(syscalls_.adminCommands().size(), 1u) << "one Get Log Page per read";
    EXPECT_EQ(syscalls_.adminCommands()[0].result, 0);
    EXPECT_EQ(syscalls_.adminCommands()[0].command.opcode, 0x02);
    EXPECT_TRUE(syscalls_.exchanges().empty()) << "no SG_IO to an NVMe drive";
    EXPECT_EQ(syscalls_.openDescriptors(), 0);

    // The daemon's own composition reads the same.
    LinuxDisks linuxDisks;
    DiskAccess access(&linuxDisks.registry(), &linuxDisks.smartBackend());
    EXPECT_EQ(access.reader().readDriveTemperature(bsdName.c_str()), celsius);

    const std::string controller = nvme->kernelName.substr(0, nvme->kernelName.find('n', 4));
    std::string output;
    EXPECT_EQ(runSmartctlNvmeTemperature("/dev/" + controller, output), static_cast<int>(celsius))
        << output;
}

}  // namespace
}  // namespace drivetherm::guest
