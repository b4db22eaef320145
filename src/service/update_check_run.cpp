#include "service/update_check_run.h"

#include <thread>
#include <utility>

namespace quillet {

void UpdateCheckRun::Start(std::shared_ptr<CheckerSystem> system, CheckerInput input) {
  system_ = std::move(system);
  shared_ = std::make_shared<Shared>();
  std::thread([system = system_, shared = shared_, input = std::move(input)] {
    RunCheck(*system, input, shared->result);
    shared->ended.store(true, std::memory_order_release);
  }).detach();
}

const CheckResult* UpdateCheckRun::Poll() const {
  if (!shared_ || !shared_->result.done.load(std::memory_order_acquire)) return nullptr;
  return &shared_->result;
}

bool UpdateCheckRun::Ended() const {
  return shared_ && shared_->ended.load(std::memory_order_acquire);
}

}  // namespace quillet
