// What the maker's monitoring scrapes from GET /metrics: counts of the requests by command and
// answer status, storage errors and request times, in the Prometheus text format (0.0.4).
// Counting is a few relaxed atomic additions, safe from every worker thread at once and without
// a lock; only a scrape reads all the counters.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet::service {

// The "command" label: a small fixed set, never the client's text, so a client can neither
// grow the number of series nor write into the scraped text.
enum class CommandLabel { Check, Feedback, Other, None };
CommandLabel CommandLabelOf(std::string_view command);  // the "cmd" field's readable text

// The path of a request other than a post on the service path.
enum class OtherPath { Health, Metrics, Other };

class Metrics {
 public:
  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

  // offeredVersion is shown in an info series; startTime is the process start.
  Metrics(std::string offeredVersion, std::chrono::system_clock::time_point startTime);
  Metrics(const Metrics&) = delete;
  Metrics& operator=(const Metrics&) = delete;

  // A post on the service path (what the program sends), answered with status after duration.
  void CountServiceRequest(CommandLabel command, int status, std::chrono::nanoseconds duration);
  // Any other request: the health check, a scrape, an unknown path or method.
  void CountOtherRequest(OtherPath path, int status);
  // A request the storage failed to keep.
  void CountStorageError();

  // Every series in the text exposition format, ending with a line break.
  std::string Exposition() const;

 private:
  // One slot per status 100-599; slot 0 takes anything else.
  static constexpr int kStatusSlots = 501;
  static constexpr int kBuckets = 13;  // without +Inf
  using Counter = std::atomic<std::uint64_t>;

  static int StatusSlot(int status);

  const std::string offeredVersion_;
  const std::chrono::system_clock::time_point startTime_;
  std::array<std::array<Counter, kStatusSlots>, 4> serviceRequests_{};  // by CommandLabel
  std::array<std::array<Counter, kStatusSlots>, 3> otherRequests_{};    // by OtherPath
  std::array<Counter, kBuckets + 1> durationBuckets_{};  // not cumulative; the last is +Inf
  Counter durationNanoseconds_{0};
  Counter storageErrors_{0};
};

}  // namespace quillet::service
