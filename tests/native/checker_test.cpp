#include "service/checker.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_checker_system.h"

namespace quillet {
namespace {

using test::FakeCheckerSystem;

const std::string kAddress = "service.example.com/check";
const std::string kSecure = "https://" + kAddress;
const std::string kPlain = "http://" + kAddress;
const std::string kDefaultDownload = "https://quillet.example.com/download/";
const std::string kInvalidAnswer =
    "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x99\xA8\xE5\x93\x8D\xE5\xBA\x94";

// An answer of the check command: the version, the address, a line the run skips, the
// result, another skipped line and the message for the user.
std::string Answer(const std::string& version, const std::string& url = "https://quillet.example.com/get",
                   const std::string& result = "1", const std::string& important = "") {
  return "<version>" + version + "</version>\r\n<url>" + url + "</url>\r\n<size>12</size>\r\n<result>" + result +
         "</result>\r\n\r\n<important>" + important + "</important>\r\n";
}

class CheckerTest : public ::testing::Test {
 protected:
  void Run() { RunCheck(system, input, result); }
  bool Done() const { return result.done.load(std::memory_order_acquire); }
  std::optional<std::string> Stored(const std::string& name) {
    const auto it = system.key.values.find(name);
    return it == system.key.values.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::string& Reply(const std::string& address) { return system.network.answers[address]; }

  FakeCheckerSystem system;
  CheckerInput input{"Kalmiro - Quillet", "3.1", kAddress, kDefaultDownload};
  CheckResult result;
};

TEST_F(CheckerTest, FirstStartCreatesTheStateAndSendsTheWholeRequest) {
  Reply(kSecure) = Answer("3.2");

  Run();

  EXPECT_TRUE(Done());
  EXPECT_EQ(system.key.openedName, "SOFTWARE\\Microsoft\\VS\\ServiceModules\\0F4A525BC643DC9A42F37DFEAD6BFCFC");
  EXPECT_EQ(Stored("HowMany"), "1");
  EXPECT_EQ(Stored("InstalledVersion"), "3.1");
  ASSERT_EQ(system.network.calls.size(), 1u);
  EXPECT_EQ(system.network.calls[0].address, kSecure);
  const ParameterList expected{"cmd=check",
                               "appname=Kalmiro - Quillet",
                               "version=3.1",
                               "os=Windows 10 (Version 10.0, Build 19045, 64-bit Edition)",
                               "local=zh-CN",
                               "guid=5f3c8a52-0c1d-4e8b-9a1f-2b7d6c4e9a10",
                               "howmany=1"};
  EXPECT_EQ(system.network.calls[0].parameters, expected);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_TRUE(result.newVersionFound);
  EXPECT_EQ(result.newVersionText, "3.2");
  EXPECT_EQ(result.downloadAddress, "https://quillet.example.com/get");
  EXPECT_EQ(Stored("CurrentVersion"), "3.2");
  EXPECT_EQ(Stored("CurrentURL"), EncodeStored("https://quillet.example.com/get", 0xD3));
  EXPECT_EQ(Stored("LastUpdateInform"), "2024/5/17");
}

TEST_F(CheckerTest, StartCountBelongsToTheVersionThatRanLast) {
  struct Case {
    std::optional<std::string> installed, howMany;
    std::string counted;
  };
  const Case cases[] = {
      {"3.1", "41", "42"},
      {"3.0", "41", "1"},          // the version changed
      {"3.1 ", "41", "1"},         // compared exactly
      {std::nullopt, "41", "1"},
      {"3.1", std::nullopt, "1"},
      {"3.1", "many", "1"},
      {"3.1", "2147483647", "2147483648"},
      {"3.1", "2147483648", "1"},  // above a 32-bit number: read as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.howMany.value_or("(none)") + " after " + c.installed.value_or("(none)"));
    FakeCheckerSystem fresh;
    if (c.installed) fresh.key.values["InstalledVersion"] = *c.installed;
    if (c.howMany) fresh.key.values["HowMany"] = *c.howMany;
    fresh.network.answers[kSecure] = Answer("3.1");
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_EQ(fresh.key.values["HowMany"], c.counted);
    EXPECT_EQ(fresh.key.values["InstalledVersion"], "3.1");
    ASSERT_EQ(fresh.network.calls.size(), 1u);
    EXPECT_EQ(fresh.network.calls[0].parameters.back(), "howmany=" + c.counted);
  }
}

TEST_F(CheckerTest, ShowUpdateDecidesOnTheRequestAndTheNotice) {
  struct Case {
    std::optional<std::string> stored;
    long long value;
    bool requested, noticed;
  };
  const Case cases[] = {
      {"0", 0, false, false},
      {"1", 1, true, true},
      {"2", 2, true, false},  // asked and accepted, but no notice
      {std::nullopt, 1, true, true},
      {"off", 1, true, true},
      {"99999999999", 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.value_or("(none)"));
    FakeCheckerSystem fresh;
    if (c.stored) fresh.key.values["ShowUpdate"] = *c.stored;
    fresh.network.answers[kSecure] = Answer("3.2");
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_TRUE(outcome.done.load(std::memory_order_acquire));
    EXPECT_EQ(outcome.showUpdateValue, c.value);
    EXPECT_EQ(fresh.network.calls.size(), c.requested ? 1u : 0u);
    EXPECT_EQ(fresh.key.values.count("CurrentVersion"), c.requested ? 1u : 0u);
    EXPECT_EQ(outcome.newVersionFound, c.noticed);
    EXPECT_EQ(fresh.key.values.count("LastUpdateInform"), c.noticed ? 1u : 0u);
    EXPECT_EQ(fresh.key.values["HowMany"], "1");
    EXPECT_FALSE(outcome.error);
  }
}

TEST_F(CheckerTest, InvalidAnswersAreRecordedAndNothingIsTaken) {
  const std::string cases[] = {
      "ERROR: unknown application",
      "ERROR" + Answer("3.2"),
      "<version>3.2</version>\r\n<url>https://x/</url>\r\n<size>1</size>",
      Answer("3.2", "https://x/", "2"),
      Answer("3.2", "https://x/", ""),
      Answer("3.2", "https://x/", " 1"),
      "",
  };
  for (const std::string& answer : cases) {
    SCOPED_TRACE(answer);
    FakeCheckerSystem fresh;
    fresh.network.answers[kSecure] = answer;
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_TRUE(outcome.done.load(std::memory_order_acquire));
    EXPECT_TRUE(outcome.error);
    EXPECT_EQ(outcome.errorLog, kInvalidAnswer);
    EXPECT_FALSE(outcome.newVersionFound);
    EXPECT_EQ(outcome.newVersionText, "");
    EXPECT_EQ(fresh.key.values.count("CurrentVersion"), 0u);
    EXPECT_EQ(fresh.key.values.count("CurrentURL"), 0u);
  }
}

TEST_F(CheckerTest, AcceptedAnswerIsStoredButOnlyANumericOtherVersionIsNoticed) {
  struct Case {
    std::string version, result;
    bool noticed;
  };
  const Case cases[] = {
      {"3.2", "1", true},
      {"3.2", "0", true},  // the result only has to be valid
      {"1.2.3", "1", true},
      {"1.9", "1", true},  // a lower version is offered too: texts are compared
      {"3.1", "1", false},  // the running version
      {"beta", "1", false},
      {"", "1", false},
      {"...", "1", false},
      {"99.999.999.999", "1", false},  // not a 32-bit number once the dots are gone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    FakeCheckerSystem fresh;
    fresh.network.answers[kSecure] = Answer(c.version, "https://x.example/d?v=" + c.version, c.result);
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_TRUE(outcome.done.load(std::memory_order_acquire));
    EXPECT_FALSE(outcome.error) << outcome.errorLog;
    EXPECT_EQ(outcome.newVersionFound, c.noticed);
    EXPECT_EQ(outcome.newVersionText, c.version);
    EXPECT_EQ(fresh.key.values["CurrentVersion"], c.version);
    EXPECT_EQ(DecodeStored(fresh.key.values["CurrentURL"], kStoredSeed), "https://x.example/d?v=" + c.version);
    EXPECT_EQ(fresh.key.values.count("LastUpdateInform"), c.noticed ? 1u : 0u);
  }
}

TEST_F(CheckerTest, PlainAnswerAfterASecureFailureClearsEveryRecordedError) {
  system.failMachineGuid = true;
  Reply(kPlain) = Answer("3.2");

  Run();

  ASSERT_EQ(system.network.calls.size(), 2u);
  EXPECT_EQ(system.network.calls[1].address, kPlain);
  EXPECT_EQ(system.network.calls[1].parameters, system.network.calls[0].parameters);
  EXPECT_EQ(system.network.calls[0].parameters[5], "guid=");
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.errorLog, "");
  EXPECT_TRUE(result.newVersionFound);
  EXPECT_TRUE(Done());
}

// Whoever is on the way of a plain request can forge its answer, so a plain answer may name
// only a secure address on the service's own host; any other leads to the default page, and
// that is also what is kept as the current address. Secure answers choose freely.
TEST_F(CheckerTest, APlainAnswerChoosesTheDownloadOnlyOnTheServiceHostOverHttps) {
  struct Case {
    bool secure;  // which attempt is answered
    std::string offered, used;
  };
  const Case cases[] = {
      {true, "http://elsewhere.example/get", "http://elsewhere.example/get"},
      {true, "https://elsewhere.example/get", "https://elsewhere.example/get"},
      {true, "", ""},
      {false, "https://service.example.com/get/3.2", "https://service.example.com/get/3.2"},
      {false, "https://SERVICE.example.com:8443/get", "https://SERVICE.example.com:8443/get"},
      {false, "http://service.example.com/get", kDefaultDownload},
      {false, "https://elsewhere.example/get", kDefaultDownload},
      {false, "https://service.example.com.evil.example/get", kDefaultDownload},
      {false, "https://service.example.com@evil.example/get", kDefaultDownload},
      {false, "C:\\Windows\\notepad.exe", kDefaultDownload},
      {false, "", kDefaultDownload},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.secure ? "secure: " : "plain: ") + c.offered);
    FakeCheckerSystem fresh;
    fresh.network.answers[c.secure ? kSecure : kPlain] = Answer("3.2", c.offered);
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    ASSERT_EQ(fresh.network.calls.size(), c.secure ? 1u : 2u);
    EXPECT_FALSE(outcome.error) << outcome.errorLog;
    EXPECT_TRUE(outcome.newVersionFound);
    EXPECT_EQ(outcome.downloadAddress, c.used);
    EXPECT_EQ(DecodeStored(fresh.key.values["CurrentURL"], kStoredSeed), c.used);
  }
}

