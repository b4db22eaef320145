// The real quillet-service (SQLite) behind a real nginx on 127.0.0.1, with the shipped
// configuration (server/deploy/nginx-quillet.conf) filled in as README.md tells a maker: checks
// through the front over HTTPS and HTTP, a thousand slow and idle clients that must not hold the
// service's workers, and clients that misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "front_harness.h"
#include "service_harness.h"

namespace quillet::service::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The program's own client gives up on an answer after 3 s.
constexpr int kProgramTimeoutSeconds = 3;

constexpr const char* kCheckAnswer =
    "<version>3.2</version>\r\n<url>https://quillet.example.com/download/</url>\r\n\r\n"
    "<result>1</result>\r\n";

// A complete POST as a client sends it, asking the server to close the connection after it.
std::string RawPost(const std::string& path, const std::string& body, const std::string& headers = "") {
  return "POST " + path + " HTTP/1.1\r\nHost: localhost\r\n"
         "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

std::string RawGet(const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

double Percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(percent / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As root, nginx's workers run as "nobody" and keep large bodies in the front's folder.
    std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all |
                                                     std::filesystem::perms::group_exec |
                                                     std::filesystem::perms::others_exec);
    MakeTestAuthority(folder_.Path() / "ca");
  }

  void TearDown() override {
    if (front_) {
      const std::string serious = front_->SeriousErrors();
      EXPECT_EQ(serious, "") << "nginx reported:\n" << serious;
    }
    front_.reset();
    service_.reset();
  }

  std::filesystem::path Database() const { return folder_.Path() / "requests.sqlite3"; }
  std::filesystem::path Authority() const { return folder_.Path() / "ca" / "ca.pem"; }

  // The service as README.md sets it up behind the front: loopback, plain HTTP, trusting the
  // front's address; few workers, to show that waiting clients do not hold them.
  void StartService(int threads = 4) {
    const auto folder = folder_.Path() / "service";
    std::filesystem::create_directories(folder);
    WriteWholeFile(folder / "quillet-service.conf",
                   "listen_address = 127.0.0.1\nport = 0\noffered_version = 3.2\n"
                   "download_address = https://quillet.example.com/download/\n"
                   "sqlite_database = " + Database().string() + "\nthreads = " + std::to_string(threads) +
                       "\ntrusted_proxy = 127.0.0.1\n");
    service_ = std::make_unique<ServiceProcess>(folder / "quillet-service.conf", folder);
    const auto port = service_->WaitUntilListening();
    ASSERT_TRUE(port.has_value()) << service_->Output() << service_->Errors();
    servicePort_ = *port;
  }

  void StartFront(const std::string& headerTimeout = "") {
    FrontOptions options;
    options.servicePort = servicePort_;
    options.certificate = folder_.Path() / "ca" / "server.pem";
    options.privateKey = folder_.Path() / "ca" / "server-key.pem";
    options.headerTimeout = headerTimeout;
    try {
      front_ = std::make_unique<FrontProcess>(folder_.Path() / "front", options);
    } catch (const std::exception& error) {
      FAIL() << error.what();
    }
  }

  // headerTimeout: client_header_timeout, which README.md lets a maker tune; empty: the shipped one.
  void StartBoth(const std::string& headerTimeout = "") {
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_NO_FATAL_FAILURE(StartFront(headerTimeout));
  }

  // A normal check through the front, answered as the program needs it.
  void ExpectACheckIsAnswered(const std::string& scheme = "http") {
    const int port = scheme == "https" ? front_->HttpsPort() : front_->HttpPort();
    const Answer answer = PostFromPort(0, scheme, port, "/service/check", FormBody(kCheckLines), Authority(),
                                       kProgramTimeoutSeconds);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, kCheckAnswer);
  }

  // The service's log lines of requests (not its start and stop lines). A line is written once
  // the answer has gone out, so it may trail the client a little: this waits up to 10 s for at
  // least `expected` lines.
  std::vector<std::string> ServiceRequestLines(std::size_t expected = 0) const {
    const auto deadline = Clock::now() + seconds(10);
    auto lines = RequestLinesNow();
    while (lines.size() < expected && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(20));
      lines = RequestLinesNow();
    }
    return lines;
  }

  std::vector<std::string> RequestLinesNow() const {
    std::vector<std::string> lines;
    const std::string output = service_->Output();
    static const std::regex line(R"(\S+ \S+ (GET|POST|HEAD|PUT|DELETE) [^\n]*)");
    for (std::sregex_iterator at(output.begin(), output.end(), line), end; at != end; ++at) {
      lines.push_back(at->str());
    }
    return lines;
  }

  TempFolder folder_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<FrontProcess> front_;
  int servicePort_ = 0;
};

