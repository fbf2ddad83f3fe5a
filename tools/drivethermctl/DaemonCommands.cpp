// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/DaemonCommands.h"

#include <poll.h>
#include <signal.h>

#include <charconv>
#include <cmath>
#include <ctime>

#include "common/TemperatureText.h"

namespace drivetherm {
namespace {

volatile sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
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

// All of `text` as a number of type T; nothing else may follow it.
template <class T>
bool parseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end;
}

std::string temperatureOrNone(float celsius, bool fahrenheit) {
    return celsius == 0.0f ? "no reading" : temperatureText(celsius, fahrenheit);
}

}  // namespace

bool DaemonCommands::isKey(const std::string& key) {
    for (const char* k : kKeys) {
        if (key == k) return true;
    }
    return false;
}

std::string DaemonCommands::describe(const std::string& key) {
    char buffer[64];
    if (key == "baseRpm") return std::to_string(daemon_.baseRpm());
    if (key == "lowerThreshold" || key == "upperThreshold") {
        const float celsius =
            key == "lowerThreshold" ? daemon_.lowerThreshold() : daemon_.upperThreshold();
        std::snprintf(buffer, sizeof buffer, "%g", double{celsius});
        return buffer;
    }
    if (key == "fahrenheit") return daemon_.fahrenheit() ? "true" : "false";
    if (key == "pinToBase") return daemon_.pinToBase() ? "true" : "false";
    if (key == "useAmbientTemp") return daemon_.useAmbientTemp() ? "true" : "false";
    return daemon_.HDDName().value_or("");
}

std::string DaemonCommands::reading(bool fahrenheit) {
    float celsius = 0;
    int rpm = 0;
    daemon_.temperature(&celsius, &rpm);
    const std::string speed = rpm < 0 ? "fan unreadable" : std::to_string(rpm) + " rpm";
    return temperatureOrNone(celsius, fahrenheit) + "  " + speed;
}

void DaemonCommands::status() {
    for (const char* key : kKeys) std::fprintf(out_, "%-15s %s\n", key, describe(key).c_str());
    std::fprintf(out_, "%-15s %s\n", "reading", reading(daemon_.fahrenheit()).c_str());
}

void DaemonCommands::get(const std::string& key) {
    std::fprintf(out_, "%s\n", describe(key).c_str());
}

void DaemonCommands::temp() {
    std::fprintf(out_, "%s\n", reading(daemon_.fahrenheit()).c_str());
}

void DaemonCommands::problem(const std::string& key, const char* wanted, const std::string& text) {
    std::fprintf(err_, "drivethermctl: %s must be %s, not \"%s\"\n", key.c_str(), wanted,
                 text.c_str());
}

bool DaemonCommands::set(const std::string& key, const std::string& text) {
    if (key == "baseRpm") {
        int rpm = 0;
        if (!parseNumber(text, rpm) || rpm < 0 || rpm > 16383) {
            problem(key, "a whole number of rpm from 0 to 16383", text);
            return false;
        }
        daemon_.setBaseRpm(rpm);
        return true;
    }
    if (key == "lowerThreshold" || key == "upperThreshold") {
        double celsius = 0;
        if (!parseNumber(text, celsius) || !std::isfinite(celsius) || celsius < -50 ||
            celsius > 150) {
            problem(key, "degrees Celsius from -50 to 150", text);
            return false;
        }
        if (key == "lowerThreshold") {
            daemon_.setLowerThreshold(static_cast<float>(celsius));
        } else {
            daemon_.setUpperThreshold(static_cast<float>(celsius));
        }
        return true;
    }
    if (key == "HDDName") {
        daemon_.setHDDName(text.empty() ? std::nullopt : std::optional<std::string>(text));
        daemon_.writeValues();  // a drive name alone does not make the daemon store its settings
        return true;
    }
    bool flag = false;
    if (!parseBool(text, flag)) {
        problem(key, "true or false", text);
        return false;
    }
    if (key == "fahrenheit") daemon_.setFahrenheit(flag);
    if (key == "pinToBase") daemon_.setPinToBase(flag);
    if (key == "useAmbientTemp") daemon_.setUseAmbientTemp(flag);
    return true;
}

void DaemonCommands::watch(double seconds) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    while (!interrupted) {
        const bool fahrenheit = daemon_.fahrenheit();
        // The tray's query: no disk read, so watching never keeps the disk busy.
        float celsius = 0;
        int rpm = 0;
        daemon_.lastTemperature(&celsius, &rpm);
        char stamp[16];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
        std::fprintf(out_, "%s  disk %-9s  fan %5d rpm\n", stamp,
                     temperatureOrNone(celsius, fahrenheit).c_str(), rpm);
        std::fflush(out_);
        ::poll(nullptr, 0, static_cast<int>(seconds * 1000));
    }
}

}  // namespace drivetherm
