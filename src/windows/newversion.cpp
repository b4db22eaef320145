// TNewVer: the new-version notice window.
#include "windows/newversion.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cstdlib>

#include "ui/fonts.h"
#include "ui/resource_ids.h"
#include "service/service_request.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet {

namespace {

constexpr UINT_PTR kTimerStartId = 1;  // 1 ms, once: shows the window
constexpr UINT_PTR kTimerLinkId = 3;   // every 100 ms: the link's colour

constexpr DWORD kExpandFromCentre = 0x13;      // AW_CENTER with both horizontal directions
constexpr DWORD kCollapseToCentre = 0x10010;   // AW_HIDE | AW_CENTER

constexpr wchar_t kCloseButtonClass[] = L"TNewVerCloseButton";
constexpr wchar_t kLinkClass[] = L"TNewVerLink";

}  // namespace

// Button1 looks and clicks like a push button but never takes the focus: a standard button
// takes it when pressed, which would activate the notice (see WM_MOUSEACTIVATE below) even
// when the press is led away and ends in no click.
class TNewVer::CloseButton final : public WindowBase {
 public:
  bool CreateButton(HWND parent, int id, const RECT& place, HICON icon) {
    RegisterClassOnce(kCloseButtonClass, ClassIcon::None, nullptr);
    icon_ = icon;
    return Create(0, kCloseButtonClass, L"", WS_CHILD | WS_VISIBLE, place.left, place.top, place.right - place.left,
                  place.bottom - place.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))) != nullptr;
  }

 protected:
  bool HandleMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_ERASEBKGND:
        result = 1;  // WM_PAINT covers every pixel
        return true;
      case WM_PAINT:
        Paint();
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        pressed_ = true;
        inside_ = true;
        SetCapture(Handle());
        InvalidateRect(Handle(), nullptr, FALSE);
        return true;
      case WM_MOUSEMOVE:
        if (pressed_ && Inside(lParam) != inside_) {
          inside_ = !inside_;
          InvalidateRect(Handle(), nullptr, FALSE);
        }
        return true;
      case WM_LBUTTONUP: {
        const bool clicked = pressed_ && Inside(lParam);
        if (GetCapture() == Handle()) ReleaseCapture();
        pressed_ = false;
        InvalidateRect(Handle(), nullptr, FALSE);
        // Posted: the notice destroys itself, and this button with it, when it handles the click.
        if (clicked)
          PostMessageW(GetParent(Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle()), BN_CLICKED),
                       reinterpret_cast<LPARAM>(Handle()));
        return true;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        InvalidateRect(Handle(), nullptr, FALSE);
        return true;
      default:
        return false;
    }
  }

 private:
  bool Inside(LPARAM lParam) const {
    RECT client{};
    GetClientRect(Handle(), &client);
    return PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE;
  }

  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    RECT face{};
    GetClientRect(Handle(), &face);
    const bool pushed = pressed_ && inside_;
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    if (icon_) {
      // The glyph shifts with the face while it is pushed in, as on a standard button.
      const int shift = pushed ? 1 : 0;
      DrawIconEx(dc, (face.right - 16) / 2 + shift, (face.bottom - 16) / 2 + shift, icon_, 16, 16, 0, nullptr,
                 DI_NORMAL);
    }
    EndPaint(Handle(), &paint);
  }

  HICON icon_ = nullptr;
  bool pressed_ = false;  // the left button went down here and has not come up
  bool inside_ = false;   // during that press, the pointer is over the button
};

