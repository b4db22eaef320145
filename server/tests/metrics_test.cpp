// The text a scrape of /metrics reads and the lines of the check report, in-process: exact
// counts, label values that cannot be steered by a client, escapes of odd version bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "check_report.h"
#include "metrics.h"

namespace quillet::service {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// The sample lines of an exposition (without the # lines).
std::vector<std::string> Samples(const std::string& exposition) {
  std::vector<std::string> samples;
  std::istringstream lines(exposition);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.front() != '#') samples.push_back(line);
  }
  return samples;
}

TEST(Metrics, ExposesEveryCountAndACumulativeHistogram) {
  const auto start = std::chrono::system_clock::time_point(milliseconds(1'765'343'624'125));
  Metrics metrics("3.2 \"beta\"\\\n", start);
  metrics.CountServiceRequest(CommandLabel::Check, 200, nanoseconds(400'000));
  metrics.CountServiceRequest(CommandLabel::Check, 200, nanoseconds(1'000'000));  // le is inclusive
  metrics.CountServiceRequest(CommandLabel::Check, 503, milliseconds(30));
  metrics.CountServiceRequest(CommandLabel::Other, 400, milliseconds(2'000));
  metrics.CountServiceRequest(CommandLabel::None, 413, milliseconds(20'000));
  metrics.CountServiceRequest(CommandLabel::None, 42, nanoseconds(-5));  // odd status, clock step
  metrics.CountStorageError();
  metrics.CountOtherRequest(OtherPath::Health, 200);
  metrics.CountOtherRequest(OtherPath::Health, 503);
  metrics.CountOtherRequest(OtherPath::Metrics, 200);
  metrics.CountOtherRequest(OtherPath::Other, 404);

  const std::string text = metrics.Exposition();
  EXPECT_EQ(Samples(text), (std::vector<std::string>{
                               R"(quillet_service_requests_total{command="check",status="200"} 2)",
                               R"(quillet_service_requests_total{command="check",status="503"} 1)",
                               R"(quillet_service_requests_total{command="feedback",status="200"} 0)",
                               R"(quillet_service_requests_total{command="other",status="400"} 1)",
                               R"(quillet_service_requests_total{command="none",status="other"} 1)",
                               R"(quillet_service_requests_total{command="none",status="413"} 1)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.001"} 3)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.0025"} 3)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.005"} 3)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.01"} 3)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.025"} 3)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.05"} 4)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.1"} 4)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.25"} 4)",
                               R"(quillet_service_request_duration_seconds_bucket{le="0.5"} 4)",
                               R"(quillet_service_request_duration_seconds_bucket{le="1"} 4)",
                               R"(quillet_service_request_duration_seconds_bucket{le="2.5"} 5)",
                               R"(quillet_service_request_duration_seconds_bucket{le="5"} 5)",
                               R"(quillet_service_request_duration_seconds_bucket{le="10"} 5)",
                               R"(quillet_service_request_duration_seconds_bucket{le="+Inf"} 6)",
                               R"(quillet_service_request_duration_seconds_sum 22.031400000)",
                               R"(quillet_service_request_duration_seconds_count 6)",
                               R"(quillet_service_storage_errors_total 1)",
                               R"(quillet_service_other_requests_total{path="health",status="200"} 1)",
                               R"(quillet_service_other_requests_total{path="health",status="503"} 1)",
                               R"(quillet_service_other_requests_total{path="metrics",status="200"} 1)",
                               R"(quillet_service_other_requests_total{path="other",status="404"} 1)",
                               R"(quillet_service_info{offered_version="3.2 \"beta\"\\\n"} 1)",
                               R"(process_start_time_seconds 1765343624.125)",
                           }))
      << text;
  for (const char* family :
       {"quillet_service_requests_total counter", "quillet_service_request_duration_seconds histogram",
        "quillet_service_storage_errors_total counter", "quillet_service_other_requests_total counter",
        "quillet_service_info gauge", "process_start_time_seconds gauge"}) {
    EXPECT_NE(text.find(std::string("\n# TYPE ") + family + "\n"), std::string::npos) << family;
  }
  EXPECT_EQ(text.back(), '\n');
}

