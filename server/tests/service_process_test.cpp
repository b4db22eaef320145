// The real quillet-service program on 127.0.0.1: HTTPS with a per-run test authority, plain
// HTTP, SQLite and a PostgreSQL cluster started for the test, signals and bad configurations.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "service_fixtures.h"
#include "service_harness.h"

namespace quillet::service::testing {
namespace {

constexpr const char* kCheckAnswer =
    "<version>3.2</version>\r\n<url>https://quillet.example.com/download/?from=3.1&lang=zh</url>\r\n"
    "\r\n<result>1</result>\r\n\r\n<important>请在月底前更新</important>\r\n";

// The positions a request of n fields is kept at: 1 to n, in the order the fields came.
std::vector<long long> OneToN(std::size_t n) {
  std::vector<long long> positions(n);
  for (std::size_t i = 0; i < n; ++i) positions[i] = static_cast<long long>(i) + 1;
  return positions;
}


// ---- The same behaviour on both stores ----


TEST_P(ServiceOnEachStore, AnswersACheckOverHttpsAndKeepsEveryFieldIntact) {
  ASSERT_NO_FATAL_FAILURE(Start(Secure(Postgresql())));
  const std::string body = FormBody(kCheckLines);
  const Answer answer = Post("https", port_, "/service/check", body, Authority());
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.contentType, "text/plain; charset=utf-8");
  EXPECT_EQ(answer.body, kCheckAnswer);

  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].command, "check");
  EXPECT_EQ(rows[0].fields, AsFields(kCheckLines));
  EXPECT_EQ(rows[0].body, body);
  EXPECT_TRUE(std::regex_match(rows[0].remoteAddress, std::regex(R"(127\.0\.0\.1:\d+)")))
      << rows[0].remoteAddress;
  EXPECT_TRUE(std::regex_match(rows[0].receivedAt,
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
      << rows[0].receivedAt;
}

TEST_P(ServiceOnEachStore, AnswersEachCommandOverHttpAndKeepsEveryRequest) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  struct Case {
    std::vector<std::string> lines;
    int status;
    std::string answer;
    std::string command;
  };
  const std::vector<Case> cases = {
      {kCheckLines, 200, kCheckAnswer, "check"},
      {{"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1", "feedback=我喜欢它!\r",
        "email=user@example.com"},
       200, "确定", "feedback"},
      {{"cmd=upgrade", "appname=KALMIRO - Quillet"}, 400, "ERROR unknown command", "upgrade"},
      {{"appname=KALMIRO - Quillet", "version=3.1"}, 400, "ERROR unknown command", ""},
      // Not UTF-8: the fields keep the bytes, the command column a readable form.
      {{"cmd=\xED\xA0\x80x\xFF", "appname=\xFE"}, 400, "ERROR unknown command",
       "\uFFFD\uFFFD\uFFFDx\uFFFD"},
  };
  for (const auto& c : cases) {
    const Answer answer = Post("http", port_, "/service", FormBody(c.lines));
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.status, c.status) << c.command;
    EXPECT_EQ(answer.body, c.answer) << c.command;
  }
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rows[i].command, cases[i].command);
    EXPECT_EQ(rows[i].fields, AsFields(cases[i].lines));
  }
}

// A query over the kept requests orders and picks their fields by the stored position, so both
// stores number them alike: from 1 in each request, in the order the fields came.
TEST_P(ServiceOnEachStore, NumbersTheFieldsOfEachRequestFromOne) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  const std::vector<std::vector<std::string>> posts = {
      kCheckLines,
      {"cmd=feedback", "feedback=第一", "email=user@example.com"},
      {"cmd=check"},
  };
  for (const auto& lines : posts) {
    ASSERT_EQ(Post("http", port_, "/service", FormBody(lines)).status, 200);
  }
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), posts.size());
  for (std::size_t i = 0; i < posts.size(); ++i) {
    EXPECT_EQ(rows[i].fields, AsFields(posts[i])) << "request " << i;
    EXPECT_EQ(rows[i].positions, OneToN(posts[i].size())) << "request " << i;
  }
}

