// The feedback window TFeedbackForm: two choice panels, a memo, an optional e-mail address and
// the "发送" button, which checks what was entered and posts it to the maker's web service.
#include "windows/feedback.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>

#include "ui/control_ids.h"
#include "ui/fonts.h"
#include "ui/controls.h"
#include "ui/modal_loop.h"
#include "ui/modal_window.h"
#include "ui/resource_ids.h"
#include "ui/window_base.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/winhttp_transport.h"
#include "util/text.h"
#include "windows/feedback_message.h"

namespace quillet {
namespace {

constexpr int kClientWidth = 525;
constexpr int kClientHeight = 326;
constexpr int kMargin = 3;             // around every aligned control
constexpr int kStripHeight = 46;       // Panel3, the choice strip
constexpr int kDislikedWidth = 256;    // Panel5
constexpr int kEmailRowHeight = 30;    // Panel1
constexpr int kButtonRowHeight = 40;   // Panel2
constexpr int kButtonWidth = 180;
constexpr int kButtonHeight = 34;
constexpr int kFaceSize = 32;
constexpr int kEnvelopeSize = 16;
constexpr int kEnvelopeMargin = 3;
constexpr int kBevelWidth = 1;
constexpr WPARAM kMemoMaxChars = 10000;
constexpr WPARAM kEmailMaxChars = 100;

constexpr wchar_t kChoicePanelClass[] = L"TFeedbackChoicePanel";

// Width and height of text in font, as a label that sizes itself to its caption would take.
SIZE TextExtent(HWND window, HFONT font, const std::wstring& text) {
  SIZE size{};
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

// A choice panel: it paints its own background, caption and one-pixel outer bevel, shows a
// face at its left edge and the hand cursor, and reports a click on itself or on the face to
// its parent as WM_COMMAND with its ID. Whether it is chosen is nothing but its colours.
class ChoicePanel final : public WindowBase {
 public:
  HWND CreatePanel(HWND parent, int id, const RECT& place, const std::wstring& caption, HFONT font, int faceId,
                   int faceResource) {
    RegisterClassOnce(kChoicePanelClass, ClassIcon::None, nullptr);
    font_ = font;
    SetState(false);
    if (!Create(0, kChoicePanelClass, caption.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, place.left,
                place.top, place.right - place.left, place.bottom - place.top, parent,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
      return nullptr;
    face_.reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(faceResource), IMAGE_ICON,
                                              kFaceSize, kFaceSize, LR_DEFAULTCOLOR)));
    // The face sits inside the bevel with the usual margin, centred in the panel's height.
    const int height = place.bottom - place.top;
    HWND image = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON | SS_NOTIFY,
                                 kBevelWidth + kMargin, (height - kFaceSize) / 2, kFaceSize, kFaceSize, Handle(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(faceId)), GetModuleHandleW(nullptr),
                                 nullptr);
    SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(face_.get()), 0);
    return Handle();
  }

  // Chosen: highlight background, highlight-text caption, lowered bevel. Not chosen: the
  // button face, window-text caption, raised bevel.
  void SetState(bool chosen) {
    color_ = GetSysColor(chosen ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    fontColor_ = GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    raised_ = !chosen;
    brush_.reset(CreateSolidBrush(color_));
    if (Handle()) RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
  COLORREF Color() const { return color_; }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_ERASEBKGND:
        result = 1;  // WM_PAINT covers every pixel
        return true;
      case WM_PAINT:
        Paint();
        return true;
      case WM_CTLCOLORSTATIC:
        // The face's own background is the panel's colour, so its transparent parts show it.
        result = reinterpret_cast<LRESULT>(brush_.get());
        return true;
      case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(font_);
        return true;
      case WM_SETCURSOR:
        // The window has its say first, as the system's own controls let it (the wait cursor
        // of a send).
        if (SendMessageW(GetParent(Handle()), WM_SETCURSOR, wParam, lParam)) {
          result = TRUE;
          return true;
        }
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        pressed_ = true;
        SetCapture(Handle());
        return true;
      case WM_LBUTTONUP: {
        const bool wasPressed = pressed_;
        if (GetCapture() == Handle()) ReleaseCapture();
        pressed_ = false;
        RECT client{};
        GetClientRect(Handle(), &client);
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wasPressed && PtInRect(&client, at)) Clicked();
        return true;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        return true;
      case WM_COMMAND:
        if (HIWORD(wParam) == STN_CLICKED || HIWORD(wParam) == STN_DBLCLK) Clicked();
        return true;
      default:
        return false;
    }
  }

