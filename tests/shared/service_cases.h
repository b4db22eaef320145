// Cases that every build's service requests must pass alike: the form body, the answer-line
// reader, the key-name digest and the stored-value format (the native tests run them against
// OpenSSL, the Windows tests against CNG), and answers that arrive a byte at a time (the native
// tests post them through libcurl, the Windows tests through WinHTTP). Non-ASCII text is
// written as UTF-8 escapes so that every compiler reads the same bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "service/service_request.h"
#include "service/transport.h"

namespace quillet::test::service_cases {

struct FormBodyCase {
  const char* what;
  ParameterList parameters;
  std::string body;
};

inline const std::vector<FormBodyCase> kFormBodyCases = {
    {"no fields", {}, ""},
    {"request head", {"cmd=check", "appname=Kalmiro - Quillet", "version=3.1"},
     "cmd=check&appname=Kalmiro+-+Quillet&version=3.1"},
    {"separators inside a value", {"q=a&b=c+d e"}, "q=a%26b%3Dc%2Bd+e"},
    {"only the first = separates", {"a==b="}, "a=%3Db%3D"},
    {"Chinese", {"text=\xE4\xB8\xAD\xE6\x96\x87"}, "text=%E4%B8%AD%E6%96%87"},
    {"empty value and no =", {"empty=", "bare"}, "empty=&bare="},
    {"blank in a name", {"my name=x"}, "my+name=x"},
    {"unreserved marks stay", {"k=AZaz09-._~"}, "k=AZaz09-._~"},
    {"other marks escaped upper-case",
     {"os=Windows 10 (Version 10.0, Build 19045, 64-bit Edition)", "u=http://x/?*'!", "n=\r\n\t"},
     "os=Windows+10+%28Version+10.0%2C+Build+19045%2C+64-bit+Edition%29&u=http%3A%2F%2Fx%2F%3F%2A%27%21&n=%0D%0A%09"},
};

struct TagValueCase {
  const char* line;
  const char* tag;
  const char* value;
};

inline const std::vector<TagValueCase> kTagValueCases = {
    {"<version>2.5</version>", "version", "2.5"},
    {"<version>2.5</version>", "Version", "2.5"},  // the tag is lowered
    {"<Version>2.5</Version>", "version", ""},     // the line is not
    {" <version>2.5</version>", "version", ""},
    {"<version>2.5</version> ", "version", ""},
    {"<version>2.5</version>\r", "version", ""},
    {"<version></version>", "version", ""},
    {"<url>a</b></url>", "url", "a</b>"},
    {"<url>http://x/?a=<1>&b=2</url>", "url", "http://x/?a=<1>&b=2"},
    {"<important>\xE8\xAF\xB7\xE6\x9B\xB4\xE6\x96\xB0</important>", "important", "\xE8\xAF\xB7\xE6\x9B\xB4\xE6\x96\xB0"},
    {"<result>1</result>", "version", ""},
    {"<version>", "version", ""},
    {"", "version", ""},
    {"<>x</>", "", ""},
};

struct Md5Case {
  const char* text;
  const char* hex;
};

inline const std::vector<Md5Case> kMd5Cases = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"The quick brown fox jumps over the lazy dog", "9E107D9D372BB6826BD81D3542A419D6"},
    {"Kalmiro - Quillet", "0F4A525BC643DC9A42F37DFEAD6BFCFC"},
    // Every character above 127 is hashed as "?": "\xC3\x84" is MD5("?"), "a中b" is MD5("a?b"), and a
    // character outside the basic plane counts twice, as its two UTF-16 units ("a??b").
    {"\xC3\x84", "D1457B72C3FB323A2671125AEF3EAB5D"},
    {"?", "D1457B72C3FB323A2671125AEF3EAB5D"},
    {"a\xE4\xB8\xAD" "b", "0166D849F21A9D699D896EA2A79A375F"},
    {"a\xF0\x9F\x98\x80" "b", "5C04ABB6B0CAB26B9DF5BAA55E1A21D7"},
    // The edge: U+007F is still its own byte, U+0080 is the first to become "?". Earlier versions
    // named the update key this way; another rule would lose the user's update state.
    {"\x7F", "83ACB6E67E50E31DB6ED341DD2DE1595"},
    {"a\x7F" "b", "6277CEDEB38A81BE5E0FF454B93C9BF8"},
    {"a\xC2\x80" "b", "0166D849F21A9D699D896EA2A79A375F"},
};

