// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermctl: read and change the fan daemon's settings, read the disk's temperature and the
// fan's speed, watch them live.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/TemperatureText.h"
#include "protocol/BusConnection.h"
#include "protocol/DbusDaemonClient.h"
#include "protocol/SimulatorClient.h"

using namespace drivetherm;

namespace {

enum Exit {
    kOk = 0,
    kNotRunning = 1,
    kUsage = 2,
    kRefused = 3,
    kLost = 4,
};

const char* const kKeys[] = {"baseRpm",   "lowerThreshold", "upperThreshold", "fahrenheit",
                             "pinToBase", "HDDName",        "useAmbientTemp"};

void usage(std::FILE* out) {
    std::fputs(
        "Usage: drivethermctl [--bus system|session|ADDRESS] COMMAND\n"
        "Reads and changes the settings of the fan daemon (drivethermd).\n"
        "\n"
        "  status            every setting and a fresh reading\n"
        "  get KEY           one setting\n"
        "  set KEY VALUE     change one setting (root, or as polkit allows)\n"
        "  temp              a fresh reading: temperature and fan speed\n"
        "  watch [SECONDS]   a reading every SECONDS (default 1) until Ctrl-C\n"
        "\n"
        "On the simulated machine (drivethermd --hardware sim):\n"
        "  simulate read-key KEY                  an SMC key as a read sees it\n"
        "  simulate sensor KEY CELSIUS            set a temperature sensor\n"
        "  simulate drive-temperature DISK CELSIUS  set a disk's SMART temperature\n"
        "  simulate drive-fault DISK FAULT        none, timeout, not-responding, busy,\n"
        "                                         no-attribute or absent\n"
        "\n"
        "KEY is one of baseRpm (rpm), lowerThreshold and upperThreshold (degrees Celsius),\n"
        "fahrenheit, pinToBase and useAmbientTemp (true or false), HDDName (a drive's model,\n"
        "\"\" for the default disk).\n",
        out);
}

bool isKey(const std::string& key) {
    for (const char* k : kKeys) {
        if (key == k) return true;
    }
    return false;
}

std::string describe(DaemonProtocol& daemon, const std::string& key) {
    char buffer[64];
    if (key == "baseRpm") return std::to_string(daemon.baseRpm());
    if (key == "lowerThreshold") {
        std::snprintf(buffer, sizeof buffer, "%g", double{daemon.lowerThreshold()});
        return buffer;
    }
    if (key == "upperThreshold") {
        std::snprintf(buffer, sizeof buffer, "%g", double{daemon.upperThreshold()});
        return buffer;
    }
    if (key == "fahrenheit") return daemon.fahrenheit() ? "true" : "false";
    if (key == "pinToBase") return daemon.pinToBase() ? "true" : "false";
    if (key == "useAmbientTemp") return daemon.useAmbientTemp() ? "true" : "false";
    return daemon.HDDName().value_or("");
}

bool parseBool(const std::string& text, bool& value) {
    if (text == "true" || text == "yes" || text == "on" || text == "1") {
        value = true;
        return true;
    }
    if (text == "false" || text == "no" || text == "off" || text == "0") {
        value = false;
        return true;
    }
    return false;
}

// Sets one key; false with a message on a value that is not of the key's kind.
bool set(DaemonProtocol& daemon, const std::string& key, const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (key == "baseRpm") {
        int rpm = 0;
        const auto [p, ec] = std::from_chars(begin, end, rpm);
        if (ec != std::errc() || p != end || rpm < 0 || rpm > 16383) {
            std::fprintf(stderr, "drivethermctl: baseRpm must be a whole number of rpm from 0 to "
                                 "16383, not \"%s\"\n", text.c_str());
            return false;
        }
        daemon.setBaseRpm(rpm);
        return true;
    }
    if (key == "lowerThreshold" || key == "upperThreshold") {
        double celsius = 0;
        const auto [p, ec] = std::from_chars(begin, end, celsius);
        if (ec != std::errc() || p != end || !std::isfinite(celsius) || celsius < -50 ||
            celsius > 150) {
            std::fprintf(stderr, "drivethermctl: %s must be degrees Celsius from -50 to 150, "
                                 "not \"%s\"\n", key.c_str(), text.c_str());
            return false;
        }
        if (key == "lowerThreshold") {
            daemon.setLowerThreshold(static_cast<float>(celsius));
        } else {
            daemon.setUpperThreshold(static_cast<float>(celsius));
        }
        return true;
    }
    if (key == "HDDName") {
        daemon.setHDDName(text.empty() ? std::nullopt : std::optional<std::string>(text));
        daemon.writeValues();  // a drive name alone does not make the daemon store its settings
        return true;
    }
    bool flag = false;
    if (!parseBool(text, flag)) {
        std::fprintf(stderr, "drivethermctl: %s must be true or false, not \"%s\"\n", key.c_str(),
                     text.c_str());
        return false;
    }
    if (key == "fahrenheit") daemon.setFahrenheit(flag);
    if (key == "pinToBase") daemon.setPinToBase(flag);
    if (key == "useAmbientTemp") daemon.setUseAmbientTemp(flag);
    return true;
}

std::string reading(DaemonProtocol& daemon, bool fahrenheit) {
    float celsius = 0;
    int rpm = 0;
    daemon.temperature(&celsius, &rpm);
    const std::string temperature =
        celsius == 0.0f ? "no reading" : temperatureText(celsius, fahrenheit);
    const std::string speed = rpm < 0 ? "fan unreadable" : std::to_string(rpm) + " rpm";
    return temperature + "  " + speed;
}

volatile sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

int watch(DaemonProtocol& daemon, double seconds) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    while (!interrupted) {
        const bool fahrenheit = daemon.fahrenheit();
        // The tray's query: no disk read, so watching never keeps the disk busy.
        float celsius = 0;
        int rpm = 0;
        daemon.lastTemperature(&celsius, &rpm);
        char stamp[16];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
        const std::string temperature =
            celsius == 0.0f ? "no reading" : temperatureText(celsius, fahrenheit);
        std::printf("%s  disk %-9s  fan %5d rpm\n", stamp, temperature.c_str(), rpm);
        std::fflush(stdout);
        ::poll(nullptr, 0, static_cast<int>(seconds * 1000));
    }
    return kOk;
}