 private:
  void Clicked() {
    HWND parent = GetParent(Handle());
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(Handle()));
  }

  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    RECT client{};
    GetClientRect(Handle(), &client);
    FillRect(dc, &client, brush_.get());
    DrawEdge(dc, &client, raised_ ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    wchar_t caption[128] = {};
    GetWindowTextW(Handle(), caption, 128);
    HGDIOBJ old = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fontColor_);
    DrawTextW(dc, caption, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(Handle(), &paint);
  }

  HFONT font_ = nullptr;
  COLORREF color_ = 0;
  COLORREF fontColor_ = 0;
  bool raised_ = true;
  bool pressed_ = false;
  UniqueBrush brush_;
  UniqueIcon face_;
};

class FeedbackWindow final : public ModalWindow {
 public:
  explicit FeedbackWindow(const FeedbackFormArgs& args) : args_(args) {}

  void ShowModal() {
    // A single fixed border and the close box only.
    RunModal({QUILLET_FEEDBACK_CLASS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, kClientWidth, kClientHeight,
              Widen(args_.appProduct + " 反馈")},
             args_.owner);
  }

 protected:
  HWND InitialFocus() const override { return memo_; }

  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_CREATE:
        window_ = Handle();
        FormCreate();
        return true;
      case WM_NEXTDLGCTL:
        // Tab and Shift+Tab in the memo: on to Edit1, back to BitBtn1.
        MoveDialogFocus(window_, wParam, lParam);
        return true;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDC_FEEDBACK_BITBTN1:
            if (HIWORD(wParam) == BN_CLICKED) BitBtn1Click();
            return true;
          case IDC_FEEDBACK_PANEL4:
            Image1Click();
            return true;
          case IDC_FEEDBACK_PANEL5:
            Image2Click();
            return true;
          default:
            return false;
        }
      case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
      case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(font_.get());
        return true;
      case WM_SETCURSOR:
        // While a send runs, the wait cursor over the whole window; otherwise a control that
        // asks keeps its own cursor.
        if (sendInProgress_) {
          SetCursor(LoadCursorW(nullptr, IDC_WAIT));
          result = TRUE;
          return true;
        }
        if (reinterpret_cast<HWND>(wParam) == window_) return false;
        result = FALSE;
        return true;
      case WM_CLOSE:
        // FormClose: every closing ends the loop, which destroys the window.
        EndModal();
        return true;
      case WM_ACTIVATE:
        return focus_.OnActivate(window_, wParam);
      default:
        return false;
    }
  }

 private:
  struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() { return nullptr; }
    static void Close(Type list) { ImageList_Destroy(list); }
  };

  // FormCreate: the controls, their places and texts. Panel3 (the choice strip), Panel1 (the
  // e-mail row) and Panel2 (the button row) have no bevel and paint nothing of their own, so
  // they are only the rectangles the controls inside them are placed by.
  void FormCreate() {
    font_.reset(CreateTahoma(11));
    captionFont_.reset(CreateTahoma(16));
    textFont_.reset(CreateTahoma(13));
    boldFont_.reset(CreateTahoma(13, FW_BOLD));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    const auto caption = captionFont_.get();
    const auto text = textFont_.get();
    const auto bold = boldFont_.get();

    const int left = kMargin, right = kClientWidth - kMargin;
    const RECT strip{left, kMargin, right, kMargin + kStripHeight};
    const RECT buttonRow{left, kClientHeight - kMargin - kButtonRowHeight, right, kClientHeight - kMargin};
    const RECT emailRow{left, buttonRow.top - 2 * kMargin - kEmailRowHeight, right, buttonRow.top - 2 * kMargin};

    // Panel5 at the strip's right, Panel4 in the width it leaves.
    const RECT disliked{strip.right - kMargin - kDislikedWidth, strip.top + kMargin, strip.right - kMargin,
                        strip.bottom - kMargin};
    const RECT liked{strip.left + kMargin, strip.top + kMargin, disliked.left - 2 * kMargin, strip.bottom - kMargin};
    liked_.CreatePanel(window_, IDC_FEEDBACK_PANEL4, liked, Widen(kLikedText), caption,
                       IDC_FEEDBACK_IMAGE1, IDI_IMG_LIKED);
    disliked_.CreatePanel(window_, IDC_FEEDBACK_PANEL5, disliked, Widen(kDislikedText), caption,
                          IDC_FEEDBACK_IMAGE2, IDI_IMG_DISLIKED);

    // Label1 and Label2 take the height of their text, one under the other below the strip.
    const std::wstring label1Text = L"我们非常感谢您的反馈.";
    const std::wstring label2Text = L"你喜欢或不喜欢什么?";
    const std::wstring label3Text = L"包括我的电子邮件:";
    const int label1Top = strip.bottom + kMargin;
    const RECT label1{left, label1Top, right, label1Top + TextExtent(window_, caption, label1Text).cy};
    const int label2Top = label1.bottom + 2 * kMargin;
    const RECT label2{left, label2Top, right, label2Top + TextExtent(window_, bold, label2Text).cy};
    CreateControl(window_, {0, L"STATIC", label1Text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_FEEDBACK_LABEL1, label1, caption});
    CreateControl(window_, {0, L"STATIC", label2Text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_FEEDBACK_LABEL2, label2, bold});

    // Memo1 fills what is left; it comes first among the controls that take the focus.
    const RECT memo{left, label2.bottom + 2 * kMargin, right, emailRow.top - kMargin};
    memo_ = CreateControl(window_, {WS_EX_CLIENTEDGE, L"EDIT", L"",
                                    WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                        ES_WANTRETURN | ES_NOHIDESEL,
                                    IDC_FEEDBACK_MEMO1, memo, text});
    SendMessageW(memo_, EM_SETLIMITTEXT, kMemoMaxChars, 0);

    // Panel1: Label3 at the left, vertically centred; Edit1 in the rest.
    const RECT label3{emailRow.left + kMargin, emailRow.top + kMargin,
                      emailRow.left + kMargin + TextExtent(window_, text, label3Text).cx, emailRow.bottom - kMargin};
    CreateControl(window_, {0, L"STATIC", label3Text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE,
                            IDC_FEEDBACK_LABEL3, label3, text});
    const RECT edit{label3.right + 2 * kMargin, emailRow.top + kMargin, emailRow.right - kMargin,
                    emailRow.bottom - kMargin};
    edit_ = CreateControl(window_, {WS_EX_CLIENTEDGE, L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                    IDC_FEEDBACK_EDIT1, edit, text});
    SendMessageW(edit_, EM_SETLIMITTEXT, kEmailMaxChars, 0);

    // Panel2: BitBtn1 at the right edge, the default button, the envelope left of its caption.
    const RECT button{buttonRow.right - kMargin - kButtonWidth, buttonRow.top + kMargin, buttonRow.right - kMargin,
                      buttonRow.top + kMargin + kButtonHeight};
    button_ = CreateControl(window_, {0, L"BUTTON", L"发送", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                      IDC_FEEDBACK_BITBTN1, button, bold});
    envelope_.reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_IMG_ENVELOPE),
                                                  IMAGE_ICON, kEnvelopeSize, kEnvelopeSize, LR_DEFAULTCOLOR)));
    imageList_.reset(ImageList_Create(kEnvelopeSize, kEnvelopeSize, ILC_COLOR32 | ILC_MASK, 1, 0));
    if (imageList_) {
      ImageList_AddIcon(imageList_.get(), envelope_.get());
      BUTTON_IMAGELIST picture{imageList_.get(), RECT{kEnvelopeMargin, 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
      SendMessageW(button_, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
    }
  }

  // Image1Click / Image2Click: the choice moves to the clicked panel and is never withdrawn.
  void Choose(ChoicePanel& clicked, ChoicePanel& other) {
    if (clicked.Color() == GetSysColor(COLOR_BTNFACE)) clicked.SetState(true);
    if (other.Color() == GetSysColor(COLOR_HIGHLIGHT)) other.SetState(false);
  }
  void Image1Click() { Choose(liked_, disliked_); }
  void Image2Click() { Choose(disliked_, liked_); }

  // The choice as the panels show it: any colour but the button face counts as chosen.
  FeedbackChoice ChoiceShown() const {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    FeedbackChoice choice = FeedbackChoice::kNone;
    if (liked_.Color() != face) choice = FeedbackChoice::kLiked;
    if (disliked_.Color() != face) choice = FeedbackChoice::kDisliked;
    return choice;
  }

  void BitBtn1Click() {
    const PreparedFeedback prepared =
        PrepareFeedback(ChoiceShown(), ControlTextUtf8(window_, IDC_FEEDBACK_MEMO1),
                        ControlTextUtf8(window_, IDC_FEEDBACK_EDIT1), args_.appCaption, args_.appVersion);
    if (prepared.problem == FeedbackProblem::kNothingToSend) {
      MessageBeep(0);
      return;
    }
    if (prepared.problem == FeedbackProblem::kInvalidEmail) {
      MessageBoxW(window_, L"无效的邮件地址!", L"失败", MB_OK | MB_ICONERROR);
      return;
    }
    const bool received = Send(prepared.request);
    if (received) {
      MessageBoxW(window_, L"已收到您的反馈.\r\r感谢您!", L"成功", MB_OK | MB_ICONINFORMATION);
      EndModal();
    } else {
      MessageBoxW(window_, L"发生错误. 您的反馈无法送达.\r\r请稍后再试.", L"失败", MB_OK | MB_ICONERROR);
    }
  }

  // The post runs on a thread of its own, so the window goes on painting and can be moved by
  // its caption while it waits. It takes no input meanwhile: clicks and keys that arrive during
  // the send are dropped rather than acted on afterwards, so a second send cannot follow from
  // keys pressed while the first was under way, and the window cannot be closed under it.
  bool Send(const ParameterList& request) {
    // The thread shares what it uses and writes; `done` is stored (release) after `received`,
    // and read (acquire) before it.
    struct Sending {
      std::atomic<bool> done{false};
      bool received = false;
    };
    const auto sending = std::make_shared<Sending>();
    // A transport the caller passes outlives the window; the program's own is the thread's too.
    std::shared_ptr<Transport> network =
        args_.network ? std::shared_ptr<Transport>(std::shared_ptr<Transport>(), args_.network)
                      : std::make_shared<WinHttpTransport>();
    std::thread([sending, network, address = args_.feedbackAddress, request] {
      sending->received = SendFeedback(*network, address, request);
      sending->done.store(true, std::memory_order_release);
    }).detach();

    sendInProgress_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool quit = false;
    int quitCode = 0;
    const auto handleWhatWaits = [&] {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
          quit = true;  // for the main loop, once the send is over
          quitCode = static_cast<int>(message.wParam);
          continue;
        }
        if (InputDuringSend(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    };
    while (!sending->done.load(std::memory_order_acquire)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      handleWhatWaits();
    }
    // A key or click that came after the last look at the queue but before the send ended
    // still waits there. It was meant for the window while it took no input, so it goes the
    // same way as the rest, before the window takes input again; otherwise a press of Enter
    // at the end of a send would start a second one.
    handleWhatWaits();
    sendInProgress_ = false;
    POINT cursor{};
    GetCursorPos(&cursor);
    SetCursorPos(cursor.x, cursor.y);  // the window's own cursor again, where the pointer is
    if (quit) PostQuitMessage(quitCode);
    return sending->received;
  }

  // Keys and clicks meant for this window while a send runs; a press on the caption still
  // moves the window.
  bool InputDuringSend(const MSG& message) const {
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
    const UINT m = message.message;
    if (m >= WM_KEYFIRST && m <= WM_KEYLAST) return true;
    if (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) return true;
    if (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) {
      return !(m == WM_NCLBUTTONDOWN && message.wParam == HTCAPTION) && m != WM_NCMOUSEMOVE;
    }
    return false;
  }

  // Memo1KeyDown, Edit1KeyDown, BitBtn1KeyDown: Esc closes the window. Taken before the
  // controls see it, because the multi-line memo keeps every key for itself.
  bool PreTranslate(const MSG& message) override {
    if (message.message != WM_KEYDOWN || message.wParam != VK_ESCAPE) return false;
    if (message.hwnd != memo_ && message.hwnd != edit_ && message.hwnd != button_) return false;
    EndModal();
    return true;
  }

  FeedbackFormArgs args_;
  HWND window_ = nullptr;
  ChoicePanel liked_;     // Panel4 with Image1
  ChoicePanel disliked_;  // Panel5 with Image2
  HWND memo_ = nullptr;
  HWND edit_ = nullptr;
  HWND button_ = nullptr;
  FocusKeeper focus_;
  UniqueFont font_;
  UniqueFont captionFont_;
  UniqueFont textFont_;
  UniqueFont boldFont_;
  UniqueIcon envelope_;
  UniqueHandle<ImageListTraits> imageList_;
  bool sendInProgress_ = false;
};

}  // namespace

void ShowFeedbackForm(const FeedbackFormArgs& args) {
  FeedbackWindow window(args);
  window.ShowModal();
}

}  // namespace quillet