TEST_F(CheckerTest, BothAttemptsFailingAreRecordedInOrder) {
  Run();

  EXPECT_TRUE(Done());
  EXPECT_TRUE(result.error);
  EXPECT_EQ(result.errorLog, "HTTPS Response:\rConnection refused\r\rHTTP Response:\rConnection refused");
  EXPECT_FALSE(result.newVersionFound);
  EXPECT_EQ(Stored("CurrentVersion"), std::nullopt);
  EXPECT_EQ(Stored("HowMany"), "1");
}

TEST_F(CheckerTest, ErrorsBeforeThePostAreRecordedAndTheAnswerIsSkipped) {
  struct Case {
    const char* what;
    void (*arrange)(FakeCheckerSystem&);
    std::string log;
    std::size_t parameterCount;
  };
  const Case cases[] = {
      {"identity", [](FakeCheckerSystem& s) { s.failMachineGuid = true; }, "Error: GUID generate problem!", 7},
      {"locale", [](FakeCheckerSystem& s) { s.failLocale = true; }, "Error: LocaleName2 problem!", 6},
      {"key", [](FakeCheckerSystem& s) { s.key.failOpen = true; }, "Error: Registry open problem!", 7},
      {"identity and locale",
       [](FakeCheckerSystem& s) {
         s.failMachineGuid = true;
         s.failLocale = true;
       },
       "Error: GUID generate problem!\r\rError: LocaleName2 problem!", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCheckerSystem fresh;
    c.arrange(fresh);
    fresh.network.answers[kSecure] = Answer("3.2");
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_TRUE(outcome.done.load(std::memory_order_acquire));
    EXPECT_EQ(outcome.errorLog, c.log);
    ASSERT_EQ(fresh.network.calls.size(), 1u);  // still asked
    EXPECT_EQ(fresh.network.calls[0].parameters.size(), c.parameterCount);
    EXPECT_FALSE(outcome.newVersionFound);
    EXPECT_EQ(fresh.key.values.count("CurrentVersion"), 0u);
  }
}

TEST_F(CheckerTest, ImportantMessageIsShownBeforeTheNoticeUnlessBlank) {
  struct Case {
    std::string important;
    bool shown;
  };
  const Case cases[] = {
      {" \xE8\xAF\xB7\xE5\x8D\x87\xE7\xBA\xA7 ", true},  // shown untrimmed
      {"   \t ", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.important);
    FakeCheckerSystem fresh;
    fresh.network.answers[kSecure] = Answer("3.2", "https://x/", "1", c.important);
    CheckResult outcome;
    bool noticeRaisedBeforeTheBoxClosed = false;
    fresh.onShowImportant = [&] { noticeRaisedBeforeTheBoxClosed = outcome.newVersionFound; };

    RunCheck(fresh, input, outcome);

    EXPECT_EQ(fresh.shownMessages, c.shown ? std::vector<std::string>{c.important} : std::vector<std::string>{});
    EXPECT_FALSE(noticeRaisedBeforeTheBoxClosed);
    EXPECT_TRUE(outcome.newVersionFound);
  }
}

TEST_F(CheckerTest, ImportantMessageShowsAlsoForTheRunningVersion) {
  Reply(kSecure) = Answer("3.1", "https://x/", "0", "Service moves on 1 June");

  Run();

  EXPECT_EQ(system.shownMessages, std::vector<std::string>{"Service moves on 1 June"});
  EXPECT_FALSE(result.newVersionFound);
}

TEST_F(CheckerTest, ErrorsWhileTakingTheAnswerAreRecordedWithTheirType) {
  struct Case {
    const char* what;
    void (*arrange)(FakeCheckerSystem&);
    std::string log;
  };
  const Case cases[] = {
      {"storing the version", [](FakeCheckerSystem& s) { s.key.failWriteOf = "CurrentVersion"; },
       "std::runtime_error Error:\rcannot write CurrentVersion"},
      {"storing the day of the notice", [](FakeCheckerSystem& s) { s.key.failWriteOf = "LastUpdateInform"; },
       "std::runtime_error Error:\rcannot write LastUpdateInform"},
      {"the message box",
       [](FakeCheckerSystem& s) { s.onShowImportant = [] { throw std::logic_error("no window"); }; },
       "std::logic_error Error:\rno window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCheckerSystem fresh;
    c.arrange(fresh);
    fresh.network.answers[kSecure] = Answer("3.2", "https://x/", "1", "read me");
    CheckResult outcome;

    RunCheck(fresh, input, outcome);

    EXPECT_TRUE(outcome.done.load(std::memory_order_acquire));
    EXPECT_TRUE(outcome.error);
    EXPECT_EQ(outcome.errorLog, c.log);
    EXPECT_FALSE(outcome.newVersionFound);
  }
}

TEST_F(CheckerTest, FailedWriteOfTheStartStateEndsTheRunWithoutDone) {
  for (const char* value : {"HowMany", "InstalledVersion"}) {
    SCOPED_TRACE(value);
    FakeCheckerSystem fresh;
    fresh.key.failWriteOf = value;
    fresh.network.answers[kSecure] = Answer("3.2");
    CheckResult outcome;

    RunCheck(fresh, input, outcome);  // must not throw: noexcept would end the process

    EXPECT_FALSE(outcome.done.load(std::memory_order_acquire));
    EXPECT_FALSE(outcome.newVersionFound);
    EXPECT_TRUE(fresh.network.calls.empty());
  }
}

}  // namespace
}  // namespace quillet
