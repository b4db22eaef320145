// TAppForm: creation, layout, hints, menus and message dispatch.
#include "app/app_form.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <climits>
#include <stdexcept>

#include <string>

#include "platform/win32/taskbar_progress.h"
#include "ui/control_ids.h"
#include "ui/controls.h"
#include "ui/fonts.h"
#include "ui/resource_ids.h"
#include "app/versioninfo.h"
#include "util/text.h"

namespace quillet {

namespace {

constexpr int kPanelCloseHeight = 41;
constexpr int kPanel4Height = 35;
constexpr int kPanel8Height = 28;
constexpr int kPanel2Height = 28;
constexpr int kPanel7Height = 60;
constexpr int kMargin = 8;
constexpr int kSpinEditWidth = 94;  // edit and arrows together
constexpr int kUpDownWidth = 17;

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size.cx;
}

// Wine's menus copy item bitmaps without blending, so transparent pixels would come out black.
bool MenusIgnoreAlpha() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A 32-bit premultiplied-alpha bitmap of an icon, the form menus draw with MIIM_BITMAP.
HBITMAP IconToMenuBitmap(HICON icon, int size) {
  if (!icon) return nullptr;
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  UniqueBitmap color(info.hbmColor), mask(info.hbmMask);

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return dib;

  auto* pixels = static_cast<std::uint32_t*>(bits);
  const int count = size * size;
  HDC dc = GetDC(nullptr);
  bool ok = color && GetDIBits(dc, color.get(), 0, size, pixels, &bi,
                               DIB_RGB_COLORS) != 0;
  if (ok) {
    bool hasAlpha = false;
    for (int i = 0; i < count; ++i) hasAlpha = hasAlpha || (pixels[i] >> 24) != 0;
    if (hasAlpha) {
      for (int i = 0; i < count; ++i) {
        std::uint32_t p = pixels[i], a = p >> 24;
        std::uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255,
                      b = (p & 0xFF) * a / 255;
        pixels[i] = (a << 24) | (r << 16) | (g << 8) | b;
      }
    } else {
      // An icon without alpha: its mask says which pixels show.
      std::vector<std::uint32_t> maskBits(count);
      bool haveMask = mask && GetDIBits(dc, mask.get(), 0, size,
                                        maskBits.data(), &bi, DIB_RGB_COLORS) != 0;
      for (int i = 0; i < count; ++i) {
        bool transparent = haveMask && (maskBits[i] & 0xFFFFFF) != 0;
        pixels[i] = transparent ? 0 : (pixels[i] | 0xFF000000u);
      }
    }
  }
  ReleaseDC(nullptr, dc);
  if (ok && MenusIgnoreAlpha()) {
    // Composed onto the menu colour: the picture stays right, only the highlight differs.
    const COLORREF back = GetSysColor(COLOR_MENU);
    const std::uint32_t br = GetRValue(back), bg = GetGValue(back), bb = GetBValue(back);
    for (int i = 0; i < count; ++i) {
      std::uint32_t p = pixels[i], a = p >> 24;
      std::uint32_t r = ((p >> 16) & 0xFF) + br * (255 - a) / 255;
      std::uint32_t g = ((p >> 8) & 0xFF) + bg * (255 - a) / 255;
      std::uint32_t b = (p & 0xFF) + bb * (255 - a) / 255;
      pixels[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  return dib;
}

HICON LoadIconImage(int id, int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR));
}

void MoveControl(HWND parent, int id, int x, int y, int width, int height) {
  if (HWND control = GetDlgItem(parent, id)) {
    MoveWindow(control, x, y, width < 0 ? 0 : width, height < 0 ? 0 : height, FALSE);
  }
}

}  // namespace

void AllowDropMessages(HWND window, bool enable) {
  HMODULE user32 = LoadLibraryW(L"user32.dll");  // stays loaded
  if (!user32) return;
  using Filter = BOOL(WINAPI*)(UINT, DWORD);
  auto filter = reinterpret_cast<Filter>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
  if (!filter) return;  // before Vista there is nothing to allow
  DragAcceptFiles(window, enable ? TRUE : FALSE);
  filter(0x0233, 1);  // WM_DROPFILES, MSGFLT_ADD
  filter(0x0049, 1);  // WM_COPYGLOBALDATA
}

TAppForm::TAppForm(AppFormArgs args) : args_(std::move(args)) {}

TAppForm::~TAppForm() {
  if (Handle()) {
    args_.quitOnDestroy = false;
    DestroyWindow(Handle());
  }
}

void TAppForm::Create() {
  RegisterClassOnce(QUILLET_MAIN_CLASS, ClassIcon::Program, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  CreateMenus();

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, style, TRUE, 0);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (!WindowBase::Create(0, QUILLET_MAIN_CLASS, L"Quillet", style, x, y, width, height, nullptr,
                          mainMenu_)) {
    // Not the version record's failure: the system refused the window itself.
    throw std::runtime_error("无法创建主窗口.\r\r" + SystemErrorText(GetLastError()));
  }
  // The menu bar's real height is known only now; make the client area the designed one.
  RECT client{};
  GetClientRect(Handle(), &client);
  int dw = kClientWidth - client.right, dh = kClientHeight - client.bottom;
  if (dw != 0 || dh != 0) {
    width += dw;
    height += dh;
    SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // FormCreate gives the window its stored place and size before the controls exist, so each
  // control is made where the layout puts it, rather than moved there afterwards (and moved
  // again for a stored size).
  FormCreate();
  CreateControls();
  StartTimers();
  ApplyStartupSettings();
}

void TAppForm::StartTimers() {
  SetTimer(Handle(), kTimerAdminId, 1, nullptr);
  SetTimer(Handle(), kTimerParamId, 100, nullptr);
  if (args_.startUpdateCheck) SetTimer(Handle(), kTimerCheckerId, 1000, nullptr);
  SetTimer(Handle(), kTimerSaveChangesId, 1000, nullptr);
}

void TAppForm::OnTimer(UINT_PTR id) {
  FinishStartup();  // first: TimerAdmin changes a menu image that must exist by then
  switch (id) {
    case kTimerAdminId: TimerAdminTimer(); break;
    case kTimerParamId: TimerParamTimer(); break;
    case kTimerCheckerId: TimerCheckerTimer(); break;
    case kTimerSaveChangesId: TimerSaveChangesTimer(); break;
    case kTimerCloseId: TimerCloseTimer(); break;
    case kTimerProgressId: ShowHeldRunProgress(); break;
    default: break;
  }
}

void TAppForm::Show(int showCommand) {
  if (startMaximized_) showCommand = SW_SHOWMAXIMIZED;
  ShowWindow(Handle(), showCommand);
  UpdateWindow(Handle());
}

HWND TAppForm::AddControl(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                          int id, HFONT font) {
  ControlPlace place{id, 0, 0, 10, 10};
  for (const ControlPlace& planned : places_) {
    if (planned.id == id) place = planned;
  }
  return CreateControl(Handle(), {exStyle, className, text, style, id,
                                 RECT{place.x, place.y, place.x + place.width, place.y + place.height}, font});
}

void TAppForm::CreateControls() {
  font_.reset(CreateTahoma(11, FW_NORMAL));
  boldFont_.reset(CreateTahoma(11, FW_BOLD));
  closeFont_.reset(CreateTahoma(16, FW_BOLD));
  listFont_.reset(CreateTahoma(13, FW_NORMAL));
  HFONT font = font_.get();

  // Row 6, the status bar, is made first, though it stays last in the z-order: the rows stack
  // on its height.
  status_ = AddControl(0, STATUSCLASSNAMEW, L"", WS_VISIBLE | SBARS_SIZEGRIP, IDC_STATUSBAR1, font);
  taskbar_ = std::make_unique<Win32TaskbarProgress>(Handle());
  int parts[1] = {-1};
  SendMessageW(status_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT client{};
  GetClientRect(Handle(), &client);
  places_ = PlaceControls(client.right, client.bottom);
  laidOutClient_ = SIZE{client.right, client.bottom};

  auto iconButton = [&](int id, int iconId, int iconSize, const std::wstring& hint,
                        DWORD tabStop = WS_TABSTOP) {
    HWND button = AddControl(0, WC_BUTTONW, L"", WS_VISIBLE | tabStop | BS_PUSHBUTTON | BS_ICON,
                             id, font);
    HICON icon = LoadIconImage(iconId, iconSize);
    icons_.emplace_back(icon);
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    AddHint(button, hint);
    return button;
  };
  auto textButton = [&](int id, const wchar_t* text, int iconId, int iconSize, HFONT buttonFont,
                        DWORD extraStyle, const std::wstring& hint) {
    HWND button = AddControl(0, WC_BUTTONW, text, WS_VISIBLE | WS_TABSTOP | extraStyle, id,
                             buttonFont);
    if (iconId) {
      HICON icon = LoadIconImage(iconId, iconSize);
      icons_.emplace_back(icon);
      SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    if (!hint.empty()) AddHint(button, hint);
    return button;
  };

  // Row 1: PanelClose, hidden until a countdown starts.
  textButton(IDC_BUTTON6, L"取消自动关闭", 0, 0, closeFont_.get(),
             BS_PUSHBUTTON, L"");
  ShowWindow(Control(IDC_BUTTON6), SW_HIDE);

  // Row 2: Panel1 with Label1, ListBox1 and the button row Panel4.
  AddControl(0, WC_STATICW, L"文件, 文件夹, 网址:", WS_VISIBLE | SS_LEFT, IDC_LABEL1, font);
  CreateListView();
  // The arrow buttons are speed buttons: they never take the focus, so after a click the list
  // keeps it and the user goes on with the keyboard.
  for (HWND speedButton : {iconButton(IDC_SPEEDBUTTON6, IDI_GLYPH_UP, 16, L"向上", 0),
                           iconButton(IDC_SPEEDBUTTON5, IDI_GLYPH_DOWN, 16, L"向下", 0),
                           iconButton(IDC_SPEEDBUTTON3, IDI_GLYPH_TOP, 16, L"顶部", 0),
                           iconButton(IDC_SPEEDBUTTON4, IDI_GLYPH_BOTTOM, 16, L"底部", 0)}) {
    SetWindowSubclass(speedButton, &TAppForm::SpeedButtonProc, 0, 0);
  }
  textButton(IDC_BUTTON1, L"添加", 0, 0, font, BS_PUSHBUTTON, L"将项目添加到列表");
  textButton(IDC_BUTTON2, L"移除", 0, 0, font, BS_PUSHBUTTON, L"从列表中移除项目");
  textButton(IDC_BUTTON3, L"导出批处理文件", IDI_IMG_TERMINAL, 16, font, BS_PUSHBUTTON,
             L"创建一个批处理文件 (*.bat)");
  iconButton(IDC_BUTTON4, IDI_IMG_LOAD48, 16, L"从文件加载列表");
  iconButton(IDC_BUTTON5, IDI_IMG_SAVE48, 16, L"将列表保存到文件");

  // Row 3: Panel8, the wait.
  const std::wstring waitHint = L"打开每个列表项目之间的延迟";
  AddHint(AddControl(0, WC_STATICW, L"等待:", WS_VISIBLE | SS_LEFT | SS_NOTIFY, IDC_LABEL2, font),
          waitHint);
  HWND spin = AddControl(WS_EX_CLIENTEDGE, WC_EDITW, L"0",
                         WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, IDC_SPINEDIT1, font);
  AddHint(spin, waitHint);
  HWND upDown = AddControl(0, UPDOWN_CLASSW, L"", WS_VISIBLE | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                           IDC_SPINEDIT1_UPDOWN, font);
  SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(spin), 0);
  // Taking a buddy sizes the arrows to a width of their own; they go back to their place.
  for (const ControlPlace& place : places_) {
    if (place.id == IDC_SPINEDIT1_UPDOWN) MoveWindow(upDown, place.x, place.y, place.width, place.height, FALSE);
  }
  SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(INT_MIN), static_cast<LPARAM>(INT_MAX));
  AddHint(upDown, waitHint);
  AddHint(AddControl(0, WC_STATICW, L"毫秒", WS_VISIBLE | SS_LEFT | SS_NOTIFY, IDC_LABEL3, font),
          waitHint);

  // Row 4: Panel2, the open mode.
  textButton(IDC_RADIOBUTTON1, L"使用系统默认打开", 0, 0, font,
             BS_RADIOBUTTON | WS_GROUP, L"使用默认应用程序打开列表项目");
  textButton(IDC_RADIOBUTTON2, L"打开:", 0, 0, font, BS_RADIOBUTTON, L"使用指定的应用程序打开列表项目");
  SendMessageW(Control(IDC_RADIOBUTTON1), BM_SETCHECK, BST_CHECKED, 0);
  AddControl(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
             IDC_EDIT1, font);
  textButton(IDC_BITBTN2, L"浏览", IDI_GLYPH_BROWSE, 16, font, BS_PUSHBUTTON, L"");

  // Row 5: Panel7, the main button.
  textButton(IDC_BITBTN1, L"QUILLET", IDI_GLYPH_OPEN, 32, boldFont_.get(),
             BS_DEFPUSHBUTTON, L"打开所有列表项目");

  SetWindowPos(status_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  places_.clear();
}

// The tooltip has no owner: under Wine a window that owns a popup never enters the topmost
// band, which would silently break "总在最前面". It is destroyed with the main window.
void TAppForm::CreateTooltip() {
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  for (auto& [control, hint] : hints_) AddHint(control, std::wstring(hint));
}

// A push button that presses without taking the focus: the press is tracked here instead of
// by the button, which would focus itself on the button-down. The button still draws itself
// (pushed, hot, released) from the state set here.
LRESULT CALLBACK TAppForm::SpeedButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd);
      SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() != hwnd) return 0;
      const bool pressed = (SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
      ReleaseCapture();  // WM_CAPTURECHANGED draws the button released
      if (pressed) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &TAppForm::SpeedButtonProc, 0);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool TAppForm::PreTranslateMessage(MSG& message) {
  HWND window = Handle();
  if (!window) return false;
  // With no control focused (the busy main button gave its focus up) the key comes to the
  // window itself as a system key.
  if (running_ && !dragging_ && (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
      message.wParam == VK_ESCAPE && (message.hwnd == window || IsChild(window, message.hwnd))) {
    // The run looks at this before its next entry; a wait in progress ends at once.
    stopRequested_ = true;
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
      GetParent(message.hwnd) == window) {
    // These push buttons use Enter themselves; everywhere else Enter is the main button's.
    const int id = GetDlgCtrlID(message.hwnd);
    for (int button : {IDC_BUTTON1, IDC_BUTTON2, IDC_BUTTON3, IDC_BUTTON4, IDC_BUTTON5,
                       IDC_BITBTN2, IDC_BUTTON6}) {
      if (id == button) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(message.hwnd));
        return true;
      }
    }
  }
  return IsDialogMessageW(window, &message) != FALSE;
}

