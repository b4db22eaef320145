// The add window, driven from a timer while its modal loop runs, as a user would.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "app/urlform.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

// A step against the open add window: true once it is done (see modal_script.h).
using Step = std::function<bool(HWND window, HWND memo)>;

std::vector<std::string> RunAddWindow(HWND owner, const std::wstring& initial, const std::vector<Step>& steps) {
  testing::Script script;
  for (const Step& step : steps) {
    script.steps.push_back([step] {
      HWND window = FindWindowW(QUILLET_ADDURL_CLASS, nullptr);
      return window && step(window, GetDlgItem(window, IDC_ADDURL_MEMO1));
    });
  }
  script.giveUp = [] {
    if (HWND window = FindWindowW(QUILLET_ADDURL_CLASS, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
  };
  std::vector<std::string> lines;
  const testing::ScriptReport report =
      testing::RunScript([&] { lines = ShowAddUrlWindow(owner, initial); }, std::move(script));
  EXPECT_EQ(report.stepsDone, steps.size()) << "the window closed before every step ran";
  EXPECT_EQ(FindWindowW(QUILLET_ADDURL_CLASS, nullptr), nullptr) << "the window outlived its loop";
  return lines;
}

// A step that acts at once.
Step Act(std::function<void(HWND window, HWND memo)> action) {
  return [action](HWND window, HWND memo) {
    action(window, memo);
    return true;
  };
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

Step SetMemo(const std::wstring& text) {
  return Act([text](HWND, HWND memo) { SetWindowTextW(memo, text.c_str()); });
}
Step ClickOk() {
  return Act([](HWND window, HWND) { SendMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0); });
}
Step ClickCancel() {
  return Act([](HWND window, HWND) { SendMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0); });
}
Step PressInMemo(WPARAM key) {
  return Act([key](HWND, HWND memo) {
    SetFocus(memo);
    PostMessageW(memo, WM_KEYDOWN, key, 1);
    PostMessageW(memo, WM_KEYUP, key, 0xC0000001);
  });
}
// A key pressed on the real keyboard, with the keys in `held` down around it, into the window
// in front; done once the window has handled it.
Step RealKey(WORD key, std::vector<WORD> held = {}) {
  return [press = testing::PressRealKey(key, std::move(held))](HWND, HWND) { return press(); };
}
// Notes which control has the focus (its ID; 0 when it is none of the window's).
Step NoteFocus(std::vector<int>& focus) {
  return Act([&focus](HWND window, HWND) {
    HWND focused = GetFocus();
    focus.push_back(focused && IsChild(window, focused) ? GetDlgCtrlID(focused) : 0);
  });
}
Step CloseBox() {
  return Act([](HWND window, HWND) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

struct Case {
  const char* name;
  std::wstring initial;
  std::vector<Step> steps;
  std::vector<std::string> expected;
};

TEST(AddUrlWindow, ReturnsTheNonBlankLinesUntrimmedOnlyWhenConfirmed) {
  const Case cases[] = {
      {"blank lines left out, blanks kept", L"", {SetMemo(L"a\r\n  \r\n b \r\n"), ClickOk()}, {"a", " b "}},
      {"prefix confirmed unchanged", L"http://", {ClickOk()}, {"http://"}},
      {"Chinese text and empty lines", L"", {SetMemo(L"\r\n\r\nC:\\数据\r\n\r\n"), ClickOk()}, {"C:\\数据"}},
      {"cancel button", L"http://", {SetMemo(L"x\r\ny"), ClickCancel()}, {}},
      {"Escape in the memo", L"", {SetMemo(L"x"), PressInMemo(VK_ESCAPE)}, {}},
      {"close box", L"", {SetMemo(L"x"), CloseBox()}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunAddWindow(nullptr, c.initial, c.steps), c.expected) << c.name;
  }
}

TEST(AddUrlWindow, EnterInTheMemoStartsANewLine) {
  std::wstring afterEnter;
  bool stillOpen = false;
  const auto lines = RunAddWindow(nullptr, L"http://",
                                  {PressInMemo(VK_RETURN), Act([&](HWND window, HWND memo) {
                                     afterEnter = TextOf(memo);
                                     stillOpen = IsWindowVisible(window) != FALSE;
                                     SetWindowTextW(memo, (afterEnter + L"b").c_str());
                                   }),
                                   ClickOk()});
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(afterEnter, L"http://\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"http://", "b"}));
}

TEST(AddUrlWindow, TabAndShiftTabOnTheKeyboardCycleThroughTheMemoAndTheButtons) {
  std::vector<int> focus;
  bool inFront = false;
  std::wstring memoText;
  const int memo = IDC_ADDURL_MEMO1, ok = IDC_ADDURL_BITBTN1, cancel = IDC_ADDURL_BITBTN2;
  // The keys go to the window in front: the window is waited for there.
  std::vector<Step> steps = {[&](HWND window, HWND) {
                               inFront = GetForegroundWindow() == window;
                               return inFront;
                             },
                             NoteFocus(focus)};
  for (const std::vector<WORD>& held : {std::vector<WORD>{}, std::vector<WORD>{VK_SHIFT}}) {
    for (int i = 0; i < 3; ++i) {
      steps.push_back(RealKey(VK_TAB, held));
      steps.push_back(NoteFocus(focus));
    }
  }
  steps.push_back(Act([&](HWND, HWND memoWindow) { memoText = TextOf(memoWindow); }));
  steps.push_back(ClickCancel());
  RunAddWindow(nullptr, L"http://", steps);
  ASSERT_TRUE(inFront);
  EXPECT_EQ(focus, (std::vector<int>{memo, ok, cancel, memo, cancel, ok, memo}));
  EXPECT_EQ(memoText, L"http://") << "no tab character went into the memo";
}

TEST(AddUrlWindow, LooksAsDesignedAndKeepsItsOwnerDisabledWhileOpen) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(owner);
  std::wstring caption, memoText, okText, cancelText;
  RECT client{}, frame{};
  bool ownerEnabled = true, ownedByOwner = false;
  LONG_PTR memoStyle = 0;
  LRESULT limit = 0;
  HICON icon = nullptr;
  RunAddWindow(owner, L"http://", {Act([&](HWND window, HWND memo) {
                 caption = TextOf(window);
                 memoText = TextOf(memo);
                 okText = TextOf(GetDlgItem(window, IDOK));
                 cancelText = TextOf(GetDlgItem(window, IDCANCEL));
                 GetClientRect(window, &client);
                 GetWindowRect(window, &frame);
                 ownerEnabled = IsWindowEnabled(owner) != FALSE;
                 ownedByOwner = GetWindow(window, GW_OWNER) == owner;
                 memoStyle = GetWindowLongPtrW(memo, GWL_STYLE);
                 limit = SendMessageW(memo, EM_GETLIMITTEXT, 0, 0);
                 icon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
               }),
                                   ClickCancel()});
  EXPECT_EQ(caption, L"添加");
  EXPECT_EQ(memoText, L"http://");
  EXPECT_EQ(okText, L"确定");
  EXPECT_EQ(cancelText, L"取消");
  EXPECT_EQ(client.right - client.left, 527);
  EXPECT_EQ(client.bottom - client.top, 243);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(frame.left + (frame.right - frame.left) / 2, screenWidth / 2, 1);
  EXPECT_NEAR(frame.top + (frame.bottom - frame.top) / 2, screenHeight / 2, 1);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(ownedByOwner);
  EXPECT_TRUE(memoStyle & ES_MULTILINE);
  EXPECT_TRUE(memoStyle & ES_WANTRETURN);
  EXPECT_TRUE(memoStyle & WS_HSCROLL);
  EXPECT_TRUE(memoStyle & WS_VSCROLL);
  EXPECT_TRUE(memoStyle & ES_AUTOHSCROLL);  // no word wrap
  EXPECT_GE(limit, 64 * 1024 * 1024);
  EXPECT_NE(icon, nullptr);
  EXPECT_TRUE(IsWindowEnabled(owner));  // given back when the window closed
  DestroyWindow(owner);
}

TEST(AddUrlWindow, PastedTextBeyondTheDefaultLimitArrivesWhole) {
  std::string pasted;
  constexpr int kLines = 20000;  // about 600,000 characters, far over the edit's 32 K default
  for (int i = 0; i < kLines; ++i) pasted += "http://example.com/page/" + std::to_string(i) + "\r\n";
  SetClipboardText(nullptr, pasted);
  const auto lines = RunAddWindow(nullptr, L"", {Act([](HWND, HWND memo) { SendMessageW(memo, WM_PASTE, 0, 0); }),
                                                 ClickOk()});
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines));
  EXPECT_EQ(lines.front(), "http://example.com/page/0");
  EXPECT_EQ(lines.back(), "http://example.com/page/" + std::to_string(kLines - 1));
}

}  // namespace
}  // namespace quillet
