// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevLibrarySource.h"

#include <libudev.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace drivetherm {
namespace {

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

std::optional<std::string> attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

// A binary attribute, which libudev's text accessor would cut at the first NUL byte. At most a
// page: the attributes read here are a few hundred bytes.
std::optional<std::string> binaryAttribute(udev_device* device, const char* name) {
    const char* syspath = udev_device_get_syspath(device);
    if (syspath == nullptr) return std::nullopt;
    std::ifstream file(std::string(syspath) + "/" + name, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(4096, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

}  // namespace

bool UdevLibrarySource::scan(std::vector<UdevBlockDevice>& devices) {
    devices.clear();
    std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context) return false;
    std::unique_ptr<udev_enumerate, UdevUnref> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "block") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return false;

    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        std::unique_ptr<udev_device, UdevUnref> handle(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!handle) continue;
        udev_device* raw = handle.get();

        UdevBlockDevice device;
        device.sysname = text(udev_device_get_sysname(raw));
        device.devtype = text(udev_device_get_devtype(raw));
        if (device.devtype != "disk" && device.devtype != "partition") continue;
        device.isVirtual =
            std::strstr(text(udev_device_get_syspath(raw)).c_str(), "/devices/virtual/") != nullptr;

        udev_list_entry* property = nullptr;
        udev_list_entry_foreach(property, udev_device_get_properties_list_entry(raw)) {
            device.properties.insert_or_assign(text(udev_list_entry_get_name(property)),
                                               text(udev_list_entry_get_value(property)));
        }

        if (device.devtype == "partition") {
            // The parent is owned by the child's handle; it must not be unreferenced here.
            udev_device* parent =
                udev_device_get_parent_with_subsystem_devtype(raw, "block", "disk");
            if (parent != nullptr) device.parentSysname = text(udev_device_get_sysname(parent));
            const auto number = attribute(raw, "partition");
            if (number)
                std::from_chars(number->data(), number->data() + number->size(),
                                device.partitionNumber);
        } else {
            device.vendor = attribute(raw, "device/vendor");
            device.model = attribute(raw, "device/model");
            // Only where udev has not identified the drive; its word on SMART comes first.
            if (!device.properties.contains("ID_ATA"))
                device.ataInformation = binaryAttribute(raw, "device/vpd_pg89");
        }
        devices.push_back(std::move(device));
    }
    return true;
}

}  // namespace drivetherm