TEST_P(ServiceOnEachStore, ListsTheKeptFeedbackOneRequestPerLine) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  const std::vector<std::vector<std::string>> posts = {
      {"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1", "feedback=我喜欢它!\r"},
      {"cmd=check", "appname=KALMIRO - Quillet", "version=3.1"},
      {"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1",
       "feedback=我不喜欢它!\r第一行\r\n\t缩进 C:\\temp", "email=user@example.com"},
  };
  for (const auto& lines : posts) ASSERT_TRUE(Post("http", port_, "/service", FormBody(lines)).ok);

  // Read beside the serving instance, from the same configuration.
  ServiceProcess listing(folder_.Path() / "service" / "quillet-service.conf", folder_.Path(), {"--feedback"});
  const ProcessEnd end = listing.WaitForEnd();
  EXPECT_TRUE(end.exited && end.code == 0) << listing.Errors();
  const std::string output = listing.Output();
  const std::regex line(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)\t([^\n]*)\n)");
  std::vector<std::string> rest;
  for (std::sregex_iterator at(output.begin(), output.end(), line), end_; at != end_; ++at) rest.push_back((*at)[2]);
  EXPECT_EQ(rest, (std::vector<std::string>{
                      "KALMIRO - Quillet\t3.1\t\t我喜欢它!\\r",
                      "KALMIRO - Quillet\t3.1\tuser@example.com\t我不喜欢它!\\r第一行\\r\\n\\t缩进 C:\\\\temp",
                  }))
      << output;
}

TEST_F(ServiceTest, ListingFeedbackOfABadConfigurationFailsClearly) {
  const auto folder = folder_.Path() / "bad";
  std::filesystem::create_directories(folder);
  WriteWholeFile(folder / "quillet-service.conf", "colour = blue\n");
  ServiceProcess listing(folder / "quillet-service.conf", folder, {"--feedback"});
  const ProcessEnd end = listing.WaitForEnd();
  EXPECT_TRUE(end.exited && end.code == 2);
  EXPECT_NE(listing.Errors().find("colour"), std::string::npos) << listing.Errors();
  EXPECT_EQ(listing.Output(), "");
}

// A form of 100,000 fields (800 KB, under the size limit) is kept whole, each field in its place.
TEST_P(ServiceOnEachStore, KeepsARequestOfAHundredThousandFieldsWhole) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  std::vector<std::string> lines = {"cmd=feedback", "值=值 值"};
  for (int i = 0; i < 100000; ++i) lines.push_back("v=" + std::to_string(i));
  const Answer answer = Post("http", port_, "/service/", FormBody(lines));
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.body, "确定");
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].fields, AsFields(lines));
  EXPECT_EQ(rows[0].positions, OneToN(lines.size()));

  // The maker's listing reads it in memory of its size: its body once, not once per field.
  ServiceProcess listing(folder_.Path() / "service" / "quillet-service.conf", folder_.Path(), {"--feedback"});
  const ProcessEnd end = listing.WaitForEnd();
  EXPECT_TRUE(end.exited && end.code == 0) << listing.Errors();
  const std::string output = listing.Output();
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output.substr(0, 200);
}

TEST_P(ServiceOnEachStore, HealthAnswersOkWhenTheStoreAnswers) {
  ASSERT_NO_FATAL_FAILURE(Start(Secure(Postgresql())));
  const Answer answer = Get("https", port_, "/health", Authority());
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "ok");
}

