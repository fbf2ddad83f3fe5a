// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/sim/SimSmcDriver.h"

#include <utility>

namespace drivetherm {
namespace {

class SimSmcTransport final : public SmcTransport {
public:
    explicit SimSmcTransport(std::shared_ptr<SimSmcController> controller)
        : controller_(std::move(controller)) {}

    kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) override {
        return controller_->exchange(request, reply);
    }

private:
    // Shared, so that a connection left open at exit never outlives its controller.
    std::shared_ptr<SimSmcController> controller_;
};

}  // namespace

SimSmcDriver::SimSmcDriver(std::shared_ptr<SimSmcController> controller)
    : controller_(std::move(controller)) {}

SmcOpenResult SimSmcDriver::open() {
    SmcOpenResult result;
    switch (controller_ ? controller_->openFault() : SimSmcController::OpenFault::NoService) {
        case SimSmcController::OpenFault::None:
            result.step = SmcOpenResult::Step::Opened;
            result.connection = std::make_unique<SimSmcTransport>(controller_);
            break;
        case SimSmcController::OpenFault::MatchingFailed:
            result.step = SmcOpenResult::Step::MatchingFailed;
            result.status = kMatchingFailedStatus;
            break;
        case SimSmcController::OpenFault::NoService:
            result.step = SmcOpenResult::Step::NoService;
            break;
        case SimSmcController::OpenFault::OpenFailed:
            result.step = SmcOpenResult::Step::OpenFailed;
            result.status = kOpenFailedStatus;
            break;
    }
    return result;
}

}  // namespace drivetherm
