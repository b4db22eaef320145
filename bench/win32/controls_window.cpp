// The floor for start-up time: a window that looks like Quillet's and does nothing else. It has
// the program's resources (manifest with common controls 6, icons), a menu bar of three Chinese
// menus and the same kinds and number of child controls with the same fonts and pictures; it
// reads no version record, settings, log-on value or list and starts no timer. What the program
// takes beyond this window is its own work; what this window takes beyond the empty one is the
// cost under Wine of the controls every user sees.
#include <windows.h>
#include <commctrl.h>

#include "ui/fonts.h"
#include "ui/resource_ids.h"

namespace {

LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HMENU MenuBar() {
  HMENU bar = CreateMenu();
  const wchar_t* titles[] = {L"文件", L"设置", L"帮助"};
  const int itemCounts[] = {9, 8, 6};
  for (int menu = 0; menu < 3; ++menu) {
    HMENU popup = CreatePopupMenu();
    for (int item = 0; item < itemCounts[menu]; ++item) {
      AppendMenuW(popup, MF_STRING, 100 + menu * 20 + item, L"从文件加载列表");
    }
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), titles[menu]);
  }
  return bar;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                      ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, L"MAINICON");
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"ControlsWindow";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"ControlsWindow", L"KALMIRO - Quillet", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, 505, 526, nullptr, MenuBar(), instance, nullptr);

  HFONT font = quillet::CreateTahoma(11);
  HFONT bold = quillet::CreateTahoma(11, FW_BOLD);
  HFONT close = quillet::CreateTahoma(16, FW_BOLD);
  HFONT listFont = quillet::CreateTahoma(13);
  int nextId = 1000;
  auto add = [&](DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y,
                 int width, int height, HFONT controlFont = nullptr, int iconId = 0, int iconSize = 16) {
    HWND control = CreateWindowExW(exStyle, className, text, style | WS_CHILD, x, y, width, height, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont ? controlFont : font), FALSE);
    if (iconId) {
      HICON icon = static_cast<HICON>(
          LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, iconSize, iconSize, LR_DEFAULTCOLOR));
      SendMessageW(control, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    return control;
  };
  const DWORD shown = WS_VISIBLE;
  add(0, STATUSCLASSNAMEW, L"", shown | SBARS_SIZEGRIP, 0, 0, 0, 0);
  add(0, WC_BUTTONW, L"取消自动关闭", BS_PUSHBUTTON, 0, 0, 489, 30, close);
  add(0, WC_STATICW, L"文件, 文件夹, 网址:", shown | SS_LEFT, 8, 6, 200, 14);
  HWND list = add(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                  shown | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                      LVS_NOCOLUMNHEADER,
                  8, 22, 481, 288, listFont);
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 475;
  ListView_InsertColumn(list, 0, &column);
  const int arrows[] = {IDI_GLYPH_UP, IDI_GLYPH_DOWN, IDI_GLYPH_TOP, IDI_GLYPH_BOTTOM};
  for (int i = 0; i < 4; ++i) add(0, WC_BUTTONW, L"", shown | BS_PUSHBUTTON | BS_ICON, 8 + i * 25, 316, 23, 25, nullptr, arrows[i]);
  add(0, WC_BUTTONW, L"添加", shown | WS_TABSTOP | BS_PUSHBUTTON, 112, 316, 75, 25);
  add(0, WC_BUTTONW, L"移除", shown | WS_TABSTOP | BS_PUSHBUTTON, 191, 316, 75, 25);
  add(0, WC_BUTTONW, L"导出批处理文件", shown | WS_TABSTOP | BS_PUSHBUTTON, 270, 316, 118, 25, nullptr, IDI_IMG_TERMINAL);
  add(0, WC_BUTTONW, L"", shown | WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 440, 316, 24, 25, nullptr, IDI_IMG_LOAD48);
  add(0, WC_BUTTONW, L"", shown | WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 466, 316, 24, 25, nullptr, IDI_IMG_SAVE48);
  add(0, WC_STATICW, L"等待:", shown | SS_LEFT | SS_NOTIFY, 8, 355, 40, 14);
  HWND spin = add(WS_EX_CLIENTEDGE, WC_EDITW, L"0", shown | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, 38, 352, 78, 21);
  HWND upDown = add(0, UPDOWN_CLASSW, L"", shown | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 116, 352, 16, 21);
  SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(spin), 0);
  MoveWindow(upDown, 116, 352, 16, 21, FALSE);
  add(0, WC_STATICW, L"毫秒", shown | SS_LEFT | SS_NOTIFY, 137, 355, 40, 14);
  add(0, WC_BUTTONW, L"使用系统默认打开", shown | WS_TABSTOP | BS_RADIOBUTTON | WS_GROUP, 8, 382, 115, 18);
  add(0, WC_BUTTONW, L"打开:", shown | WS_TABSTOP | BS_RADIOBUTTON, 128, 382, 50, 18);
  add(WS_EX_CLIENTEDGE, WC_EDITW, L"C:\\windows\\notepad.exe", shown | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, 180, 380, 230, 21);
  add(0, WC_BUTTONW, L"浏览", shown | WS_TABSTOP | BS_PUSHBUTTON, 414, 378, 78, 25, nullptr, IDI_GLYPH_BROWSE);
  add(0, WC_BUTTONW, L"QUILLET", shown | WS_TABSTOP | BS_DEFPUSHBUTTON, 8, 410, 489, 46, bold, IDI_GLYPH_OPEN, 32);

  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