// Clients at once on the service's worker threads: each is answered, and each request is kept
// once, whole, with its own fields (nothing of one request mixed into another).
TEST_P(ServiceOnEachStore, KeepsEveryRequestOfManyClientsAtOnce) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  constexpr int kClients = 8;
  constexpr int kRequestsEach = 20;
  auto linesOf = [](int client, int request) {
    const std::string tag = std::to_string(client) + "-" + std::to_string(request);
    return std::vector<std::string>{"cmd=feedback", "appname=KALMIRO - Quillet", "feedback=来自 " + tag,
                                    "email=" + tag + "@example.com"};
  };
  std::vector<std::string> failures(kClients);
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      for (int request = 0; request < kRequestsEach; ++request) {
        const Answer answer = Post("http", port_, "/service", FormBody(linesOf(client, request)));
        if (!answer.ok || answer.status != 200 || answer.body != "确定") {
          failures[client] += "request " + std::to_string(request) + ": " + std::to_string(answer.status) +
                              " " + answer.error + answer.body + "\n";
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  for (int client = 0; client < kClients; ++client) EXPECT_EQ(failures[client], "") << "client " << client;

  std::vector<std::vector<std::pair<std::string, std::string>>> expected, kept;
  for (int client = 0; client < kClients; ++client) {
    for (int request = 0; request < kRequestsEach; ++request) expected.push_back(AsFields(linesOf(client, request)));
  }
  for (const auto& row : Rows()) kept.push_back(row.fields);
  std::sort(expected.begin(), expected.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, expected);
}

// SIGKILL in the middle of a load: every request that got its answer is in the store, whole, and
// the service starts again on the same database with no hand step. Requests cut off before
// their answer may or may not be kept, at most one per client.
TEST_P(ServiceOnEachStore, KeepsEveryAnsweredRequestWhenKilledInTheMiddleOfALoad) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  constexpr int kClients = 8;
  constexpr int kAnsweredBeforeTheKill = 300;
  auto linesOf = [](const std::string& tag) {
    return std::vector<std::string>{"cmd=check", "appname=KALMIRO - Quillet", "version=3.1",
                                    "guid=" + tag, "howmany=1"};
  };
  std::atomic<int> answeredCount{0};
  std::atomic<int> clientsEnded{0};
  std::vector<std::vector<std::string>> answered(kClients);
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      // Posts until the service is gone: the first failed exchange ends this client.
      for (int request = 0;; ++request) {
        const std::string tag = std::to_string(client) + "-" + std::to_string(request);
        const Answer answer = Post("http", port_, "/service", FormBody(linesOf(tag)), {}, 10);
        if (!answer.ok) break;
        if (answer.status == 200 && answer.body == kCheckAnswer) {
          answered[client].push_back(tag);
          ++answeredCount;
        }
      }
      ++clientsEnded;
    });
  }
  // The load runs until enough requests were answered. A service that ends by itself before
  // (a sanitizer's report ends it at once) ends every client, and that ends the wait too.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (answeredCount < kAnsweredBeforeTheKill && clientsEnded < kClients &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const int answeredBeforeTheKill = answeredCount;
  process_->Signal(SIGKILL);
  const ProcessEnd end = process_->WaitForEnd();
  for (auto& client : clients) client.join();
  ASSERT_GE(answeredBeforeTheKill, kAnsweredBeforeTheKill)
      << "the load stopped early; the service " << (end.exited ? "exited with " : "ended by signal ")
      << end.code << " and wrote:\n" << process_->Errors();
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(end.code, SIGKILL);

  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  const Answer after = Post("http", port_, "/service", FormBody(linesOf("after")));
  ASSERT_TRUE(after.ok) << after.error;
  EXPECT_EQ(after.body, kCheckAnswer);

  std::multiset<std::string> kept;
  for (const auto& row : Rows()) {
    ASSERT_EQ(row.fields.size(), 5u) << row.body;  // whole, never half a request
    kept.insert(row.fields[3].second);
  }
  std::size_t answeredTotal = 0;
  for (int client = 0; client < kClients; ++client) {
    for (const std::string& tag : answered[client]) {
      EXPECT_EQ(kept.count(tag), 1u) << "the answered request " << tag;
      ++answeredTotal;
    }
  }
  EXPECT_EQ(kept.count("after"), 1u);
  EXPECT_GE(answeredTotal, static_cast<std::size_t>(kAnsweredBeforeTheKill));
  EXPECT_LE(kept.size(), answeredTotal + 1 + kClients);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceOnEachStore,
                         ::testing::Values(Store::Sqlite, Store::Postgresql),
                         [](const auto& p) {
                           return p.param == Store::Sqlite ? "Sqlite" : "Postgresql";
                         });

// ---- PostgreSQL only ----

class ServiceOnPostgresql : public ServiceOnEachStore {};

TEST_P(ServiceOnPostgresql, TwoInstancesShareOneDatabase) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  auto second = Launch(Plain(Postgresql()), "second");
  const auto secondPort = second->WaitUntilListening();
  ASSERT_TRUE(secondPort.has_value()) << second->Errors();

  const std::vector<std::string> first = {"cmd=check", "appname=甲"};
  const std::vector<std::string> other = {"cmd=check", "appname=乙"};
  ASSERT_EQ(Post("http", port_, "/service", FormBody(first)).body, kCheckAnswer);
  ASSERT_EQ(Post("http", *secondPort, "/service", FormBody(other)).body, kCheckAnswer);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].fields, AsFields(first));
  EXPECT_EQ(rows[1].fields, AsFields(other));
}

TEST_P(ServiceOnPostgresql, KeepsRequestsAcrossADatabaseRestart) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  // Two requests at once leave two connections in the service's pool.
  std::thread other([this] { Post("http", port_, "/service", "cmd=check&n=0"); });
  const Answer before = Post("http", port_, "/service", "cmd=check&n=1");
  other.join();  // before any check can end the test: a thread left running ends the program
  ASSERT_EQ(before.status, 200) << before.error << process_->Errors();
  postgres_->Restart();

  const Answer answer = Post("http", port_, "/service", "cmd=check&n=2");
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200) << answer.body;
  EXPECT_EQ(Get("http", port_, "/health").status, 200);
  ASSERT_EQ(Rows().size(), 3u);
  EXPECT_EQ(Rows().back().body, "cmd=check&n=2");
}

