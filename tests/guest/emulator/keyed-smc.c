// SPDX-License-Identifier: GPL-2.0-or-later
/*
 * An Apple System Management Controller for the guest tier: the SMC of one Mac, its keys loaded
 * from a key table, answering the four commands the kernel's applesmc driver sends (read 0x10,
 * write 0x11, key by index 0x12, key type 0x13) with the status-port handshake the driver waits
 * for, so that the real driver probes and runs against it as on the Mac the table describes.
 *
 *   -device isa-keyed-smc,keys=TABLE[,iobase=0x300][,control=0x320][,chardev=LOG]
 *
 * TABLE holds one key a line, in the SMC's index order: the key (4 characters), a blank, its type
 * (4 characters), a blank, its value in hex ("F1Mn fpe2 1b58"). The device refuses a table that
 * is not sorted, so the driver's binary searches find every key.
 *
 * The fans behave as the driver and its users see a real SMC's fans: bit N of "FS! " forces fan
 * N to "FNTg"; without it the SMC holds its own target (the table's "FNTg") and takes back a
 * target written meanwhile; "FNAc" follows the target with a lag, an eighth of the gap every
 * 100 ms of the machine's time. "FNMn" is kept as written; this SMC has no thermal model that
 * would act on it.
 *
 * A test inside the guest reaches the SMC itself through one more I/O port (`control`), outside
 * the driver's range: it writes a line of text and reads the answer back byte by byte until a
 * zero byte. Lines:
 *   reset             every key back to the table, logs and counts cleared, no fault
 *   get KEY           the key's value in hex, or "none"
 *   set KEY HEX       a new value, as the machine would produce it (a sensor warming up)
 *   dump              every key in index order: "KEY TYPE HEX"
 *   writes            every write a guest made since the last "writes": "KEY HEX ok|refused"
 *   counts            the exchanges since the last reset, by command, and the failed ones
 *   fault none|busy|error
 *                     busy: the status port shows busy and the input closed, nothing is taken;
 *                     error: each command is taken and then aborted, without data
 * The chardev, when given, gets one line for each exchange, for the harness's log.
 */

// QEMU's own header comes first in every file of its tree.
// clang-format off
#include "qemu/osdep.h"
#include "chardev/char-fe.h"
#include "hw/isa/isa.h"
#include "hw/qdev-properties.h"
#include "hw/qdev-properties-system.h"
#include "qapi/error.h"
#include "qemu/module.h"
#include "qemu/timer.h"
#include "qom/object.h"
// clang-format on

#define TYPE_KEYED_SMC "isa-keyed-smc"
OBJECT_DECLARE_SIMPLE_TYPE(KeyedSmcState, KEYED_SMC)

/* The SMC's ports, from its base; the driver never reads the error port, so it is left out. */
enum { PORT_DATA = 0x00, PORT_COMMAND = 0x04 };

enum { CMD_READ = 0x10, CMD_WRITE = 0x11, CMD_KEY_BY_INDEX = 0x12, CMD_KEY_TYPE = 0x13 };

/* The status port as the driver reads it: a byte waits on the data port, the input is closed, a
 * command is in progress. */
enum { STATUS_AWAITING_DATA = 0x01, STATUS_IB_CLOSED = 0x02, STATUS_BUSY = 0x04 };

/* The flags byte of a key's type: what a host may do with it. */
enum { FLAG_WRITE = 0x40, FLAG_READ = 0x80 };

#define MAX_KEYS 1024
#define MAX_VALUE 32
#define MAX_FANS 10
#define FAN_STEP_MS 100
#define MAX_WRITE_LOG (256 * 1024)

typedef enum Phase { PHASE_IDLE, PHASE_ARGUMENTS, PHASE_DATA_IN, PHASE_DATA_OUT } Phase;
typedef enum Fault { FAULT_NONE, FAULT_BUSY, FAULT_ERROR } Fault;

typedef struct SmcKey {
    char name[4], type[4]; /* the name first: bsearch() compares it */
    uint8_t length, flags;
    uint8_t value[MAX_VALUE], initial[MAX_VALUE];
} SmcKey;

