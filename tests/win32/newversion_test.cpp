// The new-version notice, created in this process: its place and texts, the link's address
// and colour, which parts drag the window (with the messages the pointer sends, and with the
// real pointer over a main window that keeps the focus), and what of the pointer opens the link.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../shared/web_addresses_to_recorder.h"
#include "../shared/window_probe.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "windows/newversion.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet {
namespace {

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

using testing::PumpUntil;

#ifndef RECORDER_EXE_PATH
#error "the build names recorder.exe in RECORDER_EXE_PATH"
#endif

// recorder.exe of the build; Wine shows the Unix root as drive Z:.
std::wstring RecorderExe() {
  std::wstring path = L"Z:" + Widen(RECORDER_EXE_PATH);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// The times `text` stands in a file; 0 when the file is missing.
int Occurrences(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  int count = 0;
  for (std::size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1)) ++count;
  return count;
}

bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

// The pointer is at `at` and every message it sent this thread has been handled.
bool PointerSettledAt(POINT at) {
  POINT cursor{};
  return GetCursorPos(&cursor) && cursor == at && HIWORD(GetQueueStatus(QS_MOUSE)) == 0;
}

class NewVersionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HWND notice : opened_) {
      if (IsWindow(notice)) DestroyWindow(notice);
    }
    if (main_) DestroyWindow(main_);
  }
  TNewVer* Open(const std::string& address, HWND mainWindow = nullptr) {
    TNewVer* notice = TNewVer::Create(NewVersionNotice{"Quillet", "3.2", address, mainWindow});
    window_ = notice ? notice->Handle() : nullptr;
    if (window_) opened_.push_back(window_);
    return notice;
  }
  RECT Bounds() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
  }
  // A main window that has the focus, as the program's has when the notice comes up, and
  // the notice shown over it.
  void OpenOverMainWindow(const std::string& address = "https://example.com/get") {
    if (!main_) {
      main_ = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 200, 400, 300, nullptr,
                              nullptr, nullptr, nullptr);
      ASSERT_TRUE(main_);
    }
    SetForegroundWindow(main_);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main_; }));
    ASSERT_TRUE(Open(address, main_));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window_) != FALSE; }));
  }
  // The real pointer moved to a screen point; true once its messages have been handled.
  static bool MovePointer(POINT to) {
    testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, to);
    return PumpUntil([&] { return PointerSettledAt(to); });
  }
  // A button of the real pointer going down or up; true once that has been handled. Under a
  // hand too the press is taken before the pointer moves on: a move that came first would go
  // to whatever lies under the pointer then.
  static bool PressPointer(DWORD button) {
    testing::SendPointer(button);
    return PumpUntil([] { return HIWORD(GetQueueStatus(QS_MOUSEBUTTON)) == 0; });
  }
  // Every message the pointer sent, and every one posted in answer, has been handled.
  static bool QueueSettled() { return HIWORD(GetQueueStatus(QS_MOUSE | QS_POSTMESSAGE)) == 0; }
  HWND window_ = nullptr;  // the notice opened last
  std::vector<HWND> opened_;
  HWND main_ = nullptr;  // stands for the program's main window where one is needed
};

TEST_F(NewVersionTest, OpensAtTheTopRightCornerWithTheOfferedVersion) {
  ASSERT_TRUE(Open("https://example.com/get"));
  const RECT r = Bounds();
  EXPECT_EQ(r.right - r.left, TNewVer::kClientWidth);
  EXPECT_EQ(r.bottom - r.top, TNewVer::kClientHeight);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) - TNewVer::kClientWidth - 5);
  EXPECT_EQ(r.top, 5);
  EXPECT_TRUE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(TextOf(GetDlgItem(window_, IDC_NEWVER_LABEL1)), L"更新可用");
  EXPECT_EQ(TextOf(GetDlgItem(window_, IDC_NEWVER_LABEL2)), L"点击下载 Quillet 3.2");
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window_) != FALSE; })) << "TimerStart shows it";
}

TEST_F(NewVersionTest, TheLinkOpensOnlyWebAddresses) {
  const std::wstring fallback = Widen(std::string(kDownloadAddress));
  const std::vector<std::pair<std::string, std::wstring>> cases = {
      {"https://example.com/get", L"https://example.com/get"},
      {"HTTP://example.com/x", L"HTTP://example.com/x"},
      {"", fallback},
      {"C:\\Windows\\notepad.exe", fallback},
      {"file:///C:/Windows/notepad.exe", fallback},
      {"ftp://example.com/", fallback},
  };
  for (const auto& [address, opened] : cases) {
    SCOPED_TRACE(address);
    TNewVer* notice = Open(address);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->LinkAddress(), opened);
    DestroyWindow(window_);
  }
}

