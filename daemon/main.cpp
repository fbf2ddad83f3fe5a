// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermd: wires the parts together. The settings store, the machine (real or simulated),
// the control loop and the bus all live on one event loop on one thread.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "common/DataPaths.h"
#include "common/JournalEntry.h"
#include "common/Log.h"
#include "daemon/DaemonOptions.h"
#include "daemon/DbusService.h"
#include "daemon/EventLoop.h"
#include "daemon/HDDDaemon.h"
#include "daemon/MachineSetup.h"
#include "daemon/PlistPreferenceStore.h"
#include "daemon/SystemHardware.h"

#ifndef DRIVETHERM_VERSION
#define DRIVETHERM_VERSION "0"
#endif

using namespace drivetherm;

namespace {

constexpr const char* kDomain = "com.quillmoor.Drivetherm";
constexpr const char* kTag = "drivethermd";
constexpr std::chrono::milliseconds kLongestWaitForTheName{1000};
constexpr std::chrono::milliseconds kLongestPauseAfterTheName{250};

int serve(const DaemonOptions& options) {
    std::string error;
    std::unique_ptr<MachineSetup> machine = MachineSetup::create(options, error);
    if (!machine) {
        std::fprintf(stderr, "drivethermd: %s\n", error.c_str());
        return 1;
    }

    // systemd creates the state directory; by hand it may not exist yet.
    if (::mkdir(options.stateDirectory.c_str(), 0755) != 0 && errno != EEXIST) {
        log::warning(kTag, "cannot create %s: %s; settings will not be stored",
                     options.stateDirectory.c_str(), std::strerror(errno));
    }
    PlistPreferenceStore store(
        options.stateDirectory, kDomain,
        {HDDDaemon::kBaseRpmKey, HDDDaemon::kLowerThresholdKey, HDDDaemon::kUpperThresholdKey,
         HDDDaemon::kFahrenheitKey, HDDDaemon::kPinToBaseKey, HDDDaemon::kHDDNameKey,
         HDDDaemon::kUseAmbientTempKey, HDDDaemon::kFanIndexKey});
    SystemHardware hardware(machine->smc(), machine->disks());
    machine->attach(hardware);
    HDDDaemon daemon(hardware, store);
    daemon.readPreferences();
    daemon.chooseFan();

    // The name comes before the first tick: that tick checks the disk, and a disk that does not
    // answer holds it for its six seconds of retries. The front ends started with the daemon wait
    // for the name; they get their first answers in the tick (a quarter second at most) before
    // that check. A bus that gives no answer about the name holds the fan a second at most.
    EventLoop loop;
    loop.startTicks(
        options.tickInterval,
        [&] {
            machine->beforeTick();
            daemon.timer();
        },
        kLongestWaitForTheName);
    DbusService service(loop, daemon, options.bus, machine->simulator());
    service.start([&] {
        loop.bringFirstTickForward(std::min(options.tickInterval, kLongestPauseAfterTheName));
    });
    log::info(kTag, "following the disk on %s; a tick every %lld ms", machine->describe().c_str(),
              static_cast<long long>(options.tickInterval.count()));

    const int result = loop.run();

    // Stopping: nothing the user set may be lost, and the fans go back to the SMC.
    if (daemon.needWrite()) daemon.storePreferences();
    machine->handBack();
    if (loop.terminatingSignal() != 0) {
        log::info(kTag, "stopped by signal %d", loop.terminatingSignal());
    }
    log::debug(kTag, "%llu ticks in %.3f s, %llu dropped, the latest %.3f ms late",
               static_cast<unsigned long long>(loop.ticksFired()), loop.elapsedUsec() / 1e6,
               static_cast<unsigned long long>(loop.ticksDropped()),
               loop.worstLatenessUsec() / 1e3);
    return result < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    std::optional<DaemonOptions> options =
        parseDaemonOptions(arguments, defaultMachineFile(), error);
    if (!options) {
        std::fprintf(stderr, "drivethermd: %s\n", error.c_str());
        return 2;
    }
    if (options->showHelp) {
        std::fputs(daemonUsage("drivethermd").c_str(), stdout);
        return 0;
    }
    if (options->showVersion) {
        std::printf("drivethermd %s\n", DRIVETHERM_VERSION);
        return 0;
    }
    // In the journal, the temperature check once a minute belongs in the record by default; on
    // a terminal the daemon stays quiet until asked with -v.
    log::setLevel(options->verbose                  ? log::Level::Debug
                  : JournalEntry::stderrIsJournal() ? log::Level::Info
                                                    : log::Level::Warning);
    // Lines reach the journal as they are written, not when a buffer fills.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    try {
        return serve(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drivethermd: %s\n", e.what());
        return 1;
    }
}
