// The new-version notice, created in this process and driven by the messages the pointer
// sends: its place and texts, the link's address and colour, which parts drag the window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_system.h"
#include "service/newversion.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet {
namespace {

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

class NewVersionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
  }
  TNewVer* Open(const std::string& address) {
    TNewVer* notice = TNewVer::Create(NewVersionNotice{"Quillet", "3.2", address, nullptr});
    window_ = notice ? notice->Handle() : nullptr;
    return notice;
  }
  RECT Bounds() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
  }
  HWND window_ = nullptr;
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
  SleepWithoutFreeze(100);  // TimerStart shows it
  EXPECT_TRUE(IsWindowVisible(window_));
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
  SleepWithoutFreeze(100);
  RECT link{};
  GetWindowRect(GetDlgItem(window_, IDC_NEWVER_LABEL2), &link);
  SetCursorPos((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  SleepWithoutFreeze(250);
  EXPECT_EQ(notice->LinkColor(), GetSysColor(COLOR_HOTLIGHT));
  SetCursorPos(link.left - 100 < 0 ? 0 : link.left - 100, link.bottom + 100);
  SleepWithoutFreeze(250);
  EXPECT_EQ(notice->LinkColor(), GetSysColor(COLOR_WINDOWTEXT));
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

TEST_F(NewVersionTest, TheCloseButtonClosesAtOnce) {
  ASSERT_TRUE(Open("https://example.com/get"));
  HWND close = GetDlgItem(window_, IDC_NEWVER_BUTTON1);
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_NEWVER_BUTTON1, BN_CLICKED), reinterpret_cast<LPARAM>(close));
  EXPECT_FALSE(IsWindow(window_));
}

}  // namespace
}  // namespace quillet
