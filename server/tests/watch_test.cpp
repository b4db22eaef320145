// What the maker watches the running service with, on the real program: the scrape of /metrics
// (valid Prometheus text with exact counts) and the --report of checks per day by offered and
// installed version, on both stores and on tables an older service made.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "service_fixtures.h"
#include "service_harness.h"

namespace quillet::service::testing {
namespace {

// ---- Reading an exposition the way a Prometheus server does ----

struct Scrape {
  // Each sample by "name{label="value",...}", labels in name order, values as written.
  std::map<std::string, double> samples;
  // Each histogram's buckets in the order written: le and value.
  std::map<std::string, std::vector<std::pair<double, double>>> buckets;
  std::string errors;  // one line per fault; empty for a valid exposition
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':'; }
bool IsNameChar(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

std::optional<double> SampleValue(const std::string& text) {
  if (text == "+Inf") return HUGE_VAL;
  if (text == "-Inf") return -HUGE_VAL;
  if (text == "NaN") return NAN;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// Checks the text format 0.0.4 line by line: # HELP and # TYPE lines, sample lines of valid
// names and label pairs with only \\, \" and \n escaped, numeric values, each family typed once
// before its samples and written in one piece, no series twice.
Scrape ParseExposition(const std::string& text) {
  Scrape scrape;
  if (text.empty() || text.back() != '\n') scrape.errors += "the text does not end with a line end\n";
  std::map<std::string, std::string> types;
  std::set<std::string> finished;
  std::string current;
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    const auto fault = [&](const std::string& what) {
      scrape.errors += "line " + std::to_string(number) + ": " + what + ": " + line + "\n";
    };
    if (line.empty()) continue;
    if (line[0] == '#') {
      std::istringstream words(line.substr(1));
      std::string keyword, name, rest;
      words >> keyword >> name;
      if (keyword != "HELP" && keyword != "TYPE") continue;  // a comment
      if (name.empty() || !IsNameStart(name[0]) ||
          !std::all_of(name.begin(), name.end(), IsNameChar)) {
        fault("bad metric name");
        continue;
      }
      if (keyword == "TYPE") {
        words >> rest;
        static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary", "untyped"};
        if (!kTypes.count(rest)) fault("unknown type");
        if (types.count(name)) fault("a second TYPE");
        if (finished.count(name) || current == name) fault("TYPE after the samples");
        types[name] = rest;
      }
      continue;
    }
    std::size_t at = 0;
    while (at < line.size() && IsNameChar(line[at])) ++at;
    const std::string name = line.substr(0, at);
    if (name.empty() || !IsNameStart(name[0])) {
      fault("bad metric name");
      continue;
    }
    std::map<std::string, std::string> labels;
    bool good = true;
    if (at < line.size() && line[at] == '{') {
      ++at;
      while (good && at < line.size() && line[at] != '}') {
        const std::size_t nameStart = at;
        while (at < line.size() && IsNameChar(line[at]) && line[at] != ':') ++at;
        const std::string label = line.substr(nameStart, at - nameStart);
        if (label.empty() || std::isdigit(static_cast<unsigned char>(label[0])) ||
            line.compare(at, 2, "=\"") != 0) {
          good = false;
          break;
        }
        at += 2;
        std::string value;
        while (at < line.size() && line[at] != '"') {
          if (line[at] == '\\') {
            if (at + 1 >= line.size() || std::string_view("\\\"n").find(line[at + 1]) == std::string_view::npos) {
              good = false;
              break;
            }
            value += line[at + 1] == 'n' ? '\n' : line[at + 1];
            at += 2;
          } else {
            value += line[at++];
          }
        }
        if (!good || at >= line.size()) {
          good = false;
          break;
        }
        ++at;  // the closing quote
        if (!labels.emplace(label, value).second) good = false;
        if (at < line.size() && line[at] == ',') ++at;
      }
      if (at >= line.size() || line[at] != '}') good = false;
      ++at;
    }
    if (!good || at >= line.size() || line[at] != ' ') {
      fault("bad labels");
      continue;
    }
    std::istringstream rest(line.substr(at + 1));
    std::string valueText, timestamp, extra;
    rest >> valueText >> timestamp >> extra;
    const auto value = SampleValue(valueText);
    if (!value || !extra.empty()) {
      fault("bad value");
      continue;
    }

    std::string family = name;
    for (const char* suffix : {"_bucket", "_sum", "_count"}) {
      const std::string_view s(suffix);
      if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0 &&
          types[name.substr(0, name.size() - s.size())] == "histogram") {
        family = name.substr(0, name.size() - s.size());
      }
    }
    if (!types.count(family)) fault("a sample without a TYPE");
    if (family != current) {
      if (finished.count(family)) fault("a family written in two pieces");
      if (!current.empty()) finished.insert(current);
      current = family;
    }
    if (types[family] == "counter" && (*value < 0 || name.size() < 6 || name.substr(name.size() - 6) != "_total")) {
      fault("a counter must be named ..._total and not be negative");
    }
    std::string key = name;
    if (!labels.empty()) {
      key += '{';
      for (const auto& [label, labelValue] : labels) {
        if (key.back() != '{') key += ',';
        key += label + "=\"" + labelValue + "\"";
      }
      key += '}';
    }
    if (!scrape.samples.emplace(key, *value).second) fault("a series twice");
    if (family != name && name.substr(family.size()) == "_bucket") {
      const auto le = labels.count("le") ? SampleValue(labels["le"]) : std::nullopt;
      if (!le) {
        fault("a bucket without a valid le");
      } else {
        scrape.buckets[family].emplace_back(*le, *value);
      }
    }
  }
  return scrape;
}

// The samples of one family whose names begin with prefix.
std::map<std::string, double> SamplesOf(const Scrape& scrape, const std::string& prefix) {
  std::map<std::string, double> samples;
  for (const auto& [key, value] : scrape.samples) {
    if (key.compare(0, prefix.size(), prefix) == 0) samples.emplace(key, value);
  }
  return samples;
}

// ---- Helpers of the report tests ----

struct Finished {
  ProcessEnd end;
  std::string output;
  std::string errors;
};

Finished RunService(const std::filesystem::path& configFile, const std::filesystem::path& folder,
               const std::string& option) {
  ServiceProcess process(configFile, folder, {option});
  const ProcessEnd end = process.WaitForEnd();
  return {end, process.Output(), process.Errors()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void ExecuteSqlite(const std::filesystem::path& database, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string error = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(status, SQLITE_OK) << error;
}

void ExecutePostgres(const std::string& connectionString, const std::string& sql) {
  PGconn* connection = PQconnectdb(connectionString.c_str());
  PGresult* result = PQexec(connection, sql.c_str());
  const auto status = PQresultStatus(result);
  const std::string error = PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
  ASSERT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << error;
}

class WatchOnEachStore : public ServiceOnEachStore {
 protected:
  Finished Report() {
    return RunService(folder_.Path() / "service" / "quillet-service.conf", folder_.Path(), "--report");
  }
};

// ---- The check report ----

// Checks of several installed versions, with the offered version changed between two runs of
// the service on the same database; only checks count, by the first version field.
TEST_P(WatchOnEachStore, ReportsChecksPerDayByOfferedAndInstalledVersion) {
  struct Sent {
    std::vector<std::string> lines;
    std::string offered;    // empty: not a check, not in the report
    std::string installed;  // as the report shows it
  };
  const std::vector<Sent> firstRun = {
      {{"cmd=check", "version=3.1"}, "3.2", "3.1"},
      {{"cmd=check", "appname=KALMIRO - Quillet", "version=3.1"}, "3.2", "3.1"},
      {{"cmd=check", "version=3.2"}, "3.2", "3.2"},
      {{"cmd=check", "appname=KALMIRO - Quillet"}, "3.2", "-"},
      {{"cmd=check", "version="}, "3.2", "-"},
      {{"cmd=check", "version=3.1\t\xFF\n"}, "3.2", "3.1\\t\\xFF\\n"},
      {{"cmd=feedback", "version=3.1", "feedback=好"}, "", ""},
      {{"cmd=upgrade", "version=3.1"}, "", ""},
  };
  const std::vector<Sent> secondRun = {
      {{"cmd=check", "version=3.2"}, "3.3", "3.2"},
      {{"cmd=check", "version=3.3"}, "3.3", "3.3"},
      {{"cmd=check", "version=3.3", "version=9.9"}, "3.3", "3.3"},
      {{"cmd=feedback", "version=3.3"}, "", ""},
  };
  std::vector<Sent> posts;
  for (const auto* run : {&firstRun, &secondRun}) {
    ServiceOptions options = Plain(Postgresql());
    options.offeredVersion = run == &firstRun ? "3.2" : "3.3";
    ASSERT_NO_FATAL_FAILURE(Start(options));
    for (const Sent& post : *run) {
      ASSERT_TRUE(Post("http", port_, "/service", FormBody(post.lines)).ok);
      posts.push_back(post);
    }
    process_.reset();
  }

  // The day of each line is the day the requests were kept on, usually all today.
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), posts.size());
  std::map<std::string, int> expected;
  for (std::size_t i = 0; i < posts.size(); ++i) {
    if (posts[i].offered.empty()) continue;
    ++expected[rows[i].receivedAt.substr(0, 10) + "\t" + posts[i].offered + "\t" + posts[i].installed];
  }
  std::vector<std::string> expectedLines = {"day\toffered\tinstalled\tchecks"};
  for (const auto& [key, checks] : expected) expectedLines.push_back(key + "\t" + std::to_string(checks));

  const Finished report = Report();
  EXPECT_TRUE(report.end.exited && report.end.code == 0) << report.errors;
  EXPECT_EQ(Lines(report.output), expectedLines) << report.output;
}

// Tables made by a service from before the offered version was kept: the service starts on
// them without a hand step, keeps their requests, and the report shows their checks as
// offered "-". Each check is counted on its day in UTC, whatever the database's time zone.
TEST_P(WatchOnEachStore, StartsOnTablesOfAnOlderServiceAndReportsTheirChecks) {
  std::string postgresql = Postgresql();
  if (GetParam() == Store::Sqlite) {
    ASSERT_NO_FATAL_FAILURE(ExecuteSqlite(Database(), R"sql(
      CREATE TABLE requests (id INTEGER PRIMARY KEY, received_at TEXT NOT NULL,
        remote_address TEXT NOT NULL, command TEXT NOT NULL, body BLOB NOT NULL);
      CREATE TABLE request_fields (request_id INTEGER NOT NULL REFERENCES requests(id),
        position INTEGER NOT NULL, name BLOB NOT NULL, value BLOB NOT NULL,
        PRIMARY KEY (request_id, position));
      INSERT INTO requests VALUES
        (1, '2026-03-01T23:30:00.000Z', '127.0.0.1:1000', 'check', CAST('cmd=check&version=3.0' AS BLOB)),
        (2, '2026-03-02T00:30:00.000Z', '127.0.0.1:1001', 'check', CAST('cmd=check&version=3.0' AS BLOB)),
        (3, '2026-03-02T00:40:00.000Z', '127.0.0.1:1002', 'feedback', CAST('cmd=feedback&version=3.0' AS BLOB));
      INSERT INTO request_fields VALUES
        (1, 1, CAST('cmd' AS BLOB), CAST('check' AS BLOB)), (1, 2, CAST('version' AS BLOB), CAST('3.0' AS BLOB)),
        (2, 1, CAST('cmd' AS BLOB), CAST('check' AS BLOB)), (2, 2, CAST('version' AS BLOB), CAST('3.0' AS BLOB)),
        (3, 1, CAST('cmd' AS BLOB), CAST('feedback' AS BLOB)), (3, 2, CAST('version' AS BLOB), CAST('3.0' AS BLOB));
    )sql"));
  } else {
    ASSERT_NO_FATAL_FAILURE(ExecutePostgres(postgresql, R"sql(
      CREATE TABLE requests (id BIGSERIAL PRIMARY KEY, received_at TIMESTAMPTZ NOT NULL,
        remote_address TEXT NOT NULL, command TEXT NOT NULL, body BYTEA NOT NULL);
      CREATE TABLE request_fields (request_id BIGINT NOT NULL REFERENCES requests(id),
        position INTEGER NOT NULL, name BYTEA NOT NULL, value BYTEA NOT NULL,
        PRIMARY KEY (request_id, position));
      INSERT INTO requests (received_at, remote_address, command, body) VALUES
        ('2026-03-01T23:30:00Z', '127.0.0.1:1000', 'check', 'cmd=check&version=3.0'),
        ('2026-03-02T00:30:00Z', '127.0.0.1:1001', 'check', 'cmd=check&version=3.0'),
        ('2026-03-02T00:40:00Z', '127.0.0.1:1002', 'feedback', 'cmd=feedback&version=3.0');
      INSERT INTO request_fields
        SELECT id, 1, 'cmd'::bytea, convert_to(command, 'UTF8') FROM requests
        UNION ALL SELECT id, 2, 'version'::bytea, '3.0'::bytea FROM requests;
    )sql"));
    // Eight hours ahead of UTC: 23:30 UTC is already the next day there.
    postgresql += " options='-c TimeZone=Asia/Shanghai'";
  }

  ASSERT_NO_FATAL_FAILURE(Start(Plain(postgresql)));
  const Answer answer = Post("http", port_, "/service", FormBody({"cmd=check", "version=3.1"}));
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200) << answer.body;
  process_.reset();

  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].body, "cmd=check&version=3.0");
  const Finished report = Report();
  EXPECT_TRUE(report.end.exited && report.end.code == 0) << report.errors;
  EXPECT_EQ(Lines(report.output), (std::vector<std::string>{
                                      "day\toffered\tinstalled\tchecks",
                                      "2026-03-01\t-\t3.0\t1",
                                      "2026-03-02\t-\t3.0\t1",
                                      rows[3].receivedAt.substr(0, 10) + "\t3.2\t3.1\t1",
                                  }))
      << report.output;

