#include "metrics.h"

#include <cstdio>

namespace quillet::service {
namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

// Upper bounds of the request time buckets: a kept and answered check takes about a
// millisecond, a slow disk or database tens to hundreds, a stalled one seconds.
struct Bucket {
  std::int64_t nanoseconds;
  const char* le;
};
constexpr std::array<Bucket, 13> kBucketBounds = {{
    {1'000'000, "0.001"},
    {2'500'000, "0.0025"},
    {5'000'000, "0.005"},
    {10'000'000, "0.01"},
    {25'000'000, "0.025"},
    {50'000'000, "0.05"},
    {100'000'000, "0.1"},
    {250'000'000, "0.25"},
    {500'000'000, "0.5"},
    {1'000'000'000, "1"},
    {2'500'000'000, "2.5"},
    {5'000'000'000, "5"},
    {10'000'000'000, "10"},
}};

constexpr std::array<const char*, 4> kCommandNames = {"check", "feedback", "other", "none"};
constexpr std::array<const char*, 3> kOtherPathNames = {"health", "metrics", "other"};

// A label value in the text format: backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text) {
  std::string value;
  for (const char c : text) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '"': value += "\\\""; break;
      case '\n': value += "\\n"; break;
      default: value += c;
    }
  }
  return value;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void Sample(std::string& out, std::string_view nameAndLabels, std::string_view value) {
  out += nameAndLabels;
  out += ' ';
  out += value;
  out += '\n';
}

// Whole seconds and the fraction, exactly, from a count of smaller units.
std::string Seconds(std::uint64_t units, std::uint64_t perSecond, int digits) {
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%0*llu", static_cast<unsigned long long>(units / perSecond),
                digits, static_cast<unsigned long long>(units % perSecond));
  return text;
}

std::string StatusLabel(int slot) { return slot == 0 ? "other" : std::to_string(slot + 99); }

}  // namespace

CommandLabel CommandLabelOf(std::string_view command) {
  if (command == "check") return CommandLabel::Check;
  if (command == "feedback") return CommandLabel::Feedback;
  if (command.empty()) return CommandLabel::None;
  return CommandLabel::Other;
}

Metrics::Metrics(std::string offeredVersion, std::chrono::system_clock::time_point startTime)
    : offeredVersion_(std::move(offeredVersion)), startTime_(startTime) {}

int Metrics::StatusSlot(int status) { return status >= 100 && status <= 599 ? status - 99 : 0; }

void Metrics::CountServiceRequest(CommandLabel command, int status,
                                  std::chrono::nanoseconds duration) {
  serviceRequests_[static_cast<std::size_t>(command)][StatusSlot(status)].fetch_add(1, kRelaxed);
  const std::int64_t nanoseconds = duration.count() < 0 ? 0 : duration.count();
  std::size_t bucket = 0;
  while (bucket < kBucketBounds.size() && nanoseconds > kBucketBounds[bucket].nanoseconds) ++bucket;
  durationBuckets_[bucket].fetch_add(1, kRelaxed);
  durationNanoseconds_.fetch_add(static_cast<std::uint64_t>(nanoseconds), kRelaxed);
}

void Metrics::CountOtherRequest(OtherPath path, int status) {
  otherRequests_[static_cast<std::size_t>(path)][StatusSlot(status)].fetch_add(1, kRelaxed);
}

void Metrics::CountStorageError() { storageErrors_.fetch_add(1, kRelaxed); }

std::string Metrics::Exposition() const {
  std::string out;
  out.reserve(4096);

  Family(out, "quillet_service_requests_total", "counter",
         "Posts on the service path by their cmd field (check, feedback, other, none) and the "
         "status of the answer.");
  for (std::size_t command = 0; command < kCommandNames.size(); ++command) {
    for (int slot = 0; slot < kStatusSlots; ++slot) {
      const std::uint64_t count = serviceRequests_[command][slot].load(kRelaxed);
      // The answers a working service gives are always shown, so that a rate starts from zero.
      const bool usual = slot == StatusSlot(200) &&
                         (command == static_cast<std::size_t>(CommandLabel::Check) ||
                          command == static_cast<std::size_t>(CommandLabel::Feedback));
      if (count == 0 && !usual) continue;
      Sample(out,
             std::string("quillet_service_requests_total{command=\"") + kCommandNames[command] +
                 "\",status=\"" + StatusLabel(slot) + "\"}",
             std::to_string(count));
    }
  }

  Family(out, "quillet_service_request_duration_seconds", "histogram",
         "Time from reading a post on the service path to having written its answer.");
  // _count is the +Inf bucket of the same reading, so the histogram is consistent in itself
  // even while requests are being counted.
  std::uint64_t cumulative = 0;
  for (std::size_t bucket = 0; bucket <= kBucketBounds.size(); ++bucket) {
    cumulative += durationBuckets_[bucket].load(kRelaxed);
    const char* le = bucket < kBucketBounds.size() ? kBucketBounds[bucket].le : "+Inf";
    Sample(out, std::string("quillet_service_request_duration_seconds_bucket{le=\"") + le + "\"}",
           std::to_string(cumulative));
  }
  Sample(out, "quillet_service_request_duration_seconds_sum",
         Seconds(durationNanoseconds_.load(kRelaxed), 1'000'000'000, 9));
  Sample(out, "quillet_service_request_duration_seconds_count", std::to_string(cumulative));

  Family(out, "quillet_service_storage_errors_total", "counter",
         "Requests the storage failed to keep; each was answered with status 503.");
  Sample(out, "quillet_service_storage_errors_total", std::to_string(storageErrors_.load(kRelaxed)));

  Family(out, "quillet_service_other_requests_total", "counter",
         "Requests other than posts on the service path: the health check, scrapes of /metrics "
         "and any other.");
  for (std::size_t path = 0; path < kOtherPathNames.size(); ++path) {
    for (int slot = 0; slot < kStatusSlots; ++slot) {
      const std::uint64_t count = otherRequests_[path][slot].load(kRelaxed);
      if (count == 0) continue;
      Sample(out,
             std::string("quillet_service_other_requests_total{path=\"") + kOtherPathNames[path] +
                 "\",status=\"" + StatusLabel(slot) + "\"}",
             std::to_string(count));
    }
  }

  Family(out, "quillet_service_info", "gauge",
         "Always 1; the label holds the version this instance offers to update checks.");
  Sample(out, "quillet_service_info{offered_version=\"" + LabelValue(offeredVersion_) + "\"}", "1");

  Family(out, "process_start_time_seconds", "gauge",
         "Start time of the process since the Unix epoch in seconds.");
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(startTime_.time_since_epoch()).count();
  Sample(out, "process_start_time_seconds",
         Seconds(static_cast<std::uint64_t>(sinceEpoch < 0 ? 0 : sinceEpoch), 1000, 3));
  return out;
}

}  // namespace quillet::service