/* A fan's "FNAc" and "FNTg" by their indices, -1 when the table lacks one. */
typedef struct SmcFan {
    int actual, target;
} SmcFan;

struct KeyedSmcState {
    ISADevice parent_obj;

    MemoryRegion io_data, io_command, io_control;
    uint32_t iobase;
    uint32_t control_port;
    char* keys_path;
    CharBackend log;

    SmcKey* keys;
    int key_count;
    SmcFan fans[MAX_FANS];
    int fan_count;
    int forced_key; /* "FS! ", or -1 */
    QEMUTimer* fan_timer;

    /* The exchange in progress. */
    Phase phase;
    uint8_t status;
    uint8_t command;
    uint8_t arguments[5]; /* key or index, then the length byte */
    uint8_t data[MAX_VALUE];
    int argument_count, data_length, data_position;
    Fault fault;

    /* What the test reads back. */
    GString* writes;
    uint64_t counts[4]; /* read, write, by index, type */
    uint64_t failed;
    GString *control_line, *control_reply;
    size_t control_position;
};

static bool known_command(uint8_t command) {
    return command >= CMD_READ && command <= CMD_KEY_TYPE;
}

static const char* command_name(uint8_t command) {
    static const char* const names[] = {"read", "write", "index", "type"};
    return known_command(command) ? names[command - CMD_READ] : "command";
}

/* The bytes in hex, for a line of the log or of an answer; valid until the next call. */
static const char* hex(const uint8_t* bytes, int length) {
    static char text[2 * MAX_VALUE + 1];

    for (int i = 0; i < length && i < MAX_VALUE; i++) {
        snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    }
    text[2 * MIN(length, MAX_VALUE)] = 0;
    return text;
}

/* One line of the exchange log, when the device has one. */
static void G_GNUC_PRINTF(2, 3) log_line(KeyedSmcState* s, const char* format, ...) {
    va_list args;
    g_autofree char* line = NULL;

    if (!qemu_chr_fe_backend_connected(&s->log)) {
        return;
    }
    va_start(args, format);
    line = g_strdup_vprintf(format, args);
    va_end(args);
    qemu_chr_fe_write_all(&s->log, (const uint8_t*)line, strlen(line));
    qemu_chr_fe_write_all(&s->log, (const uint8_t*)"\n", 1);
}

static int compare_names(const void* name, const void* key) {
    return memcmp(name, key, 4);
}

/* The key's index in the sorted table, or -1. */
static int find_key(KeyedSmcState* s, const void* name) {
    SmcKey* key = bsearch(name, s->keys, s->key_count, sizeof(SmcKey), compare_names);
    return key ? key - s->keys : -1;
}

static unsigned raw16(const SmcKey* key) {
    return key->length == 2 ? lduw_be_p(key->value) : 0;
}

/*
 * One step of the fans: a fan out of forced mode gets its own target back, and every fan's
 * actual speed closes an eighth of the gap to its target, so that it takes a few seconds from one
 * speed to another, as a fan spins up or down. Runs only while a fan moves.
 */
static bool step_fans(KeyedSmcState* s) {
    unsigned forced = s->forced_key >= 0 ? raw16(&s->keys[s->forced_key]) : 0;
    bool moving = false;

    for (int n = 0; n < s->fan_count; n++) {
        SmcFan* fan = &s->fans[n];
        if (fan->target < 0) {
            continue;
        }
        SmcKey* target = &s->keys[fan->target];
        if (!(forced & (1u << n)) && memcmp(target->value, target->initial, 2) != 0) {
            memcpy(target->value, target->initial, 2);
        }
        if (fan->actual < 0) {
            continue;
        }
        SmcKey* actual = &s->keys[fan->actual];
        int gap = (int)raw16(target) - (int)raw16(actual);
        int step = gap / 8 != 0 ? gap / 8 : gap;
        if (step != 0) {
            stw_be_p(actual->value, raw16(actual) + step);
            moving = moving || gap != step;
        }
    }
    return moving;
}

