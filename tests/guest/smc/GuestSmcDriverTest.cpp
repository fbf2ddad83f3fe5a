// SPDX-License-Identifier: GPL-2.0-or-later
// The kernel's own applesmc driver bound to the emulated SMC of a real Mac's key table: what it
// shows in sysfs, and drivetherm-smc's listing, reads and writes through it, each compared with
// the table and with what the SMC itself holds and was sent.
#include <fcntl.h>
#include <sys/klog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <regex>
#include <sstream>

#include "tests/guest/smc/GuestSmcFixture.h"

namespace drivetherm::guest {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string kernelLog() {
    std::string text(1 << 20, '\0');
    const int length =
        ::klogctl(3 /* SYSLOG_ACTION_READ_ALL */, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

// One attribute of the driver, as one read(2) gives it (the way the transport reads it).
std::string attribute(const std::string& name) {
    const int fd = ::open((std::string(kApplesmcDirectory) + "/" + name).c_str(), O_RDONLY);
    if (fd < 0) return "(cannot open " + name + ")";
    char buffer[256];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return count < 0 ? "(read failed: errno " + std::to_string(errno) + ")"
                     : std::string(buffer, count);
}

// 0, or the errno the driver refused the value with.
int writeAttribute(const std::string& name, const std::string& text) {
    const int fd = ::open((std::string(kApplesmcDirectory) + "/" + name).c_str(), O_WRONLY);
    if (fd < 0) return errno;
    const ssize_t count = ::write(fd, text.data(), text.size());
    const int error = count < 0 ? errno : 0;
    ::close(fd);
    return error;
}

// A line of drivetherm-smc's listing: "  NAME  [TYPE]  decoded (bytes xx xx)".
struct ListedKey {
    std::string name, type, decoded;
    Bytes bytes;
};

std::optional<ListedKey> parseListedKey(const std::string& line) {
    static const std::regex form(R"(^  (.{4})  \[(.{4})\]  (.*)\(bytes((?: [0-9a-f]{2})*)\)$)");
    std::smatch match;
    if (!std::regex_match(line, match, form)) return std::nullopt;
    ListedKey key{match[1], match[2], match[3], {}};
    std::istringstream bytes(match[4]);
    for (std::string pair; bytes >> pair;)
        key.bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return key;
}

// What the listing shows decoded for a key of the table.
std::string decodedText(const testing::FakeSmcKey& key) {
    std::uint32_t value = 0;
    for (const std::uint8_t byte : key.bytes) value = (value << 8) | byte;
    if (key.type == "fpe2" && key.bytes.size() == 2) return std::to_string(value >> 2) + " ";
    if ((key.type == "ui8 " || key.type == "ui16" || key.type == "ui32") && key.bytes.size() <= 4) {
        return std::to_string(value) + " ";
    }
    return "";
}

class GuestSmcDriver : public GuestSmcFixture {};

TEST_F(GuestSmcDriver, BindsAndShowsEveryKeyOfTheMachine) {
    const std::string log = kernelLog();
    std::smatch probe;
    ASSERT_TRUE(std::regex_search(
        log, probe, std::regex(R"(applesmc: key=(\d+) fan=(\d+) temp=\d+ index=(\d+))")))
        << "the driver did not report a finished probe; its kernel log:\n"
        << log;
    EXPECT_EQ(std::stoul(probe[1]), keys_.size());
    EXPECT_EQ(std::stoul(probe[2]), fanCount());
    // The driver's own messages: nothing but the probe's report (no failed exchange, no flushed
    // byte, no failed init).
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("applesmc: ") != std::string::npos) {
            EXPECT_NE(line.find("applesmc: key="), std::string::npos) << line;
        }
    }

    EXPECT_EQ(attribute("key_count"), std::to_string(keys_.size()) + "\n");
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        const auto& k = keys_[i];
        ASSERT_EQ(writeAttribute("key_at_index", std::to_string(i)), 0) << i;
        EXPECT_EQ(attribute("key_at_index"), std::to_string(i) + "\n");
        EXPECT_EQ(attribute("key_at_index_name"), k.name + "\n") << i;
        EXPECT_EQ(attribute("key_at_index_type"), k.type + "\n") << k.name;
        EXPECT_EQ(attribute("key_at_index_data_length"), std::to_string(k.bytes.size()) + "\n")
            << k.name;
        EXPECT_EQ(attribute("key_at_index_data"), std::string(k.bytes.begin(), k.bytes.end()))
            << k.name;
    }
    EXPECT_EQ(writeAttribute("key_at_index", std::to_string(keys_.size())), EINVAL);

    for (unsigned fan = 0; fan < fanCount(); ++fan) {
        const auto* id = key("F" + std::to_string(fan) + "ID");
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(attribute("fan" + std::to_string(fan + 1) + "_label"),
                  std::string(reinterpret_cast<const char*>(id->bytes.data()) + 4) + "\n");
    }
    // Only "T" keys of type sp78 are sensors, numbered from 1 in key order.
    int sensor = 0;
    for (const auto& k : keys_) {
        if (k.name[0] == 'T' && k.type == "sp78") {
            EXPECT_EQ(attribute("temp" + std::to_string(++sensor) + "_label"), k.name + "\n");
        }
    }
    EXPECT_EQ(attribute("temp" + std::to_string(sensor + 1) + "_label"),
              "(cannot open temp" + std::to_string(sensor + 1) + "_label)");
}