TEST_F(NewVersionTest, TheLinkTakesTheHotColourUnderThePointer) {
  TNewVer* notice = Open("https://example.com/get");
  ASSERT_TRUE(notice);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window_) != FALSE; }));
  RECT link{};
  GetWindowRect(GetDlgItem(window_, IDC_NEWVER_LABEL2), &link);
  // The link's timer looks where the pointer is.
  SetCursorPos((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  EXPECT_TRUE(PumpUntil([&] { return notice->LinkColor() == GetSysColor(COLOR_HOTLIGHT); }));
  SetCursorPos(link.left - 100 < 0 ? 0 : link.left - 100, link.bottom + 100);
  EXPECT_TRUE(PumpUntil([&] { return notice->LinkColor() == GetSysColor(COLOR_WINDOWTEXT); }));
}

TEST_F(NewVersionTest, DragsFromItsBackgroundWithAnyButtonButTheRight) {
  struct Case {
    const char* name;
    UINT down, up;
    POINT at;  // client point where the press happens
    bool moves;
  };
  const std::vector<Case> cases = {
      {"left on the background (Panel1)", WM_LBUTTONDOWN, WM_LBUTTONUP, {2, 66}, true},
      {"middle on the icon (Image1)", WM_MBUTTONDOWN, WM_MBUTTONUP, {30, 30}, true},
      {"left on the close button's column (Panel3)", WM_LBUTTONDOWN, WM_LBUTTONUP, {308, 50}, true},
      {"right on the background", WM_RBUTTONDOWN, WM_RBUTTONUP, {2, 66}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Open("https://example.com/get"));
    const RECT before = Bounds();
    const LPARAM at = MAKELPARAM(c.at.x, c.at.y);
    SendMessageW(window_, c.down, 0, at);
    SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(c.at.x - 30, c.at.y + 20));
    SendMessageW(window_, c.up, 0, MAKELPARAM(c.at.x - 30, c.at.y + 20));
    // After the button is up, moves no longer drag.
    SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(c.at.x + 50, c.at.y));
    const RECT after = Bounds();
    EXPECT_EQ(after.left - before.left, c.moves ? -30 : 0);
    EXPECT_EQ(after.top - before.top, c.moves ? 20 : 0);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    DestroyWindow(window_);
  }
}

TEST_F(NewVersionTest, ThePanelAroundTheLabelsDoesNotDragButTheHeadingDoes) {
  ASSERT_TRUE(Open("https://example.com/get"));
  RECT heading{};
  GetWindowRect(GetDlgItem(window_, IDC_NEWVER_LABEL1), &heading);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&heading), 2);
  const RECT before = Bounds();
  // Just below the heading, on the labels' panel: no drag.
  SendMessageW(window_, WM_LBUTTONDOWN, 0, MAKELPARAM(heading.left + 5, heading.bottom + 1));
  SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(heading.left + 25, heading.bottom + 1));
  SendMessageW(window_, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(Bounds().left, before.left);
  // On the heading itself (a press there reaches the window): a drag.
  SendMessageW(window_, WM_LBUTTONDOWN, 0, MAKELPARAM(heading.left + 5, heading.top + 3));
  SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(heading.left + 25, heading.top + 3));
  SendMessageW(window_, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(Bounds().left, before.left + 20);
}

