// The add window TAddURL: a text box whose non-blank lines become entries.
#include "app/urlform.h"

#include "ui/control_ids.h"
#include "ui/fonts.h"
#include "ui/controls.h"
#include "ui/modal_loop.h"
#include "ui/modal_window.h"
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

class AddUrlWindow final : public ModalWindow {
 public:
  explicit AddUrlWindow(const std::wstring& initialText) : initialText_(initialText) {}

  std::vector<std::string> ShowModal(HWND owner) {
    const ModalWindowShape shape{QUILLET_ADDURL_CLASS,
                                 reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                                 WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME,
                                 kClientWidth,
                                 kClientHeight,
                                 L"添加"};
    if (!RunModal(shape, owner)) return {};
    return confirmed_ ? std::move(lines_) : std::vector<std::string>{};
  }

 protected:
  HWND InitialFocus() const override { return memo_; }

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
          EndModal();
          return true;
        }
        return false;
      case WM_CLOSE:
        EndModal();  // the loop destroys the window
        return true;
      case WM_ACTIVATE:
        return focus_.OnActivate(window_, wParam);
      default:
        return false;
    }
  }

 private:
  // Made without a place: Layout puts them where the window's size says.
  void CreateControls() {
    font_.reset(CreateTahoma(11));
    buttonFont_.reset(CreateTahoma(16));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

    // No word wrap: each line of the box is one entry, however long.
    memo_ = CreateControl(window_, {WS_EX_CLIENTEDGE, L"EDIT", L"",
                                    WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                        ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                                    IDC_ADDURL_MEMO1, RECT{}, font_.get()});
    SendMessageW(memo_, EM_SETLIMITTEXT, kMemoLimitChars, 0);
    SetWindowTextW(memo_, initialText_.c_str());
    const LPARAM end = GetWindowTextLengthW(memo_);
    SendMessageW(memo_, EM_SETSEL, end, end);

    ok_ = CreateControl(window_, {0, L"BUTTON", L"确定", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, IDC_ADDURL_BITBTN1, RECT{},
                                  buttonFont_.get()});
    cancel_ = CreateControl(window_, {0, L"BUTTON", L"取消", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, IDC_ADDURL_BITBTN2, RECT{},
                                      buttonFont_.get()});
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
    EndModal();
  }

  // Memo1KeyDown: Escape closes the window with nothing added. Taken here, before the edit
  // control sees it, because a multi-line edit keeps every key for itself.
  bool PreTranslate(const MSG& message) override {
    if (message.message != WM_KEYDOWN) return false;
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
    if (message.wParam == VK_ESCAPE) {
      EndModal();
      return true;
    }
    if (message.wParam == 'A' && message.hwnd == memo_ && (GetKeyState(VK_CONTROL) & 0x8000)) {
      SendMessageW(memo_, EM_SETSEL, 0, -1);
      return true;
    }
    return false;
  }

  std::wstring initialText_;
  HWND window_ = nullptr;
  HWND memo_ = nullptr;
  HWND ok_ = nullptr;
  HWND cancel_ = nullptr;
  FocusKeeper focus_;
  UniqueFont font_;
  UniqueFont buttonFont_;
  bool confirmed_ = false;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> ShowAddUrlWindow(HWND owner, const std::wstring& initialText) {
  AddUrlWindow window(initialText);
  return window.ShowModal(owner);
}

}  // namespace quillet
