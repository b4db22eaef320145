// The feedback window of the real program against the real maker's web service on this machine
// (started by with-services.sh): what the service keeps of a send, read back from its store; an
// address the window refuses; a service that answers something else than "确定"; a service
// without TLS, reached by the plain-HTTP fallback. Also, without a service, the keys that move
// the focus round the window.
// First: winsock2.h, which it includes, must come before windows.h.
#include "win32/loopback_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../shared/window_probe.h"
#include "ui/control_ids.h"
#include "e2e/driver.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

// One feedback request as the service keeps it.
struct Kept {
  std::string receivedAt, appname, version, email, feedback;
};

// A field of quillet-service --feedback: \\, \t, \r and \n stand for the characters.
std::string Unescape(std::string_view field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      text += field[i];
      continue;
    }
    const char next = field[++i];
    text += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return text;
}

// Everything the service with this configuration file (a Unix path) has kept, oldest first,
// read with quillet-service --feedback. That is a Linux program: Wine starts it through
// /bin/sh, but reports neither its end nor its exit code, so the output is written under a
// temporary name and renamed when complete, and the test waits for the final name.
std::optional<std::vector<Kept>> KeptFeedback(const std::wstring& config) {
  static int runs = 0;
  const std::string work = Narrow(EnvironmentText(L"QUILLET_E2E_FEEDBACK_WORK"));
  const std::string output =
      work + "/kept-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs) + ".txt";
  auto quoted = [](const std::string& path) { return std::string("'").append(path).append("'"); };
  std::string script = quoted(Narrow(EnvironmentText(L"QUILLET_E2E_SERVICE_PROGRAM")));
  script.append(" --feedback ").append(quoted(Narrow(config))).append(" > ").append(quoted(output + ".part"));
  script.append(" && mv ").append(quoted(output + ".part")).append(" ").append(quoted(output));
  const std::wstring shell = ToWindowsPath("/bin/sh");
  std::wstring command = L"sh -c \"" + Widen(script) + L"\"";
  PROCESS_INFORMATION info = {};
  if (!StartProcess(shell.c_str(), command, nullptr, info)) {
    return std::nullopt;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  const std::wstring path = ToWindowsPath(output);
  if (!WaitUntil([&] { return FileExists(path); })) return std::nullopt;
  const std::string text = ReadFileBytes(path);
  DeleteFileW(path.c_str());

  std::vector<Kept> kept;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    std::size_t from = start;
    for (std::size_t tab; (tab = text.find('\t', from)) < end; from = tab + 1) {
      fields.push_back(Unescape(std::string_view(text).substr(from, tab - from)));
    }
    fields.push_back(Unescape(std::string_view(text).substr(from, end - from)));
    if (fields.size() == 5) kept.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    start = end + 1;
  }
  return kept;
}

// The colour of the screen at the middle of a window's right end (a choice panel's
// background, away from its caption and face).
COLORREF BackgroundOnScreen(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  HDC screen = GetDC(nullptr);
  const COLORREF color = GetPixel(screen, r.right - 6, (r.top + r.bottom) / 2);
  ReleaseDC(nullptr, screen);
  return color;
}