// ---- (a) Through the front as directly ----

TEST_F(FrontTest, AnswersChecksOverHttpsAndHttpLikeTheServiceAndKeepsTheClientsAddress) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  const std::string body = FormBody(kCheckLines);
  const Answer direct = Post("http", servicePort_, "/service/check", body);
  ASSERT_TRUE(direct.ok) << direct.error;

  const int securePort = FreePort();
  const Answer secure =
      PostFromPort(securePort, "https", front_->HttpsPort(), "/service/check", body, Authority(), kProgramTimeoutSeconds);
  ASSERT_TRUE(secure.ok) << secure.error;
  const int plainPort = FreePort();
  const Answer plain =
      PostFromPort(plainPort, "http", front_->HttpPort(), "/service/check", body, {}, kProgramTimeoutSeconds);
  ASSERT_TRUE(plain.ok) << plain.error;
  for (const Answer* answer : {&secure, &plain}) {
    EXPECT_EQ(answer->status, direct.status);
    EXPECT_EQ(answer->contentType, direct.contentType);
    EXPECT_EQ(answer->body, direct.body);
  }
  EXPECT_EQ(direct.body, kCheckAnswer);

  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows) {
    EXPECT_EQ(row.command, "check");
    EXPECT_EQ(row.body, body);
    EXPECT_EQ(row.fields, AsFields(kCheckLines));
  }
  // The direct request has no front: its own connection's address.
  EXPECT_TRUE(std::regex_match(rows[0].remoteAddress, std::regex(R"(127\.0\.0\.1:\d+)"))) << rows[0].remoteAddress;
  EXPECT_EQ(rows[1].remoteAddress, "127.0.0.1:" + std::to_string(securePort));
  EXPECT_EQ(rows[2].remoteAddress, "127.0.0.1:" + std::to_string(plainPort));
  // The log names the client too. Its line is written once the answer has gone out, so it may
  // trail the answer: wait for the three.
  ServiceRequestLines(3);
  const std::string log = service_->Output();
  EXPECT_NE(log.find(" 127.0.0.1:" + std::to_string(plainPort) + " POST /service/check cmd=check status=200 "),
            std::string::npos)
      << log;

  const Answer health = Get("https", front_->HttpsPort(), "/health", Authority());
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, "ok");
}

// A client cannot name another address: the front replaces the headers the service trusts.
TEST_F(FrontTest, AClientsOwnAddressHeadersAreReplacedByTheFront) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  RawConnection connection(front_->HttpPort());
  ASSERT_TRUE(connection.Send(RawPost("/service", "cmd=check&spoof=1",
                                      "X-Real-IP: 203.0.113.9\r\nX-Real-Port: 4444\r\n")));
  const auto reading = connection.ReadUntilClosed(seconds(10));
  EXPECT_EQ(StatusIn(reading.bytes), 200) << reading.bytes;
  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].remoteAddress, "127.0.0.1:" + std::to_string(connection.LocalPort()));
}

