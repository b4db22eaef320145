// The about window, opened in this process and driven from a timer while its modal loop runs:
// its layout and texts, the rain on its surface, the keys of its buttons, the menu, the
// license file beside the program, and the window drag with the real pointer.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../shared/window_probe.h"
#include "ui/control_ids.h"
#include "modal_script.h"
#include "temp_folder.h"
#include "util/text.h"
#include "windows/about.h"

namespace quillet {
namespace {

using testing::TempFolder;

// A step against the open window: true once it is done (see modal_script.h).
using Step = std::function<bool(HWND about)>;

// Opens the window, runs the steps against it and returns when it has closed. expectClosed:
// the steps themselves close the window.
void RunAboutBox(const AboutBoxArgs& args, std::vector<Step> steps, bool expectClosed = true) {
  if (!expectClosed) {
    steps.push_back([](HWND about) {
      PostMessageW(about, WM_CLOSE, 0, 0);
      return true;
    });
  }
  testing::Script script;
  for (const Step& step : steps) {
    script.steps.push_back([step] {
      HWND about = FindWindowW(QUILLET_ABOUT_CLASS, nullptr);
      return about && step(about);
    });
  }
  script.giveUp = [] {
    testing::EndNestedLoops();
    if (HWND about = FindWindowW(QUILLET_ABOUT_CLASS, nullptr)) PostMessageW(about, WM_CLOSE, 0, 0);
  };
  const testing::ScriptReport report = testing::RunScript([&] { ShowAboutBox(args); }, std::move(script));
  EXPECT_EQ(report.stepsDone, steps.size()) << "the window closed before every step ran";
  EXPECT_EQ(FindWindowW(QUILLET_ABOUT_CLASS, nullptr), nullptr) << "the window outlived its loop";
}

AboutBoxArgs Args(HWND owner = nullptr, std::wstring programFile = L"") {
  AboutBoxArgs args;
  args.owner = owner;
  args.appProduct = "Quillet";
  args.appVersion = "3.1";
  args.programFile = std::move(programFile);
  return args;
}

Step Do(std::function<void(HWND)> action) {
  return [action](HWND about) {
    action(about);
    return true;
  };
}
Step WaitFor(std::function<bool(HWND)> condition) { return condition; }

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}
// The text of a control in another process: GetWindowTextW would give only its caption.
std::wstring TextOfOtherProcess(HWND control) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  if (control) SendMessageTimeoutW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &copied);
  return text;
}
HWND Panel(HWND about) { return GetDlgItem(about, IDC_ABOUT_PANEL1); }
HWND Control(HWND about, int id) { return GetDlgItem(Panel(about), id); }

// A rectangle of a child in its parent's client coordinates.
RECT PlaceInParent(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The client area as it shows on the window's surface, 0x00RRGGBB, top row first.
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> data;
  std::uint32_t at(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
  // Pixels that are not black inside r (client coordinates), optionally leaving out `hole`.
  int NonBlack(const RECT& r, const RECT* hole = nullptr) const {
    int count = 0;
    for (int y = r.top; y < r.bottom && y < height; ++y)
      for (int x = r.left; x < r.right && x < width; ++x) {
        const POINT p{x, y};
        if (hole && PtInRect(hole, p)) continue;
        if (at(x, y) != 0) ++count;
      }
    return count;
  }
};

Pixels ReadClient(HWND window) {
  Pixels pixels;
  RECT client{};
  GetClientRect(window, &client);
  pixels.width = client.right;
  pixels.height = client.bottom;
  HDC dc = GetDC(window);
  pixels.data = testing::CapturePixels(dc, 0, 0, pixels.width, pixels.height);
  ReleaseDC(window, dc);
  return pixels;
}

constexpr RECT kPanelPlace = {48, 42, 398, 333};
const RECT kWholeClient = {0, 0, 446, 374};
// Parts of Panel1 that no control covers: between the label and the buttons, and below them.
const RECT kPanelBlankMiddle = {48, 42 + 165, 398, 42 + 220};
const RECT kPanelBlankBottom = {48, 42 + 260, 398, 333};

int RainInStrip(HWND about) { return ReadClient(about).NonBlack(kWholeClient, &kPanelPlace); }

struct MenuItem {
  UINT id;
  std::wstring caption;
  friend bool operator==(const MenuItem&, const MenuItem&) = default;
};
std::ostream& operator<<(std::ostream& out, const MenuItem& item) { return out << item.id << " " << Narrow(item.caption); }

std::vector<MenuItem> ItemsOf(HMENU menu) {
  std::vector<MenuItem> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    items.push_back({GetMenuItemID(menu, i), text});
  }
  return items;
}

