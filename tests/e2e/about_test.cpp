// The about window of the real program, opened from the Help menu: its texts, the rain on the
// screen around its panel, the license file opened in Notepad from a folder with blanks in its
// path or missing, and the maker's two web pages handed to the shell.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../shared/window_probe.h"
#include "ui/control_ids.h"
#include "e2e/driver.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

HWND OpenAbout(const Program& program) {
  program.Command(IDM_ABOUT1);
  return program.WaitForWindow(QUILLET_ABOUT_CLASS);
}

bool CloseAbout(const Program& program, HWND about) {
  PostMessageW(about, WM_CLOSE, 0, 0);
  return WaitUntil([&] { return !program.FindWindowOfClass(QUILLET_ABOUT_CLASS); });
}

// The screen inside r (screen coordinates), 0x00RRGGBB, top row first.
std::vector<std::uint32_t> ScreenPixels(const RECT& r) {
  HDC screen = GetDC(nullptr);
  std::vector<std::uint32_t> pixels =
      quillet::testing::CapturePixels(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The about window's client area on the screen, and inside it the panel's place.
RECT ClientOnScreen(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
constexpr RECT kPanel = {48, 42, 398, 333};
// Panel1 below its buttons, where no control lies.
constexpr RECT kPanelBottom = {48, 42 + 260, 398, 333};

struct Change {
  int strip = 0;        // pixels of the strip around the panel that changed
  int panelBottom = 0;  // pixels below the buttons that changed or are not black
};

Change Compare(const std::vector<std::uint32_t>& before, const std::vector<std::uint32_t>& after, int width) {
  Change change;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    const POINT p = {static_cast<LONG>(i % width), static_cast<LONG>(i / width)};
    if (PtInRect(&kPanelBottom, p)) {
      if (before[i] != after[i] || after[i] != 0) ++change.panelBottom;
    } else if (!PtInRect(&kPanel, p) && before[i] != after[i]) {
      ++change.strip;
    }
  }
  return change;
}

TEST(About, ShowsTheProductAndTheRainFallsAroundThePanel) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND about = OpenAbout(program);
  ASSERT_TRUE(about) << "no about window";
  EXPECT_EQ(program.Text(about), "关于 Quillet");
  EXPECT_EQ(program.Text(ChildById(about, IDC_ABOUT_LABEL2)), "Quillet 3.1");
  EXPECT_EQ(program.Text(ChildById(about, IDC_ABOUT_BITBTN1)), "确定");
  EXPECT_EQ(program.Text(ChildById(about, IDC_ABOUT_BITBTN2)), "信息");
  EXPECT_FALSE(IsWindowEnabled(program.Main())) << "the about window is modal";

  const RECT client = ClientOnScreen(about);
  const int width = client.right - client.left;
  // A picture counts only while the about window itself shows under the panel's bottom and
  // has not moved: on a busy screen another window may pass over it for a moment.
  const POINT panelBottom = {client.left + (kPanelBottom.left + kPanelBottom.right) / 2,
                             client.top + (kPanelBottom.top + kPanelBottom.bottom) / 2};
  std::wstring shownThere;
  auto unobstructed = [&] {
    HWND there = WindowFromPoint(panelBottom);
    wchar_t name[64] = {};
    GetClassNameW(GetAncestor(there, GA_ROOT), name, 64);
    shownThere = name;
    const RECT now = ClientOnScreen(about);
    return GetAncestor(there, GA_ROOT) == about && EqualRect(&now, &client);
  };
  // The window is visible before it has painted: start from the first picture whose panel is
  // black below its buttons, as painted.
  std::vector<std::uint32_t> first;
  ASSERT_TRUE(WaitUntil([&] {
    if (!unobstructed()) return false;
    first = ScreenPixels(client);
    return Compare(first, first, width).panelBottom == 0 && unobstructed();
  })) << "the panel is not black below its buttons; shown under the panel: " << Narrow(shownThere);
  Change change;
  EXPECT_TRUE(WaitUntil([&] {
    if (!unobstructed()) return false;
    change = Compare(first, ScreenPixels(client), width);
    return change.strip > 500 && unobstructed();
  })) << "the strip around the panel stays as it was; shown under the panel: " << Narrow(shownThere);
  EXPECT_EQ(change.panelBottom, 0) << "the rain reached the panel";

  // Let the rain fill the strip again after the screenshot's activation, then take the
  // picture as it is.
  SetForegroundWindow(about);
  first = ScreenPixels(client);
  WaitUntil([&] { return Compare(first, ScreenPixels(client), width).strip > 3000; }, 3000);
  SaveScreenshot(about, "about-window", false);

  EXPECT_TRUE(CloseAbout(program, about));
  EXPECT_TRUE(IsWindowEnabled(program.Main()));
  EXPECT_TRUE(program.Exit());
}

TEST(About, LicenseOpensTheFileBesideTheProgramInNotepad) {
  CloseLicenseNotepads();
  Program program(L"Quillet Test Folder");
  const std::wstring built = QuilletExe();
  const std::wstring license = built.substr(0, built.find_last_of(L'\\') + 1) + L"license.txt";
  ASSERT_TRUE(CopyFileW(license.c_str(), program.PathInFolder(L"license.txt").c_str(), FALSE))
      << "no license.txt beside " << Narrow(built);
  ASSERT_NE(program.Folder().find(L' '), std::wstring::npos);
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND about = OpenAbout(program);
  ASSERT_TRUE(about) << "no about window";

  PostMessageW(about, WM_COMMAND, IDM_LICENSEPRIVACYPOLICY1, 0);
  const std::optional<std::string> shown = WaitForLicenseInNotepad();
  ASSERT_TRUE(shown) << "no Notepad window with license.txt";
  EXPECT_EQ(*shown, LicenseFileText(program.PathInFolder(L"license.txt")));
  EXPECT_FALSE(program.AnyMessageBox());
  CloseLicenseNotepads();
  EXPECT_TRUE(CloseAbout(program, about));
  EXPECT_TRUE(program.Exit());
}

TEST(About, LicenseWithoutTheFileSaysSo) {
  Program program;
  ASSERT_FALSE(FileExists(program.PathInFolder(L"license.txt")));
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND about = OpenAbout(program);
  ASSERT_TRUE(about) << "no about window";
  // Through the menu of "信息": its last item is "许可证". The button is clicked through its
  // own message (a pointer click can be lost while a busy screen still moves the window into
  // place); the menu is worked with the real keyboard, as the user would.
  SetForegroundWindow(about);
  WaitUntil([&] { return GetForegroundWindow() == about; }, 2000);
  Program::PostClick(ChildById(about, IDC_ABOUT_BITBTN2));
  ASSERT_TRUE(program.WaitForWindow(L"#32768")) << "the menu did not open";
  SendRealKeyPress(VK_UP);
  SendRealKeyPress(VK_RETURN);
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(box->caption, "许可证");
  EXPECT_EQ(box->text, "文件未找到!");
  Program::PressOk(box->window);
  EXPECT_TRUE(WaitUntil([&] { return !program.AnyMessageBox(); }));
  EXPECT_TRUE(LicenseNotepads().empty());
  EXPECT_TRUE(IsWindow(about)) << "the about window stays open";
  EXPECT_TRUE(CloseAbout(program, about));
  EXPECT_TRUE(program.Exit());
}

TEST(About, TheMakersPagesReachTheShell) {
  struct Case {
    const char* name;
    int command;
    std::string_view address;
  };
  const Case cases[] = {
      {"致谢", IDM_CREDITS1, kCreditsAddress},
      {"如何卸载", IDM_HOWTOUNINSTALL1, kUninstallAddress},
  };
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  WebAddressesToRecorder redirect(recorder);
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND about = OpenAbout(program);
  ASSERT_TRUE(about) << "no about window";
  std::size_t seen = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PostMessageW(about, WM_COMMAND, static_cast<WPARAM>(c.command), 0);
    ASSERT_TRUE(WaitUntil([&] { return program.Launches().size() > seen; })) << "nothing was opened";
    ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
    const auto launches = program.Launches();
    ASSERT_EQ(launches.size(), seen + 1);
    EXPECT_NE(launches.back().command_line.find(std::string(c.address)), std::string::npos)
        << launches.back().command_line;
    seen = launches.size();
  }
  EXPECT_TRUE(IsWindow(about)) << "the about window stays open";
  EXPECT_TRUE(CloseAbout(program, about));
  EXPECT_TRUE(program.Exit());
}

}  // namespace
}  // namespace quillet::e2e
