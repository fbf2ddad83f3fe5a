// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "protocol/DaemonCalls.h"
#include "protocol/DaemonProxy.h"

namespace drivetherm {

// The daemon's calls on a thread of their own, so that the thread that draws the window never
// waits on the bus: a SMART read that retries for six seconds holds this thread, not the user.
//
// The worker owns its own connection: it binds when it first needs the daemon and again after
// the daemon went away, so a front end follows the daemon across a restart. Each call's answer
// is handed back through `post`, which must run the task on the front end's own thread; an
// answer that arrives after the worker was destroyed is dropped.
class DaemonWorker final : public DaemonCalls {
public:
    // Binds to the daemon; runs on the worker's thread. A none proxy means no daemon.
    using Binder = std::function<DaemonProxy()>;
    // Runs `task` on the front end's thread; called from the worker's thread.
    using Post = std::function<void(std::function<void()> task)>;

    DaemonWorker(Binder binder, Post post);
    // Waits for the call in flight (at most one SMART read with its retries); drops the rest.
    ~DaemonWorker() override;
    DaemonWorker(const DaemonWorker&) = delete;
    DaemonWorker& operator=(const DaemonWorker&) = delete;

    void submit(Call call, Done done) override;

private:
    struct Job {
        Call call;
        Done done;
    };
    void run();
    Result perform(const Call& call);

    Binder binder_;
    Post post_;
    // Cleared on the front end's thread when the worker goes: answers still on their way find it
    // false and are dropped.
    std::shared_ptr<bool> alive_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    // Used on the worker's thread only.
    DaemonProxy daemon_;
    std::thread thread_;
};

}  // namespace drivetherm
