// The libcurl transport against real servers on 127.0.0.1: what arrives, what comes back, and
// how each scheme fails. The test authority is made once for the whole program.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "../shared/service_cases.h"
#include "fake_checker_system.h"
#include "loopback_server.h"
#include "service/checker.h"
#include "service/curl_transport.h"
#include "test_authority.h"
#include "util/text.h"

namespace quillet::test {
namespace {

const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87 \xE6\xB5\x8B\xE8\xAF\x95";  // 中文 测试

class CurlTransportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { authority_ = std::make_unique<TestAuthority>(); }
  static void TearDownTestSuite() { authority_.reset(); }

  CurlTransport Trusting() const { return CurlTransport(authority_->CaFile()); }

  static std::unique_ptr<TestAuthority> authority_;
};

std::unique_ptr<TestAuthority> CurlTransportTest::authority_;

CannedAnswer Answer(std::string body, int status = 200) {
  CannedAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

TEST_F(CurlTransportTest, SecurePostDeliversEveryFieldIntactAndReturnsTheBody) {
  LoopbackServer server(authority_.get(), [](const ReceivedPost&) { return Answer("<version>3.2</version>\r\nok"); });
  const ParameterList parameters{"cmd=check", "a&b=c=d", "plus=1+1", "blank= two  words ", "text=" + kChinese,
                                 "empty="};

  const std::string answer = Trusting().Post("https://" + server.Address(), parameters);

  EXPECT_EQ(answer, "<version>3.2</version>\r\nok");
  const std::vector<ReceivedPost> received = server.Received();
  ASSERT_EQ(received.size(), 1u);
  const ReceivedPost& post = received[0];
  EXPECT_EQ(post.path, "/check");
  EXPECT_EQ(post.connection, "close");
  EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded; charset=utf-8");
  const std::multimap<std::string, std::string> expected{
      {"cmd", "check"}, {"a&b", "c=d"}, {"plus", "1+1"}, {"blank", " two  words "}, {"text", kChinese}, {"empty", ""}};
  EXPECT_EQ(post.fields, expected);
}

TEST_F(CurlTransportTest, PlainPostUsesThePlainContentType) {
  LoopbackServer server(nullptr, [](const ReceivedPost&) { return Answer("fine"); });

  EXPECT_EQ(Trusting().Post("http://" + server.Address(), {"cmd=feedback", "text=" + kChinese}), "fine");

  const std::vector<ReceivedPost> received = server.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(received[0].fields.find("text")->second, kChinese);
}

TEST_F(CurlTransportTest, SecureReturnsTheBodyOfAnErrorStatusWhilePlainThrows) {
  LoopbackServer secure(authority_.get(), [](const ReceivedPost&) { return Answer("ERROR busy", 500); });
  LoopbackServer plain(nullptr, [](const ReceivedPost&) { return Answer("ERROR busy", 500); });
  const CurlTransport transport = Trusting();

  EXPECT_EQ(CurlTransport(transport).Post("https://" + secure.Address(), {"cmd=check"}), "ERROR busy");
  try {
    CurlTransport(transport).Post("http://" + plain.Address(), {"cmd=check"});
    FAIL() << "an error status on the plain scheme must throw";
  } catch (const ServiceError& error) {
    EXPECT_NE(std::string(error.what()).find("500"), std::string::npos) << error.what();
  }
}

TEST_F(CurlTransportTest, UpperCaseSchemeTakesThePlainRules) {
  LoopbackServer secure(authority_.get(), [](const ReceivedPost&) { return Answer("gone", 404); });

  EXPECT_THROW(Trusting().Post("HTTPS://" + secure.Address(), {"cmd=check"}), ServiceError);
  ASSERT_EQ(secure.Received().size(), 1u);
  EXPECT_EQ(secure.Received()[0].connection, "");  // no "Connection: close" either
}

TEST_F(CurlTransportTest, FailuresThrowServiceError) {
  LoopbackServer secure(authority_.get(), [](const ReceivedPost&) { return Answer("never read"); });
  LoopbackServer plain(nullptr, [](const ReceivedPost&) { return Answer("never read"); });
  const std::string nowhere = "127.0.0.1:" + std::to_string(UnusedPort()) + "/check";
  struct Case {
    const char* what;
    CurlTransport transport;
    std::string address;
  };
  const Case cases[] = {
      {"refused secure", Trusting(), "https://" + nowhere},
      {"refused plain", Trusting(), "http://" + nowhere},
      {"certificate of an authority the client was not told to trust", CurlTransport(), "https://" + secure.Address()},
      {"secure scheme against a plain server", Trusting(), "https://" + plain.Address()},
      {"unknown host", Trusting(), "https://quillet-test.invalid/check"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CurlTransport transport = c.transport;
    try {
      transport.Post(c.address, {"cmd=check"});
      ADD_FAILURE() << "no error";
    } catch (const ServiceError& error) {
      EXPECT_FALSE(TrimBlanks(error.what()).empty());
    }
  }
  EXPECT_TRUE(secure.Received().empty());
}

TEST_F(CurlTransportTest, AServerThatNeverAnswersEndsTheAttempt) {
  SilentListener silent;  // takes the connection, never starts TLS
  LoopbackServer mute(nullptr, [](const ReceivedPost&) {
    CannedAnswer answer;
    answer.neverAnswer = true;
    return answer;
  });
  const std::string addresses[] = {"https://" + silent.Address(), "http://" + mute.Address()};
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Trusting().Post(address, {"cmd=check"}), ServiceError);
    // A generous bound: the attempt has to end, not to be fast.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
  EXPECT_EQ(mute.Received().size(), 1u);
}

TEST_F(CurlTransportTest, AnAnswerThatKeepsTricklingEndsAtTheAttemptLimit) {
  // A byte every 100 ms never lets the response time-out strike; only the attempt's own limit
  // ends a body that would take an hour. A slow answer that ends within the limit comes whole.
  auto trickling = [](std::size_t length) {
    return [length](const ReceivedPost&) {
      CannedAnswer answer = Answer(std::string(length, 'x'));
      answer.trickle = std::chrono::milliseconds(100);
      return answer;
    };
  };
  LoopbackServer endlessSecure(authority_.get(), trickling(36000));
  LoopbackServer endlessPlain(nullptr, trickling(36000));
  for (const std::string& address : {"https://" + endlessSecure.Address(), "http://" + endlessPlain.Address()}) {
    SCOPED_TRACE(address);
    EXPECT_THROW(CurlTransport(authority_->CaFile(), std::chrono::seconds(1)).Post(address, {"cmd=check"}),
                 ServiceError);
  }
  LoopbackServer slow(nullptr, trickling(10));
  EXPECT_EQ(Trusting().Post("http://" + slow.Address(), {"cmd=check"}), std::string(10, 'x'));
}

TEST_F(CurlTransportTest, SharedCasesOfSlowAnswersEndWithinTheAttemptLimit) {
  using namespace service_cases;
  // Every case over both schemes at once, each post on its own thread (posts share nothing),
  // so that their waits of several seconds overlap.
  struct Run {
    const SlowAnswerCase& slow;
    const char* scheme;
    std::unique_ptr<TricklingServer> server;
    std::future<TimedPost> outcome;
  };
  std::vector<Run> runs;
  for (const SlowAnswerCase& slow : kSlowAnswerCases) {
    const std::string head = SlowAnswerHead(slow.body.size());
    const std::size_t atOnce = slow.headTrickles ? 0 : head.size();
    for (const char* scheme : {"https://", "http://"}) {
      const TestAuthority* authority = scheme == std::string("https://") ? authority_.get() : nullptr;
      runs.push_back(
          {slow, scheme, std::make_unique<TricklingServer>(authority, head + slow.body, atOnce, slow.pause), {}});
    }
  }
  for (Run& run : runs) {
    const std::string address = run.scheme + run.server->Address();
    run.outcome = std::async(std::launch::async, [caFile = authority_->CaFile(), address] {
      CurlTransport transport(caFile);
      return PostAndTime(transport, address);
    });
  }
  for (Run& run : runs) {
    SCOPED_TRACE(std::string(run.scheme) + " " + run.slow.what);
    const TimedPost outcome = run.outcome.get();
    EXPECT_EQ(run.server->Requests(), 1);
    if (run.slow.arrives) {
      EXPECT_FALSE(outcome.failed) << outcome.text;
      EXPECT_EQ(outcome.text, run.slow.body);
    } else {
      EXPECT_TRUE(outcome.failed) << outcome.text;
      EXPECT_FALSE(TrimBlanks(outcome.text).empty());
      EXPECT_LT(outcome.took, kSlowAnswerBound)
          << std::chrono::duration_cast<std::chrono::milliseconds>(outcome.took).count() << " ms";
    }
  }
}

TEST_F(CurlTransportTest, LargeAndMalformedBodiesComeBackAsUtf8) {
  std::string large(10 * 1024 * 1024, 'x');
  large.replace(0, 6, "<a>b\r\n");
  const std::string malformed = "<version>3\xFF\xC0.2</version>\r\n\xE4\xB8";
  LoopbackServer largeServer(authority_.get(), [&](const ReceivedPost&) { return Answer(large); });
  LoopbackServer malformedServer(nullptr, [&](const ReceivedPost&) { return Answer(malformed); });
  LoopbackServer latin1Server(nullptr, [](const ReceivedPost&) {
    CannedAnswer answer = Answer("caf\xE9");
    answer.contentType = "text/plain; charset=ISO-8859-1";
    return answer;
  });

  EXPECT_EQ(Trusting().Post("https://" + largeServer.Address(), {"cmd=check"}), large);
  const std::string decoded = Trusting().Post("http://" + malformedServer.Address(), {"cmd=check"});
  EXPECT_TRUE(IsValidUtf8(decoded));
  EXPECT_EQ(decoded, "<version>3\xEF\xBF\xBD\xEF\xBF\xBD.2</version>\r\n\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Trusting().Post("http://" + latin1Server.Address(), {"cmd=check"}), "caf\xC3\xA9");
}

// The whole check over real sockets: the secure attempt fails, the plain one is used, and the
// download address it names only where a plain answer may choose one.
TEST_F(CurlTransportTest, CheckFallsBackToThePlainSchemeAndUsesItsAnswer) {
  for (const service_cases::PlainOfferCase& c : service_cases::kPlainOfferCases) {
    SCOPED_TRACE(c.what);
    LoopbackServer plain(nullptr, [&](const ReceivedPost&) { return Answer(service_cases::OfferAnswer(c.offered)); });
    CurlTransport transport = Trusting();
    FakeCheckerSystem system;
    system.realNetwork = &transport;
    CheckResult result;

    RunCheck(system, {"Kalmiro - Quillet", "3.1", plain.Address(), service_cases::kPlainOfferDefault}, result);

    EXPECT_TRUE(result.done.load(std::memory_order_acquire));
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.errorLog, "");
    EXPECT_TRUE(result.newVersionFound);
    EXPECT_EQ(result.newVersionText, "3.2");
    const std::string used = c.used ? c.offered : service_cases::kPlainOfferDefault;
    EXPECT_EQ(result.downloadAddress, used);
    EXPECT_EQ(DecodeStored(system.key.values["CurrentURL"], kStoredSeed), used);
    const std::vector<ReceivedPost> received = plain.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].fields.find("appname")->second, "Kalmiro - Quillet");
    EXPECT_EQ(received[0].fields.find("howmany")->second, "1");
  }
}

TEST_F(CurlTransportTest, CheckWithTheServiceDownRecordsBothAttempts) {
  CurlTransport transport = Trusting();
  FakeCheckerSystem system;
  system.realNetwork = &transport;
  CheckResult result;

  RunCheck(system,
           {"Kalmiro - Quillet", "3.1", "127.0.0.1:" + std::to_string(UnusedPort()) + "/check",
            service_cases::kPlainOfferDefault},
           result);

  EXPECT_TRUE(result.done.load(std::memory_order_acquire));
  EXPECT_FALSE(result.newVersionFound);
  EXPECT_TRUE(result.errorLog.starts_with("HTTPS Response:\r")) << result.errorLog;
  EXPECT_NE(result.errorLog.find("\r\rHTTP Response:\r"), std::string::npos) << result.errorLog;
}

}  // namespace
}  // namespace quillet::test
