// Process entry of quillet.exe: the named mutex, the common controls, the main window and
// the message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "app/app_form.h"
#include "app/versioninfo.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  using namespace quillet;
  // Marks a running instance for installers; a second instance still starts normally. The
  // handle stays open for the life of the process.
  CreateMutexW(nullptr, FALSE, L"KALMIRO_Quillet");
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                      ICC_UPDOWN_CLASS | ICC_TAB_CLASSES |
                                                      ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  TAppForm form{AppFormArgs{}};
  try {
    form.Create();
  } catch (const VersionDataError& error) {
    MessageBoxW(nullptr, Widen(ErrorReportText(SystemErrorText(error.code))).c_str(), L"Quillet",
                MB_OK | MB_ICONERROR);
    return 1;
  } catch (const std::exception& error) {
    MessageBoxW(nullptr, Widen(ErrorReportText(error.what())).c_str(), L"Quillet",
                MB_OK | MB_ICONERROR);
    return 1;
  }
  form.Show(showCommand);
  // COM serves the file and folder dialogs and the shell, all later than the first paint.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  HWND window = form.Handle();
  // Dialog keys on the main window, also while a run or a folder walk pumps messages.
  SetMessagePreTranslator([window, &form](MSG& message) {
    return IsWindow(window) && form.PreTranslateMessage(message);
  });
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    // A nested message pump may have taken the quit message; the window's end is the end.
    if (!IsWindow(window)) break;
  }
  SetMessagePreTranslator(nullptr);
  CoUninitialize();
  return 0;
}