// Label2, the link. Its click is a press and a release over it: a static control reports a
// click as soon as the button goes down, which opened the download (and closed the notice) at
// the start of any drag that began on the link, and the link covers most of the notice's lower
// middle. A press that moves beyond the system's drag threshold, or that ends off the link, is
// no click. The link carries no window drag either, so such a drag leaves the notice in place.
class TNewVer::Link final : public WindowBase {
 public:
  bool CreateLink(HWND parent, int id, const RECT& place, const std::wstring& text, HFONT font) {
    RegisterClassOnce(kLinkClass, ClassIcon::None, nullptr);
    font_ = font;
    color_ = GetSysColor(COLOR_WINDOWTEXT);
    return Create(0, kLinkClass, text.c_str(), WS_CHILD | WS_VISIBLE, place.left, place.top, place.right - place.left,
                  place.bottom - place.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))) != nullptr;
  }
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF color) {
    if (color == color_) return;
    color_ = color;
    InvalidateRect(Handle(), nullptr, FALSE);
  }

 protected:
  bool HandleMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_ERASEBKGND:
        result = 1;  // WM_PAINT covers every pixel
        return true;
      case WM_PAINT:
        Paint();
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        pressed_ = true;
        movedAway_ = false;
        pressedAt_ = PointOf(lParam);
        // The release comes here wherever the pointer has gone, so it cannot click what lies there.
        SetCapture(Handle());
        return true;
      case WM_MOUSEMOVE:
        if (pressed_ && BeyondDragThreshold(PointOf(lParam))) movedAway_ = true;
        return true;
      case WM_LBUTTONUP: {
        const bool clicked = pressed_ && !movedAway_ && Inside(PointOf(lParam));
        pressed_ = false;
        // Posted, before the capture goes: the notice destroys itself, and this link with it,
        // when it handles the click.
        if (clicked)
          PostMessageW(GetParent(Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle()), STN_CLICKED),
                       reinterpret_cast<LPARAM>(Handle()));
        if (GetCapture() == Handle()) ReleaseCapture();
        return true;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        return true;
      default:
        return false;
    }
  }

 private:
  static POINT PointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }
  bool Inside(POINT point) const {
    RECT client{};
    GetClientRect(Handle(), &client);
    return PtInRect(&client, point) != FALSE;
  }
  // The system's drag threshold: the pixels on either side of the press point that the pointer
  // may move before a drag begins.
  bool BeyondDragThreshold(POINT point) const {
    return std::abs(point.x - pressedAt_.x) > GetSystemMetrics(SM_CXDRAG) ||
           std::abs(point.y - pressedAt_.y) > GetSystemMetrics(SM_CYDRAG);
  }

  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    RECT area{};
    GetClientRect(Handle(), &area);
    wchar_t text[256] = {};
    GetWindowTextW(Handle(), text, 256);
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color_);
    // Centred both ways with word wrap: measure the wrapped height first.
    RECT measured = area;
    DrawTextW(dc, text, -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    area.top += ((area.bottom - area.top) - (measured.bottom - measured.top)) / 2;
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_WORDBREAK);
    SelectObject(dc, old);
    EndPaint(Handle(), &paint);
  }

  HFONT font_ = nullptr;  // the notice's, which outlives this control
  COLORREF color_ = 0;    // TimerLink sets it
  bool pressed_ = false;  // the left button went down here and has not come up
  bool movedAway_ = false;  // during that press, the pointer went beyond the drag threshold
  POINT pressedAt_{};
};

TNewVer::~TNewVer() = default;

TNewVer::TNewVer(NewVersionNotice notice) : notice_(std::move(notice)) {}

TNewVer* TNewVer::Create(const NewVersionNotice& notice) {
  RegisterClassOnce(QUILLET_NEWVER_CLASS, ClassIcon::Program, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  auto* window = new TNewVer(notice);
  // Top 5, and 5 pixels left of the primary screen's right edge (not of its work area).
  const int left = GetSystemMetrics(SM_CXSCREEN) - kClientWidth - 5;
  if (!window->WindowBase::Create(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, QUILLET_NEWVER_CLASS, L"Quillet",
                                  WS_POPUP | WS_CLIPCHILDREN, left, 5, kClientWidth, kClientHeight, nullptr,
                                  nullptr)) {
    delete window;
    return nullptr;
  }
  window->FormCreate();
  return window;
}

void TNewVer::FormCreate() {
  HWND window = Handle();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  boldFont_.reset(CreateTahoma(13, FW_BOLD));
  linkFont_.reset(CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  appIcon_ = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 48, 48, LR_SHARED));
  closeIcon_.reset(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_IMG_CLOSE), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));

  // Panel1 is the whole form inside its raised edge; Image1 at the left, Panel3 (the close
  // button's column) at the right, Panel2 with the two labels between.
  image1_ = RECT{4, 4, 64, 64};
  panel3_ = RECT{kClientWidth - 1 - 22, 1, kClientWidth - 1, kClientHeight - 1};
  panel2_ = RECT{image1_.right + 3, 1, panel3_.left, kClientHeight - 1};
  label1_ = RECT{panel2_.left + 3, 4, panel2_.right - 3, 22};
  label2_ = RECT{panel2_.left, label1_.bottom + 3, panel2_.right, panel2_.bottom};

  auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int id, const RECT& r, HGDIOBJ font) {
    HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  // Label1 takes no clicks of its own (no SS_NOTIFY), so a press on it reaches the form and
  // starts a drag; the link and the close button keep theirs.
  child(L"STATIC", L"更新可用", SS_CENTER, IDC_NEWVER_LABEL1, label1_, boldFont_.get());
  link_ = std::make_unique<Link>();
  link_->CreateLink(window, IDC_NEWVER_LABEL2, label2_, Widen("点击下载 " + notice_.product + " " + notice_.versionText),
                    linkFont_.get());
  closeButton_ = std::make_unique<CloseButton>();
  closeButton_->CreateButton(window, IDC_NEWVER_BUTTON1, RECT{panel3_.left, panel3_.top, panel3_.right, panel3_.top + 22},
                             closeIcon_.get());

  address_ = Widen(OpenableDownloadAddress(
      notice_.downloadAddress.empty() ? std::string(kDownloadAddress) : notice_.downloadAddress, kDownloadAddress));

  SetTimer(window, kTimerStartId, 1, nullptr);
  SetTimer(window, kTimerCloseId, 1000, nullptr);
  SetTimer(window, kTimerLinkId, 100, nullptr);
}

