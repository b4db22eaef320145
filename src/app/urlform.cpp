// The add window TAddURL: a text box whose non-blank lines become entries.
#include "app/urlform.h"

#include "ui/control_ids.h"
#include "ui/fonts.h"
#include "ui/modal_loop.h"
#include "ui/window_base.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

constexpr int kClientWidth = 527;
constexpr int kClientHeight = 243;
constexpr int kButtonRowHeight = 43;
constexpr int kButtonWidth = 158;
constexpr int kButtonHeight = 37;
constexpr int kButtonGap = 8;
// Pasting a hundred thousand addresses must not stop at the edit control's default 32 K.
constexpr WPARAM kMemoLimitChars = 64 * 1024 * 1024;

class AddUrlWindow final : public WindowBase {
 public:
  AddUrlWindow(HWND owner, const std::wstring& initialText) : owner_(owner), initialText_(initialText) {}

  std::vector<std::string> ShowModal() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClassOnce(QUILLET_ADDURL_CLASS,
                      static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)),
                      reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    const RECT place = CenteredWindowRect(kClientWidth, kClientHeight, style, exStyle);
    if (!Create(exStyle, QUILLET_ADDURL_CLASS, L"添加", style, place.left, place.top, place.right - place.left,
                place.bottom - place.top, owner_, nullptr))
      return {};
    window_ = Handle();

    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    SetFocus(memo_);
    RunModalLoop(window_, owner_, done_, [this](const MSG& message) { return PreTranslate(message); });
    DestroyWindow(window_);
    return confirmed_ ? std::move(lines_) : std::vector<std::string>{};
  }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_CREATE:
        window_ = Handle();
        CreateControls();
        return true;
      case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return true;
      case WM_NEXTDLGCTL:
        // Tab and Shift+Tab in the memo: on to "确定", back to "取消".
        MoveDialogFocus(window_, wParam, lParam);
        return true;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ADDURL_BITBTN1) {
          BitBtn1Click();
          return true;
        }
        if (LOWORD(wParam) == IDC_ADDURL_BITBTN2) {
          done_ = true;
          return true;
        }
        return false;
      case WM_CLOSE:
        done_ = true;  // the loop destroys the window
        return true;
      case WM_ACTIVATE:
        return focus_.OnActivate(window_, wParam);
      default:
        return false;
    }
  }

 private:
  void CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    font_.reset(CreateTahoma(11));
    buttonFont_.reset(CreateTahoma(16));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

    // No word wrap: each line of the box is one entry, however long.
    memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                                ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                            0, 0, 0, 0, window_, reinterpret_cast<HMENU>(IDC_ADDURL_MEMO1), instance, nullptr);
    SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageW(memo_, EM_SETLIMITTEXT, kMemoLimitChars, 0);
    SetWindowTextW(memo_, initialText_.c_str());
    const LPARAM end = GetWindowTextLengthW(memo_);
    SendMessageW(memo_, EM_SETSEL, end, end);

    ok_ = CreateWindowExW(0, L"BUTTON", L"确定", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                          window_, reinterpret_cast<HMENU>(IDC_ADDURL_BITBTN1), instance, nullptr);
    cancel_ = CreateWindowExW(0, L"BUTTON", L"取消", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                              window_, reinterpret_cast<HMENU>(IDC_ADDURL_BITBTN2), instance, nullptr);
    for (HWND button : {ok_, cancel_})
      SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_.get()), FALSE);
  }

  void Layout(int width, int height) {
    const int rowTop = height - kButtonRowHeight;
    MoveWindow(memo_, 0, 0, width, rowTop > 0 ? rowTop : 0, TRUE);
    const int buttonTop = rowTop + (kButtonRowHeight - kButtonHeight) / 2;
    const int pairLeft = (width - (2 * kButtonWidth + kButtonGap)) / 2;
    MoveWindow(ok_, pairLeft, buttonTop, kButtonWidth, kButtonHeight, TRUE);
    MoveWindow(cancel_, pairLeft + kButtonWidth + kButtonGap, buttonTop, kButtonWidth, kButtonHeight, TRUE);
  }

  void BitBtn1Click() {
    const std::string utf8 = Narrow(WindowText(memo_));
    for (std::string_view line : SplitLines(utf8))
      if (!TrimBlanks(line).empty()) lines_.emplace_back(line);
    confirmed_ = true;
    done_ = true;
  }

  // Memo1KeyDown: Escape closes the window with nothing added. Taken here, before the edit
  // control sees it, because a multi-line edit keeps every key for itself.
  bool PreTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
    if (message.wParam == VK_ESCAPE) {
      done_ = true;
      return true;
    }
    if (message.wParam == 'A' && message.hwnd == memo_ && (GetKeyState(VK_CONTROL) & 0x8000)) {
      SendMessageW(memo_, EM_SETSEL, 0, -1);
      return true;
    }
    return false;
  }

  HWND owner_;
  std::wstring initialText_;
  HWND window_ = nullptr;
  HWND memo_ = nullptr;
  HWND ok_ = nullptr;
  HWND cancel_ = nullptr;
  FocusKeeper focus_;
  UniqueGdiObject font_;
  UniqueGdiObject buttonFont_;
  bool done_ = false;
  bool confirmed_ = false;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> ShowAddUrlWindow(HWND owner, const std::wstring& initialText) {
  AddUrlWindow window(owner, initialText);
  return window.ShowModal();
}

}  // namespace quillet
