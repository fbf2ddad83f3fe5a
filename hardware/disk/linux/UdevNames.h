// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace drivetherm {

// Pure helpers for the names and strings the Linux disk registry shows: the drive's model as
// the drive list and the daemon's disk selection compare it, and the order that numbers the
// whole disks disk0, disk1, ...

// Decodes udev's "\xHH" escapes (ID_MODEL_ENC writes blanks as "\x20"); a backslash that does
// not start such an escape stays as it is.
std::string decodeUdevEscapes(std::string_view encoded);

// Removes trailing blanks (spaces, tabs, line ends and NUL padding).
std::string trimTrailingBlanks(std::string_view text);

// Makes a model string safe to show and to send over the bus: valid UTF-8 kept, every invalid
// byte and control character replaced by '?'.
std::string printableText(std::string_view bytes);

// The model string from udev's ID_MODEL_ENC, or from sysfs "device/model": decoded, printable,
// trailing blanks removed. Both sources give the same string for the same drive.
std::string modelFromUdev(std::string_view encoded);
std::string modelFromSysfs(std::string_view raw);

// The natural order of kernel disk names: sda < sdb < ... < sdz < sdaa, nvme0n1 < nvme1n1 <
// nvme10n1, mmcblk2 < mmcblk10. Runs of digits compare by value; the letters that number
// "sd", "hd", "vd" and "xvd" disks compare by length first.
bool kernelNameLess(std::string_view a, std::string_view b);

// A name that may become one component of a path under /dev or /sys: not empty, at most 255
// bytes, no '/', no NUL, not "." or "..".
bool isSafeDeviceName(std::string_view name);

}  // namespace drivetherm
