// Posts through WinHTTP to a small server on 127.0.0.1 inside this process: the form as the
// service receives it, error statuses, charsets, a service that never answers, a large body,
// answers that trickle in a byte at a time, a closed port and a secure post to a plain server.
#include "platform/win32/winhttp_transport.h"

#include <winhttp.h>

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../shared/service_cases.h"
#include "loopback_server.h"
#include "util/text.h"

namespace quillet {
namespace {

using testing::CannedReply;
using testing::FormFields;
using testing::HttpResponse;
using testing::LoopbackServer;

// The value of a request header, "" when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
  for (std::string_view line : SplitLines(head)) {
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsIgnoreAsciiCase(line.substr(0, colon), name)) {
      return std::string(TrimBlanks(line.substr(colon + 1)));
    }
  }
  return {};
}

const std::string kAnswer = "<version>3.2</version>\r\n<url>https://example.com/q</url>\r\n\r\n<result>1</result>";

TEST(WinHttpTransportTest, PlainPostDeliversEveryFieldIntactAndReturnsTheBody) {
  LoopbackServer server(CannedReply{HttpResponse("200 OK", "Content-Type: text/plain\r\n", kAnswer)});
  const ParameterList parameters = {
      "cmd=check",
      "appname=KALMIRO - Quillet",
      "version=3.1",
      "guid=a&b=c+d 100%",
      "note=\xE6\x9B\xB4\xE6\x96\xB0\xE5\x8F\xAF\xE7\x94\xA8 / ~*'()",  // 更新可用
      "empty=",
  };
  EXPECT_EQ(WinHttpTransport().Post(server.Address("http://"), parameters), kAnswer);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].head.substr(0, requests[0].head.find("\r\n")), "POST /check HTTP/1.1");
  EXPECT_EQ(HeaderValue(requests[0].head, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].body, FormBody(parameters));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"cmd", "check"},
      {"appname", "KALMIRO - Quillet"},
      {"version", "3.1"},
      {"guid", "a&b=c+d 100%"},
      {"note", "\xE6\x9B\xB4\xE6\x96\xB0\xE5\x8F\xAF\xE7\x94\xA8 / ~*'()"},
      {"empty", ""},
  };
  EXPECT_EQ(FormFields(requests[0].body), expected);
}