struct StoredCase {
  const char* text;
  std::uint16_t seed;
  const char* stored;
};

// Each text encodes to its stored form and the stored form decodes back.
inline const std::vector<StoredCase> kStoredCases = {
    {"", kStoredSeed, ""},
    {"3.2", kStoredSeed, "3342C2"},
    {"https://quillet.example.com/download/", kStoredSeed,
     "6892F0863BCEBFE1E2DAFAEC94A942965FE6C3FD8C58F5F5707092B8774E695CDE2DD1E023"},
    {"\xE4\xB8\xAD\xE6\x96\x87", kStoredSeed, "E42783CE84BF"},
    {"a", 0, "61"},
    {"a", 0xFFFF, "9E"},
    {"hello world", 0x1234, "7A2BAFD7694524D22DB233"},
};

// Stored forms that only decode: written by hand or damaged.
inline const std::vector<StoredCase> kDecodeOnlyCases = {
    {"3.2", kStoredSeed, "3342c2"},    // lower-case digits
    {"3.2", kStoredSeed, "3342C2F"},   // an odd last character is ignored
    {"3.", kStoredSeed, "3342C"},
    {"", kStoredSeed, "33G2C2"},       // a pair that is not hexadecimal
    {"", kStoredSeed, "3342C "},
    {"", kStoredSeed, " 3342C2"},
    {"\xEF\xBF\xBD", kStoredSeed, "FF"},  // a byte that is not UTF-8 becomes U+FFFD
    {"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", kStoredSeed, "EDA187"},  // a lone surrogate's bytes too
};

// An answer sent a byte at a time, `pause` apart: the body alone, or the status line and the
// headers too. However steadily the bytes come, one attempt ends within its two time-outs
// together; an answer complete by then comes back whole.
struct SlowAnswerCase {
  const char* what;
  std::string body;
  bool headTrickles;  // the status line and headers go out a byte at a time as well
  std::chrono::milliseconds pause;
  bool arrives;  // the post returns the body; else it fails
};

inline const std::vector<SlowAnswerCase> kSlowAnswerCases = {
    {"body trickled for 30 s", std::string(30, 'x'), false, std::chrono::milliseconds(1000), false},
    {"head trickled for over 100 s", "\xE7\xA1\xAE\xE5\xAE\x9A", true, std::chrono::milliseconds(1000), false},
    // About 4 s in all: longer than the answer time-out, inside the attempt's limit.
    {"body trickled for about 4 s", "\xE7\xA1\xAE\xE5\xAE\x9A", false, std::chrono::milliseconds(700), true},
    // The head has to be complete within the answer time-out; this one takes about 1.5 s.
    {"head and body trickled for about 1.5 s", "\xE7\xA1\xAE\xE5\xAE\x9A", true, std::chrono::milliseconds(15),
     true},
};

// The head every test server sends before a slow body, the same in every build.
inline std::string SlowAnswerHead(std::size_t bodyBytes) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(bodyBytes) +
         "\r\nConnection: close\r\n\r\n";
}

// A failed slow answer ends well before this, and long before its trickle would have ended:
// the attempt's limit ended it.
inline constexpr std::chrono::seconds kSlowAnswerBound{10};

struct TimedPost {
  bool failed = false;
  std::string text;  // the answer, or the error's message
  std::chrono::steady_clock::duration took{};
};

inline TimedPost PostAndTime(Transport& transport, const std::string& address) {
  TimedPost outcome;
  const auto start = std::chrono::steady_clock::now();
  try {
    outcome.text = transport.Post(address, {"cmd=feedback"});
  } catch (const ServiceError& error) {
    outcome.failed = true;
    outcome.text = error.what();
  }
  outcome.took = std::chrono::steady_clock::now() - start;
  return outcome;
}

}  // namespace quillet::test::service_cases