static void fan_timer_fired(void* opaque) {
    KeyedSmcState* s = opaque;

    if (step_fans(s)) {
        timer_mod(s->fan_timer, qemu_clock_get_ms(QEMU_CLOCK_VIRTUAL) + FAN_STEP_MS);
    }
}

static void fans_changed(KeyedSmcState* s) {
    if (!timer_pending(s->fan_timer)) {
        timer_mod(s->fan_timer, qemu_clock_get_ms(QEMU_CLOCK_VIRTUAL) + FAN_STEP_MS);
    }
}

/* The exchange is over: the SMC is idle and takes a new command. */
static void finish(KeyedSmcState* s) {
    s->phase = PHASE_IDLE;
    s->status = 0;
}

/* The exchange ends without an answer, which the driver sees as a time-out (EIO). */
static void fail(KeyedSmcState* s, const char* why) {
    log_line(s, "%s failed: %s", command_name(s->command), why);
    s->failed++;
    finish(s);
}

static void answer(KeyedSmcState* s, const uint8_t* bytes, int length) {
    memcpy(s->data, bytes, length);
    s->data_length = length;
    s->data_position = 0;
    s->phase = PHASE_DATA_OUT;
    s->status = STATUS_BUSY | STATUS_AWAITING_DATA;
}

/* The key (or index) and the length byte are in: start the command. */
static void start_command(KeyedSmcState* s) {
    const uint8_t* argument = s->arguments;
    int index = s->command == CMD_KEY_BY_INDEX ? -1 : find_key(s, argument);
    uint32_t wanted = ldl_be_p(argument);
    SmcKey* key = index >= 0 ? &s->keys[index] : NULL;

    if (s->fault == FAULT_ERROR) {
        fail(s, "the SMC was told to fail");
    } else if (s->command != CMD_KEY_BY_INDEX && !key) {
        fail(s, "no such key");
    } else if (s->command == CMD_READ) {
        /* The key's own length, whatever was asked: as newer SMCs do. */
        answer(s, key->value, key->length);
        log_line(s, "read %.4s -> %s", key->name, hex(key->value, key->length));
    } else if (s->command == CMD_WRITE) {
        s->data_length = argument[4];
        s->data_position = 0;
        s->phase = PHASE_DATA_IN;
        if (s->data_length == 0 || s->data_length > MAX_VALUE) {
            fail(s, "bad length");
        }
    } else if (s->command == CMD_KEY_BY_INDEX) {
        if (wanted >= (uint32_t)s->key_count) {
            fail(s, "index out of range");
            return;
        }
        answer(s, (const uint8_t*)s->keys[wanted].name, 4);
        log_line(s, "index %u -> %.4s", wanted, s->keys[wanted].name);
    } else {
        uint8_t info[6] = {key->length,  key->type[0], key->type[1],
                           key->type[2], key->type[3], key->flags};
        answer(s, info, sizeof info);
        log_line(s, "type %.4s -> %u [%.4s] %02x", key->name, key->length, key->type, key->flags);
    }
}

/* Every byte of a write is in: take it, when the key may be written and the length is its own. */
static void finish_write(KeyedSmcState* s) {
    int index = find_key(s, s->arguments);
    SmcKey* key = &s->keys[index];
    bool taken = (key->flags & FLAG_WRITE) && s->data_length == key->length;
    const char* bytes = hex(s->data, s->data_length);

    g_string_append_printf(s->writes, "%.4s %s %s\n", key->name, bytes, taken ? "ok" : "refused");
    if (s->writes->len > MAX_WRITE_LOG) {
        g_string_assign(s->writes, "overflow\n");
    }
    log_line(s, "write %.4s %s%s", key->name, bytes, taken ? "" : " refused");

    /* A refused write ends like a taken one: only the error port, which the driver never reads,
     * would tell them apart. */
    finish(s);
    if (taken) {
        memcpy(key->value, s->data, key->length);
        fans_changed(s);
    }
}