  // Started again on the tables it brought up to date.
  ASSERT_NO_FATAL_FAILURE(Start(Plain(postgresql)));
  EXPECT_EQ(Post("http", port_, "/service", "cmd=check&version=3.2").status, 200);
}

INSTANTIATE_TEST_SUITE_P(Stores, WatchOnEachStore,
                         ::testing::Values(Store::Sqlite, Store::Postgresql),
                         [](const auto& p) {
                           return p.param == Store::Sqlite ? "Sqlite" : "Postgresql";
                         });

TEST_F(ServiceTest, ReportOfABadConfigurationOrAnUnreachableStoreFailsClearly) {
  struct Case {
    const char* name;
    std::string config;
    int exitCode;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"bad", "colour = blue\n", 2, "quillet-service.conf: line 1: unknown key \"colour\""},
      {"unreachable",
       "offered_version = 3.2\ndownload_address = https://e/\n"
       "postgresql = host=/nonexistent port=1 connect_timeout=5\n",
       1, "PostgreSQL: cannot connect"},
  };
  for (const Case& c : cases) {
    const auto folder = folder_.Path() / c.name;
    std::filesystem::create_directories(folder);
    WriteWholeFile(folder / "quillet-service.conf", c.config);
    const Finished report = RunService(folder / "quillet-service.conf", folder, "--report");
    EXPECT_TRUE(report.end.exited && report.end.code == c.exitCode) << c.name << ": " << report.end.code;
    EXPECT_NE(report.errors.find(c.message), std::string::npos) << c.name << ": " << report.errors;
    EXPECT_EQ(report.output, "") << c.name;
  }
}

