#include "group_commit.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace quillet::service {

struct GroupCommit::Waiter {
  explicit Waiter(const StoredRequest& kept) : request(&kept) {}
  const StoredRequest* request;
  bool done = false;
  std::optional<std::string> error;
  std::condition_variable wake;
};

void GroupCommit::Keep(const StoredRequest& request) {
  Waiter self(request);
  std::unique_lock lock(mutex_);
  queue_.push_back(&self);
  self.wake.wait(lock, [&] { return self.done || queue_.front() == &self; });
  if (!self.done) CommitFrontBatch(lock);
  if (self.error) throw StorageError(*self.error);
}

std::size_t GroupCommit::Waiting() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

namespace {

std::optional<std::string> KeepAlone(RequestStore& store, const StoredRequest& request) {
  try {
    store.KeepAll({&request});
    return std::nullopt;
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

// Called by the waiter at the front of the queue, with the lock held. The batch stays at the
// front of the queue while it commits, so the requests that arrive meanwhile wait behind it
// and form the next batch.
void GroupCommit::CommitFrontBatch(std::unique_lock<std::mutex>& lock) {
  std::vector<Waiter*> batch;
  std::vector<const StoredRequest*> requests;
  std::size_t bodyBytes = 0;
  for (Waiter* waiter : queue_) {
    const std::size_t size = waiter->request->body.size();
    if (batch.size() == kMostRequests || (!batch.empty() && bodyBytes + size > kMostBodyBytes)) break;
    batch.push_back(waiter);
    requests.push_back(waiter->request);
    bodyBytes += size;
  }
  lock.unlock();

  std::vector<std::optional<std::string>> errors(batch.size());
  try {
    store_.KeepAll(requests);
  } catch (const std::exception& error) {
    // One request the store refuses must not cost the others their place: try each alone.
    if (batch.size() == 1) {
      errors[0] = error.what();
    } else {
      for (std::size_t i = 0; i < batch.size(); ++i) errors[i] = KeepAlone(store_, *requests[i]);
    }
  }

  lock.lock();
  // Each waiter is woken under the lock: it cannot return, and take its wake-up with it, before
  // the notification is done.
  for (std::size_t i = 0; i < batch.size(); ++i) {
    queue_.pop_front();
    batch[i]->error = std::move(errors[i]);
    batch[i]->done = true;
    batch[i]->wake.notify_one();
  }
  if (!queue_.empty()) queue_.front()->wake.notify_one();
}

}  // namespace quillet::service