class Feedback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnvironmentText(L"QUILLET_E2E_FEEDBACK_ADDRESS").empty()) GTEST_SKIP() << "run through with-services.sh";
  }
  void TearDown() override { SetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", nullptr); }

  // Starts the program with its feedback going to address and opens the feedback window from
  // the Help menu.
  HWND StartAndOpen(const std::wstring& address) {
    SetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", address.c_str());
    if (!program_.Start()) {
      ADD_FAILURE() << program_.Error();
      return nullptr;
    }
    program_.Command(IDM_SENDFEEDBACK1);
    HWND window = program_.WaitForWindow(QUILLET_FEEDBACK_CLASS);
    EXPECT_TRUE(window) << "the feedback window did not open";
    return window;
  }

  // A click with the real pointer in the middle of a choice panel, once the feedback window is
  // in front and nothing covers the panel; true when the panel then shows it is chosen. A
  // window that has only just appeared may not be on the X screen yet, so a click that went
  // to what was there before is repeated (choosing the same panel again changes nothing).
  bool Choose(HWND window, int panel_id) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (ClickOnce(window, ChildById(window, panel_id))) return true;
    }
    return false;
  }

  bool ClickOnce(HWND window, HWND panel) {
    RECT r = {};
    GetWindowRect(panel, &r);
    const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetForegroundWindow(window);
    if (!WaitUntil([&] { return GetForegroundWindow() == window && WindowFromPoint(middle) == panel; })) {
      ADD_FAILURE() << "the panel is not in front";
      return false;
    }
    INPUT events[3] = {};
    for (INPUT& event : events) {
      event.type = INPUT_MOUSE;
      // Absolute coordinates run from 0 to 65535 across the primary screen.
      event.mi.dx = (middle.x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1);
      event.mi.dy = (middle.y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    events[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    events[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    events[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, events, sizeof(INPUT));
    return WaitUntil([&] { return BackgroundOnScreen(panel) == GetSysColor(COLOR_HIGHLIGHT); }, 2000);
  }

  // Presses "发送" and waits for the message box it leads to; the box is owned by the window.
  std::optional<MessageBoxInfo> Send(HWND window) {
    Program::PostClick(ChildById(window, IDC_FEEDBACK_BITBTN1));
    // The https attempt at a service without TLS may take up to its time limit.
    auto box = program_.WaitForMessageBox(20000);
    if (box) {
      EXPECT_EQ(GetWindow(box->window, GW_OWNER), window);
    }
    return box;
  }

  // Dismisses the box; true when the window then closed (and the main window is back).
  bool DismissAndSeeClosed(const MessageBoxInfo& box, HWND window) {
    Program::PressOk(box.window);
    return WaitUntil([&] { return !IsWindow(window); }) && IsWindowEnabled(program_.Main());
  }

  // Dismisses the box; the window stays open with what was entered.
  void DismissAndExpectKept(const MessageBoxInfo& box, HWND window, const std::string& memo,
                            const std::string& email) {
    Program::PressOk(box.window);
    ASSERT_TRUE(WaitUntil([&] { return !program_.AnyMessageBox(); }));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(program_.Text(ChildById(window, IDC_FEEDBACK_MEMO1)), memo);
    EXPECT_EQ(program_.Text(ChildById(window, IDC_FEEDBACK_EDIT1)), email);
  }

  Program program_;
};

TEST_F(Feedback, LikedWithAnEmptyMemoSendsTheChoiceAndOneCarriageReturn) {
  const std::wstring config = EnvironmentText(L"QUILLET_E2E_FEEDBACK_CONFIG");
  const auto before = KeptFeedback(config);
  ASSERT_TRUE(before) << "could not read the service's store";
  HWND window = StartAndOpen(EnvironmentText(L"QUILLET_E2E_FEEDBACK_ADDRESS"));
  ASSERT_TRUE(window);
  ASSERT_TRUE(Choose(window, IDC_FEEDBACK_PANEL4)) << "the click did not choose 我喜欢它!";

  const auto box = Send(window);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "成功");
  EXPECT_EQ(box->text, "已收到您的反馈.\r\r感谢您!");
  EXPECT_TRUE(IsWindow(window)) << "the window closes only after the message";
  EXPECT_TRUE(DismissAndSeeClosed(*box, window));

  const auto after = KeptFeedback(config);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->size(), before->size() + 1);
  const Kept& kept = after->back();
  EXPECT_EQ(kept.feedback, "我喜欢它!\r");
  EXPECT_EQ(kept.email, "");
  EXPECT_EQ(kept.appname, "KALMIRO - Quillet");
  EXPECT_EQ(kept.version, "3.1");
  EXPECT_TRUE(program_.Exit());
}

TEST_F(Feedback, ChineseTextAndAnAddressReachTheServiceIntact) {
  const std::wstring config = EnvironmentText(L"QUILLET_E2E_FEEDBACK_CONFIG");
  const auto before = KeptFeedback(config);
  ASSERT_TRUE(before) << "could not read the service's store";
  HWND window = StartAndOpen(EnvironmentText(L"QUILLET_E2E_FEEDBACK_ADDRESS"));
  ASSERT_TRUE(window);
  const std::string memo = "第一行：列表打开得很快，谢谢！\r\n第二行 \"引号\" & 100% = 满意\r\n\tTab 和 ~!@#$^*()_+";
  ASSERT_TRUE(Choose(window, IDC_FEEDBACK_PANEL4)) << "the click did not choose 我喜欢它!";
  program_.SetText(ChildById(window, IDC_FEEDBACK_MEMO1), "\r\n  " + memo + "  \r\n\r\n");
  program_.SetText(ChildById(window, IDC_FEEDBACK_EDIT1), "  tester.e2e+feedback@mail-host.example.org ");
  SaveScreenshot(window, "feedback-liked");

  const auto box = Send(window);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "成功");
  EXPECT_TRUE(DismissAndSeeClosed(*box, window));

  const auto after = KeptFeedback(config);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->size(), before->size() + 1);
  EXPECT_EQ(after->back().feedback, "我喜欢它!\r" + memo);
  EXPECT_EQ(after->back().email, "tester.e2e+feedback@mail-host.example.org");
  EXPECT_TRUE(program_.Exit());
}