// ---- /metrics ----

class WatchOnPostgresql : public ServiceOnEachStore {};

// A known set of requests, the last one failing on a stopped database: the scrape is valid
// text, counts each exactly under a fixed label, and its histogram counts the same requests.
TEST_P(WatchOnPostgresql, MetricsCountEachRequestExactly) {
  const double launched =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  const std::string tooLarge = "cmd=check&x=" + std::string(1024 * 1024, 'x');
  const std::vector<std::pair<std::string, int>> posts = {
      {"cmd=check&version=3.1", 200},
      {"cmd=check&version=3.2", 200},
      {"cmd=check", 200},
      {"cmd=feedback&feedback=%E5%A5%BD", 200},
      {"cmd=upgrade", 400},
      {"cmd=injected%22%7D+1%0A%23+TYPE+x+counter", 400},
      {"version=3.1", 400},
      {tooLarge, 413},
  };
  for (const auto& [body, status] : posts) {
    EXPECT_EQ(Post("http", port_, "/service/check", body).status, status) << body.substr(0, 40);
  }
  EXPECT_EQ(Post("http", port_, "/elsewhere", "cmd=check").status, 404);
  EXPECT_EQ(Get("http", port_, "/health").status, 200);
  postgres_->Stop();
  EXPECT_EQ(Post("http", port_, "/service", "cmd=check&version=3.1").status, 503);

  // Each request is counted once its answer has gone out, so the counts may trail the client;
  // a scrape is counted too (apart), so the last scrape also shows an earlier one.
  const std::map<std::string, double> expected = {
      {R"(quillet_service_requests_total{command="check",status="200"})", 3},
      {R"(quillet_service_requests_total{command="check",status="503"})", 1},
      {R"(quillet_service_requests_total{command="feedback",status="200"})", 1},
      {R"(quillet_service_requests_total{command="other",status="400"})", 2},
      {R"(quillet_service_requests_total{command="none",status="400"})", 1},
      {R"(quillet_service_requests_total{command="none",status="413"})", 1},
  };
  Answer answer;
  Scrape scrape;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    answer = Get("http", port_, "/metrics");
    scrape = ParseExposition(answer.body);
  } while ((SamplesOf(scrape, "quillet_service_requests_total") != expected ||
            SamplesOf(scrape, "quillet_service_other_requests_total{path=\"other\"").empty() ||
            SamplesOf(scrape, "quillet_service_other_requests_total{path=\"metrics\"").empty()) &&
           std::chrono::steady_clock::now() < deadline);

  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.contentType, "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_EQ(scrape.errors, "") << answer.body;
  EXPECT_EQ(SamplesOf(scrape, "quillet_service_requests_total"), expected) << answer.body;
  EXPECT_EQ(answer.body.find("injected"), std::string::npos);
  EXPECT_EQ(scrape.samples["quillet_service_storage_errors_total"], 1);
  EXPECT_EQ(scrape.samples[R"(quillet_service_info{offered_version="3.2"})"], 1);
  const double started = scrape.samples["process_start_time_seconds"];
  EXPECT_TRUE(started >= std::floor(launched) && started <= launched + 3600) << std::fixed << started;

  // The service's own requests alone: the health check, the unknown path and the scrapes apart.
  auto others = SamplesOf(scrape, "quillet_service_other_requests_total");
  EXPECT_GE(others[R"(quillet_service_other_requests_total{path="metrics",status="200"})"], 1);
  others.erase(R"(quillet_service_other_requests_total{path="metrics",status="200"})");
  EXPECT_EQ(others, (std::map<std::string, double>{
                        {R"(quillet_service_other_requests_total{path="health",status="200"})", 1},
                        {R"(quillet_service_other_requests_total{path="other",status="404"})", 1},
                    }));

  const std::string histogram = "quillet_service_request_duration_seconds";
  const auto& buckets = scrape.buckets[histogram];
  ASSERT_GE(buckets.size(), 2u);
  for (std::size_t i = 1; i < buckets.size(); ++i) {
    EXPECT_LT(buckets[i - 1].first, buckets[i].first) << "le out of order at " << i;
    EXPECT_LE(buckets[i - 1].second, buckets[i].second) << "not cumulative at le " << buckets[i].first;
  }
  EXPECT_EQ(buckets.back().first, HUGE_VAL);
  const double answered = static_cast<double>(posts.size() + 1);  // the posts and the 503
  EXPECT_EQ(buckets.back().second, answered);
  EXPECT_EQ(scrape.samples[histogram + "_count"], answered);
  EXPECT_GT(scrape.samples[histogram + "_sum"], 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, WatchOnPostgresql, ::testing::Values(Store::Postgresql),
                         [](const auto&) { return "Postgresql"; });

}  // namespace
}  // namespace quillet::service::testing
