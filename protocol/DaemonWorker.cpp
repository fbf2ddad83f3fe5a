// SPDX-License-Identifier: GPL-2.0-or-later
#include "protocol/DaemonWorker.h"

#include <utility>

namespace drivetherm {

DaemonWorker::DaemonWorker(Binder binder, Post post)
    : binder_(std::move(binder)),
      post_(std::move(post)),
      alive_(std::make_shared<bool>(true)),
      thread_([this] { run(); }) {}

DaemonWorker::~DaemonWorker() {
    *alive_ = false;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void DaemonWorker::submit(Call call, Done done) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(Job{std::move(call), std::move(done)});
    }
    wake_.notify_one();
}

void DaemonWorker::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) break;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Result result = perform(job.call);
        if (job.done) {
            post_([alive = alive_, done = std::move(job.done), result = std::move(result)] {
                if (*alive) done(result);
            });
        }
    }
    // The connection is closed on the thread that used it.
    daemon_ = DaemonProxy();
}

DaemonCalls::Result DaemonWorker::perform(const Call& call) {
    if (daemon_.isNone() && binder_) daemon_ = binder_();
    if (daemon_.isNone()) return Result{Outcome::Absent, "the fan daemon is not running"};
    try {
        call(daemon_);
        return Result{};
    } catch (const DaemonRefused& e) {
        return Result{Outcome::Refused, e.what()};
    } catch (const DaemonConnectionLost& e) {
        // Bind again at the next call: the daemon may be back by then.
        daemon_ = DaemonProxy();
        return Result{Outcome::Lost, e.what()};
    } catch (const DaemonError& e) {
        return Result{Outcome::Failed, e.what()};
    }
}

}  // namespace drivetherm