// Without the front, the service takes the headers only from its trusted_proxy address.
TEST_F(FrontTest, TheServiceTakesTheAddressHeadersOnlyFromItsTrustedProxy) {
  ASSERT_NO_FATAL_FAILURE(StartService());
  const std::string headers = "X-Real-IP: 203.0.113.9\r\nX-Real-Port: 4444\r\n";
  {
    RawConnection connection(servicePort_);
    ASSERT_TRUE(connection.Send(RawPost("/service", "cmd=check&n=1", headers)));
    EXPECT_EQ(StatusIn(connection.ReadUntilClosed(seconds(10)).bytes), 200);
  }
  // Unsound values are not taken: the connection's own address is kept.
  RawConnection unsound(servicePort_);
  ASSERT_TRUE(unsound.Send(RawPost("/service", "cmd=check&n=2", "X-Real-IP: 203.0.113.9\r\nX-Real-Port: 4x\r\n")));
  EXPECT_EQ(StatusIn(unsound.ReadUntilClosed(seconds(10)).bytes), 200);
  auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].remoteAddress, "203.0.113.9:4444");
  EXPECT_EQ(rows[1].remoteAddress, "127.0.0.1:" + std::to_string(unsound.LocalPort()));

  // A service that trusts another address ignores the headers.
  service_.reset();
  std::filesystem::remove(Database());
  const auto folder = folder_.Path() / "untrusting";
  std::filesystem::create_directories(folder);
  WriteWholeFile(folder / "quillet-service.conf",
                 "listen_address = 127.0.0.1\nport = 0\noffered_version = 3.2\ndownload_address = https://e/\n"
                 "sqlite_database = " + Database().string() + "\ntrusted_proxy = 127.0.0.2\n");
  service_ = std::make_unique<ServiceProcess>(folder / "quillet-service.conf", folder);
  const auto port = service_->WaitUntilListening();
  ASSERT_TRUE(port.has_value()) << service_->Errors();
  RawConnection connection(*port);
  ASSERT_TRUE(connection.Send(RawPost("/service", "cmd=check&n=3", headers)));
  EXPECT_EQ(StatusIn(connection.ReadUntilClosed(seconds(10)).bytes), 200);
  rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].remoteAddress, "127.0.0.1:" + std::to_string(connection.LocalPort()));
}

TEST_F(FrontTest, PassesABodyOfOneMebibyteAndRefusesOneByteMoreWith413) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  const std::string head = "cmd=feedback&feedback=";
  const std::string largest = head + std::string(1024 * 1024 - head.size(), 'x');
  const Answer refused = Post("http", front_->HttpPort(), "/service", largest + "x");
  ASSERT_TRUE(refused.ok) << refused.error;
  EXPECT_EQ(refused.status, 413);
  EXPECT_TRUE(SqliteRows(Database()).empty());

  const Answer taken = Post("https", front_->HttpsPort(), "/service", largest, Authority());
  ASSERT_TRUE(taken.ok) << taken.error;
  EXPECT_EQ(taken.status, 200);
  EXPECT_EQ(taken.body, "确定");
  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0].body == largest) << "the stored body has " << rows[0].body.size() << " bytes";
}

// ---- (b) Slow and idle clients hold no worker of the service ----

