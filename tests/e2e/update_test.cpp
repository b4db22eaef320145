// The update check of the real program against the real maker's web service on this machine
// (started by with-services.sh): the notice, the update state in the registry, the link handed
// to the shell, download addresses that an answer may not choose (no web address, or one named
// over plain HTTP elsewhere than on the service's host), a service that is down, and
// notifications switched off. Also, with an offer from a server in this process, the notice
// dragged with the real pointer, and a press or a drag on its link that opens nothing.
// First: winsock2.h, which it includes, must come before windows.h.
#include "win32/loopback_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../shared/window_probe.h"
#include "e2e/driver.h"
#include "windows/newversion.h"
#include "service/service_request.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

// The update key of this program: its name is the digest of the application name.
std::wstring UpdateKeyPath() {
  return L"SOFTWARE\\Microsoft\\VS\\ServiceModules\\" + Widen(Md5Hex("KALMIRO - Quillet"));
}

std::optional<std::string> UpdateValue(const wchar_t* name) {
  wchar_t data[2048] = {};
  DWORD size = sizeof data;
  const std::wstring settings = UpdateKeyPath() + L"\\Settings";
  if (RegGetValueW(HKEY_CURRENT_USER, settings.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return Narrow(data);
}

// The requests a service logged ("cmd=check" lines).
int ChecksLogged(const std::wstring& log) {
  const std::string text = ReadFileBytes(log);
  int count = 0;
  for (std::size_t at = text.find("cmd=check"); at != std::string::npos; at = text.find("cmd=check", at + 1)) ++count;
  return count;
}

class Update : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnvironmentText(L"QUILLET_E2E_OFFER_ADDRESS").empty()) GTEST_SKIP() << "run through with-services.sh";
    RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
    SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", nullptr);
  }
  static void UseService(const std::wstring& address) {
    SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", address.c_str());
  }
};

TEST_F(Update, AnOfferShowsTheNoticeAndKeepsTheStateInTheRegistry) {
  UseService(EnvironmentText(L"QUILLET_E2E_OFFER_ADDRESS"));
  const int before = ChecksLogged(EnvironmentText(L"QUILLET_E2E_OFFER_LOG"));
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  const DWORD started = GetTickCount();
  HWND notice = program.WaitForWindow(QUILLET_NEWVER_CLASS, 15000);
  ASSERT_TRUE(notice) << "no notice";
  std::printf("notice shown %lu ms after the main window\n", GetTickCount() - started);

  EXPECT_EQ(program.Text(ChildById(notice, IDC_NEWVER_LABEL1)), "更新可用");
  EXPECT_EQ(program.Text(ChildById(notice, IDC_NEWVER_LABEL2)), "点击下载 Quillet 3.2");
  RECT place = {};
  GetWindowRect(notice, &place);
  EXPECT_EQ(place.top, 5);
  EXPECT_EQ(place.right, GetSystemMetrics(SM_CXSCREEN) - 5);
  // The focus stays with the main window.
  EXPECT_NE(GetForegroundWindow(), notice);
  SaveScreenshot(GetDesktopWindow(), "update-notice");

  EXPECT_EQ(ChecksLogged(EnvironmentText(L"QUILLET_E2E_OFFER_LOG")), before + 1) << "the request went over HTTPS once";
  EXPECT_EQ(UpdateValue(L"HowMany"), "1");
  EXPECT_EQ(UpdateValue(L"InstalledVersion"), "3.1");
  EXPECT_EQ(UpdateValue(L"CurrentVersion"), "3.2");
  EXPECT_EQ(UpdateValue(L"CurrentURL"), EncodeStored("https://quillet.example.com/get/3.2", kStoredSeed));
  EXPECT_TRUE(UpdateValue(L"LastUpdateInform").has_value());

  // Eleven seconds after it was made, the notice closes itself.
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(notice); }, 20000)) << "the notice stayed";
  EXPECT_TRUE(program.Exit());

  // The next start counts on.
  ASSERT_TRUE(program.Start()) << program.Error();
  EXPECT_TRUE(WaitUntil([&] { return UpdateValue(L"HowMany") == "2"; }, 15000));
  EXPECT_TRUE(program.Exit());
}

struct LinkCase {
  const char* name;
  const wchar_t* service;  // the variable naming the service
  std::string opened;
};

