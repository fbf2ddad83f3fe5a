// SPDX-License-Identifier: GPL-2.0-or-later
// The settings file as the daemon meets it at start: the input is written as the domain's
// property list into a state directory on a memory file system, the store loads it and the daemon
// reads its settings from it, then runs two ticks on a fake machine and stores what it holds. What
// must hold for any file: no crash, every speed written inside the driven fan's own range, and the
// file the daemon wrote loads again (never set aside) with the same settings.
#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Log.h"
#include "daemon/HDDDaemon.h"
#include "daemon/PlistPreferenceStore.h"
#include "fuzz/FuzzCheck.h"
#include "tests/unit/daemon/FakeDaemonHardware.h"

namespace {

using namespace drivetherm;

constexpr const char* kDomain = "com.quillmoor.Drivetherm";

std::string& stateDirectory() {
    static std::string directory;
    return directory;
}

// Empties the state directory: the previous input's file and whatever the store set aside.
void emptyDirectory(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            ::unlink((path + "/" + entry->d_name).c_str());
        }
        ::closedir(dir);
    }
}

void removeStateDirectory() {
    emptyDirectory(stateDirectory());
    ::rmdir(stateDirectory().c_str());
}

PlistPreferenceStore openStore() {
    return PlistPreferenceStore(
        stateDirectory(), kDomain,
        {HDDDaemon::kBaseRpmKey, HDDDaemon::kLowerThresholdKey, HDDDaemon::kUpperThresholdKey,
         HDDDaemon::kFahrenheitKey, HDDDaemon::kPinToBaseKey, HDDDaemon::kHDDNameKey,
         HDDDaemon::kUseAmbientTempKey, HDDDaemon::kFanIndexKey});
}

bool sameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A memory file system where there is one: each input costs a write, a rename and fsyncs.
    // TMPDIR first: run-fuzzers points it at a memory file system of its own, removed afterwards
    // with whatever a crashed run left.
    const char* base = std::getenv("TMPDIR");
    if (!base && ::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = std::string(base ? base : "/tmp") + "/drivetherm-fuzz-settings.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    stateDirectory() = pattern;
    std::atexit(removeStateDirectory);
    log::setLevel(log::Level::Debug);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& directory = stateDirectory();
    emptyDirectory(directory);
    const std::string path = directory + "/" + kDomain + ".plist";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }

    testing::FakeDaemonHardware hardware;
    hardware.drives["disk0"] = 55;
    hardware.sensors["TA0P"] = 30.0;
    hardware.models = {{"WDC WD10EZEX-08M2NA0", "disk0"}};
    PlistPreferenceStore store = openStore();
    HDDDaemon daemon(hardware, store);
    daemon.readPreferences();
    daemon.chooseFan();
    daemon.timer();
    daemon.timer();
    for (const auto& [key, rpm] : hardware.writes) {
        check(key.size() == 4 && key[0] == 'F');
        const auto limits = hardware.fanLimits.find(key[1] - '0');
        check(limits != hardware.fanLimits.end());
        check(rpm >= limits->second.first && rpm <= limits->second.second);
    }
    daemon.storePreferences();

    PlistPreferenceStore again = openStore();
    check(again.setAsidePath().empty());
    testing::FakeDaemonHardware sameMachine;
    HDDDaemon reloaded(sameMachine, again);
    reloaded.readPreferences();
    check(reloaded.baseRpm() == daemon.baseRpm());
    check(sameFloat(reloaded.lowerThreshold(), daemon.lowerThreshold()));
    check(sameFloat(reloaded.upperThreshold(), daemon.upperThreshold()));
    check(reloaded.fahrenheit() == daemon.fahrenheit());
    check(reloaded.pinToBase() == daemon.pinToBase());
    check(reloaded.useAmbientTemp() == daemon.useAmbientTemp());
    check(reloaded.HDDName() == daemon.HDDName());
    check(reloaded.fanIndex() == daemon.fanIndex());
    return 0;
}
