// Commits of waiting requests together, against a store whose commits the test holds and
// releases, so what waits behind a commit under way is known.
#include "group_commit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quillet::service {
namespace {

// Records each commit as the commands of its requests. Refuses a whole commit that holds a
// request of the command "refused", or every commit while down. Holds a commit while held.
class HeldStore final : public RequestStore {
 public:
  void KeepAll(const std::vector<const StoredRequest*>& requests) override {
    {
      std::unique_lock lock(mutex_);
      ++commitsStarted_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !held_; });
    }
    std::vector<std::string> commit;
    for (const StoredRequest* request : requests) {
      if (down_ || request->command == "refused") throw StorageError("refused: " + request->command);
      commit.push_back(request->command);
    }
    std::lock_guard lock(mutex_);
    commits_.push_back(commit);
  }
  bool Answers() override { return true; }
  std::vector<StoredRequest> Requests(const std::string&) override { return {}; }
  std::vector<CheckCount> CheckCounts() override { return {}; }

  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  void WaitForCommitsStarted(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return commitsStarted_ >= count; });
  }
  std::vector<std::vector<std::string>> Commits() {
    std::lock_guard lock(mutex_);
    return commits_;
  }
  std::atomic<bool> down_{false};

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  int commitsStarted_ = 0;
  std::vector<std::vector<std::string>> commits_;
};

StoredRequest Request(const std::string& command, std::size_t bodyBytes = 0) {
  StoredRequest request;
  request.command = command;
  request.body.assign(bodyBytes, 'x');
  return request;
}

// Starts Keep of each request of [first, last) on its own thread; each future holds "" or the
// error's text. The requests must outlive the futures.
std::vector<std::future<std::string>> KeepEach(GroupCommit& commits, const StoredRequest* first,
                                               const StoredRequest* last) {
  std::vector<std::future<std::string>> outcomes;
  for (const StoredRequest* request = first; request != last; ++request) {
    outcomes.push_back(std::async(std::launch::async, [&commits, request]() -> std::string {
      try {
        commits.Keep(*request);
        return "";
      } catch (const StorageError& error) {
        return error.what();
      }
    }));
  }
  return outcomes;
}

void WaitUntilWaiting(GroupCommit& commits, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (commits.Waiting() < count) {
    if (std::chrono::steady_clock::now() > deadline) {
      FAIL() << "only " << commits.Waiting() << " of " << count << " requests came to wait";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Holds the store with one request committing, lets the others queue behind it, then releases.
struct HeldBatch {
  HeldStore store;
  GroupCommit commits{store};
  std::vector<StoredRequest> requests;

  std::vector<std::string> Run(const std::vector<StoredRequest>& waiting) {
    requests = {Request("first")};
    requests.insert(requests.end(), waiting.begin(), waiting.end());
    store.Hold();
    const StoredRequest* begin = requests.data();
    auto first = KeepEach(commits, begin, begin + 1);
    store.WaitForCommitsStarted(1);
    auto outcomes = KeepEach(commits, begin + 1, begin + requests.size());
    WaitUntilWaiting(commits, requests.size());
    store.Release();
    std::vector<std::string> results{first[0].get()};
    for (auto& outcome : outcomes) results.push_back(outcome.get());
    return results;
  }
};

TEST(GroupCommitTest, RequestsThatArriveDuringACommitAreCommittedTogetherInTheNext) {
  HeldBatch batch;
  const auto results = batch.Run({Request("a"), Request("b"), Request("c")});
  EXPECT_EQ(results, std::vector<std::string>(4, ""));
  const auto commits = batch.store.Commits();
  ASSERT_EQ(commits.size(), 2u);
  EXPECT_EQ(commits[0], std::vector<std::string>{"first"});
  EXPECT_EQ(std::multiset<std::string>(commits[1].begin(), commits[1].end()),
            (std::multiset<std::string>{"a", "b", "c"}));
  EXPECT_EQ(batch.commits.Waiting(), 0u);
}

TEST(GroupCommitTest, ARefusedRequestFailsAloneAndTheOthersOfItsCommitAreKept) {
  HeldBatch batch;
  const auto results = batch.Run({Request("a"), Request("refused"), Request("b")});
  EXPECT_EQ(results[0], "");
  std::multiset<std::string> kept;
  for (const auto& commit : batch.store.Commits()) kept.insert(commit.begin(), commit.end());
  EXPECT_EQ(kept, (std::multiset<std::string>{"first", "a", "b"}));
  int refused = 0;
  for (std::size_t i = 1; i < results.size(); ++i) {
    if (batch.requests[i].command == "refused") {
      EXPECT_EQ(results[i], "refused: refused");
      ++refused;
    } else {
      EXPECT_EQ(results[i], "") << batch.requests[i].command;
    }
  }
  EXPECT_EQ(refused, 1);
}

TEST(GroupCommitTest, EveryWaiterLearnsOfAStoreThatIsDown) {
  HeldBatch batch;
  batch.store.down_ = true;
  const auto results = batch.Run({Request("a"), Request("b")});
  EXPECT_EQ(results, (std::vector<std::string>{"refused: first", "refused: a", "refused: b"}));
  EXPECT_TRUE(batch.store.Commits().empty());
  // The queue is free again: the next request commits at once.
  batch.store.down_ = false;
  batch.commits.Keep(Request("later"));
  EXPECT_EQ(batch.store.Commits(), (std::vector<std::vector<std::string>>{{"later"}}));
}

TEST(GroupCommitTest, ACommitTakesAtMostItsShareOfRequestsAndBytes) {
  struct Case {
    const char* name;
    std::size_t waiting;
    std::size_t bodyBytes;
    std::size_t largestCommit;
  };
  constexpr std::size_t kMb = 1024 * 1024;
  const Case cases[] = {
      {"many small requests", GroupCommit::kMostRequests + 44, 10, GroupCommit::kMostRequests},
      {"large bodies", 9, kMb, GroupCommit::kMostBodyBytes / kMb},
      {"each larger than a commit's bytes", 3, GroupCommit::kMostBodyBytes + 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldBatch batch;
    const auto results = batch.Run(std::vector<StoredRequest>(c.waiting, Request("r", c.bodyBytes)));
    EXPECT_EQ(results, std::vector<std::string>(c.waiting + 1, ""));
    std::size_t kept = 0, largest = 0;
    for (const auto& commit : batch.store.Commits()) {
      kept += commit.size();
      largest = std::max(largest, commit.size());
    }
    EXPECT_EQ(kept, c.waiting + 1);
    EXPECT_EQ(largest, c.largestCommit);
  }
}

TEST(GroupCommitTest, ManyThreadsKeepEachRequestExactlyOnce) {
  HeldStore store;
  GroupCommit commits(store);
  constexpr int kThreads = 16, kEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&commits, t] {
      for (int i = 0; i < kEach; ++i) commits.Keep(Request(std::to_string(t) + "-" + std::to_string(i)));
    });
  }
  for (auto& thread : threads) thread.join();
  std::multiset<std::string> kept;
  for (const auto& commit : store.Commits()) kept.insert(commit.begin(), commit.end());
  ASSERT_EQ(kept.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()).size(), kept.size());
}

}  // namespace
}  // namespace quillet::service