TEST_F(GuestSmcDriver, TheToolListsExactlyTheMachinesKeysAndFans) {
    const auto list = tool({"-l"});
    ASSERT_EQ(list.status, 0) << list.err;
    std::istringstream lines(list.out);
    std::size_t index = 0;
    for (std::string line; std::getline(lines, line); ++index) {
        const auto listed = parseListedKey(line);
        ASSERT_TRUE(listed) << "not a key line: \"" << line << "\"";
        ASSERT_LT(index, keys_.size()) << "a key more than the machine has: " << line;
        const auto& k = keys_[index];
        EXPECT_EQ(listed->name, k.name);
        EXPECT_EQ(listed->type, k.type) << k.name;
        EXPECT_EQ(listed->bytes, k.bytes) << k.name;
        EXPECT_EQ(listed->decoded, decodedText(k)) << k.name;
    }
    EXPECT_EQ(index, keys_.size());

    std::string expected = "Total fans in system: " + std::to_string(fanCount()) + "\n";
    for (unsigned fan = 0; fan < fanCount(); ++fan) {
        const std::string n = std::to_string(fan);
        auto speed = [&](const char* suffix) {
            return std::to_string(std::max(rpmOf("F" + n + suffix), 0)) + "\n";
        };
        expected += "\nFan #" + n + ":\n    Actual speed : " + speed("Ac") +
                    "    Minimum speed: " + speed("Mn") + "    Maximum speed: " + speed("Mx") +
                    "    Safe speed   : " + speed("Sf") + "    Target speed : " + speed("Tg") +
                    "    Mode         : auto\n";
    }
    const auto fans = tool({"-f"});
    EXPECT_EQ(fans.status, 0) << fans.err;
    EXPECT_EQ(fans.out, expected);
}

TEST_F(GuestSmcDriver, ReadingAKeyGivesItsOwnBytes) {
    // Values finer than the driver's files show them, as a real SMC holds them: a sensor's sp78
    // below a quarter degree, a fan speed's fpe2 below one rpm.
    const auto sensor =
        std::find_if(keys_.begin(), keys_.end(), [](const auto& k) { return k.type == "sp78"; });
    ASSERT_NE(sensor, keys_.end());
    ASSERT_TRUE(smc_.setBytes(
        sensor->name, {sensor->bytes[0], static_cast<std::uint8_t>(sensor->bytes[1] | 0x13)}));
    ASSERT_TRUE(smc_.setBytes(
        "F0Mx", {key("F0Mx")->bytes[0], static_cast<std::uint8_t>(key("F0Mx")->bytes[1] | 0x01)}));

    for (const auto& k : keys_) {
        const auto read = tool({"-k", k.name, "-r"});
        EXPECT_EQ(read.status, 0) << k.name << ": " << read.err;
        const auto listed = parseListedKey(read.out.substr(0, read.out.find('\n')));
        ASSERT_TRUE(listed) << k.name << ": \"" << read.out << "\"";
        EXPECT_EQ(listed->name, k.name);
        EXPECT_EQ(listed->bytes, smc_.bytesOf(k.name).value_or(Bytes{})) << k.name;
    }
}

TEST_F(GuestSmcDriver, WritingAKeyChangesThatKeyAlone) {
    struct Case {
        std::string key;
        Bytes bytes;
        std::string file, fileText;  // the driver's view of the key afterwards
    };
    const int minimum = rpmOf("F0Mn");
    ASSERT_GT(minimum, 0);
    const Case cases[] = {
        {"F0Mn", fpe2(minimum + 100), "fan1_min", std::to_string(minimum + 100) + "\n"},
        {"FS! ", {0x00, 0x01}, "fan1_manual", "1\n"},
    };
    for (const Case& c : cases) {
        smc_.reset();
        const auto before = smc_.dump();
        const auto written = tool({"-k", c.key, "-w", hexOf(c.bytes)});
        EXPECT_EQ(written.status, 0) << c.key << ": " << written.err;

        auto expected = before;
        expected[c.key] = c.bytes;
        EXPECT_EQ(smc_.dump(), expected) << c.key << " was not the only key that changed";
        // The driver writes "FS! " one fan's bit at a time, so it may take several writes.
        const auto writes = smc_.takeWrites();
        ASSERT_FALSE(writes.empty()) << c.key;
        for (const auto& w : writes) {
            EXPECT_EQ(w.key, c.key);
            EXPECT_TRUE(w.taken) << w.key;
        }
        EXPECT_EQ(writes.back().bytes, c.bytes) << c.key;
        EXPECT_EQ(attribute(c.file), c.fileText) << c.key;
    }

    // A key the driver cannot write: refused by the tool, and the SMC sees no write at all.
    smc_.reset();
    const auto before = smc_.dump();
    const auto refused = tool({"-k", "F0Ac", "-w", "1f40"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "drivetherm-smc: this SMC does not let F0Ac be written\n");
    EXPECT_TRUE(smc_.takeWrites().empty());
    EXPECT_EQ(smc_.dump(), before);
}

}  // namespace
}  // namespace drivetherm::guest
