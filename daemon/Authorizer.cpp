// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/Authorizer.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "common/Log.h"
#include "protocol/BusNames.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "polkit";
// polkit may show a password dialog; give the user time to answer it.
constexpr std::uint64_t kPolkitTimeoutUsec = 120ull * 1000 * 1000;
constexpr std::uint32_t kAllowUserInteraction = 1;

struct Pending {
    Authorizer::Decision decide;
    std::string sender;
};

}  // namespace

void Authorizer::check(sd_bus_message* call, Decision decide) {
    sd_bus_creds* creds = nullptr;
    int r = sd_bus_query_sender_creds(
        call, SD_BUS_CREDS_EUID | SD_BUS_CREDS_UID | SD_BUS_CREDS_AUGMENT, &creds);
    uid_t uid = static_cast<uid_t>(-1);
    if (r >= 0 && sd_bus_creds_get_euid(creds, &uid) < 0) sd_bus_creds_get_uid(creds, &uid);
    sd_bus_creds_unref(creds);
    if (r < 0 || uid == static_cast<uid_t>(-1)) {
        decide(false, "the caller's identity is unknown");
        return;
    }
    if (uid == 0 || uid == ::geteuid()) {
        decide(true, "");
        return;
    }

    const char* sender = sd_bus_message_get_sender(call);
    if (!sender) {
        decide(false, "the caller's bus name is unknown");
        return;
    }
    auto pending = std::make_unique<Pending>(Pending{std::move(decide), sender});
    sd_bus* bus = sd_bus_message_get_bus(call);
    sd_bus_message* question = nullptr;
    r = sd_bus_message_new_method_call(
        bus, &question, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
        "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
    if (r >= 0) {
        r = sd_bus_message_append(question, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                                  sender, bus::kConfigureAction, 0, kAllowUserInteraction, "");
    }
    if (r >= 0) {
        r = sd_bus_call_async(bus, nullptr, question, &Authorizer::onPolkitReply, pending.get(),
                              kPolkitTimeoutUsec);
    }
    sd_bus_message_unref(question);
    if (r < 0) {
        pending->decide(false, "only root may change the fan settings here");
        return;
    }
    pending.release();  // the reply callback owns it now
}

int Authorizer::onPolkitReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    std::unique_ptr<Pending> pending(static_cast<Pending*>(userdata));
    if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
        // No polkit on this bus: only root (who never gets here) may change settings.
        if (sd_bus_error_has_name(e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
            sd_bus_error_has_name(e, SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
            pending->decide(false, "only root may change the fan settings on this system");
        } else {
            log::warning(kTag, "authorization check for %s failed: %s", pending->sender.c_str(),
                         e->message ? e->message : e->name);
            pending->decide(false, "the authorization check failed");
        }
        return 0;
    }
    int authorized = 0;
    int challenge = 0;
    if (sd_bus_message_enter_container(reply, 'r', "bba{ss}") < 0 ||
        sd_bus_message_read(reply, "bb", &authorized, &challenge) < 0) {
        pending->decide(false, "the authorization check gave no answer");
        return 0;
    }
    pending->decide(authorized != 0, authorized ? "" : "not authorized to change the fan settings");
    return 0;
}

}  // namespace drivetherm