TEST_F(NewVersionTest, TheRealPointerDragsFromTheIconTheHeadingTheCloseColumnAndTheBackground) {
  ASSERT_NO_FATAL_FAILURE(OpenOverMainWindow());

  struct Case {
    const char* name;
    POINT at;  // in the notice's client coordinates
    DWORD down, up;
    bool moves;
  };
  RECT heading{};
  GetWindowRect(GetDlgItem(window_, IDC_NEWVER_LABEL1), &heading);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&heading), 2);
  const Case cases[] = {
      {"left on the icon (Image1)", {30, 30}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"left on the heading (Label1)", {(heading.left + heading.right) / 2, (heading.top + heading.bottom) / 2},
       MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"middle on the close button's column (Panel3)", {308, 50}, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, true},
      {"left on the background (Panel1)", {2, 66}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"right on the icon", {30, 30}, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, false},
  };
  // The pointer's way from the press, in steps: the window follows each one.
  const POINT steps[] = {{-3, 2}, {-20, 9}, {-45, 31}, {-12, 40}, {-60, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(IsWindow(window_)) << "the notice closed";
    const RECT before = Bounds();
    POINT start = c.at;
    ClientToScreen(window_, &start);
    ASSERT_TRUE(MovePointer(start));
    ASSERT_TRUE(PressPointer(c.down));
    for (const POINT& step : steps) {
      const POINT to{start.x + step.x, start.y + step.y};
      testing::SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, to);
      const POINT expected{before.left + (c.moves ? step.x : 0), before.top + (c.moves ? step.y : 0)};
      PumpUntil([&] {
        const RECT now = Bounds();
        return PointerSettledAt(to) && POINT{now.left, now.top} == expected;
      });
      const RECT now = Bounds();
      EXPECT_EQ(now.left, expected.x) << "after the step to " << step.x << ", " << step.y;
      EXPECT_EQ(now.top, expected.y) << "after the step to " << step.x << ", " << step.y;
      EXPECT_EQ(now.right - now.left, TNewVer::kClientWidth);
      EXPECT_EQ(now.bottom - now.top, TNewVer::kClientHeight);
      // One step astray is enough; the notice's own countdown must not end the test.
      if (now.left != expected.x || now.top != expected.y) break;
    }
    ASSERT_TRUE(PressPointer(c.up));
    // Once the button is up, the pointer moves alone.
    const RECT released = Bounds();
    ASSERT_TRUE(MovePointer(POINT{start.x + 30, start.y + 45}));
    EXPECT_EQ(Bounds().left, released.left);
    EXPECT_EQ(Bounds().top, released.top);
    // Pressing on the notice leaves the focus with the main window.
    EXPECT_EQ(GetForegroundWindow(), main_);
    EXPECT_NE(GetActiveWindow(), window_);
  }
}

TEST_F(NewVersionTest, TheCloseButtonLeavesTheFocusWithTheMainWindowAndClosesOnAClick) {
  ASSERT_NO_FATAL_FAILURE(OpenOverMainWindow());
  auto onTheButton = [&] {
    RECT button{};
    GetWindowRect(GetDlgItem(window_, IDC_NEWVER_BUTTON1), &button);
    return POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2};
  };
  // Pressed, then led away before the release: no click, and nothing took the focus.
  const POINT on = onTheButton();
  ASSERT_TRUE(MovePointer(on));
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTDOWN));
  EXPECT_EQ(GetForegroundWindow(), main_) << "while pressed";
  ASSERT_TRUE(MovePointer(POINT{on.x - 150, on.y + 100}));
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTUP));
  ASSERT_TRUE(IsWindow(window_));
  EXPECT_EQ(GetForegroundWindow(), main_);
  EXPECT_NE(GetActiveWindow(), window_);

  // The notice still follows a drag from its icon step by step.
  const RECT before = Bounds();
  POINT icon{30, 30};
  ClientToScreen(window_, &icon);
  ASSERT_TRUE(MovePointer(icon));
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTDOWN));
  for (const POINT& step : {POINT{-4, 3}, POINT{-25, 15}}) {
    ASSERT_TRUE(MovePointer(POINT{icon.x + step.x, icon.y + step.y}));
    PumpUntil([&] { return Bounds().left == before.left + step.x && Bounds().top == before.top + step.y; });
    EXPECT_EQ(Bounds().left, before.left + step.x);
    EXPECT_EQ(Bounds().top, before.top + step.y);
  }
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTUP));

  // A click closes the notice, and the focus is still the main window's.
  ASSERT_TRUE(MovePointer(onTheButton()));
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTDOWN));
  ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTUP));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window_); }));
  EXPECT_EQ(GetForegroundWindow(), main_);
}

