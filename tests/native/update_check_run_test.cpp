// The update check on its own thread, polled the way the window's timer polls it: the real
// worker thread against a reader that never waits.
#include "service/update_check_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "fake_checker_system.h"

namespace quillet {
namespace {

const std::string kAddress = "service.example.com/check";
const std::string kOffer =
    "<version>3.2</version>\r\n<url>https://quillet.example.com/get</url>\r\n\r\n<result>1</result>\r\n";

// A service that holds its answer until the test lets it go, so the run is surely under way
// while the reader polls.
class GatedTransport : public Transport {
 public:
  std::string Post(const std::string& address, const ParameterList&) override {
    std::unique_lock<std::mutex> lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
    if (address != "https://" + kAddress) throw ServiceError("Connection refused");
    return kOffer;
  }
  void WaitUntilEntered() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return entered_; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false, open_ = false;
};

// Polls as the window's timer does, every few milliseconds, for at most a generous while.
const CheckResult* PollUntilDone(const UpdateCheckRun& run) {
  for (int i = 0; i < 3000; ++i) {
    if (const CheckResult* result = run.Poll()) return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return nullptr;
}

TEST(UpdateCheckRunTest, PollGivesNothingWhileTheRunGoesOnAndTheWholeResultAfter) {
  auto system = std::make_shared<test::FakeCheckerSystem>();
  GatedTransport gate;
  system->realNetwork = &gate;
  UpdateCheckRun run;
  EXPECT_FALSE(run.Started());
  EXPECT_FALSE(run.Ended());
  EXPECT_EQ(run.Poll(), nullptr);

  run.Start(system, CheckerInput{"KALMIRO - Quillet", "3.1", kAddress, "https://quillet.example.com/download/"});
  EXPECT_TRUE(run.Started());
  gate.WaitUntilEntered();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(run.Poll(), nullptr) << "a result before the answer came";
    EXPECT_EQ(run.System(), nullptr) << "the system is the run's until it is done";
  }
  gate.Open();

  const CheckResult* result = PollUntilDone(run);
  ASSERT_NE(result, nullptr) << "the run never reported its end";
  // Everything the thread wrote before its end is there for the reader.
  EXPECT_TRUE(result->newVersionFound);
  EXPECT_EQ(result->newVersionText, "3.2");
  EXPECT_EQ(result->downloadAddress, "https://quillet.example.com/get");
  EXPECT_EQ(result->showUpdateValue, 1);
  EXPECT_FALSE(result->error);
  EXPECT_EQ(run.Poll(), result);  // and stays there for later looks
  for (int i = 0; i < 3000 && !run.Ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(run.Ended());
  ASSERT_EQ(run.System(), system.get());
  EXPECT_EQ(system->key.values["HowMany"], "1");
}

// A run that cannot write the update key ends without a result: the reader keeps seeing
// none, learns that the run has ended (so it stops polling), and the thread lets go of what
// it shared.
TEST(UpdateCheckRunTest, ARunThatCannotKeepItsStateEndsWithoutAResult) {
  auto system = std::make_shared<test::FakeCheckerSystem>();
  system->key.failWriteOf = "HowMany";
  std::weak_ptr<test::FakeCheckerSystem> watched = system;
  UpdateCheckRun run;
  run.Start(system, CheckerInput{"KALMIRO - Quillet", "3.1", kAddress, "https://quillet.example.com/download/"});
  system.reset();
  // Only the run object holds the system once the thread has ended.
  for (int i = 0; i < 3000 && watched.use_count() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(watched.use_count(), 1) << "the thread did not end";
  for (int i = 0; i < 3000 && !run.Ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(run.Ended());
  EXPECT_EQ(run.Poll(), nullptr);
  EXPECT_EQ(run.System(), nullptr);
}

}  // namespace
}  // namespace quillet
