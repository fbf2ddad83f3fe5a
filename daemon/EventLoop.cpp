// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/EventLoop.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <systemd/sd-event.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

namespace drivetherm {
namespace {

// Within a millisecond: the default slack of a quarter second would let ticks slip.
constexpr std::uint64_t kAccuracyUsec = 1000;

std::uint64_t monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000 + std::uint64_t(ts.tv_nsec) / 1000;
}

void check(int r, const char* what) {
    if (r < 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(-r));
}

}  // namespace

EventLoop::EventLoop() {
    check(sd_event_new(&event_), "cannot create the event loop");
    // The signals must be blocked to be delivered through the loop instead of killing us.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    check(sd_event_add_signal(event_, &sigterm_, SIGTERM, &EventLoop::onSignal, this),
          "cannot watch SIGTERM");
    check(sd_event_add_signal(event_, &sigint_, SIGINT, &EventLoop::onSignal, this),
          "cannot watch SIGINT");
}

EventLoop::~EventLoop() {
    sd_event_source_unref(timer_);
    sd_event_source_unref(sigterm_);
    sd_event_source_unref(sigint_);
    sd_event_unref(event_);
}

void EventLoop::startTicks(std::chrono::milliseconds interval, std::function<void()> onTick,
                           std::chrono::milliseconds firstDelay) {
    onTick_ = std::move(onTick);
    intervalUsec_ = std::uint64_t(interval.count()) * 1000;
    dueUsec_ = monotonicNow() + std::uint64_t(firstDelay.count()) * 1000;
    firstDueUsec_ = dueUsec_;
    check(sd_event_add_time(event_, &timer_, CLOCK_MONOTONIC, dueUsec_, kAccuracyUsec,
                            &EventLoop::onTimer, this),
          "cannot start the tick");
    // A flood of bus calls must never hold up the fan: the tick goes first when both are ready.
    sd_event_source_set_priority(timer_, SD_EVENT_PRIORITY_IMPORTANT);
}

void EventLoop::bringFirstTickForward(std::chrono::milliseconds delay) {
    if (!timer_ || ticksFired_ > 0) return;
    const std::uint64_t due = monotonicNow() + std::uint64_t(delay.count()) * 1000;
    if (due >= dueUsec_) return;
    dueUsec_ = due;
    firstDueUsec_ = due;
    sd_event_source_set_time(timer_, due);
}

int EventLoop::onTimer(sd_event_source* source, std::uint64_t usec, void* userdata) {
    auto* self = static_cast<EventLoop*>(userdata);
    const std::uint64_t started = monotonicNow();
    if (started > usec)
        self->worstLatenessUsec_ = std::max(self->worstLatenessUsec_, started - usec);
    ++self->ticksFired_;
    self->onTick_();

    // Next slot of the fixed schedule that still lies ahead.
    const std::uint64_t now = monotonicNow();
    self->dueUsec_ += self->intervalUsec_;
    if (self->dueUsec_ + kAccuracyUsec < now) {
        const std::uint64_t missed = (now - self->dueUsec_) / self->intervalUsec_ + 1;
        self->ticksDropped_ += missed;
        self->dueUsec_ += missed * self->intervalUsec_;
    }
    sd_event_source_set_time(source, self->dueUsec_);
    sd_event_source_set_enabled(source, SD_EVENT_ON);
    return 0;
}

int EventLoop::onSignal(sd_event_source*, const signalfd_siginfo* info, void* userdata) {
    auto* self = static_cast<EventLoop*>(userdata);
    self->terminatingSignal_ = static_cast<int>(info->ssi_signo);
    sd_event_exit(self->event_, 0);
    return 0;
}

int EventLoop::run() {
    return sd_event_loop(event_);
}

std::uint64_t EventLoop::elapsedUsec() const {
    return firstDueUsec_ ? monotonicNow() - firstDueUsec_ : 0;
}

void EventLoop::exit(int code) {
    sd_event_exit(event_, code);
}

}  // namespace drivetherm