TEST_F(Update, TheLinkHandsOnlyWebAddressesToTheShellAndCloses) {
  // Over plain HTTP the answer may have been written by anyone on the way: only a secure address
  // on the service's own host is opened, any other gives the default page.
  const std::vector<LinkCase> cases = {
      {"a web address", L"QUILLET_E2E_OFFER_ADDRESS", "https://quillet.example.com/get/3.2"},
      {"a local program instead, over plain HTTP", L"QUILLET_E2E_UNSAFE_ADDRESS", std::string(kDownloadAddress)},
      {"a plain address, over plain HTTP", L"QUILLET_E2E_PLAIN_HTTP_ADDRESS", std::string(kDownloadAddress)},
      {"another host's secure address, over plain HTTP", L"QUILLET_E2E_PLAIN_OTHER_HOST_ADDRESS",
       std::string(kDownloadAddress)},
      {"the service host's secure address, over plain HTTP", L"QUILLET_E2E_PLAIN_OWN_HOST_ADDRESS",
       "https://localhost:8443/get/3.2"},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
    UseService(EnvironmentText(c.service));
    Program program;
    const std::wstring recorder = program.InstallRecorder();
    WebAddressesToRecorder redirect(recorder);
    ASSERT_TRUE(program.Start()) << program.Error();
    HWND notice = program.WaitForWindow(QUILLET_NEWVER_CLASS, 15000);
    ASSERT_TRUE(notice) << "no notice";
    program.ClickWithPointer(ChildById(notice, IDC_NEWVER_LABEL2));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(notice); })) << "the notice stayed after the click";
    ASSERT_TRUE(WaitUntil([&] { return !program.Launches().empty(); })) << "nothing was opened";
    ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
    const auto launches = program.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_NE(launches[0].command_line.find(c.opened), std::string::npos) << launches[0].command_line;
    EXPECT_EQ(launches[0].command_line.find("notepad"), std::string::npos);
    // The update state keeps the address that was opened.
    EXPECT_EQ(UpdateValue(L"CurrentURL"), EncodeStored(c.opened, kStoredSeed));
    EXPECT_TRUE(program.Exit());
  }
}

TEST_F(Update, AServiceThatIsDownShowsNothing) {
  UseService(L"localhost:9/service/check");
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  // The run writes its start state first; once it has, both attempts fail within seconds.
  ASSERT_TRUE(WaitUntil([&] { return UpdateValue(L"HowMany") == "1"; }, 15000));
  EXPECT_FALSE(program.WaitForWindow(QUILLET_NEWVER_CLASS, 8000));
  EXPECT_FALSE(UpdateValue(L"CurrentVersion").has_value());
  EXPECT_FALSE(program.AnyMessageBox());
  EXPECT_TRUE(program.Exit());
}

TEST_F(Update, NotificationsSwitchedOffSendNoRequest) {
  const std::wstring settings = UpdateKeyPath() + L"\\Settings";
  RegSetKeyValueW(HKEY_CURRENT_USER, settings.c_str(), L"ShowUpdate", REG_SZ, L"0", sizeof(L"0"));
  UseService(EnvironmentText(L"QUILLET_E2E_OFFER_ADDRESS"));
  const int before = ChecksLogged(EnvironmentText(L"QUILLET_E2E_OFFER_LOG"));
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(WaitUntil([&] { return UpdateValue(L"HowMany") == "1"; }, 15000)) << "the run did not start";
  EXPECT_FALSE(program.WaitForWindow(QUILLET_NEWVER_CLASS, 5000));
  EXPECT_EQ(ChecksLogged(EnvironmentText(L"QUILLET_E2E_OFFER_LOG")), before);
  EXPECT_EQ(UpdateValue(L"ShowUpdate"), "0");
  EXPECT_TRUE(program.Exit());
}

// An offer of 3.2 from a server in this process over plain HTTP (the first attempt, over HTTPS,
// fails at once), so the NoticeDrag tests run with the other end-to-end tests.
quillet::testing::CannedReply PlainOffer() {
  quillet::testing::CannedReply offer;
  offer.bytes = quillet::testing::HttpResponse(
      "200 OK", "Content-Type: text/plain; charset=utf-8\r\n",
      "<version>3.2</version>\r\n<url>https://quillet.example.com/get/3.2</url>\r\n\r\n<result>1</result>\r\n");
  offer.answerFirstBytes = true;
  return offer;
}

void UseLoopbackService(const quillet::testing::LoopbackServer& service) {
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS",
                          (L"127.0.0.1:" + std::to_wstring(service.port()) + L"/service/check").c_str());
}

// The window that holds the mouse capture on the notice's thread (nullptr: none).
HWND CaptureOf(HWND notice) {
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  return GetGUIThreadInfo(GetWindowThreadProcessId(notice, nullptr), &thread) ? thread.hwndCapture : nullptr;
}

bool PointerAt(POINT at) {
  POINT cursor = {};
  return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
}