TEST_F(Feedback, AnInvalidAddressIsRefusedAndNothingIsSent) {
  const std::wstring config = EnvironmentText(L"QUILLET_E2E_FEEDBACK_CONFIG");
  const auto before = KeptFeedback(config);
  ASSERT_TRUE(before) << "could not read the service's store";
  HWND window = StartAndOpen(EnvironmentText(L"QUILLET_E2E_FEEDBACK_ADDRESS"));
  ASSERT_TRUE(window);
  program_.SetText(ChildById(window, IDC_FEEDBACK_MEMO1), "不会发送");
  program_.SetText(ChildById(window, IDC_FEEDBACK_EDIT1), "user@localhost");

  const auto box = Send(window);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "失败");
  EXPECT_EQ(box->text, "无效的邮件地址!");
  ASSERT_NO_FATAL_FAILURE(DismissAndExpectKept(*box, window, "不会发送", "user@localhost"));

  // Esc in the memo closes the window without sending.
  Program::PressKey(ChildById(window, IDC_FEEDBACK_MEMO1), VK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  const auto after = KeptFeedback(config);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->size(), before->size());
  EXPECT_TRUE(program_.Exit());
}

TEST_F(Feedback, AnAnswerOtherThanOkShowsTheFailureAndTheWindowKeepsItsContent) {
  quillet::testing::LoopbackServer service({quillet::testing::HttpResponse("200 OK", "Content-Type: text/plain\r\n", "OK")});
  HWND window = StartAndOpen(L"127.0.0.1:" + std::to_wstring(service.port()) + L"/service/feedback");
  ASSERT_TRUE(window);
  ASSERT_TRUE(Choose(window, IDC_FEEDBACK_PANEL5)) << "the click did not choose 我不喜欢它!";
  program_.SetText(ChildById(window, IDC_FEEDBACK_MEMO1), "再试一次");
  program_.SetText(ChildById(window, IDC_FEEDBACK_EDIT1), "me@example.com");

  const auto box = Send(window);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "失败");
  EXPECT_EQ(box->text, "发生错误. 您的反馈无法送达.\r\r请稍后再试.");
  ASSERT_NO_FATAL_FAILURE(DismissAndExpectKept(*box, window, "再试一次", "me@example.com"));
  EXPECT_EQ(BackgroundOnScreen(ChildById(window, IDC_FEEDBACK_PANEL5)), GetSysColor(COLOR_HIGHLIGHT));

  // The plain post that got the answer carried the request.
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u) << "only the plain post gets through to a server without TLS";
  const auto fields = quillet::testing::FormFields(requests[0].body);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"cmd", "feedback"},
      {"appname", "KALMIRO - Quillet"},
      {"version", "3.1"},
      {"feedback", "我不喜欢它!\r再试一次"},
      {"email", "me@example.com"},
  };
  EXPECT_EQ(fields, expected);

  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  EXPECT_TRUE(program_.Exit());
}

// A service that takes a few seconds: the window stays whole and keeps answering while it
// waits, shows that it is busy, and takes no input until the answer is in.
TEST_F(Feedback, ASlowServiceLeavesTheWindowPaintedAndDeafToInputUntilItAnswers) {
  HWND window = StartAndOpen(EnvironmentText(L"QUILLET_E2E_FEEDBACK_SLOW_ADDRESS"));
  ASSERT_TRUE(window);
  ASSERT_TRUE(Choose(window, IDC_FEEDBACK_PANEL4)) << "the click did not choose 我喜欢它!";
  HWND memo = ChildById(window, IDC_FEEDBACK_MEMO1);
  program_.SetText(memo, "慢一点也没关系");
  // While a send is under way the window puts up the wait cursor over its controls, which it
  // says in its answer to WM_SETCURSOR (TRUE: the cursor is set); otherwise a control keeps
  // its own. That answer comes from the window's procedure, so a window that gives it during
  // the send goes on answering while it waits.
  const auto showsWaitCursor = [&] {
    DWORD_PTR cursorSet = FALSE;
    return SendMessageTimeoutW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(memo), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE),
                               SMTO_NORMAL, kWaitMs, &cursorSet) &&
           cursorSet == TRUE;
  };
  ASSERT_FALSE(showsWaitCursor()) << "the wait cursor before anything was sent";
  Program::PostClick(ChildById(window, IDC_FEEDBACK_BITBTN1));
  ASSERT_TRUE(WaitUntil(showsWaitCursor)) << "the window did not show, while answering, that it was sending";
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  SaveScreenshot(window, "feedback-sending");
  // Esc in the memo would close the window; during the send it is dropped.
  PostMessageW(memo, WM_KEYDOWN, VK_ESCAPE, 1);
  const auto box = program_.WaitForMessageBox(20000);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "成功");
  EXPECT_TRUE(DismissAndSeeClosed(*box, window));
  EXPECT_TRUE(program_.Exit());
}

