// The clipboard, message pumping, the responsive wait and the system texts and paths.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

TEST(Win32Clipboard, RoundTripsUnicodeTextExactly) {
  const std::string texts[] = {
      "C:\\数据\\a b.txt\r\nhttp://example.com/?q=1\r\n",
      "\xF0\x9F\x98\x80 emoji and a tab\t",
      Narrow(std::wstring(L"unpaired \xD800 high and \xDC00 low surrogate")),
      std::string(100000, 'x'),
  };
  for (const std::string& text : texts) {
    SetClipboardText(nullptr, text);
    EXPECT_EQ(GetClipboardText(nullptr), text);
  }
  // The lone surrogates reach the clipboard as the single UTF-16 units they were.
  SetClipboardText(nullptr, texts[2]);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const auto* raw = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
  const std::wstring onClipboard = raw ? raw : L"";
  GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
  CloseClipboard();
  EXPECT_EQ(onClipboard, std::wstring(L"unpaired \xD800 high and \xDC00 low surrogate"));
}

TEST(Win32Clipboard, NoTextGivesEmpty) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(GetClipboardText(nullptr), "");
}

// A window that notes when a posted message reaches it.
struct Recorder {
  static inline int handled = 0;
  static inline DWORD handledAt = 0;
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      ++handled;
      handledAt = GetTickCount();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  Recorder() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuilletTestRecorder";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, L"QuilletTestRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    handled = 0;
  }
  ~Recorder() { DestroyWindow(window); }
  HWND window = nullptr;
};

HWND g_postTarget = nullptr;
void CALLBACK PostFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostMessageW(g_postTarget, WM_APP, 0, 0);
}

TEST(Win32Wait, SleepWithoutFreezeHandlesMessagesAndReturnsAfterItsTime) {
  Recorder recorder;
  ASSERT_TRUE(recorder.window);
  g_postTarget = recorder.window;
  // The message is posted by a timer in the middle of the wait: the wait must wake for it,
  // hand it to the window and then sleep on for the rest of its time.
  SetTimer(nullptr, 0, 30, PostFromTimer);
  const DWORD start = GetTickCount();
  SleepWithoutFreeze(300);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(Recorder::handled, 1);
  EXPECT_GE(elapsed, 300u);
  EXPECT_LE(Recorder::handledAt - start, elapsed);

  // Nothing to wait for: returns at once, handling what is already queued.
  PostMessageW(recorder.window, WM_APP, 0, 0);
  SleepWithoutFreeze(0);
  SleepWithoutFreeze(-5);
  ProcessMessages();
  EXPECT_EQ(Recorder::handled, 2);
}

TEST(Win32Wait, QuitMetWhilePumpingReachesTheMainLoopAndWaitsStillEnd) {
  // Run on a thread of its own: a quit request belongs to one thread's queue.
  bool quitSeenAgain = false;
  bool requested = false;
  WPARAM code = 0;
  std::thread worker([&] {
    PostQuitMessage(7);
    SleepWithoutFreeze(100);  // the request arrives during the wait; the wait runs its time
    ProcessMessages();
    requested = QuitRequested();
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && message.message == WM_QUIT) {
      quitSeenAgain = true;
      code = message.wParam;
    }
  });
  worker.join();
  EXPECT_TRUE(requested);
  EXPECT_TRUE(quitSeenAgain);
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(QuitRequested());  // this thread is not ending
}

TEST(Win32System, ErrorTextsHaveNoTrailingBreakOrStop) {
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND}) {
    const std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), ' ');
    EXPECT_EQ(ErrorReportText(text), text + ".");
  }
  EXPECT_NE(SystemErrorText(ERROR_FILE_NOT_FOUND), SystemErrorText(ERROR_ACCESS_DENIED));
}

TEST(Win32System, ProgramPathsAndEnvironment) {
  const std::wstring program = ProgramFilePath();
  EXPECT_NE(program.find(L"quillet_win32_tests"), std::wstring::npos);
  const std::wstring folder = ProgramFolder();
  EXPECT_EQ(program.substr(0, folder.size() + 1), folder + L"\\");
  EXPECT_EQ(program.find(L'\\', folder.size() + 1), std::wstring::npos);

  EXPECT_FALSE(AppDataFolder().empty());
  EXPECT_NE(GetFileAttributesW(Widen(AppDataFolder()).c_str()), INVALID_FILE_ATTRIBUTES);

  const std::string windir = EnvironmentVariable("WINDIR");
  EXPECT_FALSE(windir.empty());
  SetEnvironmentVariableW(L"QUILLET_TEST_VALUE", (L"值" + std::wstring(1000, L'v')).c_str());
  EXPECT_EQ(EnvironmentVariable("QUILLET_TEST_VALUE"), "值" + std::string(1000, 'v'));
  EXPECT_EQ(EnvironmentVariable("QUILLET_SURELY_UNSET_VALUE"), "");

  EXPECT_GE(WindowsMajorVersion(), 5u);
}

}  // namespace
}  // namespace quillet

namespace quillet {
namespace {

// Every program these tests start inherits this environment: its update check and feedback
// must go to this machine, so no test run reaches out, not even for a name lookup.
TEST(TestRunEnvironment, TheProgramsServiceAddressesStayOnThisMachine) {
  for (const char* name : {"QUILLET_SERVICE_ADDRESS", "QUILLET_FEEDBACK_ADDRESS"}) {
    const std::string address = EnvironmentVariable(name);
    EXPECT_TRUE(address.starts_with("127.0.0.1:") || address.starts_with("localhost:")) << name << "=" << address;
  }
}

}  // namespace
}  // namespace quillet

namespace quillet {
namespace {

// A failed call's error must survive its owners being released on the way out, so it can still
// be read and reported after them.
TEST(UniqueHandle, ClosingKeepsTheLastError) {
  {
    UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_TRUE(event);
    UniqueFont font(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    ASSERT_TRUE(font);
    SetLastError(ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  SetLastError(ERROR_ACCESS_DENIED);
  event.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace quillet