// Before the tooltip exists only the hint is kept (the status bar shows it); CreateTooltip
// registers the tool then.
void TAppForm::AddHint(HWND control, const std::wstring& hint) {
  if (!control) return;
  auto& stored = hints_[control];
  stored = hint;
  if (!tooltip_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = stored.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TAppForm::ShowButtonMenu(HWND button, HMENU menu) {
  // The tooltip may already be due to show over the button (the pointer rests there while the
  // menu is open) and would then cover the menu's first items: the button has no tool while
  // its menu is open.
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  PopupUnderButton(Handle(), button, menu);
  const std::wstring hint = hints_[button];
  if (IsWindow(button)) AddHint(button, hint);
}

void TAppForm::CreateMenus() {
  struct Item {
    UINT id;  // 0: separator
    const wchar_t* caption;
    const wchar_t* hint;
    int icon;
  };
  auto build = [&](HMENU menu, std::initializer_list<Item> items) {
    UINT position = 0;
    for (const Item& item : items) {
      MENUITEMINFOW info{};
      info.cbSize = sizeof(info);
      if (item.id == 0) {
        info.fMask = MIIM_FTYPE;
        info.fType = MFT_SEPARATOR;
      } else {
        info.fMask = MIIM_ID | MIIM_STRING;
        info.wID = item.id;
        info.dwTypeData = const_cast<wchar_t*>(item.caption);
        if (item.icon) menuImages_.push_back(MenuImage{menu, item.id, item.icon});
        if (item.hint && *item.hint) menuHints_[item.id] = item.hint;
      }
      InsertMenuItemW(menu, position++, TRUE, &info);
    }
  };

  HMENU file = CreatePopupMenu();
  build(file, {{IDM_GRANTADMINISTRATORPRIVILEGES1, L"以管理员身份运行", L"使用管理员权限重新启动应用程序", IDI_IMG_ADMIN},
               {0, nullptr, nullptr, 0},
               {IDM_LOADFILESFROMFILELIST1, L"从文件加载列表", L"从计算机中的文件加载列表", IDI_IMG_LOAD48},
               {IDM_SAVELISTINTOFILE1, L"将列表保存到文件", L"将列表保存到文件", IDI_IMG_SAVE48},
               {IDM_CREATEBATCHFILE1, L"导出批处理文件", L"创建一个批处理文件 (*.bat)", IDI_IMG_TERMINAL},
               {0, nullptr, nullptr, 0},
               {IDM_EXIT1, L"退出", L"关闭应用程序", IDI_IMG_EXIT}});
  HMENU settings = CreatePopupMenu();
  build(settings, {{IDM_STAYONTOP1, L"总在最前面", L"停留在其他窗口之上", 0},
                   {0, nullptr, nullptr, 0},
                   {IDM_REMEMBER1, L"记住列表", L"记住当前会话以便下次启动时使用", 0},
                   {IDM_AUTORUNATSTARTUP1, L"系统启动时自动运行", L"应用程序将在用户登录系统时自动运行", 0},
                   {IDM_AUTOOPENLIST1, L"自动打开列表", L"列表项将在下次启动时自动打开", 0},
                   {IDM_AUTOCLOSE1, L"自动关闭应用程序", L"打开列表项目后, 应用程序将自动关闭", 0},
                   {0, nullptr, nullptr, 0},
                   {IDM_RESETTODEFAULTS1, L"重置为默认值", L"清除会话并重新启动应用程序", 0}});
  HMENU help = CreatePopupMenu();
  build(help, {{IDM_HELP2, L"在线帮助", L"转到帮助页面", IDI_IMG_HELP},
               {0, nullptr, nullptr, 0},
               {IDM_UPDATENOTIFICATIONS1, L"更新通知", L"如果有可用更新将显示通知", 0},
               {0, nullptr, nullptr, 0},  // UpdateNotificationsBar
               {IDM_SENDFEEDBACK1, L"发送反馈(&F)", L"发送消息给开发人员", IDI_IMG_FEEDBACK},
               {IDM_ABOUT1, L"关于(&A)", L"打开关于对话框", IDI_IMG_ABOUT}});
  CheckMenuItem(help, IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND | MF_CHECKED);
  EnableMenuItem(help, IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND | MF_GRAYED);

  mainMenu_ = CreateMenu();
  AppendMenuW(mainMenu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(file), L"文件");
  AppendMenuW(mainMenu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(settings), L"设置");
  AppendMenuW(mainMenu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(help), L"帮助");

  popupAdd_.reset(CreatePopupMenu());
  build(popupAdd_.get(), {{IDM_ADDFILES1, L"添加文件", nullptr, 0},
                          {IDM_ADDFOLDER1, L"添加文件夹", nullptr, 0},
                          {IDM_ADDSUBFOLDERS1, L"添加子文件夹", nullptr, 0},
                          {IDM_ADDRECURSIVESUBFOLDERS1, L"添加递归子文件夹", nullptr, 0},
                          {IDM_ADDURLS1, L"添加网址", nullptr, 0},
                          {IDM_ADDANYTHING1, L"添加任何内容", nullptr, 0}});
  popupRemove_.reset(CreatePopupMenu());
  build(popupRemove_.get(), {{IDM_REMOVES1, L"移除已选择", nullptr, 0},
                             {IDM_REMOVEA1, L"移除所有", nullptr, 0}});
  popupRightClick_.reset(CreatePopupMenu());
  build(popupRightClick_.get(), {{IDM_COPY1, L"全部复制", nullptr, 0},
                                 {IDM_PASTE1, L"粘贴", nullptr, 0},
                                 {0, nullptr, nullptr, 0},
                                 {IDM_CHECKALL1, L"全选", nullptr, 0},
                                 {IDM_CHECKNONE1, L"取消全选", nullptr, 0},
                                 {0, nullptr, nullptr, 0},
                                 {IDM_DELETESELECTED1, L"移除已选择", nullptr, 0},
                                 {IDM_REMOVEALL1, L"移除所有", nullptr, 0}});
}

// The pictures of the menu items; no menu can open before they are there (FinishStartup).
void TAppForm::AddMenuImages() {
  for (const MenuImage& image : menuImages_) {
    UniqueIcon icon(LoadIconImage(image.icon, 16));
    HBITMAP bitmap = IconToMenuBitmap(static_cast<HICON>(icon.get()), 16);
    if (!bitmap) continue;
    menuBitmaps_.emplace_back(bitmap);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_BITMAP;
    info.hbmpItem = bitmap;
    SetMenuItemInfoW(image.menu, image.id, FALSE, &info);
  }
  menuImages_.clear();
}

void TAppForm::FormResize(UINT sizeType) {
  RECT client{};
  GetClientRect(Handle(), &client);
  SIZE now{client.right, client.bottom};
  bool changed = sizeType != lastSizeType_ || now.cx != lastSize_.cx || now.cy != lastSize_.cy;
  lastSizeType_ = sizeType;
  lastSize_ = now;
  if (!changed || !saveGeometry_ || !store_) return;
  WindowState state = sizeType == SIZE_MAXIMIZED   ? WindowState::Maximized
                      : sizeType == SIZE_MINIMIZED ? WindowState::Minimized
                                                   : WindowState::Normal;
  RECT bounds{};
  GetWindowRect(Handle(), &bounds);
  SaveGeometry(*store_, state,
               WindowBounds{bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top});
}

void TAppForm::Layout() {
  HWND window = Handle();
  RECT client{};
  GetClientRect(window, &client);
  laidOutClient_ = SIZE{client.right, client.bottom};
  SendMessageW(status_, WM_SIZE, 0, 0);
  for (const ControlPlace& place : PlaceControls(client.right, client.bottom)) {
    MoveControl(window, place.id, place.x, place.y, place.width, place.height);
  }
  ShowWindow(Control(IDC_BUTTON6), panelCloseVisible_ ? SW_SHOWNA : SW_HIDE);
  RECT listClient{};
  GetClientRect(list_view_, &listClient);
  ListView_SetColumnWidth(list_view_, 0, listClient.right);

  // The controls were moved without repainting; the children need it as much as the rows.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::vector<TAppForm::ControlPlace> TAppForm::PlaceControls(int clientWidth, int clientHeight) {
  HWND window = Handle();
  const int w = clientWidth;
  std::vector<ControlPlace> places;
  auto place = [&](int id, int x, int y, int width, int height) {
    places.push_back(ControlPlace{id, x, y, width < 0 ? 0 : width, height < 0 ? 0 : height});
  };
  int top = 0;
  if (panelCloseVisible_) {
    place(IDC_BUTTON6, 0, 0, w, kPanelCloseHeight);
    top = kPanelCloseHeight;
  }

  RECT statusRect{};
  GetWindowRect(status_, &statusRect);
  int bottom = clientHeight - (statusRect.bottom - statusRect.top);

  // Panel7: the main button fills its row.
  bottom -= kPanel7Height;
  place(IDC_BITBTN1, 4, bottom + 4, w - 8, kPanel7Height - 8);

  // Panel2: RadioButton1, RadioButton2, Edit1 (fills the middle), BitBtn2 at the right.
  bottom -= kPanel2Height;
  HFONT font = font_.get();
  int x = kMargin;
  int radio1 = TextWidth(window, font, L"使用系统默认打开") + 24;
  place(IDC_RADIOBUTTON1, x, bottom + 5, radio1, 18);
  x += radio1 + 6;
  int radio2 = TextWidth(window, font, L"打开:") + 24;
  place(IDC_RADIOBUTTON2, x, bottom + 5, radio2, 18);
  x += radio2 + 2;
  const int browseWidth = 75;
  place(IDC_EDIT1, x, bottom + 3, w - kMargin - browseWidth - 4 - x, 22);
  place(IDC_BITBTN2, w - kMargin - browseWidth, bottom + 2, browseWidth, 24);

  // Panel8: Label2, SpinEdit1 (edit and arrows), Label3.
  bottom -= kPanel8Height;
  panel8_ = RECT{0, bottom, w, bottom + kPanel8Height};
  x = kMargin;
  int label2 = TextWidth(window, font, L"等待:") + 2;
  place(IDC_LABEL2, x, bottom + 8, label2, 14);
  x += label2 + 6;
  place(IDC_SPINEDIT1, x, bottom + 3, kSpinEditWidth - kUpDownWidth, 22);
  place(IDC_SPINEDIT1_UPDOWN, x + kSpinEditWidth - kUpDownWidth, bottom + 3, kUpDownWidth, 22);
  x += kSpinEditWidth + 6;
  place(IDC_LABEL3, x, bottom + 8, TextWidth(window, font, L"毫秒") + 2, 14);

  // Panel1: Label1 on top, Panel4 at its bottom, ListBox1 between.
  int panel4 = bottom - kPanel4Height;
  x = kMargin;
  for (int id : {IDC_SPEEDBUTTON6, IDC_SPEEDBUTTON5, IDC_SPEEDBUTTON3, IDC_SPEEDBUTTON4}) {
    place(id, x, panel4 + 3, 23, 29);
    x += 25;
  }
  x += 8;
  place(IDC_BUTTON1, x, panel4 + 5, 75, 25);
  x += 79;
  place(IDC_BUTTON2, x, panel4 + 5, 75, 25);
  x += 79;
  place(IDC_BUTTON3, x, panel4 + 5, TextWidth(window, font, L"导出批处理文件") + 40, 25);
  place(IDC_BUTTON5, w - kMargin - 22, panel4 + 5, 22, 25);
  place(IDC_BUTTON4, w - kMargin - 22 - 24, panel4 + 5, 22, 25);

  place(IDC_LABEL1, kMargin, top + 6, w - 2 * kMargin, 14);
  const int listTop = top + 24;
  place(IDC_LISTBOX1, kMargin, listTop, w - 2 * kMargin, panel4 - listTop);
  return places;
}

void TAppForm::SetStatusText(const std::wstring& text) {
  hintText_ = text;
  ShowStatus();
}

void TAppForm::SetRunStatus(const std::wstring& text) {
  runStatus_ = text;
  ShowStatus();
}

void TAppForm::ShowStatus() {
  const std::wstring& text = runStatus_.empty() ? hintText_ : runStatus_;
  if (text == statusText_) return;
  statusText_ = text;
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
}

void TAppForm::UpdateHintForWindow(HWND window) {
  auto found = hints_.find(window);
  if (found != hints_.end()) {
    SetStatusText(found->second);
    return;
  }
  if (window == Handle()) {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(Handle(), &point);
    SetStatusText(PtInRect(&panel8_, point) ? L"打开每个列表项目之间的延迟" : L"");
    return;
  }
  SetStatusText(L"");
}

void TAppForm::OnMenuSelect(UINT item, UINT flags, HMENU menu) {
  if (flags == 0xFFFF && menu == nullptr) {  // the menu closed
    SetStatusText(L"");
    return;
  }
  if (flags & MF_POPUP) {
    static const wchar_t* const kBarHints[] = {L"文件菜单", L"设置菜单", L"帮助菜单"};
    SetStatusText(menu == mainMenu_ && item < 3 ? kBarHints[item] : L"");
    return;
  }
  auto found = menuHints_.find(item);
  SetStatusText(found != menuHints_.end() ? found->second : L"");
}

void TAppForm::SetMenuCheck(UINT id, bool checked) {
  CheckMenuItem(mainMenu_, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

std::string TAppForm::ControlTextUtf8(int id) const { return quillet::ControlTextUtf8(Handle(), id); }

void TAppForm::SetControlText(int id, std::string_view text) {
  quillet::SetControlText(Handle(), id, text);
}

void TAppForm::Exit1Click() { EndApplication(); }

void TAppForm::EndApplication() {
  // A run waiting between entries still has the window under it: end when it returns.
  if (running_) {
    endRequested_ = true;
    return;
  }
  DestroyWindow(Handle());
}

namespace {

// The command an id starts, for the commands that open a dialog or do long work and may
// wait with the window answering meanwhile; a menu item that only clicks its button is that
// button's command. Zero for the rest: a choice the user makes twice quickly (an option
// toggled on and off again) must take both clicks, and typing and the run's button have
// rules of their own.
int CommandOf(int id) {
  switch (id) {
    case IDC_BUTTON3: case IDM_CREATEBATCHFILE1: return IDC_BUTTON3;
    case IDC_BUTTON4: case IDM_LOADFILESFROMFILELIST1: return IDC_BUTTON4;
    case IDC_BUTTON5: case IDM_SAVELISTINTOFILE1: return IDC_BUTTON5;
    case IDM_ADDFILES1: case IDM_ADDFOLDER1: case IDM_ADDSUBFOLDERS1: case IDM_ADDRECURSIVESUBFOLDERS1:
    case IDM_ADDURLS1: case IDM_ADDANYTHING1: case IDM_PASTE1: case IDC_BITBTN2:
    case IDM_GRANTADMINISTRATORPRIVILEGES1: case IDM_RESETTODEFAULTS1: case IDM_HELP2:
    case IDM_SENDFEEDBACK1: case IDM_ABOUT1:
      return id;
    default:
      return 0;
  }
}

}  // namespace

bool TAppForm::OnCommand(int id, int code, HWND control) {
  // A command can wait with the window answering (a file another program holds, a folder
  // walk); the same command started again meanwhile would run inside the first (a second
  // save dialog over an export still under way). It does nothing; other commands work as they
  // do during a run.
  const int command = CommandOf(id);
  if (command != 0 && !commandsUnderWay_.insert(command).second) return true;
  struct UnderWay {
    std::set<int>& commands;
    int command;
    ~UnderWay() { commands.erase(command); }
  } underWay{commandsUnderWay_, command};
  return DispatchCommand(id, code, control);
}

bool TAppForm::DispatchCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_BUTTON1: ShowButtonMenu(control, popupAdd_.get()); return true;
    case IDC_BUTTON2: ShowButtonMenu(control, popupRemove_.get()); return true;
    case IDC_SPEEDBUTTON6: ListEdit(&ItemList::MoveUp); return true;
    case IDC_SPEEDBUTTON5: ListEdit(&ItemList::MoveDown); return true;
    case IDC_SPEEDBUTTON3: ListEdit(&ItemList::MoveTop); return true;
    case IDC_SPEEDBUTTON4: ListEdit(&ItemList::MoveBottom); return true;
    case IDC_BITBTN1: if (code == BN_CLICKED) BitBtn1Click(); return true;
    case IDC_BUTTON6: Button6Click(); return true;
    case IDC_RADIOBUTTON1: if (code == BN_CLICKED) SetRadioChoice(true); return true;
    case IDC_RADIOBUTTON2: if (code == BN_CLICKED) SetRadioChoice(false); return true;
    case IDC_EDIT1: if (code == EN_CHANGE) Edit1Change(); return true;
    case IDC_SPINEDIT1: if (code == EN_CHANGE) SpinEdit1Change(); return true;
    case IDC_BITBTN2: BitBtn2Click(); return true;
    case IDCANCEL: if (dragging_) EndDrag(false, POINT{}); return true;

    case IDM_EXIT1: Exit1Click(); return true;
    case IDM_STAYONTOP1: StayonTop1Click(); return true;
    case IDM_AUTOCLOSE1: SetOption(MenuOption::AutoClose, !OptionOn(MenuOption::AutoClose)); return true;

    case IDM_ADDFILES1: AddFiles1Click(); return true;
    case IDM_ADDFOLDER1: AddFolder1Click(); return true;
    case IDM_ADDSUBFOLDERS1: AddSubfolders1Click(); return true;
    case IDM_ADDRECURSIVESUBFOLDERS1: AddRecursiveSubfolders1Click(); return true;
    case IDM_ADDURLS1: AddURLs1Click(); return true;
    case IDM_ADDANYTHING1: AddAnything1Click(); return true;

    case IDM_REMOVES1: ListEdit(&ItemList::RemoveSelected); return true;
    case IDM_REMOVEA1: ListEdit(&ItemList::RemoveAll); return true;
    case IDM_COPY1: Copy1Click(); return true;
    case IDM_PASTE1: Paste1Click(); return true;
    case IDM_CHECKALL1: ListEdit(&ItemList::CheckAll); return true;
    case IDM_CHECKNONE1: ListEdit(&ItemList::CheckNone); return true;
    case IDM_DELETESELECTED1: ListEdit(&ItemList::DeleteSelected); return true;
    case IDM_REMOVEALL1: ListEdit(&ItemList::RemoveAll); return true;

    // The menu items only click their buttons.
    case IDC_BUTTON3: case IDM_CREATEBATCHFILE1: Button3Click(); return true;
    case IDC_BUTTON4: case IDM_LOADFILESFROMFILELIST1: Button4Click(); return true;
    case IDC_BUTTON5: case IDM_SAVELISTINTOFILE1: Button5Click(); return true;
    case IDM_REMEMBER1: SetOption(MenuOption::Remember, !OptionOn(MenuOption::Remember)); return true;
    case IDM_AUTOOPENLIST1: SetOption(MenuOption::AutoOpenList, !OptionOn(MenuOption::AutoOpenList)); return true;
    case IDM_AUTORUNATSTARTUP1: AutoRunatStartup1Click(); return true;
    case IDM_GRANTADMINISTRATORPRIVILEGES1: GrantAdministratorPrivileges1Click(); return true;
    case IDM_RESETTODEFAULTS1: ResettoDefaults1Click(); return true;
    case IDM_HELP2: Help2Click(); return true;

    case IDM_UPDATENOTIFICATIONS1: UpdateNotifications1Click(); return true;

    case IDM_SENDFEEDBACK1: SendFeedback1Click(); return true;
    case IDM_ABOUT1: About1Click(); return true;
    default:
      return false;
  }
}

bool TAppForm::OnNotify(NMHDR* header, LRESULT& result) {
  if (header->hwndFrom == list_view_) return OnListNotify(header, result);
  if (header->idFrom == IDC_SPINEDIT1_UPDOWN && header->code == UDN_DELTAPOS) {
    SpinEdit1Step(reinterpret_cast<NMUPDOWN*>(header)->iDelta);
    result = 1;  // the value lives in the edit, not in the arrows' position
    return true;
  }
  return false;
}

bool TAppForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == Win32TaskbarProgress::ButtonCreatedMessage()) {
    if (auto* shell = dynamic_cast<Win32TaskbarProgress*>(taskbar_.get())) shell->ButtonCreated();
    return true;
  }
  switch (message) {
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<NMHDR*>(lParam), result);
    case WM_SIZE:
      // The first show sends one for the size the controls were made for: nothing moves then.
      if (wParam != SIZE_MINIMIZED && status_ &&
          (LOWORD(lParam) != laidOutClient_.cx || HIWORD(lParam) != laidOutClient_.cy)) {
        Layout();
      }
      FormResize(static_cast<UINT>(wParam));
      return false;
    case WM_TIMER:
      OnTimer(static_cast<UINT_PTR>(wParam));
      return true;
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == Control(IDC_EDIT1)) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
      }
      return false;
    case WM_SETCURSOR:
      if (!dragging_) UpdateHintForWindow(reinterpret_cast<HWND>(wParam));
      if (reinterpret_cast<HWND>(wParam) != Handle()) {
        result = FALSE;  // let the control under the pointer choose its own cursor
        return true;
      }
      return false;
    case WM_INITMENU:  // every menu, also a popup menu, opens with its images
      FinishStartup();
      return false;
    case WM_ENTERMENULOOP:
      SendMessageW(tooltip_, TTM_POP, 0, 0);
      return false;
    case WM_MENUSELECT:
      OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
      return true;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == list_view_) {
        ShowListContextMenu(lParam);
        return true;
      }
      return false;
    case WM_MOUSEMOVE:
      if (dragging_) {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(Handle(), &point);
        SetCursor(LoadCursorW(nullptr, DropIndexAt(point) < 0 ? IDC_NO : IDC_SIZENS));
        return true;
      }
      return false;
    case WM_LBUTTONUP:
      if (dragging_) {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(Handle(), &point);
        EndDrag(true, point);
        return true;
      }
      return false;
    case WM_CAPTURECHANGED:
      if (dragging_) EndDrag(false, POINT{});
      return false;
    case WM_DROPFILES:
      // Only the list takes dropped files; the rest of the window just lets them go.
      DragFinish(reinterpret_cast<HDROP>(wParam));
      return true;
    case DM_GETDEFID:
      result = MAKELRESULT(IDC_BITBTN1, DC_HASDEFID);
      return true;
    case DM_SETDEFID:
      result = TRUE;
      return true;
    case WM_CLOSE:
      EndApplication();
      return true;
    case WM_DESTROY:
      WriteHeldSettings();  // a window ended before its first message loop
      if (tooltip_) DestroyWindow(tooltip_);
      tooltip_ = nullptr;
      for (UINT_PTR timer : {kTimerAdminId, kTimerParamId, kTimerCheckerId, kTimerSaveChangesId, kTimerCloseId,
                             kTimerProgressId}) {
        KillTimer(Handle(), timer);
      }
      timerCloseEnabled_ = false;
      if (args_.quitOnDestroy) PostQuitMessage(0);
      return false;
    default:
      return false;
  }
}

}  // namespace quillet