// 1,000 clients that send a header line every 2 s and never finish, 1,000 that send nothing
// (half of them on the HTTPS port, where they never begin the handshake), all opened again as
// soon as nginx closes them; meanwhile a series of the program's checks, alternately over HTTPS
// and HTTP, against a service with 4 worker threads. Each must be answered within the program's
// own time-out, and each answered one stored.
TEST_F(FrontTest, AnswersEveryCheckWhileAThousandSlowAndAThousandIdleClientsAreOpen) {
  constexpr int kSlow = 1000;
  constexpr int kIdle = 1000;
  constexpr int kChecks = 60;
  const long limit = RaiseOpenFileLimit();
  ASSERT_GE(limit, kSlow + kIdle + 200) << "the open-file limit is too low for the test";
  ASSERT_NO_FATAL_FAILURE(StartBoth());

  std::unique_ptr<SlowClients> slow, idlePlain, idleSecure;
  try {
    slow = std::make_unique<SlowClients>(front_->HttpPort(), kSlow, 0);
    idlePlain = std::make_unique<SlowClients>(front_->HttpPort(), 0, kIdle / 2);
    idleSecure = std::make_unique<SlowClients>(front_->HttpsPort(), 0, kIdle / 2);
  } catch (const std::exception& error) {
    FAIL() << error.what();
  }
  // Every slow client has begun its header before the first check.
  std::this_thread::sleep_for(milliseconds(2500));

  // One check every 250 ms for 15 s: past the front's header time-out (10 s), so the checks also
  // meet nginx closing the waiting clients and the clients opening them again.
  std::vector<double> latencies;
  std::set<std::string> answered;
  std::string failures;
  const auto start = Clock::now();
  for (int n = 0; n < kChecks; ++n) {
    std::this_thread::sleep_until(start + milliseconds(250 * n));
    const std::string scheme = n % 2 == 0 ? "https" : "http";
    const std::string tag = std::to_string(n);
    const auto sent = Clock::now();
    const Answer answer =
        PostFromPort(0, scheme, scheme == "https" ? front_->HttpsPort() : front_->HttpPort(), "/service/check",
                     FormBody({"cmd=check", "appname=KALMIRO - Quillet", "version=3.1", "n=" + tag}),
                     Authority(), kProgramTimeoutSeconds);
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    if (answer.ok && answer.status == 200 && answer.body == kCheckAnswer) {
      answered.insert(tag);
      latencies.push_back(elapsed);
      if (elapsed > kProgramTimeoutSeconds * 1000.0) failures += "check " + tag + " took " + std::to_string(elapsed) + " ms\n";
    } else {
      failures += "check " + tag + " (" + scheme + "): " + (answer.ok ? std::to_string(answer.status) : answer.error) + "\n";
    }
  }
  std::printf("[ figures  ] %zu of %d checks answered with %d slow and %d idle clients open: "
              "p50 %.1f ms, p99 %.1f ms, max %.1f ms; nginx closed %ld waiting clients (opened again)\n",
              answered.size(), kChecks, kSlow, kIdle, Percentile(latencies, 50), Percentile(latencies, 99),
              Percentile(latencies, 100),
              slow->ClosedByServer() + idlePlain->ClosedByServer() + idleSecure->ClosedByServer());
  EXPECT_EQ(failures, "");
  EXPECT_EQ(slow->Open(), kSlow);
  EXPECT_EQ(idlePlain->Open() + idleSecure->Open(), kIdle);
  EXPECT_EQ(slow->Failures() + idlePlain->Failures() + idleSecure->Failures(), 0);
  // nginx bounds the waiting: each slow client is cut off (header time-out). The deadline only
  // keeps a front that never cuts them off from hanging the test.
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (slow->ClosedByServer() < kSlow && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(100));
  EXPECT_GE(slow->ClosedByServer(), kSlow);
  slow.reset();
  idlePlain.reset();
  idleSecure.reset();

  // Every answered check is stored, once; nothing of the waiting clients reached the service.
  std::multiset<std::string> stored;
  for (const auto& row : SqliteRows(Database())) {
    for (const auto& [name, value] : row.fields) {
      if (name == "n") stored.insert(value);
    }
  }
  EXPECT_EQ(stored, std::multiset<std::string>(answered.begin(), answered.end()));
  EXPECT_EQ(ServiceRequestLines(kChecks).size(), static_cast<std::size_t>(kChecks));
}

// ---- (c) Misbehaving clients: a clear status or a closed connection, nothing stored half ----