static void command_write(void* opaque, hwaddr addr, uint64_t value, unsigned size) {
    KeyedSmcState* s = opaque;

    if (s->fault == FAULT_BUSY) {
        return;
    }
    /* A new command always starts afresh: the driver sends a read to reset a stuck exchange. */
    s->command = value;
    s->argument_count = 0;
    if (!known_command(s->command)) {
        fail(s, "unknown command");
        return;
    }
    s->counts[s->command - CMD_READ]++;
    s->phase = PHASE_ARGUMENTS;
    s->status = STATUS_BUSY;
}

static uint64_t command_read(void* opaque, hwaddr addr, unsigned size) {
    KeyedSmcState* s = opaque;

    return s->fault == FAULT_BUSY ? STATUS_BUSY | STATUS_IB_CLOSED : s->status;
}

static void data_write(void* opaque, hwaddr addr, uint64_t value, unsigned size) {
    KeyedSmcState* s = opaque;

    if (s->fault == FAULT_BUSY) {
        return;
    }
    /* Any other byte is one nobody asked for: the SMC ignores it. */
    if (s->phase == PHASE_ARGUMENTS) {
        s->arguments[s->argument_count++] = value;
        if (s->argument_count == sizeof s->arguments) {
            start_command(s);
        }
    } else if (s->phase == PHASE_DATA_IN) {
        s->data[s->data_position++] = value;
        if (s->data_position == s->data_length) {
            finish_write(s);
        }
    }
}

static uint64_t data_read(void* opaque, hwaddr addr, unsigned size) {
    KeyedSmcState* s = opaque;
    uint8_t value;

    if (s->fault == FAULT_BUSY || s->phase != PHASE_DATA_OUT) {
        return 0;
    }
    value = s->data[s->data_position++];
    if (s->data_position == s->data_length) {
        finish(s);
    }
    return value;
}

/* Exactly `length` bytes of hex into `bytes`; false, and `bytes` unchanged, for anything else. */
static bool parse_hex(const char* text, uint8_t* bytes, int length) {
    uint8_t parsed[MAX_VALUE];

    if (length > MAX_VALUE) {
        return false;
    }
    for (int i = 0; i < 2 * length; i++) {
        if (!g_ascii_isxdigit(text[i])) {
            return false;
        }
        parsed[i / 2] = (i % 2 ? parsed[i / 2] << 4 : 0) | g_ascii_xdigit_value(text[i]);
    }
    if (text[2 * length] != 0) {
        return false;
    }
    memcpy(bytes, parsed, length);
    return true;
}

static void restore_table(KeyedSmcState* s) {
    for (int i = 0; i < s->key_count; i++) {
        memcpy(s->keys[i].value, s->keys[i].initial, MAX_VALUE);
    }
    g_string_truncate(s->writes, 0);
    memset(s->counts, 0, sizeof s->counts);
    s->failed = 0;
    s->fault = FAULT_NONE;
    finish(s);
    timer_del(s->fan_timer);
}

static bool parse_fault(const char* text, Fault* fault) {
    static const char* const names[] = {
        [FAULT_NONE] = "none", [FAULT_BUSY] = "busy", [FAULT_ERROR] = "error"};
    for (int i = 0; i < ARRAY_SIZE(names); i++) {
        if (strcmp(text, names[i]) == 0) {
            *fault = i;
            return true;
        }
    }
    return false;
}