TEST_P(ServiceOnPostgresql, AnswersAnErrorAndUnhealthyWhenTheDatabaseIsGone) {
  ASSERT_NO_FATAL_FAILURE(Start(Plain(Postgresql())));
  ASSERT_EQ(Get("http", port_, "/health").status, 200);
  postgres_->Stop();

  const Answer post = Post("http", port_, "/service", FormBody(kCheckLines));
  ASSERT_TRUE(post.ok) << post.error;
  EXPECT_EQ(post.status, 503);
  EXPECT_EQ(post.body.rfind("ERROR", 0), 0u) << post.body;
  const Answer health = Get("http", port_, "/health");
  EXPECT_EQ(health.status, 503);
  EXPECT_NE(process_->Output().find("storage error: PostgreSQL"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceOnPostgresql, ::testing::Values(Store::Postgresql),
                         [](const auto&) { return "Postgresql"; });

// ---- Plain HTTP, paths, the log, signals ----

TEST_F(ServiceTest, PlainServiceRefusesTlsSoTheProgramFallsBackToHttp) {
  ASSERT_NO_FATAL_FAILURE(Start());
  MakeTestAuthority(folder_.Path() / "ca");
  const Answer secure = Post("https", port_, "/service", FormBody(kCheckLines), Authority());
  EXPECT_FALSE(secure.ok);
  const Answer plain = Post("http", port_, "/service", FormBody(kCheckLines));
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_EQ(plain.body, kCheckAnswer);
  EXPECT_EQ(SqliteRows(Database()).size(), 1u);
}

TEST_F(ServiceTest, SecureServiceIsTrustedOnlyThroughTheTestAuthority) {
  ASSERT_NO_FATAL_FAILURE(Start(Secure()));
  // Another authority, made the same way, does not vouch for this server.
  MakeTestAuthority(folder_.Path() / "other");
  const Answer answer = Post("https", port_, "/service", FormBody(kCheckLines),
                             folder_.Path() / "other" / "ca.pem");
  EXPECT_FALSE(answer.ok);
  EXPECT_TRUE(SqliteRows(Database()).empty());
}

TEST_F(ServiceTest, ASecondInstanceCannotTakeAPortInUse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto second = Launch({false, "", "", port_}, "second");
  ASSERT_FALSE(second->WaitUntilListening().has_value()) << "two instances share the port";
  const ProcessEnd end = second->WaitForEnd();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, 1);
  EXPECT_NE(second->Errors().find("cannot listen on 127.0.0.1 port " + std::to_string(port_)),
            std::string::npos)
      << second->Errors();
}

TEST_F(ServiceTest, TakesRequestsOnlyOnItsPath) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::vector<std::pair<std::string, int>> paths = {
      {"/service", 200}, {"/service/", 200}, {"/service/check/v2", 200},
      {"/services", 404}, {"/", 404},       {"/other/service", 404}};
  for (const auto& [path, status] : paths) {
    EXPECT_EQ(Post("http", port_, path, "cmd=check").status, status) << path;
  }
  EXPECT_EQ(SqliteRows(Database()).size(), 3u);
}

// A body of up to a megabyte is taken whole; one byte more is refused before anything is kept,
// and the service goes on answering.
TEST_F(ServiceTest, KeepsABodyOfOneMegabyteAndRefusesOneByteMore) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string head = "cmd=feedback&feedback=";
  const std::string largest = head + std::string(1024 * 1024 - head.size(), 'x');
  ASSERT_EQ(largest.size(), 1024u * 1024u);

  const Answer refused = Post("http", port_, "/service", largest + "x");
  ASSERT_TRUE(refused.ok) << refused.error;
  EXPECT_EQ(refused.status, 413);
  EXPECT_TRUE(SqliteRows(Database()).empty());

  const Answer taken = Post("http", port_, "/service", largest);
  ASSERT_TRUE(taken.ok) << taken.error;
  EXPECT_EQ(taken.status, 200);
  EXPECT_EQ(taken.body, "确定");
  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0].body == largest) << "the stored body has " << rows[0].body.size() << " bytes";
  ASSERT_EQ(rows[0].fields.size(), 2u);
  EXPECT_EQ(rows[0].fields[1].second.size(), largest.size() - head.size());

  EXPECT_EQ(Post("http", port_, "/service", "cmd=check").status, 200);
}

