// SPDX-License-Identifier: GPL-2.0-or-later
// The "drives" array of a machine file: the simulated machine's disks.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>
#include <map>

#include "hardware/disk/sim/SimDriveBay.h"
#include "hardware/machine/MachineSections.h"

namespace drivetherm {
namespace {

// Reads one drive object, or throws the one-line error naming its member.
class DriveParser {
public:
    DriveParser(const nlohmann::json& drive, const MachineFile& file, std::string member)
        : drive_(drive), file_(file), member_(std::move(member)) {}

    [[noreturn]] void fail(const std::string& key, const std::string& problem) const {
        file_.fail(key.empty() ? member_ : member_ + "." + key, problem);
    }

    const nlohmann::json* member(const char* key) const {
        const auto found = drive_.find(key);
        return found != drive_.end() ? &*found : nullptr;
    }

    std::string string(const char* key, bool required) const {
        const nlohmann::json* value = member(key);
        if (value == nullptr) {
            if (required) fail("", std::string("missing \"") + key + "\"");
            return {};
        }
        if (!value->is_string()) fail(key, "expected a string");
        return value->get<std::string>();
    }

    std::optional<std::int64_t> integer(const char* key, std::int64_t lowest,
                                        std::int64_t highest) const {
        const nlohmann::json* value = member(key);
        if (value == nullptr) return std::nullopt;
        const std::string range =
            "expected an integer from " + std::to_string(lowest) + " to " + std::to_string(highest);
        if (!value->is_number_integer()) fail(key, range);
        if (value->is_number_unsigned() &&
            value->get<std::uint64_t>() > static_cast<std::uint64_t>(highest))
            fail(key, range);
        const auto number = value->get<std::int64_t>();
        if (number < lowest || number > highest) fail(key, range);
        return number;
    }

