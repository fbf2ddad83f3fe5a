// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "common/JournalEntry.h"

namespace drivetherm {
namespace {

using ::testing::ElementsAre;

// Names the journal would drop never compile; these are the rules log::FieldName holds them to.
static_assert(log::FieldName::isValid("TEMPERATURE_CELSIUS"));
static_assert(log::FieldName::isValid("F1"));
static_assert(!log::FieldName::isValid("_PID"));  // the journal's own, trusted fields
static_assert(!log::FieldName::isValid("1FAN"));
static_assert(!log::FieldName::isValid("targetRpm"));
static_assert(!log::FieldName::isValid("TARGET-RPM"));
static_assert(!log::FieldName::isValid(""));
static_assert(!log::FieldName::isValid(
    std::string_view("A_NAME_OF_SIXTY_FIVE_CHARACTERS_IS_ONE_TOO_MANY_FOR_THE_JOURNAL_X")));

// The daemon's temperature check, as the log hands it to the journal: the text people read,
// the priority, the program, then the fields in the order given, the empty one left out.
TEST(JournalEntry, CarriesTheMessagePriorityProgramAndTheCheckFields) {
    const std::initializer_list<log::Field> fields = {
        {"MESSAGE_ID", "2d674f394d2c4e2981f9fb744faf1a95"},
        {"TEMPERATURE_CELSIUS", 41.25},
        {"TEMPERATURE_SOURCE", "disk"},
        {"DRIVE", std::string("disk0")},
        {"DRIVE_MODEL", std::string()},
        {"TARGET_RPM", 1850},
        {"NO_READING_COUNT", 0},
    };
    JournalEntry entry(log::Level::Debug, "daemon", "check: 41.25 °C from disk0, target 1850 rpm");
    for (const log::Field& field : fields) entry.add(field.name, field.value);

    EXPECT_THAT(
        entry.fields(),
        ElementsAre("MESSAGE=daemon: check: 41.25 °C from disk0, target 1850 rpm", "PRIORITY=7",
                    std::string("SYSLOG_IDENTIFIER=") + program_invocation_short_name,
                    "MESSAGE_ID=2d674f394d2c4e2981f9fb744faf1a95", "TEMPERATURE_CELSIUS=41.25",
                    "TEMPERATURE_SOURCE=disk", "DRIVE=disk0", "TARGET_RPM=1850",
                    "NO_READING_COUNT=0"));
}

// systemd names the stream it gave the process; standard error is the journal only when it is
// still that stream, not a pipe or file the variable was inherited into.
TEST(JournalEntry, TakesStandardErrorForTheJournalOnlyWhenDeviceAndInodeMatch) {
    const struct {
        const char* variable;
        bool journal;
    } cases[] = {
        {"8:1234", true},    {"8:1235", false},  {"9:1234", false}, {nullptr, false},
        {"", false},         {"8", false},       {"8:", false},     {":1234", false},
        {"8:1234:5", false}, {"8:1234x", false}, {"x:1234", false}, {"-8:1234", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JournalEntry::isJournalStream(c.variable, 8, 1234), c.journal)
            << (c.variable ? c.variable : "(unset)");
    }
}

}  // namespace
}  // namespace drivetherm
