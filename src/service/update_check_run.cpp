#include "service/update_check_run.h"

#include <thread>
#include <utility>

namespace quillet {

void UpdateCheckRun::Start(std::shared_ptr<CheckerSystem> system, CheckerInput input) {
  system_ = std::move(system);
  result_ = std::make_shared<CheckResult>();
  std::thread([system = system_, result = result_, input = std::move(input)] { RunCheck(*system, input, *result); })
      .detach();
}

const CheckResult* UpdateCheckRun::Poll() const {
  if (!result_ || !result_->done.load(std::memory_order_acquire)) return nullptr;
  return result_.get();
}

}  // namespace quillet