TEST(AboutBox, LooksAsDesigned) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(owner);
  RunAboutBox(Args(owner), {Do([&](HWND about) {
    EXPECT_EQ(TextOf(about), L"关于 Quillet");
    EXPECT_EQ(GetWindow(about, GW_OWNER), owner);
    EXPECT_FALSE(IsWindowEnabled(owner)) << "the window is modal";
    RECT client{}, frame{};
    GetClientRect(about, &client);
    GetWindowRect(about, &frame);
    EXPECT_EQ(client.right, 446);
    EXPECT_EQ(client.bottom, 374);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    const LONG_PTR style = GetWindowLongPtrW(about, GWL_STYLE), exStyle = GetWindowLongPtrW(about, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_CLIPCHILDREN) << "the rain must not cover the panel";
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    struct Place {
      int id;
      RECT inParent;
      const wchar_t* text;
    };
    const Place places[] = {
        {IDC_ABOUT_IMAGE2, {3, 3, 347, 108}, L""},
        {IDC_ABOUT_BEVEL1, {9, 122, 43, 156}, L""},
        {IDC_ABOUT_IMAGE1, {10, 123, 42, 155}, nullptr},
        {IDC_ABOUT_LABEL2, {49, 122, 339, 162}, L"Quillet 3.1"},
        {IDC_ABOUT_BITBTN1, {49, 224, 171, 257}, L"确定"},
        {IDC_ABOUT_BITBTN2, {177, 224, 299, 257}, L"信息"},
    };
    const RECT panel = PlaceInParent(Panel(about));
    EXPECT_TRUE(EqualRect(&panel, &kPanelPlace));
    for (const Place& place : places) {
      SCOPED_TRACE(place.id);
      HWND control = Control(about, place.id);
      ASSERT_TRUE(control);
      const RECT r = PlaceInParent(control);
      EXPECT_TRUE(EqualRect(&r, &place.inParent)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
      if (place.text) {
        EXPECT_EQ(TextOf(control), place.text);
      }
    }
    EXPECT_TRUE(SendMessageW(Control(about, IDC_ABOUT_IMAGE1), STM_GETICON, 0, 0)) << "no application icon";
    EXPECT_EQ(GetFocus(), Control(about, IDC_ABOUT_BITBTN1));
  }),
                            // The logo: light letters and green on black, its transparent corner black.
                            WaitFor([](HWND about) {
                              const Pixels pixels = ReadClient(about);
                              const int left = 48 + 3, top = 42 + 3;
                              bool white = false, green = false;
                              for (int y = top; y < top + 105; ++y)
                                for (int x = left; x < left + 344; ++x) {
                                  const std::uint32_t p = pixels.at(x, y);
                                  const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
                                  white = white || (r > 230 && g > 230 && b > 230);
                                  green = green || (g > 150 && g > r + 60 && g > b + 60);
                                }
                              return white && green && pixels.at(left, top) == 0 && pixels.at(left + 343, top) == 0;
                            }),
                            // A new monitor DPI leaves the designed size as it is.
                            Do([](HWND about) {
                              RECT before{}, suggested{};
                              GetWindowRect(about, &before);
                              suggested = {before.left, before.top, before.left + 2 * (before.right - before.left),
                                           before.top + 2 * (before.bottom - before.top)};
                              SendMessageW(about, WM_DPICHANGED, MAKEWPARAM(192, 192),
                                           reinterpret_cast<LPARAM>(&suggested));
                              RECT after{};
                              GetWindowRect(about, &after);
                              EXPECT_TRUE(EqualRect(&before, &after));
                            }),
                            // Enter on BitBtn2 opens the menu under the button's bottom-left corner.
                            Do([](HWND about) { testing::PostKeyPress(Control(about, IDC_ABOUT_BITBTN2), VK_RETURN); }),
                            WaitFor([](HWND about) {
                              HWND menu = testing::ShownMenu();
                              if (!menu) return false;
                              const auto items = ItemsOf(reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1, 0, 0)));
                              EXPECT_EQ(items, (std::vector<MenuItem>{{IDM_CREDITS1, L"致谢"},
                                                                      {IDM_HOWTOUNINSTALL1, L"如何卸载"},
                                                                      {IDM_LICENSEPRIVACYPOLICY1, L"许可证"}}));
                              RECT button{}, shown{};
                              GetWindowRect(Control(about, IDC_ABOUT_BITBTN2), &button);
                              GetWindowRect(menu, &shown);
                              EXPECT_EQ(shown.left, button.left);
                              EXPECT_EQ(shown.top, button.bottom);
                              EndMenu();
                              return true;
                            }),
                            WaitFor([](HWND) { return testing::ShownMenu() == nullptr; })},
              false);
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(AboutBox, TheRainFallsAroundThePanelAndStartsAgainAfterAResize) {
  int panelTouched = 0;
  RunAboutBox(Args(), {
                          WaitFor([](HWND about) { return RainInStrip(about) > 200; }),
                          // Many more ticks: the panel's empty parts stay black.
                          WaitFor([&, ticks = 0](HWND about) mutable {
                            const Pixels pixels = ReadClient(about);
                            panelTouched += pixels.NonBlack(kPanelBlankMiddle) + pixels.NonBlack(kPanelBlankBottom);
                            return ++ticks >= 40;
                          }),
                          // The size change as the window hears of it: the surface keeps its
                          // pixels, and the window itself must turn them black.
                          Do([](HWND about) {
                            SendMessageW(about, WM_SIZE, SIZE_RESTORED, MAKELPARAM(446, 374));
                            EXPECT_EQ(RainInStrip(about), 0) << "a size change turns the window black";
                          }),
                          WaitFor([](HWND about) { return RainInStrip(about) > 200; }),
                          // A real resize: the rain falls on.
                          Do([](HWND about) {
                            RECT frame{};
                            GetWindowRect(about, &frame);
                            SetWindowPos(about, nullptr, 0, 0, frame.right - frame.left + 40,
                                         frame.bottom - frame.top + 24, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                            EXPECT_EQ(RainInStrip(about), 0);
                          }),
                          WaitFor([](HWND about) { return RainInStrip(about) > 200; }),
                      },
              false);
  EXPECT_EQ(panelTouched, 0) << "the rain fell on the panel";
}

TEST(AboutBox, KeysOnTheButtonsCloseIt) {
  struct Case {
    const char* name;
    int button;
    WPARAM key;
  };
  const Case cases[] = {
      {"Esc on BitBtn1", IDC_ABOUT_BITBTN1, VK_ESCAPE},
      {"Esc on BitBtn2", IDC_ABOUT_BITBTN2, VK_ESCAPE},
      {"Enter on BitBtn1", IDC_ABOUT_BITBTN1, VK_RETURN},
      {"Space on BitBtn1", IDC_ABOUT_BITBTN1, VK_SPACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunAboutBox(Args(), {Do([&](HWND about) {
                  HWND button = Control(about, c.button);
                  SetFocus(button);
                  testing::PostKeyPress(button, c.key);
                })});
  }
}

TEST(AboutBox, TheCloseButtonAndBitBtn1CloseIt) {
  RunAboutBox(Args(), {Do([](HWND about) { PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0); })});
  RunAboutBox(Args(), {Do([](HWND about) { PostMessageW(Control(about, IDC_ABOUT_BITBTN1), BM_CLICK, 0, 0); })});
}

// Notepad windows showing a file named license.txt, from any process.
std::vector<HWND> LicenseNotepads() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        const std::string caption = AsciiLower(Narrow(TextOf(window)));
        if (std::wstring(name) == L"Notepad" && IsWindowVisible(window) && caption.find("license") != std::string::npos)
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void CloseNotepads() {
  for (HWND notepad : LicenseNotepads()) {
    DWORD pid = 0;
    GetWindowThreadProcessId(notepad, &pid);
    PostMessageW(notepad, WM_CLOSE, 0, 0);
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid)) {
      if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
}

// A message box of this thread: caption, text and whether it shows the error icon.
struct Box {
  HWND window = nullptr;
  std::wstring caption, text;
  bool errorIcon = false;
};
Box FindMessageBox() {
  Box box;
  box.window = testing::ShownMessageBox();
  if (!box.window) return box;
  box.caption = TextOf(box.window);
  box.text = TextOf(GetDlgItem(box.window, 0xFFFF));
  const HICON error = LoadIconW(nullptr, IDI_ERROR);
  // The icon's control: ID 20 in Windows' message box, 0x440 in Wine's.
  for (int id : {20, 0x440}) {
    HWND icon = GetDlgItem(box.window, id);
    if (icon && reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) == error) box.errorIcon = true;
  }
  return box;
}

