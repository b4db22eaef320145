// Keeps requests durably without paying one disk flush per request: the requests that arrive
// while a commit is under way wait, and the first of them then commits all of them in one
// transaction. A request is answered only after the commit that holds it has returned, so an
// answered request survives a crash of the service (and, with the stores' durable settings, a
// power cut), while a busy service still flushes a few hundred times a second at most.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "storage.h"

namespace quillet::service {

class GroupCommit {
 public:
  // The store outlives this object.
  explicit GroupCommit(RequestStore& store) : store_(store) {}
  GroupCommit(const GroupCommit&) = delete;
  GroupCommit& operator=(const GroupCommit&) = delete;

  // Returns once the request is kept whole. Safe to call from any number of threads at once.
  // Throws StorageError when it could not be kept; a request that the store refuses fails
  // alone, not the others committed with it.
  void Keep(const StoredRequest& request);

  // Requests waiting for their commit, the one under way included.
  std::size_t Waiting();

  // The most requests and body bytes one commit takes (a single larger request still goes).
  static constexpr std::size_t kMostRequests = 256;
  static constexpr std::size_t kMostBodyBytes = 4 * 1024 * 1024;

 private:
  struct Waiter;
  void CommitFrontBatch(std::unique_lock<std::mutex>& lock);

  RequestStore& store_;
  std::mutex mutex_;
  // Waiting requests in arrival order; the front one commits the batch it heads.
  std::deque<Waiter*> queue_;
};

}  // namespace quillet::service