TEST(Metrics, LabelsACommandOnlyWithOneOfFourNames) {
  const std::vector<std::pair<std::string, CommandLabel>> cases = {
      {"check", CommandLabel::Check},   {"feedback", CommandLabel::Feedback},
      {"", CommandLabel::None},         {"upgrade", CommandLabel::Other},
      {"Check", CommandLabel::Other},   {"check ", CommandLabel::Other},
      {"x\"} 1\n# TYPE", CommandLabel::Other}, {"\uFFFD", CommandLabel::Other},
  };
  for (const auto& [command, label] : cases) EXPECT_EQ(CommandLabelOf(command), label) << command;
}

// Worker threads count at once without a lock: not one count may be lost.
TEST(Metrics, CountsFromManyThreadsAtOnceLoseNothing) {
  Metrics metrics("3.2", std::chrono::system_clock::now());
  constexpr int kThreads = 8;
  constexpr int kEach = 20'000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&metrics, t] {
      for (int i = 0; i < kEach; ++i) {
        metrics.CountServiceRequest(t % 2 ? CommandLabel::Check : CommandLabel::Feedback, 200,
                                    milliseconds(i % 3));
        metrics.CountStorageError();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const auto samples = Samples(metrics.Exposition());
  const auto has = [&samples](const std::string& line) {
    return std::find(samples.begin(), samples.end(), line) != samples.end();
  };
  const std::string half = std::to_string(kThreads / 2 * kEach);
  const std::string all = std::to_string(kThreads * kEach);
  EXPECT_TRUE(has(R"(quillet_service_requests_total{command="check",status="200"} )" + half));
  EXPECT_TRUE(has(R"(quillet_service_requests_total{command="feedback",status="200"} )" + half));
  EXPECT_TRUE(has("quillet_service_request_duration_seconds_count " + all));
  EXPECT_TRUE(has("quillet_service_storage_errors_total " + all));
}

TEST(CheckReport, ShowsAVersionOnOneLineOfReadableText) {
  const std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
      {std::nullopt, "-"},
      {"", "-"},
      {"3.1", "3.1"},
      {"3.1 测试版", "3.1 测试版"},
      {"3.1\t\r\n\\", "3.1\\t\\r\\n\\\\"},
      {"\x1B[31m3.1\x7F", "\\x1B[31m3.1\\x7F"},
      {std::string("3\0.1", 4), "3\\x00.1"},
      {"\xFF" "3.1", "\\xFF3.1"},
      {"3.1\xE6\xB5", "3.1\\xE6\\xB5"},           // a sequence cut short
      {"\xC0\xAE", "\\xC0\\xAE"},                  // an overlong "."
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},         // a surrogate
      {"\\x41", "\\\\x41"},                        // an escape sent as text stays told apart
  };
  for (const auto& [bytes, shown] : cases) {
    EXPECT_EQ(ReportVersion(bytes), shown) << (bytes ? *bytes : "(none)");
  }
}

TEST(CheckReport, OrdersByDayAndVersionAndAddsUpWhatLooksAlike) {
  const std::vector<CheckCount> counts = {
      {"2026-12-11", "3.3", "3.2", 4},
      {"2026-12-10", "3.2", "3.1", 7},
      {"2026-12-10", "3.2", std::nullopt, 2},
      {"2026-12-10", "3.2", "", 1},  // an empty version field reads as none
      {"2026-12-09", std::nullopt, "3.1", 5},
      {"2026-12-10", "3.2", "3.1\n", 1},
  };
  EXPECT_EQ(CheckReportLines(counts), (std::vector<std::string>{
                                          "2026-12-09\t-\t3.1\t5",
                                          "2026-12-10\t3.2\t-\t3",
                                          "2026-12-10\t3.2\t3.1\t7",
                                          "2026-12-10\t3.2\t3.1\\n\t1",
                                          "2026-12-11\t3.3\t3.2\t4",
                                      }));
  EXPECT_EQ(kCheckReportHeader, "day\toffered\tinstalled\tchecks");
}

}  // namespace
}  // namespace quillet::service