TEST(WinHttpTransportTest, PlainPostThrowsOnAnErrorStatusWithTheStatusLine) {
  const struct {
    const char* status;
    bool throws;
  } cases[] = {{"200 OK", false}, {"203 Non-Authoritative Information", false}, {"399 Odd", false},
               {"400 Bad Request", true}, {"404 Not Found", true}, {"500 Internal Server Error", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    LoopbackServer server(CannedReply{HttpResponse(c.status, "", "body of " + std::string(c.status))});
    if (!c.throws) {
      EXPECT_EQ(WinHttpTransport().Post(server.Address("http://"), {"cmd=check"}), "body of " + std::string(c.status));
      continue;
    }
    try {
      WinHttpTransport().Post(server.Address("http://"), {"cmd=check"});
      ADD_FAILURE() << "no error";
    } catch (const ServiceError& error) {
      EXPECT_EQ(std::string(error.what()), "HTTP/1.1 " + std::string(c.status));
    }
  }
}

TEST(WinHttpTransportTest, DeclaredCharsetDecodesTheBodyAndNoneMeansUtf8) {
  const struct {
    const char* contentTypeHeader;
    std::string body;
    std::string expected;
  } cases[] = {
      {"Content-Type: text/plain; charset=gbk\r\n", "<version>\xB8\xFC\xD0\xC2</version>",
       "<version>\xE6\x9B\xB4\xE6\x96\xB0</version>"},  // 更新
      {"Content-Type: text/plain; charset=ISO-8859-1\r\n", "caf\xE9", "caf\xC3\xA9"},
      {"Content-Type: text/plain\r\n", "\xE7\x82\xB9\xE5\x87\xBB", "\xE7\x82\xB9\xE5\x87\xBB"},  // 点击
      {"", "\xE7\x82\xB9\xE5\x87\xBB", "\xE7\x82\xB9\xE5\x87\xBB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contentTypeHeader);
    LoopbackServer server(CannedReply{HttpResponse("200 OK", c.contentTypeHeader, c.body)});
    EXPECT_EQ(WinHttpTransport().Post(server.Address("http://"), {"cmd=check"}), c.expected);
  }
}

TEST(WinHttpTransportTest, AnswerBodyDecoding) {
  const struct {
    const char* contentType;
    std::string body;
    std::string expected;
  } cases[] = {
      {"text/plain; charset=gbk", "\xB8\xFC\xD0\xC2", "\xE6\x9B\xB4\xE6\x96\xB0"},
      {"text/plain;charset=\"GB2312\"", "\xB8\xFC\xD0\xC2", "\xE6\x9B\xB4\xE6\x96\xB0"},
      {"text/plain; charset=big5", "\xA7\xF3\xB7\x73", "\xE6\x9B\xB4\xE6\x96\xB0"},
      {"text/html; charset=windows-1252", "\x80 5", "\xE2\x82\xAC 5"},
      {"text/plain; charset=iso-8859-1", "\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
      {"text/plain; charset=utf-16le", std::string("a\0\x34\x6C", 4), "a\xE6\xB0\xB4"},
      {"text/plain; charset=utf-16", std::string("\xFE\xFF\0a", 4), "a"},
      {"text/plain; format=flowed; charset=UTF-8", "\xE6\x9B\xB4", "\xE6\x9B\xB4"},
      {"text/plain; charset=x-no-such-charset", "\xE6\x9B\xB4", "\xE6\x9B\xB4"},
      {"", "plain ascii", "plain ascii"},
      // Invalid UTF-8 is replaced, never passed on.
      {"", "a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
      {"text/plain; charset=gbk", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.contentType) + " / " + c.body);
    const std::string decoded = DecodeAnswerBody(c.body, c.contentType);
    EXPECT_EQ(decoded, c.expected);
    EXPECT_TRUE(IsValidUtf8(decoded));
  }
  // An encoded surrogate is replaced too (how many U+FFFD it gives is the system's choice).
  const std::string surrogate = DecodeAnswerBody("<\xED\xA0\x80>", "text/plain; charset=utf-8");
  EXPECT_TRUE(IsValidUtf8(surrogate));
  EXPECT_NE(surrogate.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(WinHttpTransportTest, AServiceThatNeverAnswersEndsInAnErrorByTheClientsOwnLimit) {
  LoopbackServer server(CannedReply{"", true, false});
  try {
    WinHttpTransport().Post(server.Address("http://"), {"cmd=check"});
    ADD_FAILURE() << "no error";
  } catch (const ServiceError& error) {
    EXPECT_EQ(std::string(error.what()), WinHttpErrorText(ERROR_WINHTTP_TIMEOUT));
  }
  // The client gave up while the server still held the connection open.
  EXPECT_TRUE(server.WaitUntilClientClosedHeldConnection());
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(WinHttpTransportTest, ATenMegabyteBodyArrivesWhole) {
  std::string body(10 * 1024 * 1024, 'x');
  for (std::size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + (i / 4096) % 26);
  LoopbackServer server(CannedReply{HttpResponse("200 OK", "Content-Type: text/plain; charset=utf-8\r\n", body)});
  const std::string answer = WinHttpTransport().Post(server.Address("http://"), {"cmd=check"});
  EXPECT_EQ(answer.size(), body.size());
  EXPECT_TRUE(answer == body);
}

TEST(WinHttpTransportTest, AnAnswerThatKeepsTricklingEndsAtTheAttemptLimit) {
  // A byte every 100 ms never lets a read's time-out strike; only the attempt's own limit ends
  // a body that would take an hour. A slow answer that ends within the limit comes whole.
  auto trickling = [](std::size_t length) {
    CannedReply reply{HttpResponse("200 OK", "", std::string(length, 'x'))};
    reply.trickle = std::chrono::milliseconds(100);
    return reply;
  };
  LoopbackServer endless(trickling(36000));
  EXPECT_THROW(WinHttpTransport(std::chrono::seconds(1)).Post(endless.Address("http://"), {"cmd=check"}),
               ServiceError);
  LoopbackServer slow(trickling(10));
  EXPECT_EQ(WinHttpTransport().Post(slow.Address("http://"), {"cmd=check"}), std::string(10, 'x'));
}

TEST(WinHttpTransportTest, SharedCasesOfSlowAnswersEndWithinTheAttemptLimit) {
  using namespace quillet::test::service_cases;
  // Every case at once, each post on its own thread (posts share nothing), so that their waits
  // of several seconds overlap.
  struct Run {
    const SlowAnswerCase& slow;
    std::unique_ptr<LoopbackServer> server;
    std::future<TimedPost> outcome;
  };
  std::vector<Run> runs;
  for (const SlowAnswerCase& slow : kSlowAnswerCases) {
    CannedReply reply{SlowAnswerHead(slow.body.size()) + slow.body};
    reply.trickle = slow.pause;
    reply.trickleHead = slow.headTrickles;
    runs.push_back({slow, std::make_unique<LoopbackServer>(std::move(reply)), {}});
  }
  for (Run& run : runs) {
    run.outcome = std::async(std::launch::async, [address = run.server->Address("http://")] {
      WinHttpTransport transport;
      return PostAndTime(transport, address);
    });
  }
  for (Run& run : runs) {
    SCOPED_TRACE(run.slow.what);
    const TimedPost outcome = run.outcome.get();
    EXPECT_EQ(run.server->Requests().size(), 1u);
    if (run.slow.arrives) {
      EXPECT_FALSE(outcome.failed) << outcome.text;
      EXPECT_EQ(outcome.text, run.slow.body);
    } else {
      EXPECT_TRUE(outcome.failed) << outcome.text;
      EXPECT_FALSE(TrimControlAndBlanks(outcome.text).empty());
      EXPECT_LT(outcome.took, kSlowAnswerBound)
          << std::chrono::duration_cast<std::chrono::milliseconds>(outcome.took).count() << " ms";
    }
  }
}

TEST(WinHttpTransportTest, AnAnswerAboveTheLimitIsRefused) {
  LoopbackServer server(CannedReply{HttpResponse("200 OK", "", std::string(kMaxAnswerBytes + 1, 'x'))});
  EXPECT_THROW(WinHttpTransport().Post(server.Address("http://"), {"cmd=check"}), ServiceError);
}

TEST(WinHttpTransportTest, ConnectionFailuresThrowWithTheSystemsText) {
  const std::string closedPort = std::to_string(LoopbackServer::ClosedPort());
  // A plain server that answers a TLS hello with plain text.
  LoopbackServer plainServer(CannedReply{HttpResponse("200 OK", "", "not TLS"), false, true});
  const std::string addresses[] = {
      "http://127.0.0.1:" + closedPort + "/check",
      "https://127.0.0.1:" + closedPort + "/check",
      plainServer.Address("https://"),
      "http://",
      "ftp://127.0.0.1/check",
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    try {
      WinHttpTransport().Post(address, {"cmd=check"});
      ADD_FAILURE() << "no error";
    } catch (const ServiceError& error) {
      EXPECT_FALSE(TrimControlAndBlanks(error.what()).empty());
    }
  }
}

TEST(WinHttpTransportTest, ErrorsAreTold) {
  // A text, whether the system has one or not: the update check's log is read by people.
  for (DWORD code : {12002u, 12007u, 12029u, 12030u, 12152u, 12175u}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(WinHttpErrorText(code).find("WinHTTP error"), std::string::npos);
  }
  EXPECT_EQ(WinHttpErrorText(12999), "WinHTTP error 12999");
  EXPECT_FALSE(WinHttpErrorText(ERROR_ACCESS_DENIED).empty());
}

}  // namespace
}  // namespace quillet