// The simulated machine's own interface, for people and scripts that want to look inside.
int simulate(const std::string& busName, const std::vector<std::string>& args) {
    std::string error;
    const auto simulator = SimulatorClient::connect(busName, error);
    if (!simulator) {
        std::fprintf(stderr, "drivethermctl: %s\n", error.c_str());
        return kNotRunning;
    }
    const std::string& what = args[1];
    auto number = [&](const std::string& text, double& value) {
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && p == text.data() + text.size() && std::isfinite(value);
    };
    double value = 0;
    try {
        if (what == "read-key" && args.size() == 3) {
            const SimulatorClient::Key key = simulator->readKey(args[2]);
            std::printf("%s [%-4s] status %08x bytes", args[2].c_str(), key.type.c_str(),
                        key.status);
            for (const std::uint8_t byte : key.bytes) std::printf(" %02x", byte);
            std::printf("\n");
        } else if (what == "sensor" && args.size() == 4 && number(args[3], value)) {
            simulator->setSensorTemperature(args[2], value);
        } else if (what == "drive-temperature" && args.size() == 4 && number(args[3], value) &&
                   value >= 0 && value <= 255) {
            simulator->setDriveTemperature(args[2], static_cast<std::uint8_t>(value));
        } else if (what == "drive-fault" && args.size() == 4) {
            simulator->setDriveFault(args[2], args[3]);
        } else {
            std::fprintf(stderr,
                         "drivethermctl: cannot understand \"simulate %s\"; see "
                         "drivethermctl --help\n",
                         what.c_str());
            return kUsage;
        }
    } catch (const DaemonError& e) {
        std::fprintf(stderr, "drivethermctl: the simulated machine did not answer: %s\n", e.what());
        return dynamic_cast<const DaemonRefused*>(&e) ? kRefused : kLost;
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string bus = "system";
    if (!args.empty() && args[0].rfind("--bus=", 0) == 0) {
        bus = args[0].substr(6);
        args.erase(args.begin());
    } else if (args.size() >= 2 && args[0] == "--bus") {
        bus = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        usage(args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    const std::string command = args[0];
    const std::size_t operands = args.size() - 1;
    const bool known = (command == "status" && operands == 0) ||
                       (command == "temp" && operands == 0) ||
                       (command == "get" && operands == 1) ||
                       (command == "set" && operands == 2) ||
                       (command == "watch" && operands <= 1) ||
                       (command == "simulate" && operands >= 2);
    if (!known) {
        std::fprintf(stderr, "drivethermctl: cannot understand \"%s\" with %zu operand(s); see "
                             "drivethermctl --help\n", command.c_str(), operands);
        return kUsage;
    }
    if ((command == "get" || command == "set") && !isKey(args[1])) {
        std::fprintf(stderr, "drivethermctl: no setting is called \"%s\"; see drivethermctl "
                             "--help\n", args[1].c_str());
        return kUsage;
    }
    double interval = 1.0;
    if (command == "watch" && operands == 1) {
        const auto [p, ec] = std::from_chars(args[1].data(), args[1].data() + args[1].size(),
                                             interval);
        if (ec != std::errc() || p != args[1].data() + args[1].size() || !(interval >= 0.1) ||
            interval > 3600) {
            std::fprintf(stderr, "drivethermctl: watch needs seconds from 0.1 to 3600\n");
            return kUsage;
        }
    }

    if (command == "simulate") return simulate(bus, args);

    DaemonProxy daemon = DbusDaemonClient::bind(bus);
    if (daemon.isNone()) {
        std::fprintf(stderr, "drivethermctl: the fan daemon is not running on the %s bus (start "
                             "it with: systemctl start drivethermd)\n", bus.c_str());
        return kNotRunning;
    }
    try {
        if (command == "status") {
            for (const char* key : kKeys) {
                std::printf("%-15s %s\n", key, describe(daemon, key).c_str());
            }
            std::printf("%-15s %s\n", "reading", reading(daemon, daemon.fahrenheit()).c_str());
        } else if (command == "get") {
            std::printf("%s\n", describe(daemon, args[1]).c_str());
        } else if (command == "set") {
            if (!set(daemon, args[1], args[2])) return kUsage;
        } else if (command == "temp") {
            std::printf("%s\n", reading(daemon, daemon.fahrenheit()).c_str());
        } else {
            return watch(daemon, interval);
        }
    } catch (const DaemonRefused& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return kRefused;
    } catch (const DaemonError& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return kLost;
    }
    return kOk;
}