// The main window is in front; a drag from the icon and one from the heading, several steps
// each, move the notice exactly with the pointer, and the main window keeps the focus throughout.
TEST(NoticeDrag, TheNoticeFollowsThePointerAndTheMainWindowKeepsTheFocus) {
  RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
  quillet::testing::LoopbackServer service(PlainOffer());
  UseLoopbackService(service);
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND notice = program.WaitForWindow(QUILLET_NEWVER_CLASS, 15000);
  ASSERT_TRUE(notice) << "no notice";
  SetForegroundWindow(program.Main());
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == program.Main(); }));
  auto capture = [&] { return CaptureOf(notice); };
  auto place = [&] {
    RECT r = {};
    GetWindowRect(notice, &r);
    return r;
  };

  RECT heading = {};
  GetWindowRect(ChildById(notice, IDC_NEWVER_LABEL1), &heading);
  struct Part {
    const char* name;
    POINT at;  // on the screen, when the drag starts
  };
  const RECT first = place();
  const Part parts[] = {{"the icon (Image1)", {first.left + 30, first.top + 30}},
                        {"the heading (Label1)", {(heading.left + heading.right) / 2, (heading.top + heading.bottom) / 2}}};
  const POINT steps[] = {{-4, 3}, {-30, 12}, {-70, 40}, {-50, 65}};
  for (const Part& part : parts) {
    SCOPED_TRACE(part.name);
    ASSERT_TRUE(IsWindow(notice)) << "the notice closed";
    const RECT before = place();
    // Where the part is now: the notice may have moved since the parts were measured.
    const POINT start{part.at.x + before.left - first.left, part.at.y + before.top - first.top};
    quillet::testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, start);
    ASSERT_TRUE(WaitUntil([&] { return PointerAt(start); }));
    quillet::testing::SendPointer(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(WaitUntil([&] { return capture() == notice; })) << "the press did not start a drag";
    for (const POINT& step : steps) {
      quillet::testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, POINT{start.x + step.x, start.y + step.y});
      WaitUntil([&] { return place().left == before.left + step.x && place().top == before.top + step.y; }, 3000);
      EXPECT_EQ(place().left, before.left + step.x) << "after the step to " << step.x << ", " << step.y;
      EXPECT_EQ(place().top, before.top + step.y) << "after the step to " << step.x << ", " << step.y;
      if (place().left != before.left + step.x || place().top != before.top + step.y) break;
    }
    quillet::testing::SendPointer(MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(WaitUntil([&] { return capture() == nullptr; }));
    EXPECT_EQ(GetForegroundWindow(), program.Main());
  }
  SaveScreenshot(GetDesktopWindow(), "update-notice-dragged");
  EXPECT_TRUE(program.Exit());
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
}

// A press on the link opens nothing until the button comes up over it, and a press that turns
// into a drag opens nothing at all; the link carries no window drag, so the notice stays put.
// The offer named another host than the service's over plain HTTP, so the click that follows
// opens the default download page.
TEST(NoticeDrag, APressOrADragOnTheLinkOpensNothingAndAClickOpensTheDefaultPage) {
  RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
  quillet::testing::LoopbackServer service(PlainOffer());
  UseLoopbackService(service);
  Program program;
  WebAddressesToRecorder browser(program.InstallRecorder());
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND notice = program.WaitForWindow(QUILLET_NEWVER_CLASS, 15000);
  ASSERT_TRUE(notice) << "no notice";
  HWND link = ChildById(notice, IDC_NEWVER_LABEL2);
  ASSERT_TRUE(link);
  SetForegroundWindow(program.Main());
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == program.Main(); }));
  auto place = [&] {
    RECT r = {};
    GetWindowRect(notice, &r);
    return r;
  };

  const RECT before = place();
  RECT area = {};
  GetWindowRect(link, &area);
  const POINT press{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  quillet::testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, press);
  ASSERT_TRUE(WaitUntil([&] { return PointerAt(press); }));
  quillet::testing::SendPointer(MOUSEEVENTF_LEFTDOWN);
  ASSERT_TRUE(WaitUntil([&] { return CaptureOf(notice) == link; })) << "the press did not reach the link";
  EXPECT_TRUE(IsWindow(notice)) << "the press alone opened the link";
  // Over the link, across the icon and off the notice.
  for (const POINT& step : {POINT{-8, 0}, POINT{-40, -6}, POINT{-150, 10}, POINT{-260, 90}}) {
    const POINT to{press.x + step.x, press.y + step.y};
    quillet::testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, to);
    ASSERT_TRUE(WaitUntil([&] { return PointerAt(to); }));
    ASSERT_TRUE(IsWindow(notice)) << "opened while the button was down";
    EXPECT_EQ(place().left, before.left) << "the link dragged the notice";
    EXPECT_EQ(place().top, before.top) << "the link dragged the notice";
  }
  quillet::testing::SendPointer(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(WaitUntil([&] { return CaptureOf(notice) == nullptr; }));
  program.Sync();
  ASSERT_TRUE(IsWindow(notice)) << "the drag opened the link";
  EXPECT_EQ(place().left, before.left);
  EXPECT_EQ(place().top, before.top);
  EXPECT_TRUE(program.Launches().empty());

  program.ClickWithPointer(link);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(notice); })) << "the click left the notice open";
  ASSERT_TRUE(WaitUntil([&] { return !program.Launches().empty(); })) << "the click opened nothing";
  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  const auto launches = program.Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].arguments.size(), 2u);
  EXPECT_EQ(launches[0].arguments.back(), std::string(kDownloadAddress)) << launches[0].command_line;
  EXPECT_EQ(UpdateValue(L"CurrentURL"), EncodeStored(std::string(kDownloadAddress), kStoredSeed));
  EXPECT_TRUE(program.Exit());
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, UpdateKeyPath().c_str());
}

}  // namespace
}  // namespace quillet::e2e