TEST_F(FrontTest, KeepsARequestOfAHundredThousandFieldsWhole) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  std::vector<std::string> lines = {"cmd=feedback"};
  for (int i = 0; i < 100000; ++i) lines.push_back("f=" + std::to_string(i));
  const std::string body = FormBody(lines);
  ASSERT_LE(body.size(), 1024u * 1024u);
  const Answer answer = Post("http", front_->HttpPort(), "/service", body);
  ASSERT_TRUE(answer.ok) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "确定");
  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].body, body);
  EXPECT_TRUE(rows[0].fields == AsFields(lines)) << rows[0].fields.size() << " fields stored";
  ExpectACheckIsAnswered();
}

// Headers beyond nginx's buffers: 100,000 header fields, or one header of a megabyte.
TEST_F(FrontTest, RefusesHugeHeadersWithAClearStatus) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  std::string manyFields;
  for (int i = 0; i < 100000; ++i) manyFields += "X-Field-" + std::to_string(i) + ": x\r\n";
  const std::string oneLarge = "X-Large: " + std::string(1024 * 1024, 'a') + "\r\n";
  for (const std::string* headers : std::vector<const std::string*>{&manyFields, &oneLarge}) {
    RawConnection connection(front_->HttpPort());
    // nginx answers and closes while the rest is still being sent.
    std::thread sender([&] { connection.Send(RawPost("/service", "cmd=check&huge=1", *headers)); });
    const auto reading = connection.ReadUntilClosed(seconds(20));
    sender.join();
    EXPECT_TRUE(reading.closed);
    const int status = StatusIn(reading.bytes);
    EXPECT_TRUE(status == 400 || status == 431 || status == 494 || (status == 0 && reading.bytes.empty()))
        << reading.bytes.substr(0, 300);
    ExpectACheckIsAnswered();
  }
  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 2u);  // the two normal checks only
  for (const auto& row : rows) EXPECT_EQ(row.fields, AsFields(kCheckLines));
}

// A body sent a piece a second for a minute reaches the service only once whole; one that
// stops halfway is cut off after the body time-out (the shipped 10 s) and never reaches it. The
// service answers others meanwhile.
TEST_F(FrontTest, PassesATrickledBodyOnlyWholeAndDropsOneThatStops) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  std::vector<std::string> lines = {"cmd=feedback", "email=user@example.com"};
  for (int i = 0; i < 10; ++i) lines.push_back("feedback" + std::to_string(i) + "=" + std::string(100, 'a' + i));
  const std::string body = FormBody(lines);
  const std::string request = RawPost("/service/feedback", body);
  const std::size_t headerEnd = request.size() - body.size();

  // Headers and the first 20 of 520 bytes of body, then nothing.
  const std::string stalledBody = "cmd=check&stalled=1&" + std::string(500, 'x');
  const std::string stalledRequest = RawPost("/service", stalledBody);
  RawConnection stalled(front_->HttpPort());
  ASSERT_TRUE(stalled.Send(stalledRequest.substr(0, stalledRequest.size() - stalledBody.size() + 20)));
  RawConnection trickle(front_->HttpPort());
  ASSERT_TRUE(trickle.Send(request.substr(0, headerEnd)));
  constexpr int kPieces = 60;
  std::size_t answered = 0;
  for (int piece = 0; piece < kPieces; ++piece) {
    std::this_thread::sleep_for(milliseconds(1000));
    const std::size_t from = body.size() * piece / kPieces, to = body.size() * (piece + 1) / kPieces;
    ASSERT_TRUE(trickle.Send(std::string_view(body).substr(from, to - from))) << "piece " << piece;
    if (piece == 2 || piece == 30) {
      ExpectACheckIsAnswered(piece == 2 ? "https" : "http");
      // Only the normal checks: neither the trickle nor the stalled body reached the service.
      EXPECT_EQ(SqliteRows(Database()).size(), ++answered) << "piece " << piece;
    }
  }
  const auto reading = trickle.ReadUntilClosed(seconds(30));
  EXPECT_EQ(StatusIn(reading.bytes), 200) << reading.bytes;
  EXPECT_NE(reading.bytes.find("确定"), std::string::npos);
  ExpectACheckIsAnswered();
  const auto cut = stalled.ReadUntilClosed(seconds(30));
  EXPECT_TRUE(cut.closed);
  const int status = StatusIn(cut.bytes);
  EXPECT_TRUE(status == 0 || status == 408) << cut.bytes;

  const auto rows = SqliteRows(Database());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].command, "check");
  EXPECT_EQ(rows[1].command, "check");
  EXPECT_EQ(rows[2].body, body);
  EXPECT_EQ(rows[2].fields, AsFields(lines));
  EXPECT_EQ(rows[3].command, "check");
}