TEST_F(ServiceTest, LogsOneLinePerRequest) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Post("http", port_, "/service/check", "cmd=check").status, 200);
  ASSERT_EQ(Post("http", port_, "/service", "cmd=bad%20cmd%0D%0Ainjected").status, 400);
  ASSERT_EQ(Get("http", port_, "/health").status, 200);

  // The line is written once the answer has gone out, so it may trail the client a little.
  const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1:\d+ )"
                        R"((\S+) (\S+) cmd=(\S+) status=(\d+) \d+\.\d{3}ms\n)");
  std::string output;
  std::vector<std::string> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (seen.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    output = process_->Output();
    seen.clear();
    for (auto it = std::sregex_iterator(output.begin(), output.end(), line);
         it != std::sregex_iterator(); ++it) {
      seen.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str() + " " +
                     (*it)[4].str());
    }
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"GET /health - 200",
                                            "POST /service bad%20cmd%0D%0Ainjected 400",
                                            "POST /service/check check 200"}))
      << output;
}

TEST_F(ServiceTest, SlowServiceKeepsTheRequestAndHoldsItsAnswer) {
  ASSERT_NO_FATAL_FAILURE(Start({false, "", "delay_ms = 600000\n", 0}));
  const Answer answer = Post("http", port_, "/service", FormBody(kCheckLines), {}, 1);
  EXPECT_FALSE(answer.ok) << answer.body;
  EXPECT_EQ(SqliteRows(Database()).size(), 1u);
}

class ServiceStopSignal : public ServiceTest, public ::testing::WithParamInterface<int> {};

TEST_P(ServiceStopSignal, AnswersTheRequestInFlightThenExitsWithZero) {
  ASSERT_NO_FATAL_FAILURE(Start({false, "", "delay_ms = 600000\n", 0}));
  Answer answer;
  std::thread client([&] { answer = Post("http", port_, "/service", FormBody(kCheckLines)); });
  // The request is kept before the service waits, so a stored row means it is in flight.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (SqliteRows(Database()).empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  process_->Signal(GetParam());
  client.join();
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.body, kCheckAnswer);

  const ProcessEnd end = process_->WaitForEnd();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, 0) << process_->Errors();
  EXPECT_NE(process_->Output().find(" stopped\n"), std::string::npos);
  EXPECT_FALSE(Post("http", port_, "/service", "cmd=check").ok);
}

INSTANTIATE_TEST_SUITE_P(Signals, ServiceStopSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& p) { return p.param == SIGTERM ? "Term" : "Int"; });

// ---- Start-up failures ----

struct StartFailure {
  const char* name;
  const char* configLines;  // nullptr: no configuration file at all
  int exitCode;
  const char* message;
};

class ServiceStartFailure : public ::testing::TestWithParam<StartFailure> {};

TEST_P(ServiceStartFailure, ExitsWithAClearMessage) {
  TempFolder folder;
  const auto config = folder.Path() / "quillet-service.conf";
  if (GetParam().configLines != nullptr) {
    WriteWholeFile(config, std::string("port = 0\noffered_version = 3.2\ndownload_address = https://e/\n") +
                               GetParam().configLines);
  }
  ServiceProcess process(config, folder.Path());
  EXPECT_FALSE(process.WaitUntilListening().has_value());
  const ProcessEnd end = process.WaitForEnd();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, GetParam().exitCode);
  EXPECT_NE(process.Errors().find(GetParam().message), std::string::npos) << process.Errors();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceStartFailure,
    ::testing::Values(
        StartFailure{"NoFile", nullptr, 2, "quillet-service.conf: cannot read the file"},
        StartFailure{"BadResult", "result = yes\n", 2, "quillet-service.conf: line 4: result must be 0 or 1"},
        StartFailure{"UnknownKey", "colour = red\n", 2, "line 4: unknown key \"colour\""},
        StartFailure{"MissingCertificate", "tls_certificate = none.pem\ntls_private_key = none.pem\n", 1,
                     "cannot load the TLS certificate"},
        StartFailure{"AddressNotOnThisMachine", "listen_address = 203.0.113.1\n", 1, "cannot listen on"},
        StartFailure{"UnreachableDatabase", "postgresql = host=/nonexistent port=1 connect_timeout=5\n", 1,
                     "PostgreSQL: cannot connect"},
        StartFailure{"SqliteFolderMissing", "sqlite_database = no/such/folder/db.sqlite3\n", 1, "SQLite"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillet::service::testing