    SmartDataBlock smartData() const {
        const std::string hex = string("smartData", true);
        SmartDataBlock block{};
        std::size_t digits = 0;
        for (const char c : hex) {
            if (std::isspace(static_cast<unsigned char>(c))) continue;
            if (!std::isxdigit(static_cast<unsigned char>(c)) || digits >= 2 * kSmartDataSize)
                fail("smartData", "expected 512 bytes as 1024 hex digits");
            const int nibble =
                std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
            block[digits / 2] = static_cast<std::uint8_t>(block[digits / 2] << 4 | nibble);
            ++digits;
        }
        if (digits != 2 * kSmartDataSize)
            fail("smartData", "expected 512 bytes as 1024 hex digits");
        return block;
    }

private:
    const nlohmann::json& drive_;
    const MachineFile& file_;
    std::string member_;
};

bool isBsdDiskName(const std::string& name) {
    if (name.size() < 5 || !name.starts_with("disk")) return false;
    for (std::size_t i = 4; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

SimDrive parseDrive(const nlohmann::json& json, const MachineFile& file, std::size_t index) {
    const std::string member = "drives[" + std::to_string(index) + "]";
    const DriveParser parser(json, file, member);
    if (!json.is_object()) parser.fail("", "expected an object");
    static const char* const known[] = {
        "bsdName",           "model",     "smart", "ataFeatures", "interface", "temperature",
        "temperatureSource", "smartData", "fault", "faultCount",  "powerMode"};
    for (const auto& item : json.items()) {
        if (std::find_if(std::begin(known), std::end(known),
                         [&](const char* k) { return item.key() == k; }) == std::end(known))
            parser.fail(item.key(), "unknown member");
    }

    SimDrive::Config config;
    config.bsdName = parser.string("bsdName", true);
    if (!isBsdDiskName(config.bsdName))
        parser.fail("bsdName", "expected a whole-disk name such as \"disk0\"");
    config.model = parser.string("model", true);
    if (config.model.empty())
        parser.fail("model", "expected the drive's model string, not an empty one");

    const std::string smart = parser.string("smart", true);
    if (smart == "property")
        config.smart = SimSmartSupport::Property;
    else if (smart == "ata-features")
        config.smart = SimSmartSupport::AtaFeatures;
    else if (smart == "none")
        config.smart = SimSmartSupport::None;
    else
        parser.fail("smart", "expected \"property\", \"ata-features\" or \"none\"");
    const auto features = parser.integer("ataFeatures", 0, 0xFFFF);
    if (config.smart == SimSmartSupport::AtaFeatures && !features)
        parser.fail("ataFeatures",
                    "missing: \"ata-features\" needs the feature bits (0x20 = SMART)");
    if (config.smart != SimSmartSupport::AtaFeatures && features)
        parser.fail("ataFeatures", "only with \"smart\": \"ata-features\"");
    config.ataFeatures = features.value_or(0);

    const std::string interface = parser.string("interface", false);
    if (!interface.empty() && interface != "ata" && interface != "nvme")
        parser.fail("interface", "expected \"ata\" or \"nvme\"");
    const bool nvme = interface == "nvme";
    config.interface = nvme ? SimDriveInterface::Nvme : SimDriveInterface::Ata;
    if (nvme && config.smart == SimSmartSupport::AtaFeatures)
        parser.fail("smart", "an NVMe drive has no ATA features: \"property\" or \"none\"");

    const auto temperature = parser.integer("temperature", 0, 255);
    const bool hasData = parser.member("smartData") != nullptr;
    if (temperature && hasData)
        parser.fail("smartData", "give either \"temperature\" or \"smartData\", not both");
    if (!temperature && !hasData && config.smart != SimSmartSupport::None)
        parser.fail("", "missing \"temperature\" (or \"smartData\")");
    const std::string source = parser.string("temperatureSource", false);
    if (!source.empty()) {
        if (nvme) parser.fail("temperatureSource", "only for an ATA drive");
        if (!temperature) parser.fail("temperatureSource", "only with \"temperature\"");
        if (source != "attribute-194" && source != "attribute-190" && source != "sct")
            parser.fail("temperatureSource",
                        "expected \"attribute-194\", \"attribute-190\" or \"sct\"");
    }
    const auto celsius = static_cast<std::uint8_t>(temperature.value_or(0));
    if (hasData)
        config.block = parser.smartData();
    else if (nvme)
        config.block = SimDrive::healthLogAround(celsius);
    else if (source == "attribute-190")
        config.block = SimDrive::blockAround(celsius, kSmartAirflowTemperatureAttribute);
    else if (source == "sct")
        config.block = SimDrive::blockAround(celsius, 0);
    else
        config.block = SimDrive::blockAround(celsius);
    if (source == "sct") config.sctStatus = SimDrive::sctStatusAround(celsius);

    const std::string fault = parser.string("fault", false);
    if (!fault.empty()) {
        const auto parsed = simDriveFaultFromName(fault);
        if (!parsed)
            parser.fail("fault",
                        "expected \"none\", \"timeout\", \"not-responding\", \"busy\", "
                        "\"no-attribute\" or \"absent\"");
        config.fault = *parsed;
    }
    if (const auto count = parser.integer("faultCount", 1, std::numeric_limits<int>::max())) {
        if (config.fault != SimDriveFault::Timeout && config.fault != SimDriveFault::NotResponding)
            parser.fail("faultCount", "only with \"fault\": \"timeout\" or \"not-responding\"");
        config.faultCount = static_cast<int>(*count);
    }
    const std::string power = parser.string("powerMode", false);
    if (!power.empty() && power != "active" && power != "standby")
        parser.fail("powerMode", "expected \"active\" or \"standby\"");
    config.standby = power == "standby";
    return SimDrive(std::move(config));
}

}  // namespace

std::unique_ptr<SimDriveBay> readDrivesSection(const MachineFile& file) {
    const auto found = file.root().find("drives");
    const nlohmann::json drivesArray = found != file.root().end() ? *found : nlohmann::json();
    std::vector<SimDrive> drives;
    if (drivesArray.is_null()) return std::make_unique<SimDriveBay>(std::move(drives));
    if (!drivesArray.is_array()) file.fail("drives", "expected an array of drives");
    std::map<std::string, std::size_t> seen;
    for (std::size_t index = 0; index < drivesArray.size(); ++index) {
        SimDrive drive = parseDrive(drivesArray[index], file, index);
        const auto [previous, fresh] = seen.emplace(drive.bsdName(), index);
        if (!fresh)
            file.fail("drives[" + std::to_string(index) + "].bsdName",
                      "\"" + drive.bsdName() + "\" is already drives[" +
                          std::to_string(previous->second) + "]");
        drives.push_back(std::move(drive));
    }
    return std::make_unique<SimDriveBay>(std::move(drives));
}

}  // namespace drivetherm