TEST(AboutBox, LicenseOpensTheFileBesideTheProgramInNotepad) {
  CloseNotepads();
  TempFolder temp;
  temp.MakeFolder("Quillet Test Folder");
  const std::string text = "Quillet 3.1 许可证\r\nThe terms of use.\r\n";
  temp.WriteFile("Quillet Test Folder\\license.txt", "\xEF\xBB\xBF" + text);
  std::wstring shown;
  bool messageBox = false;
  RunAboutBox(Args(nullptr, Widen(temp / "Quillet Test Folder\\quillet.exe")),
              {Do([](HWND about) { PostMessageW(about, WM_COMMAND, IDM_LICENSEPRIVACYPOLICY1, 0); }),
               WaitFor([&](HWND) {
                 messageBox = messageBox || FindMessageBox().window;
                 const auto notepads = LicenseNotepads();
                 if (notepads.empty()) return false;
                 shown = TextOfOtherProcess(FindWindowExW(notepads[0], nullptr, L"Edit", nullptr));
                 return !shown.empty();
               })},
              false);
  CloseNotepads();
  EXPECT_FALSE(messageBox);
  EXPECT_EQ(Narrow(shown), text);
}

TEST(AboutBox, LicenseWithoutTheFileSaysSo) {
  struct Case {
    const char* name;
    std::function<void(const TempFolder&)> prepare;
  };
  const Case cases[] = {
      {"nothing beside the program", [](const TempFolder&) {}},
      {"a folder named license.txt", [](const TempFolder& temp) { temp.MakeFolder("license.txt"); }},
  };
  CloseNotepads();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder temp;
    c.prepare(temp);
    Box box;
    RunAboutBox(Args(nullptr, Widen(temp / "quillet.exe")),
                {Do([](HWND about) { PostMessageW(about, WM_COMMAND, IDM_LICENSEPRIVACYPOLICY1, 0); }),
                 WaitFor([&](HWND) {
                   box = FindMessageBox();
                   if (!box.window) return false;
                   PostMessageW(box.window, WM_COMMAND, IDOK, 0);
                   return true;
                 }),
                 WaitFor([](HWND) { return !FindMessageBox().window; })},
                false);
    EXPECT_EQ(box.caption, L"许可证");
    EXPECT_EQ(box.text, L"文件未找到!");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_TRUE(LicenseNotepads().empty());
  }
  CloseNotepads();
}