// A connection that sends nothing is closed by nginx after its header time-out (tuned down to
// 3 s here), on either port (on the HTTPS one it never begins the handshake); it never reaches
// the service.
TEST_F(FrontTest, ClosesAConnectionThatSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(StartBoth("3s"));
  RawConnection plain(front_->HttpPort());
  RawConnection secure(front_->HttpsPort());
  for (RawConnection* connection : {&plain, &secure}) {
    // Closed by nginx: the limit here only catches a connection left open.
    const auto reading = connection->ReadUntilClosed(seconds(30));
    EXPECT_TRUE(reading.closed);
    EXPECT_EQ(reading.bytes, "");
  }
  ExpectACheckIsAnswered();
  EXPECT_EQ(ServiceRequestLines(1).size(), 1u);
}

// Only the service's path (POST) and /health (GET) reach the service; /metrics never does, by any
// spelling of its path.
TEST_F(FrontTest, ReachesOnlyTheServicePathAndHealth) {
  ASSERT_NO_FATAL_FAILURE(StartBoth());
  struct Case {
    std::string request;
    int status;
  };
  const std::vector<Case> cases = {
      {RawGet("/metrics"), 403},
      {RawPost("/metrics", "cmd=check"), 403},
      {RawGet("/metrics/"), 403},
      {RawGet("/metrics?format=text"), 403},
      {RawGet("/service/../metrics"), 403},
      {RawGet("/service/%2e%2e/metrics"), 403},
      {RawGet("//metrics"), 403},
      {RawGet("/"), 404},
      {RawGet("/index.html"), 404},
      {RawPost("/services", "cmd=check"), 404},
      {RawPost("/other/service", "cmd=check"), 404},
      {RawGet("/service"), 403},
      {RawGet("/service/check"), 403},
      {RawPost("/health", "cmd=check"), 403},
  };
  for (const auto& c : cases) {
    RawConnection connection(front_->HttpPort());
    ASSERT_TRUE(connection.Send(c.request));
    const auto reading = connection.ReadUntilClosed(seconds(10));
    EXPECT_EQ(StatusIn(reading.bytes), c.status) << c.request.substr(0, c.request.find('\r'));
  }
  EXPECT_TRUE(ServiceRequestLines().empty()) << service_->Output();

  // What reaches the service is nginx's own normalized path, never the client's spelling.
  RawConnection health(front_->HttpPort());
  ASSERT_TRUE(health.Send(RawGet("/metrics/../health")));
  EXPECT_EQ(StatusIn(health.ReadUntilClosed(seconds(10)).bytes), 200);
  RawConnection check(front_->HttpPort());
  ASSERT_TRUE(check.Send(RawPost("/metrics/../service/x/../check", "cmd=check")));
  EXPECT_EQ(StatusIn(check.ReadUntilClosed(seconds(10)).bytes), 200);
  const auto lines = ServiceRequestLines(2);
  ASSERT_EQ(lines.size(), 2u) << service_->Output();
  std::string joined = lines[0] + "\n" + lines[1];
  EXPECT_NE(joined.find(" GET /health "), std::string::npos) << joined;
  EXPECT_NE(joined.find(" POST /service/check cmd=check "), std::string::npos) << joined;
  EXPECT_EQ(joined.find("metrics"), std::string::npos) << joined;
}

}  // namespace
}  // namespace quillet::service::testing
