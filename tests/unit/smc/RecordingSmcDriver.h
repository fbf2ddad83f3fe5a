// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/sim/SimSmcDriver.h"

namespace drivetherm::testing {

// A driver over a simulated controller that keeps every request record it passes on, and can
// fail chosen exchanges: what the SMC access tests look at.
class RecordingSmcDriver final : public SmcDriver {
public:
    explicit RecordingSmcDriver(std::shared_ptr<SimSmcController> smc) : smc_(std::move(smc)) {}

    SmcOpenResult open() override {
        // Opening fails as the controller's open fault says.
        SmcOpenResult result = SimSmcDriver(smc_).open();
        if (result.step == SmcOpenResult::Step::Opened)
            result.connection = std::make_unique<Transport>(*this);
        return result;
    }

    std::vector<SmcParamRecord> requests;
    // When it answers true for a request, that exchange fails with `failStatus` and the
    // controller never sees it.
    std::function<bool(const SmcParamRecord&)> failWhen;
    kern_return_t failStatus = kIOReturnTimeout;

    int commandCount(std::uint8_t command) const {
        int count = 0;
        for (const auto& request : requests) count += request.commandCode == command;
        return count;
    }

private:
    class Transport final : public SmcTransport {
    public:
        explicit Transport(RecordingSmcDriver& owner) : owner_(owner) {}
        kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) override {
            owner_.requests.push_back(request);
            if (owner_.failWhen && owner_.failWhen(request)) return owner_.failStatus;
            return owner_.smc_->exchange(request, reply);
        }

    private:
        RecordingSmcDriver& owner_;
    };

    std::shared_ptr<SimSmcController> smc_;
};

// Collects what a routine prints into a FILE*.
class CapturedOutput {
public:
    CapturedOutput() : file_(open_memstream(&buffer_, &size_)) {}
    ~CapturedOutput() {
        if (file_) std::fclose(file_);
        std::free(buffer_);
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    std::FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

}  // namespace drivetherm::testing