// license.txt as a symbolic link counts when its target is there.
TEST(AboutBox, LicenseFollowsASymbolicLink) {
  CloseNotepads();
  TempFolder temp;
  temp.WriteFile("terms.txt", "Quillet terms\r\n");
  const std::wstring link = Widen(temp / "license.txt");
  // Wine reports success without making a link, and Windows makes one only with the
  // privilege or in developer mode.
  if (!CreateSymbolicLinkW(link.c_str(), Widen(temp / "terms.txt").c_str(), 0x2 /* allow unprivileged */) ||
      !(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system makes no symbolic links here";
  }
  struct Case {
    const char* name;
    bool targetThere;
  };
  for (const Case c : {Case{"the target is there", true}, Case{"the target is gone", false}}) {
    SCOPED_TRACE(c.name);
    if (!c.targetThere) DeleteFileW(Widen(temp / "terms.txt").c_str());
    bool notepad = false, messageBox = false;
    RunAboutBox(Args(nullptr, Widen(temp / "quillet.exe")),
                {Do([](HWND about) { PostMessageW(about, WM_COMMAND, IDM_LICENSEPRIVACYPOLICY1, 0); }),
                 WaitFor([&](HWND) {
                   notepad = !LicenseNotepads().empty();
                   const Box box = FindMessageBox();
                   messageBox = box.window != nullptr;
                   if (messageBox) PostMessageW(box.window, WM_COMMAND, IDOK, 0);
                   return notepad || messageBox;
                 }),
                 WaitFor([](HWND) { return !FindMessageBox().window; })},
                false);
    CloseNotepads();
    EXPECT_EQ(notepad, c.targetThere);
    EXPECT_EQ(messageBox, !c.targetThere);
  }
}

using testing::SendPointer;

TEST(AboutBox, DragsFromTheStripThePanelThePicturesAndTheLabel) {
  struct Case {
    const char* name;
    int part;     // 0: the window itself
    POINT at;     // in the part's client coordinates
    DWORD down, up;
    bool moves;
  };
  const Case cases[] = {
      {"the black strip", 0, {20, 20}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"Panel1", IDC_ABOUT_PANEL1, {175, 190}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"Image1, the icon", IDC_ABOUT_IMAGE1, {16, 16}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"Image2, the logo", IDC_ABOUT_IMAGE2, {170, 50}, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, true},
      {"Label2", IDC_ABOUT_LABEL2, {20, 10}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"the right button on the strip", 0, {20, 20}, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RECT before{}, after{};
    POINT start{};
    RunAboutBox(Args(), {Do([&](HWND about) {
                           SetForegroundWindow(about);
                           GetWindowRect(about, &before);
                           start = c.at;
                           ClientToScreen(c.part ? GetDlgItem(c.part == IDC_ABOUT_PANEL1 ? about : Panel(about), c.part)
                                                 : about,
                                          &start);
                           SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, start);
                         }),
                         Do([&](HWND) { SendPointer(c.down); }),
                         Do([&](HWND) {
                           SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, POINT{start.x - 30, start.y + 20});
                         }),
                         Do([&](HWND) { SendPointer(c.up); }),
                         // Once the button is up, the pointer moves alone.
                         Do([&](HWND) {
                           SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, POINT{start.x + 40, start.y + 40});
                         }),
                         Do([&](HWND about) { GetWindowRect(about, &after); })},
                false);
    EXPECT_EQ(after.left - before.left, c.moves ? -30 : 0);
    EXPECT_EQ(after.top - before.top, c.moves ? 20 : 0);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
  }
}

}  // namespace
}  // namespace quillet