TEST_F(Feedback, AServiceWithoutTlsIsReachedOverPlainHttp) {
  const std::wstring config = EnvironmentText(L"QUILLET_E2E_FEEDBACK_PLAIN_CONFIG");
  const auto before = KeptFeedback(config);
  ASSERT_TRUE(before) << "could not read the service's store";
  HWND window = StartAndOpen(EnvironmentText(L"QUILLET_E2E_FEEDBACK_PLAIN_ADDRESS"));
  ASSERT_TRUE(window);
  program_.SetText(ChildById(window, IDC_FEEDBACK_MEMO1), "经由 http 送达");

  const auto box = Send(window);
  ASSERT_TRUE(box) << "no message after sending";
  EXPECT_EQ(box->caption, "成功");
  EXPECT_TRUE(DismissAndSeeClosed(*box, window));

  const auto after = KeptFeedback(config);
  ASSERT_TRUE(after);
  ASSERT_EQ(after->size(), before->size() + 1);
  EXPECT_EQ(after->back().feedback, "经由 http 送达");
  EXPECT_TRUE(program_.Exit());
}

// The keys need no service, so this runs with the other end-to-end tests: Tab and Shift+Tab
// from the real keyboard take the focus round the memo, the address and "发送" both ways,
// Enter in the memo starts a new line and Esc there closes the window.
TEST(TabKey, TakesTheFocusRoundTheFeedbackWindowBothWays) {
  SetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", L"127.0.0.1:9/quillet-e2e");
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  // The keys go to the window in front. An elevated start (every start under Wine) brings the
  // main window to the front once, at its first timer tick, which a busy machine may give it
  // only once the feedback window is open and the keys are under way; the save timer ticks
  // long after that one.
  ASSERT_TRUE(program.WaitForSaveTicks(1)) << program.ProbeError();
  program.Command(IDM_SENDFEEDBACK1);
  HWND window = program.WaitForWindow(QUILLET_FEEDBACK_CLASS);
  ASSERT_TRUE(window) << "the feedback window did not open";
  const HWND memo = ChildById(window, IDC_FEEDBACK_MEMO1), edit = ChildById(window, IDC_FEEDBACK_EDIT1),
             button = ChildById(window, IDC_FEEDBACK_BITBTN1);
  SetForegroundWindow(window);
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window && program.Focused() == memo; }));
  program.SetText(memo, "第一行");

  struct Press {
    const char* name;
    std::vector<WORD> held;
    HWND focused;  // after the press
  };
  const Press presses[] = {
      {"Tab in the memo", {}, edit},           {"Tab in the address", {}, button},
      {"Tab on the button", {}, memo},         {"Shift+Tab in the memo", {VK_SHIFT}, button},
      {"Shift+Tab on the button", {VK_SHIFT}, edit}, {"Shift+Tab in the address", {VK_SHIFT}, memo},
  };
  for (const Press& press : presses) {
    quillet::testing::SendKeyPress(VK_TAB, press.held);
    ASSERT_TRUE(WaitUntil([&] { return program.Focused() == press.focused; })) << press.name;
  }
  EXPECT_EQ(program.Text(memo), "第一行") << "no tab character went into the memo";

  SendMessageW(memo, EM_SETSEL, 3, 3);
  quillet::testing::SendKeyPress(VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return program.Text(memo) == "第一行\r\n"; })) << program.Text(memo);
  quillet::testing::SendKeyPress(VK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  EXPECT_TRUE(program.Exit());
  SetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", nullptr);
}

}  // namespace
}  // namespace quillet::e2e