static void run_control_line(KeyedSmcState* s, const char* line) {
    GString* reply = s->control_reply;
    int index;

    g_string_truncate(reply, 0);
    s->control_position = 0;
    if (strcmp(line, "reset") == 0) {
        restore_table(s);
        g_string_append(reply, "ok\n");
    } else if (strncmp(line, "get ", 4) == 0 && strlen(line) == 8) {
        index = find_key(s, line + 4);
        g_string_append_printf(
            reply, "%s\n", index < 0 ? "none" : hex(s->keys[index].value, s->keys[index].length));
    } else if (strncmp(line, "set ", 4) == 0 && strlen(line) > 9 && line[8] == ' ') {
        index = find_key(s, line + 4);
        if (index >= 0 && parse_hex(line + 9, s->keys[index].value, s->keys[index].length)) {
            g_string_append(reply, "ok\n");
            fans_changed(s);
        } else {
            g_string_append(reply, "error\n");
        }
    } else if (strcmp(line, "dump") == 0) {
        for (int i = 0; i < s->key_count; i++) {
            SmcKey* key = &s->keys[i];
            g_string_append_printf(reply, "%.4s %.4s %s\n", key->name, key->type,
                                   hex(key->value, key->length));
        }
    } else if (strcmp(line, "writes") == 0) {
        g_string_append(reply, s->writes->str);
        g_string_truncate(s->writes, 0);
    } else if (strcmp(line, "counts") == 0) {
        g_string_append_printf(reply,
                               "read %" PRIu64 " write %" PRIu64 " index %" PRIu64 " type %" PRIu64
                               " failed %" PRIu64 "\n",
                               s->counts[0], s->counts[1], s->counts[2], s->counts[3], s->failed);
    } else if (strncmp(line, "fault ", 6) == 0 && parse_fault(line + 6, &s->fault)) {
        finish(s);
        g_string_append(reply, "ok\n");
    } else {
        g_string_append_printf(reply, "unknown: %s\n", line);
    }
}

static void control_write(void* opaque, hwaddr addr, uint64_t value, unsigned size) {
    KeyedSmcState* s = opaque;

    if (value == '\n') {
        run_control_line(s, s->control_line->str);
        g_string_truncate(s->control_line, 0);
    } else if (s->control_line->len < 256) {
        g_string_append_c(s->control_line, value);
    }
}

static uint64_t control_read(void* opaque, hwaddr addr, unsigned size) {
    KeyedSmcState* s = opaque;

    if (s->control_position >= s->control_reply->len) {
        return 0;
    }
    return (uint8_t)s->control_reply->str[s->control_position++];
}

/* The keys a host may write through the driver: fan speeds and the forced-mode mask. */
static uint8_t flags_of(const char* name) {
    bool fan_speed =
        name[0] == 'F' && g_ascii_isdigit(name[1]) &&
        (!memcmp(name + 2, "Mn", 2) || !memcmp(name + 2, "Mx", 2) || !memcmp(name + 2, "Tg", 2));
    return FLAG_READ | (fan_speed || !memcmp(name, "FS! ", 4) ? FLAG_WRITE : 0);
}

static bool load_keys(KeyedSmcState* s, Error** errp) {
    g_autofree char* text = NULL;
    g_autoptr(GError) gerror = NULL;
    g_auto(GStrv) lines = NULL;

    if (!s->keys_path) {
        error_setg(errp, TYPE_KEYED_SMC ": keys=TABLE is required");
        return false;
    }
    if (!g_file_get_contents(s->keys_path, &text, NULL, &gerror)) {
        error_setg(errp, TYPE_KEYED_SMC ": cannot read %s: %s", s->keys_path, gerror->message);
        return false;
    }
    lines = g_strsplit(text, "\n", -1);
    s->keys = g_new0(SmcKey, MAX_KEYS);
    for (int number = 1; lines[number - 1]; number++) {
        const char* line = lines[number - 1];
        size_t length = strlen(line);
        SmcKey* key = &s->keys[s->key_count];
        if (length == 0) {
            continue;
        }
        if (s->key_count == MAX_KEYS || length < 12 || length % 2 != 0 || line[4] != ' ' ||
            line[9] != ' ' || !parse_hex(line + 10, key->initial, (length - 10) / 2)) {
            error_setg(errp, TYPE_KEYED_SMC ": %s:%d: not \"KEY TYPE HEX\"", s->keys_path, number);
            return false;
        }
        memcpy(key->name, line, 4);
        memcpy(key->type, line + 5, 4);
        key->length = (length - 10) / 2;
        key->flags = flags_of(key->name);
        memcpy(key->value, key->initial, MAX_VALUE);
        if (s->key_count > 0 && memcmp(s->keys[s->key_count - 1].name, key->name, 4) >= 0) {
            error_setg(errp, TYPE_KEYED_SMC ": %s:%d: %.4s is out of the SMC's order", s->keys_path,
                       number, key->name);
            return false;
        }
        s->key_count++;
    }
    if (s->key_count == 0) {
        error_setg(errp, TYPE_KEYED_SMC ": %s holds no key", s->keys_path);
        return false;
    }
    return true;
}

