// SPDX-License-Identifier: GPL-2.0-or-later
// The "smc" member of a machine file: the simulated controller's fans, sensors and keys.
#include <set>

#include "hardware/machine/MachineSections.h"
#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/sim/SimSmcController.h"

namespace drivetherm {
namespace {

using nlohmann::json;

// The file's one-line messages, "FILE:LINE: smc.fans[1].min: expected ...", and the checks
// every member of the section shares.
class Reporter {
public:
    explicit Reporter(const MachineFile& file) : file_(file) {}

    [[noreturn]] void fail(const std::string& member, const std::string& what) const {
        file_.fail(member, what);
    }

    void requireObject(const json& value, const std::string& member) const {
        if (!value.is_object()) fail(member, "expected an object");
    }

    void checkMembers(const json& object, const std::string& member,
                      std::initializer_list<const char*> allowed) const {
        for (const auto& [name, value] : object.items()) {
            bool known = false;
            for (const char* candidate : allowed) known = known || name == candidate;
            if (!known) fail(member + "." + name, "unknown member");
        }
    }

private:
    const MachineFile& file_;
};

bool isPrintableKey(const std::string& text) {
    if (text.size() != 4) return false;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::vector<std::uint8_t> fpe2Bytes(int rpm) {
    std::vector<std::uint8_t> bytes(2);
    encodeFpe2(rpm, bytes.data());
    return bytes;
}

int readRpm(const Reporter& report, const json& fan, const std::string& member, const char* name,
            int fallback, bool required) {
    const auto it = fan.find(name);
    if (it == fan.end()) {
        if (required) report.fail(member + "." + name, "missing (an integer rpm)");
        return fallback;
    }
    if (!it->is_number_integer() || it->get<std::int64_t>() < 0 ||
        it->get<std::int64_t>() > kSmcMaxFpe2Rpm) {
        report.fail(member + "." + name, "expected an integer rpm from 0 to 16383");
    }
    return it->get<int>();
}

std::vector<std::uint8_t> fanIdBytes(const Reporter& report, const json& fan,
                                     const std::string& member) {
    // "{fds": four bytes of fan type, zone and location, then twelve bytes of name.
    std::vector<std::uint8_t> bytes(16, 0);
    const auto it = fan.find("id");
    if (it == fan.end()) return bytes;
    if (!it->is_string() || it->get<std::string>().size() > 12) {
        report.fail(member + ".id", "expected a text of at most 12 characters");
    }
    const std::string id = it->get<std::string>();
    std::copy(id.begin(), id.end(), bytes.begin() + 4);
    return bytes;
}

void addFans(SimSmcController& smc, const Reporter& report, const json& fans,
             std::set<std::string>& names) {
    if (!fans.is_array()) report.fail("smc.fans", "expected an array of fan objects");
    if (fans.size() > 10) report.fail("smc.fans", "at most 10 fans (fan keys carry one digit)");
    for (std::size_t i = 0; i < fans.size(); ++i) {
        const std::string member = "smc.fans[" + std::to_string(i) + "]";
        const json& fan = fans[i];
        report.requireObject(fan, member);
        report.checkMembers(fan, member, {"id", "actual", "min", "max", "safe", "target"});
        const int minimum = readRpm(report, fan, member, "min", 0, true);
        const int maximum = readRpm(report, fan, member, "max", 0, true);
        const int actual = readRpm(report, fan, member, "actual", minimum, false);
        const int safe = readRpm(report, fan, member, "safe", minimum, false);
        const int target = readRpm(report, fan, member, "target", 0, false);
        const std::string n = std::to_string(i);
        smc.setKey("F" + n + "Ac", "fpe2", fpe2Bytes(actual));
        smc.setKey("F" + n + "ID", "{fds", fanIdBytes(report, fan, member));
        smc.setKey("F" + n + "Mn", "fpe2", fpe2Bytes(minimum));
        smc.setKey("F" + n + "Mx", "fpe2", fpe2Bytes(maximum));
        smc.setKey("F" + n + "Sf", "fpe2", fpe2Bytes(safe));
        smc.setKey("F" + n + "Tg", "fpe2", fpe2Bytes(target));
        for (const char* suffix : {"Ac", "ID", "Mn", "Mx", "Sf", "Tg"})
            names.insert("F" + n + suffix);
    }
    smc.setKey("FNum", "ui8 ", {static_cast<std::uint8_t>(fans.size())});
}

void addSensors(SimSmcController& smc, const Reporter& report, const json& sensors,
                std::set<std::string>& names) {
    report.requireObject(sensors, "smc.sensors");
    for (const auto& [name, celsius] : sensors.items()) {
        const std::string member = "smc.sensors." + name;
        if (!isPrintableKey(name))
            report.fail(member, "expected a key of four printable characters");
        if (names.count(name) != 0)
            report.fail(member, "the key " + name + " is already a fan key");
        if (!celsius.is_number() || celsius.get<double>() < -128.0 ||
            celsius.get<double>() >= 128.0) {
            report.fail(member, "expected a temperature in °C from -128 to 127.99");
        }
        std::vector<std::uint8_t> bytes(2);
        encodeSp78(celsius.get<double>(), bytes.data());
        smc.setKey(name, "sp78", std::move(bytes));
        names.insert(name);
    }
}

void addRawKeys(SimSmcController& smc, const Reporter& report, const json& keys) {
    if (!keys.is_array()) report.fail("smc.keys", "expected an array of key objects");
    std::set<std::string> given;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string member = "smc.keys[" + std::to_string(i) + "]";
        const json& entry = keys[i];
        report.requireObject(entry, member);
        report.checkMembers(entry, member, {"key", "type", "bytes"});
        for (const char* field : {"key", "type", "bytes"}) {
            if (!entry.contains(field)) report.fail(member + "." + field, "missing");
        }
        if (!entry["key"].is_string() || !isPrintableKey(entry["key"].get<std::string>())) {
            report.fail(member + ".key", "expected a key of four printable characters");
        }
        if (!entry["type"].is_string() || !isPrintableKey(entry["type"].get<std::string>())) {
            report.fail(member + ".type",
                        "expected a type of four printable characters (\"ui8 \")");
        }
        const std::string name = entry["key"].get<std::string>();
        if (name == "#KEY")
            report.fail(member + ".key", "#KEY is the key count and cannot be given");
        if (!given.insert(name).second) report.fail(member + ".key", name + " is given twice");
        std::vector<std::uint8_t> bytes;
        if (!entry["bytes"].is_string() ||
            !parseSmcHexBytes(entry["bytes"].get<std::string>(), bytes) || bytes.empty()) {
            report.fail(member + ".bytes", "expected 1 to 32 bytes as hex digits (\"1f40\")");
        }
        // A raw key may replace a generated one, to give it another type or size.
        smc.setKey(name, entry["type"].get<std::string>(), std::move(bytes));
    }
}

void applyFaults(SimSmcController& smc, const Reporter& report, const json& faults) {
    report.requireObject(faults, "smc.faults");
    report.checkMembers(faults, "smc.faults", {"open", "exchange"});
    if (const auto it = faults.find("open"); it != faults.end()) {
        const std::string open = it->is_string() ? it->get<std::string>() : "";
        if (open == "no-service") {
            smc.setOpenFault(SimSmcController::OpenFault::NoService);
        } else if (open == "matching-failed") {
            smc.setOpenFault(SimSmcController::OpenFault::MatchingFailed);
        } else if (open == "open-failed") {
            smc.setOpenFault(SimSmcController::OpenFault::OpenFailed);
        } else if (open != "none") {
            report.fail(
                "smc.faults.open",
                "expected \"none\", \"no-service\", \"matching-failed\" or \"open-failed\"");
        }
    }
    if (const auto it = faults.find("exchange"); it != faults.end()) {
        if (!it->is_boolean()) report.fail("smc.faults.exchange", "expected true or false");
        smc.setExchangeFault(it->get<bool>());
    }
}

}  // namespace

std::shared_ptr<SimSmcController> readSmcSection(const MachineFile& file) {
    const auto found = file.root().find("smc");
    if (found == file.root().end()) file.fail("smc", "missing: a machine needs an SMC");
    const json& smcSection = *found;
    const Reporter report(file);
    report.requireObject(smcSection, "smc");
    report.checkMembers(smcSection, "smc", {"fans", "sensors", "keys", "forced", "faults"});

    auto smc = std::make_shared<SimSmcController>();
    std::set<std::string> names;
    addFans(*smc, report, smcSection.contains("fans") ? smcSection["fans"] : json::array(), names);
    if (smcSection.contains("sensors")) addSensors(*smc, report, smcSection["sensors"], names);

    std::uint32_t forced = 0;
    if (const auto it = smcSection.find("forced"); it != smcSection.end()) {
        if (!it->is_number_integer() || it->get<std::int64_t>() < 0 ||
            it->get<std::int64_t>() > 0xFFFF) {
            report.fail("smc.forced", "expected an integer mask from 0 to 65535");
        }
        forced = it->get<std::uint32_t>();
    }
    smc->setKey("FS! ", "ui16",
                {static_cast<std::uint8_t>(forced >> 8), static_cast<std::uint8_t>(forced)});

    if (smcSection.contains("keys")) addRawKeys(*smc, report, smcSection["keys"]);
    if (smcSection.contains("faults")) applyFaults(*smc, report, smcSection["faults"]);
    return smc;
}

}  // namespace drivetherm