// A click on the link is a press and a release over it. A press alone, one led off the link and
// one that turned into a drag (beyond the system's drag threshold) open nothing; and since the
// link carries no window drag, a drag from it leaves the notice where it is.
TEST_F(NewVersionTest, TheLinkOpensOnAClickNotOnAPressOrADrag) {
  const std::string address = "https://127.0.0.1:9/quillet-3.2-setup.exe";
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring log = std::wstring(temp) + L"quillet-newversion-launches.log";
  DeleteFileW(log.c_str());
  // The shell passes this process's environment on to what it starts.
  SetEnvironmentVariableW(L"QUILLET_RECORDER_LOG", log.c_str());
  test::WebAddressesToRecorder browser(RecorderExe());
  ASSERT_NO_FATAL_FAILURE(OpenOverMainWindow(address));

  const int beyond = std::max(GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)) + 1;
  struct Gesture {
    const char* name;
    std::vector<POINT> moves;  // while the button is down, from the press point
    bool opens;
  };
  const Gesture gestures[] = {
      {"held, then led off the notice", {{0, -30}, {-150, 80}}, false},
      {"dragged along the link and back", {{beyond, 0}, {beyond + 30, 2}, {0, 0}}, false},
      {"dragged from the link across the notice", {{-beyond, -2}, {-beyond - 40, -10}, {-beyond - 110, 25}}, false},
      {"pressed and released", {}, true},
      {"trembling within the drag threshold", {{1, 0}, {1, 1}}, true},
  };
  int opened = 0;
  for (const Gesture& g : gestures) {
    SCOPED_TRACE(g.name);
    if (!IsWindow(window_)) {
      ASSERT_NO_FATAL_FAILURE(OpenOverMainWindow(address));
    }
    const RECT before = Bounds();
    RECT link{};
    GetWindowRect(GetDlgItem(window_, IDC_NEWVER_LABEL2), &link);
    const POINT press{(link.left + link.right) / 2, (link.top + link.bottom) / 2};
    ASSERT_TRUE(MovePointer(press));
    ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTDOWN));
    ASSERT_TRUE(PumpUntil(QueueSettled));
    EXPECT_TRUE(IsWindow(window_)) << "the press alone opened the link";
    for (const POINT& move : g.moves) {
      ASSERT_TRUE(MovePointer(POINT{press.x + move.x, press.y + move.y}));
      ASSERT_TRUE(IsWindow(window_)) << "opened while the button was down";
      EXPECT_EQ(Bounds().left, before.left) << "the link dragged the notice";
      EXPECT_EQ(Bounds().top, before.top) << "the link dragged the notice";
    }
    ASSERT_TRUE(PressPointer(MOUSEEVENTF_LEFTUP));
    ASSERT_TRUE(PumpUntil(QueueSettled));
    if (g.opens) {
      ++opened;
      EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window_); })) << "the click left the notice open";
      EXPECT_TRUE(PumpUntil([&] { return Occurrences(log, address) == opened; })) << "the click opened nothing";
    } else {
      EXPECT_TRUE(IsWindow(window_)) << "opened on the release";
      EXPECT_EQ(Bounds().left, before.left);
      EXPECT_EQ(Bounds().top, before.top);
    }
    EXPECT_EQ(GetForegroundWindow(), main_);
  }
  EXPECT_EQ(Occurrences(log, address), opened);
  SetEnvironmentVariableW(L"QUILLET_RECORDER_LOG", nullptr);
  DeleteFileW(log.c_str());
}

// A notice closes itself on the eleventh tick of its countdown, also when another notice came
// and went before it in the same process, or still counts beside it.
TEST_F(NewVersionTest, EachNoticeCountsItsOwnElevenSeconds) {
  // A notice on the screen whose countdown ticks come from the test, not from the clock.
  auto openShown = [&] {
    TNewVer* notice = Open("https://example.com/get");
    if (!notice) return HWND{};
    KillTimer(window_, TNewVer::kTimerCloseId);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window_) != FALSE; }));
    return window_;
  };
  auto tick = [](HWND notice) { SendMessageW(notice, WM_TIMER, TNewVer::kTimerCloseId, 0); };
  // The ticks it takes the notice to close itself; one more than eleven means it stayed.
  auto ticksUntilClosed = [&](HWND notice) {
    int ticks = 0;
    while (IsWindow(notice) && ticks < 12) {
      tick(notice);
      ++ticks;
    }
    return ticks;
  };

  HWND first = openShown();
  ASSERT_TRUE(first);
  EXPECT_EQ(ticksUntilClosed(first), 11);
  HWND second = openShown();
  ASSERT_TRUE(second);
  EXPECT_EQ(ticksUntilClosed(second), 11) << "the notice after one that closed";

  HWND counting = openShown();
  ASSERT_TRUE(counting);
  for (int i = 0; i < 4; ++i) tick(counting);
  HWND beside = openShown();
  ASSERT_TRUE(beside);
  EXPECT_EQ(ticksUntilClosed(beside), 11) << "the notice beside one that counts";
  EXPECT_EQ(ticksUntilClosed(counting), 7) << "the notice that counted first";
}

TEST_F(NewVersionTest, TheCloseButtonClosesAtOnce) {
  ASSERT_TRUE(Open("https://example.com/get"));
  HWND close = GetDlgItem(window_, IDC_NEWVER_BUTTON1);
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_NEWVER_BUTTON1, BN_CLICKED), reinterpret_cast<LPARAM>(close));
  EXPECT_FALSE(IsWindow(window_));
}

}  // namespace
}  // namespace quillet