void TNewVer::TimerStartTimer() {
  KillTimer(Handle(), kTimerStartId);
  AnimateWindow(Handle(), 100, kExpandFromCentre);
  ShowWindow(Handle(), SW_SHOWNOACTIVATE);
  // The notice never keeps the focus: the user goes on in the main window.
  if (notice_.mainWindow && GetForegroundWindow() == Handle()) SetForegroundWindow(notice_.mainWindow);
}

void TNewVer::TimerCloseTimer() {
  if (--countdown_ > 0) return;
  KillTimer(Handle(), kTimerCloseId);
  AnimateWindow(Handle(), 100, kCollapseToCentre);
  DestroyWindow(Handle());
}

void TNewVer::TimerLinkTimer() {
  drag_.Follow(Handle());
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(link_->Handle(), &cursor);
  RECT client{};
  GetClientRect(link_->Handle(), &client);
  link_->SetColor(GetSysColor(PtInRect(&client, cursor) ? COLOR_HOTLIGHT : COLOR_WINDOWTEXT));
}

COLORREF TNewVer::LinkColor() const { return link_->Color(); }

void TNewVer::Label2Click() {
  ShellExecuteW(GetDesktopWindow(), L"open", address_.c_str(), nullptr, nullptr, SW_HIDE);
  DestroyWindow(Handle());
}

bool TNewVer::CarriesDrag(POINT client) const {
  // Panel2's own background does not drag; Label1 on it does.
  return !PtInRect(&panel2_, client) || PtInRect(&label1_, client);
}

void TNewVer::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  RECT client{};
  GetClientRect(Handle(), &client);
  DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
  if (appIcon_) {
    DrawIconEx(dc, image1_.left + (image1_.right - image1_.left - 48) / 2,
               image1_.top + (image1_.bottom - image1_.top - 48) / 2, appIcon_, 48, 48, 0, nullptr, DI_NORMAL);
  }
  EndPaint(Handle(), &paint);
}

bool TNewVer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kTimerStartId) TimerStartTimer();
      if (wParam == kTimerCloseId) TimerCloseTimer();
      if (wParam == kTimerLinkId) TimerLinkTimer();
      return true;
    case WM_PAINT:
      Paint();
      return true;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_NEWVER_LABEL2 && HIWORD(wParam) == STN_CLICKED) Label2Click();
      if (LOWORD(wParam) == IDC_NEWVER_BUTTON1 && HIWORD(wParam) == BN_CLICKED) DestroyWindow(Handle());
      return true;
    case WM_SETCURSOR: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
      if (id == IDC_NEWVER_LABEL2 || id == IDC_NEWVER_BUTTON1) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
      }
      return false;
    }
    case WM_MOUSEACTIVATE:
      // A press anywhere on the notice (its controls ask here too) leaves the activation and
      // the focus with the main window. Activated, the notice would also change its nature
      // under Wine: the X11 driver hands an active popup to the window manager, which takes
      // it down and places it anew in the middle of a drag (at the screen's corner) and ends
      // the drag.
      result = MA_NOACTIVATE;
      return true;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (!CarriesDrag(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) return true;
      return drag_.HandleMouseMessage(Handle(), message, lParam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
    case WM_CAPTURECHANGED:
      return drag_.HandleMouseMessage(Handle(), message, lParam);
    case WM_DESTROY:
      for (UINT_PTR timer : {kTimerStartId, kTimerCloseId, kTimerLinkId}) KillTimer(Handle(), timer);
      return false;
    default:
      return false;
  }
}

}  // namespace quillet
