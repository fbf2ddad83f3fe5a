// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/DaemonCommands.h"

#include <poll.h>
#include <signal.h>

#include <charconv>
#include <cmath>
#include <ctime>

#include "common/TemperatureText.h"
#include "tools/drivethermctl/JsonLine.h"

namespace drivetherm {
namespace {

using Kind = CtlSetting::Kind;

// In the order status shows them.
constexpr CtlSetting kSettings[] = {
    {"baseRpm", "base_rpm", Kind::Rpm},
    {"lowerThreshold", "lower_threshold_celsius", Kind::Celsius},
    {"upperThreshold", "upper_threshold_celsius", Kind::Celsius},
    {"fahrenheit", "fahrenheit", Kind::Flag},
    {"pinToBase", "pin_to_base", Kind::Flag},
    {"HDDName", "drive", Kind::Drive},
    {"useAmbientTemp", "use_ambient_temp", Kind::Flag},
    {"fanIndex", "fan_index", Kind::FanIndex},
};

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

// The daemon's 0.0 and -1 mean "no reading": null in JSON.
std::optional<float> celsiusOrNull(float celsius) {
    return celsius == 0.0f ? std::nullopt : std::optional<float>(celsius);
}
std::optional<int> rpmOrNull(int rpm) {
    return rpm < 0 ? std::nullopt : std::optional<int>(rpm);
}

std::string asText(const std::variant<int, float, bool, std::string>& value) {
    if (const int* whole = std::get_if<int>(&value)) return std::to_string(*whole);
    if (const float* celsius = std::get_if<float>(&value)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", double{*celsius});
        return buffer;
    }
    if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    return std::get<std::string>(value);
}

}  // namespace

const CtlSetting* DaemonCommands::find(const std::string& key) {
    for (const CtlSetting& setting : kSettings) {
        if (key == setting.key) return &setting;
    }
    return nullptr;
}

std::optional<SettingValue> DaemonCommands::parseValue(const CtlSetting& setting,
                                                       const std::string& text,
                                                       std::string& error) {
    SettingValue value;
    const char* wanted = nullptr;
    switch (setting.kind) {
        case Kind::Rpm:
            if (parseNumber(text, value.whole) && value.whole >= 0 && value.whole <= 16383) {
                return value;
            }
            wanted = "a whole number of rpm from 0 to 16383";
            break;
        case Kind::Celsius: {
            double celsius = 0;
            if (parseNumber(text, celsius) && std::isfinite(celsius) && celsius >= -50 &&
                celsius <= 150) {
                value.celsius = static_cast<float>(celsius);
                return value;
            }
            wanted = "degrees Celsius from -50 to 150";
            break;
        }
        case Kind::Flag:
            if (parseBool(text, value.flag)) return value;
            wanted = "true or false";
            break;
        case Kind::Drive:
            value.text = text;  // the daemon judges a drive's name
            return value;
        case Kind::FanIndex:
            if (text == "auto") {
                value.whole = -1;
                return value;
            }
            if (parseNumber(text, value.whole) && value.whole >= -1 && value.whole <= 9) {
                return value;
            }
            wanted = "auto (or -1) or a fan's number from 0 to 9";
            break;
    }
    error = std::string(setting.key) + " must be " + wanted + ", not \"" + text + "\"";
    return std::nullopt;
}

DaemonCommands::Value DaemonCommands::read(const CtlSetting& setting) {
    const std::string key = setting.key;
    if (key == "baseRpm") return daemon_.baseRpm();
    if (key == "lowerThreshold") return daemon_.lowerThreshold();
    if (key == "upperThreshold") return daemon_.upperThreshold();
    if (key == "fahrenheit") return daemon_.fahrenheit();
    if (key == "pinToBase") return daemon_.pinToBase();
    if (key == "useAmbientTemp") return daemon_.useAmbientTemp();
    if (key == "fanIndex") return daemon_.fanIndex();
    return daemon_.HDDName().value_or("");
}

void DaemonCommands::add(JsonLine& line, const CtlSetting& setting) {
    std::visit([&](const auto& value) { line.add(setting.field, value); }, read(setting));
}

void DaemonCommands::print(const std::string& text) {
    std::fputs(text.c_str(), out_);
}

std::string DaemonCommands::reading(bool fahrenheit) {
    float celsius = 0;
    int rpm = 0;
    daemon_.temperature(&celsius, &rpm);
    const std::string speed = rpm < 0 ? "fan unreadable" : std::to_string(rpm) + " rpm";
    return temperatureOrNone(celsius, fahrenheit) + "  " + speed;
}

std::string DaemonCommands::drivenFan() {
    const ControlledFan fan = daemon_.controlledFan();
    if (fan.index < 0) return fan.mode;
    int minimum = 0;
    int maximum = 0;
    daemon_.fanRange(&minimum, &maximum);
    std::string text = std::to_string(fan.index);
    if (!fan.label.empty()) text += " (" + fan.label + ")";
    return text + ", " + fan.mode + ", " + std::to_string(minimum) + " to " +
           std::to_string(maximum) + " rpm";
}

void DaemonCommands::addDrivenFan(JsonLine& line) {
    const ControlledFan fan = daemon_.controlledFan();
    int minimum = 0;
    int maximum = 0;
    daemon_.fanRange(&minimum, &maximum);
    // No fan driven: no index and no range.
    const bool driven = fan.index >= 0;
    line.add("driven_fan_index", driven ? std::optional<int>(fan.index) : std::nullopt)
        .add("fan_label", fan.label)
        .add("fan_mode", fan.mode)
        .add("fan_minimum_rpm", driven ? std::optional<int>(minimum) : std::nullopt)
        .add("fan_maximum_rpm", driven ? std::optional<int>(maximum) : std::nullopt);
}

void DaemonCommands::status() {
    if (json_) {
        JsonLine line;
        line.add("running", true);
        for (const CtlSetting& setting : kSettings) add(line, setting);
        float celsius = 0;
        int rpm = 0;
        daemon_.temperature(&celsius, &rpm);
        line.add("temperature_celsius", celsiusOrNull(celsius));
        line.add("fan_rpm", rpmOrNull(rpm));
        addDrivenFan(line);
        print(line.text());
        return;
    }
    for (const CtlSetting& setting : kSettings) {
        std::fprintf(out_, "%-15s %s\n", setting.key, asText(read(setting)).c_str());
    }
    std::fprintf(out_, "%-15s %s\n", "fan", drivenFan().c_str());
    std::fprintf(out_, "%-15s %s\n", "reading", reading(daemon_.fahrenheit()).c_str());
}

void DaemonCommands::get(const CtlSetting& setting) {
    if (json_) {
        JsonLine line;
        add(line, setting);
        print(line.text());
    } else {
        print(asText(read(setting)) + "\n");
    }
}

void DaemonCommands::temp() {
    print(reading(daemon_.fahrenheit()) + "\n");
}

void DaemonCommands::set(const CtlSetting& setting, const SettingValue& value) {
    const std::string key = setting.key;
    if (key == "baseRpm") daemon_.setBaseRpm(value.whole);
    if (key == "lowerThreshold") daemon_.setLowerThreshold(value.celsius);
    if (key == "upperThreshold") daemon_.setUpperThreshold(value.celsius);
    if (key == "fahrenheit") daemon_.setFahrenheit(value.flag);
    if (key == "pinToBase") daemon_.setPinToBase(value.flag);
    if (key == "useAmbientTemp") daemon_.setUseAmbientTemp(value.flag);
    if (key == "fanIndex") daemon_.setFanIndex(value.whole);
    if (key == "HDDName") {
        daemon_.setHDDName(value.text.empty() ? std::nullopt
                                              : std::optional<std::string>(value.text));
        daemon_.writeValues();  // a drive name alone does not make the daemon store its settings
    }
}

void DaemonCommands::watch(double seconds) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    while (!interrupted) {
        // The tray's query: no disk read, so watching never keeps the disk busy.
        float celsius = 0;
        int rpm = 0;
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        if (json_) {
            daemon_.lastTemperature(&celsius, &rpm);
            char stamp[32];
            std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", gmtime_r(&now, &parts));
            print(JsonLine()
                      .add("time", stamp)
                      .add("temperature_celsius", celsiusOrNull(celsius))
                      .add("fan_rpm", rpmOrNull(rpm))
                      .text());
        } else {
            const bool fahrenheit = daemon_.fahrenheit();
            daemon_.lastTemperature(&celsius, &rpm);
            char stamp[16];
            std::strftime(stamp, sizeof stamp, "%H:%M:%S", localtime_r(&now, &parts));
            std::fprintf(out_, "%s  disk %-9s  fan %5d rpm\n", stamp,
                         temperatureOrNone(celsius, fahrenheit).c_str(), rpm);
        }
        std::fflush(out_);
        ::poll(nullptr, 0, static_cast<int>(seconds * 1000));
    }
}

}  // namespace drivetherm