/* A key the fans' model uses: it must hold two bytes. */
static int find_two_byte_key(KeyedSmcState* s, const char* name) {
    int index = find_key(s, name);
    return index >= 0 && s->keys[index].length == 2 ? index : -1;
}

static void find_fans(KeyedSmcState* s) {
    int count = find_key(s, "FNum");

    s->forced_key = find_two_byte_key(s, "FS! ");
    s->fan_count = count >= 0 ? MIN(s->keys[count].value[0], MAX_FANS) : 0;
    for (int n = 0; n < s->fan_count; n++) {
        char actual[5] = {'F', '0' + n, 'A', 'c', 0}, target[5] = {'F', '0' + n, 'T', 'g', 0};
        s->fans[n].actual = find_two_byte_key(s, actual);
        s->fans[n].target = find_two_byte_key(s, target);
    }
}

/* Each port takes and gives one byte at a time. */
#define BYTE_PORT(name)                                       \
    static const MemoryRegionOps name##_ops = {               \
        .read = name##_read,                                  \
        .write = name##_write,                                \
        .endianness = DEVICE_NATIVE_ENDIAN,                   \
        .impl = {.min_access_size = 1, .max_access_size = 1}, \
    }
BYTE_PORT(data);
BYTE_PORT(command);
BYTE_PORT(control);

static void add_port(KeyedSmcState* s, MemoryRegion* region, const MemoryRegionOps* ops,
                     const char* name, uint32_t port) {
    memory_region_init_io(region, OBJECT(s), ops, s, name, 1);
    isa_register_ioport(ISA_DEVICE(s), region, port);
}

static void keyed_smc_realize(DeviceState* dev, Error** errp) {
    KeyedSmcState* s = KEYED_SMC(dev);

    if (!load_keys(s, errp)) {
        return;
    }
    find_fans(s);
    s->writes = g_string_new(NULL);
    s->control_line = g_string_new(NULL);
    s->control_reply = g_string_new(NULL);
    s->fan_timer = timer_new_ms(QEMU_CLOCK_VIRTUAL, fan_timer_fired, s);

    add_port(s, &s->io_data, &data_ops, "smc-data", s->iobase + PORT_DATA);
    add_port(s, &s->io_command, &command_ops, "smc-command", s->iobase + PORT_COMMAND);
    add_port(s, &s->io_control, &control_ops, "smc-test-control", s->control_port);
}

static void keyed_smc_reset(DeviceState* dev) {
    finish(KEYED_SMC(dev));
}

static Property keyed_smc_properties[] = {
    DEFINE_PROP_UINT32("iobase", KeyedSmcState, iobase, 0x300),
    DEFINE_PROP_UINT32("control", KeyedSmcState, control_port, 0x320),
    DEFINE_PROP_STRING("keys", KeyedSmcState, keys_path),
    DEFINE_PROP_CHR("chardev", KeyedSmcState, log),
    DEFINE_PROP_END_OF_LIST(),
};

static void keyed_smc_class_init(ObjectClass* klass, void* data) {
    DeviceClass* dc = DEVICE_CLASS(klass);

    dc->realize = keyed_smc_realize;
    dc->reset = keyed_smc_reset;
    dc->desc = "Apple SMC holding the keys of a key table";
    device_class_set_props(dc, keyed_smc_properties);
    set_bit(DEVICE_CATEGORY_MISC, dc->categories);
}

static const TypeInfo keyed_smc_info = {
    .name = TYPE_KEYED_SMC,
    .parent = TYPE_ISA_DEVICE,
    .instance_size = sizeof(KeyedSmcState),
    .class_init = keyed_smc_class_init,
};

static void keyed_smc_register_types(void) {
    type_register_static(&keyed_smc_info);
}

type_init(keyed_smc_register_types)
