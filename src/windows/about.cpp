// TAboutBox: product, version, icon and the maker's logo on a black panel; around the panel a
// strip in which characters fall (the rain, drawn straight onto the window); a menu with the
// maker's credits and uninstall pages and the license file beside the program.
#include "windows/about.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "ui/control_ids.h"
#include "ui/fonts.h"
#include "ui/controls.h"
#include "ui/modal_loop.h"
#include "ui/modal_window.h"
#include "ui/popup_under_button.h"
#include "ui/resource_ids.h"
#include "ui/window_base.h"
#include "ui/window_drag.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "util/maker_addresses.h"
#include "util/text.h"
#include "windows/rain.h"

namespace quillet {
namespace {

// Designed at 96 pixels per inch and never rescaled: the rain's cells and the logo are
// pixel-exact.
constexpr int kClientWidth = 446;
constexpr int kClientHeight = 374;
constexpr RECT kPanel1 = {48, 42, 48 + 350, 42 + 291};
// Places inside Panel1.
constexpr int kLogoWidth = 344;
constexpr int kLogoHeight = 105;
constexpr RECT kImage2 = {3, 3, 3 + kLogoWidth, 3 + kLogoHeight};
constexpr RECT kBevel1 = {9, 122, 9 + 34, 122 + 34};
constexpr RECT kImage1 = {10, 123, 10 + 32, 123 + 32};
constexpr RECT kLabel2 = {49, 122, 49 + 290, 122 + 40};
constexpr RECT kBitBtn1 = {49, 224, 49 + 122, 224 + 33};
constexpr RECT kBitBtn2 = {177, 224, 177 + 122, 224 + 33};

constexpr UINT_PTR kRainTimerId = 1;
constexpr UINT kRainIntervalMs = 50;
constexpr const char* kRainText = "kal";
constexpr wchar_t kPanelClass[] = L"TAboutBoxPanel";

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
// The buttons' white captions would vanish on a standard light face; on this mid grey both
// the white caption and BitBtn2's black triangle read well, and it stands out from the black.
constexpr COLORREF kFace = RGB(0x70, 0x70, 0x70);
constexpr COLORREF kFacePressed = RGB(0x5a, 0x5a, 0x5a);
constexpr COLORREF kFaceLight = RGB(0xa8, 0xa8, 0xa8);
constexpr COLORREF kFaceShadow = RGB(0x38, 0x38, 0x38);

HBRUSH BlackBrush() { return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)); }

void FillColour(HDC dc, const RECT& area, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

// The rain's random numbers: a generator seeded from the clock, so each opening falls anew.
class SeededRandom final : public RainRandom {
 public:
  SeededRandom()
      : engine_(static_cast<std::mt19937::result_type>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count())) {}
  std::int32_t Below(std::int32_t range) override {
    if (range <= 0) return 0;
    return std::uniform_int_distribution<std::int32_t>(0, range - 1)(engine_);
  }

 private:
  std::mt19937 engine_;
};

// The cells of one rain step, straight onto the window's device context. The text is drawn
// opaque over the whole cell, so a character replaces whatever the cell showed before.
class WindowRainCanvas final : public RainCanvas {
 public:
  explicit WindowRainCanvas(HDC dc) : dc_(dc) {}
  void EraseCell(int x, int y) override {
    const RECT cell{x, y, x + RainModel::kCharWidth, y + RainModel::kCharHeight};
    FillRect(dc_, &cell, BlackBrush());
  }
  void DrawCharacter(int x, int y, char character, RainColour colour) override {
    const RECT cell{x, y, x + RainModel::kCharWidth, y + RainModel::kCharHeight};
    SetTextColor(dc_, RGB(colour.red, colour.green, colour.blue));
    const wchar_t text = static_cast<unsigned char>(character);
    ExtTextOutW(dc_, x, y, ETO_OPAQUE, &cell, &text, 1, nullptr);
  }

 private:
  HDC dc_;
};

// A picture's pixels, top row first, as straight (not premultiplied) 0xAARRGGBB.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

// One colour channel of a 32-bit pixel through its mask, widened to 0..255.
std::uint32_t Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 255;
  const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
  const std::uint32_t top = mask >> std::countr_zero(mask);
  return top == 255 ? value : value * 255 / top;
}

// The logo as the resource holds it: a 32-bit bitmap with alpha (a BITMAPV4/V5 header with
// its channel masks, or a plain header whose fourth byte is alpha).
std::optional<Picture> ReadLogoResource() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDB_LOGO), MAKEINTRESOURCEW(2));  // RT_BITMAP
  if (!found) return std::nullopt;
  const DWORD size = SizeofResource(instance, found);
  HGLOBAL loaded = LoadResource(instance, found);
  const auto* bytes = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
  BITMAPINFOHEADER header{};
  if (!bytes || size < sizeof header) return std::nullopt;
  std::memcpy(&header, bytes, sizeof header);
  if (header.biBitCount != 32 || header.biWidth <= 0 || header.biHeight == 0 || header.biSize < sizeof header)
    return std::nullopt;
  std::uint32_t masks[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};  // red, green, blue, alpha
  std::size_t offset = header.biSize;
  if (header.biCompression == BI_BITFIELDS) {
    if (header.biSize >= 56) {
      std::memcpy(masks, bytes + 40, sizeof masks);
    } else {
      if (size < offset + 12) return std::nullopt;
      std::memcpy(masks, bytes + offset, 12);
      masks[3] = 0;  // no alpha mask: opaque
      offset += 12;
    }
  } else if (header.biCompression != BI_RGB) {
    return std::nullopt;
  }
  offset += static_cast<std::size_t>(header.biClrUsed) * 4;
  Picture picture;
  picture.width = header.biWidth;
  picture.height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
  const std::size_t count = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
  if (size < offset + count * 4) return std::nullopt;
  picture.pixels.resize(count);
  for (int row = 0; row < picture.height; ++row) {
    // Positive heights are stored bottom row first.
    const int stored = header.biHeight > 0 ? picture.height - 1 - row : row;
    const std::uint8_t* line = bytes + offset + static_cast<std::size_t>(stored) * picture.width * 4;
    for (int x = 0; x < picture.width; ++x) {
      std::uint32_t pixel;
      std::memcpy(&pixel, line + static_cast<std::size_t>(x) * 4, 4);
      picture.pixels[static_cast<std::size_t>(row) * picture.width + x] =
          Channel(pixel, masks[3]) << 24 | Channel(pixel, masks[0]) << 16 | Channel(pixel, masks[1]) << 8 |
          Channel(pixel, masks[2]);
    }
  }
  return picture;
}

// The picture at width x height in premultiplied alpha, ready for AlphaBlend. Each target
// pixel averages the source pixels under it (a 2 x 2 block for the logo) weighted by their
// alpha, so thin strokes stay smooth and the transparent ground leaves no dark fringe.
std::vector<std::uint32_t> ScaleDownPremultiplied(const Picture& from, int width, int height) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const int y0 = y * from.height / height;
    const int y1 = std::max(y0 + 1, (y + 1) * from.height / height);
    for (int x = 0; x < width; ++x) {
      const int x0 = x * from.width / width;
      const int x1 = std::max(x0 + 1, (x + 1) * from.width / width);
      std::uint64_t alpha = 0, red = 0, green = 0, blue = 0, n = 0;
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          const std::uint32_t p = from.pixels[static_cast<std::size_t>(sy) * from.width + sx];
          const std::uint32_t a = p >> 24;
          alpha += a;
          red += ((p >> 16) & 0xFF) * a;
          green += ((p >> 8) & 0xFF) * a;
          blue += (p & 0xFF) * a;
          ++n;
        }
      }
      const std::uint64_t scale = 255 * n;
      const auto a = static_cast<std::uint32_t>((alpha + n / 2) / n);
      const auto r = static_cast<std::uint32_t>((red + scale / 2) / scale);
      const auto g = static_cast<std::uint32_t>((green + scale / 2) / scale);
      const auto b = static_cast<std::uint32_t>((blue + scale / 2) / scale);
      out[static_cast<std::size_t>(y) * width + x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  return out;
}

// A top-down 32-bit bitmap of the logo at its shown size, premultiplied.
HBITMAP MakeLogoBitmap() {
  const std::optional<Picture> logo = ReadLogoResource();
  if (!logo) return nullptr;
  const std::vector<std::uint32_t> pixels = ScaleDownPremultiplied(*logo, kLogoWidth, kLogoHeight);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kLogoWidth;
  info.bmiHeader.biHeight = -kLogoHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) std::memcpy(bits, pixels.data(), pixels.size() * sizeof(std::uint32_t));
  return bitmap;
}

// True when path names a file; a symbolic link counts when its target is a file.
bool FileExistsFollowingLinks(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  UniqueFile target(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  return target && GetFileInformationByHandle(target.get(), &information) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Panel1: black, and transparent to everything its controls tell their parent. Their
// notifications and drawing requests go on to the about window, and so do presses on the
// panel itself (and on the pictures and the label, which let the pointer through to it), in
// the window's client coordinates, where they start the window drag.
LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(panel), message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MOUSEMOVE: {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      MapWindowPoints(panel, GetParent(panel), &point, 1);
      return SendMessageW(GetParent(panel), message, wParam, MAKELPARAM(point.x, point.y));
    }
    default:
      return DefWindowProcW(panel, message, wParam, lParam);
  }
}

class TAboutBox final : public ModalWindow {
 public:
  explicit TAboutBox(const AboutBoxArgs& args) : args_(args) {}

  void ShowModal() {
    RegisterPanelClass();
    RunModal({QUILLET_ABOUT_CLASS, BlackBrush(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
              WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, kClientWidth, kClientHeight, L""},
             args_.owner);
  }

 protected:
  HWND InitialFocus() const override { return bitBtn1_; }

  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    result = 0;
    switch (message) {
      case WM_CREATE:
        FormCreate();
        return true;
      case WM_SIZE:
        FormResize();
        return true;
      case WM_PAINT:
        FormPaint();
        return true;
      case WM_TIMER:
        if (wParam == kRainTimerId) tmTimerTimer();
        return true;
      case WM_DPICHANGED:
        // The window keeps its designed size at every DPI; only the logo is made again.
        HighDPIImageYukle();
        return true;
      case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return true;
      case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, kWhite);
        SetBkColor(dc, kBlack);
        result = reinterpret_cast<LRESULT>(BlackBrush());
        return true;
      }
      case WM_CTLCOLORBTN:
        result = reinterpret_cast<LRESULT>(BlackBrush());
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_MOUSEMOVE:
      case WM_LBUTTONUP:
      case WM_MBUTTONUP:
      case WM_RBUTTONUP:
      case WM_CAPTURECHANGED:
        return drag_.HandleMouseMessage(Handle(), message, lParam);
      case WM_ACTIVATE:
        // BitBtn1 has the focus when the window first opens.
        focus_.OnActivate(Handle(), wParam, bitBtn1_);
        return true;
      case WM_CLOSE:
        Close();  // the loop destroys the window
        return true;
      case WM_DESTROY:
        // The rain ends with the window.
        KillTimer(Handle(), kRainTimerId);
        return false;
      default:
        return false;
    }
  }

 private:
  static void RegisterPanelClass() {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, kPanelClass, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = BlackBrush();  // the panel paints its own black background
    wc.lpszClassName = kPanelClass;
    RegisterClassExW(&wc);
  }

  void FormCreate() {
    window_ = Handle();
    rain_.emplace(kRainText, random_);
    // The rain's font: the window's typeface at the height of one cell.
    rainFont_.reset(CreateTahoma(RainModel::kCharHeight));
    StartRain();
    SetWindowTextW(window_, Widen("关于 " + args_.appProduct).c_str());
    CreateControls();
    popupMenu1_.reset(CreatePopupMenu());
    AppendMenuW(popupMenu1_.get(), MF_STRING, IDM_CREDITS1, L"致谢");
    AppendMenuW(popupMenu1_.get(), MF_STRING, IDM_HOWTOUNINSTALL1, L"如何卸载");
    AppendMenuW(popupMenu1_.get(), MF_STRING, IDM_LICENSEPRIVACYPOLICY1, L"许可证");
    HighDPIImageYukle();
  }

  void CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    captionFont_.reset(CreateTahoma(16));
    panel1_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                              kPanel1.left, kPanel1.top, kPanel1.right - kPanel1.left, kPanel1.bottom - kPanel1.top,
                              window_, reinterpret_cast<HMENU>(IDC_ABOUT_PANEL1), instance, nullptr);
    auto child = [&](const wchar_t* cls, std::wstring_view text, DWORD style, int id, const RECT& r) {
      return CreateControl(panel1_, {0, cls, text, WS_VISIBLE | WS_CLIPSIBLINGS | style, id, r, captionFont_.get()});
    };
    // The buttons first: BitBtn1 leads the tab order. The pictures and the label take no
    // clicks of their own (no SS_NOTIFY), so a press on them reaches the panel and drags.
    bitBtn1_ = child(L"BUTTON", L"确定", BS_OWNERDRAW | WS_TABSTOP, IDC_ABOUT_BITBTN1, kBitBtn1);
    bitBtn2_ = child(L"BUTTON", L"信息", BS_OWNERDRAW | WS_TABSTOP, IDC_ABOUT_BITBTN2, kBitBtn2);
    image2_ = child(L"STATIC", L"", SS_OWNERDRAW, IDC_ABOUT_IMAGE2, kImage2);
    HWND bevel1 = child(L"STATIC", L"", SS_OWNERDRAW, IDC_ABOUT_BEVEL1, kBevel1);
    HWND image1 = child(L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, IDC_ABOUT_IMAGE1, kImage1);
    child(L"STATIC", Widen(args_.appProduct + " " + args_.appVersion), SS_LEFT | SS_NOPREFIX,
          IDC_ABOUT_LABEL2, kLabel2);
    // The icon lies inside the frame: above it in the z-order.
    SetWindowPos(image1, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(bevel1, image1, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const auto icon = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 32, 32, LR_SHARED));
    SendMessageW(image1, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    MoveWindow(image1, kImage1.left, kImage1.top, kImage1.right - kImage1.left, kImage1.bottom - kImage1.top, FALSE);
  }

  // Loads the logo into Image2 at its shown size.
  void HighDPIImageYukle() {
    logo_.reset(MakeLogoBitmap());
    if (image2_) InvalidateRect(image2_, nullptr, TRUE);
  }

  void StartRain() {
    RECT outer{};
    GetWindowRect(window_, &outer);
    rain_->Start(outer.right - outer.left, outer.bottom - outer.top);
    FillBlack();
    SetTimer(window_, kRainTimerId, kRainIntervalMs, nullptr);
  }

  // The window turns black and the drops start afresh.
  void ResetRain() {
    FillBlack();
    rain_->Reset();
  }

  void FillBlack() {
    RECT outer{};
    GetWindowRect(window_, &outer);
    const RECT area{0, 0, outer.right - outer.left, outer.bottom - outer.top};
    HDC dc = GetDC(window_);
    FillRect(dc, &area, BlackBrush());
    ReleaseDC(window_, dc);
  }

  void FormResize() {
    if (rain_) ResetRain();
  }

  void FormPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    FillRect(dc, &paint.rcPaint, BlackBrush());
    EndPaint(window_, &paint);
  }

  // One animation step on the window's own surface. Its child windows clip the drawing, so
  // the characters show only in the strip around Panel1.
  void tmTimerTimer() {
    drag_.Follow(Handle());
    HDC dc = GetDC(window_);
    const HGDIOBJ oldFont = SelectObject(dc, rainFont_.get());
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, kBlack);
    WindowRainCanvas canvas(dc);
    rain_->Step(canvas);
    SelectObject(dc, oldFont);
    ReleaseDC(window_, dc);
  }

  void OnCommand(int id) {
    switch (id) {
      case IDC_ABOUT_BITBTN1:
      case IDCANCEL:
        Close();
        break;
      case IDC_ABOUT_BITBTN2:
        BitBtn2Click();
        break;
      case IDM_CREDITS1:
        OpenMakerPage(kCreditsAddress);
        break;
      case IDM_HOWTOUNINSTALL1:
        OpenMakerPage(kUninstallAddress);
        break;
      case IDM_LICENSEPRIVACYPOLICY1:
        LicensePrivacyPolicy1Click();
        break;
      default:
        break;
    }
  }

  void Close() { EndModal(); }

  void BitBtn2Click() { PopupUnderButton(window_, bitBtn2_, popupMenu1_.get()); }

  // The page opens in the default browser; whatever the shell answers is ignored.
  static void OpenMakerPage(std::string_view address) {
    ShellExecuteW(GetDesktopWindow(), L"open", Widen(address).c_str(), nullptr, nullptr, SW_HIDE);
  }

  void LicensePrivacyPolicy1Click() {
    const std::wstring program = args_.programFile.empty() ? ProgramFilePath() : args_.programFile;
    const std::wstring license = FolderOf(program) + L"\\license.txt";
    if (FileExistsFollowingLinks(license)) {
      // Notepad takes the rest of its command line as the file name, blanks and all.
      ShellExecuteW(window_, nullptr, L"notepad.exe", license.c_str(), nullptr, SW_SHOWNORMAL);
    } else {
      MessageBoxW(window_, L"文件未找到!", L"许可证", MB_OK | MB_ICONERROR);
    }
  }

  // Esc on either button closes the window; Enter works the focused button (closing, or the
  // menu). Space is the buttons' own.
  bool PreTranslate(const MSG& message) override {
    if (message.message != WM_KEYDOWN || (message.hwnd != bitBtn1_ && message.hwnd != bitBtn2_)) return false;
    if (message.wParam == VK_ESCAPE) {
      Close();
      return true;
    }
    if (message.wParam == VK_RETURN) {
      if (message.hwnd == bitBtn1_) Close();
      else BitBtn2Click();
      return true;
    }
    return false;
  }

  void OnDrawItem(const DRAWITEMSTRUCT& item) {
    switch (item.CtlID) {
      case IDC_ABOUT_IMAGE2:
        DrawLogo(item);
        break;
      case IDC_ABOUT_BEVEL1: {
        RECT frame = item.rcItem;
        FillRect(item.hDC, &frame, BlackBrush());
        DrawEdge(item.hDC, &frame, BDR_SUNKENOUTER, BF_RECT);
        break;
      }
      case IDC_ABOUT_BITBTN1:
      case IDC_ABOUT_BITBTN2:
        DrawButton(item);
        break;
      default:
        break;
    }
  }

  // The logo over the black panel, its transparent parts showing the black.
  void DrawLogo(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, BlackBrush());
    if (!logo_) return;
    HDC source = CreateCompatibleDC(item.hDC);
    const HGDIOBJ old = SelectObject(source, logo_.get());
    // GdiAlphaBlend is AlphaBlend itself, without the extra msimg32 library.
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(item.hDC, item.rcItem.left, item.rcItem.top, kLogoWidth, kLogoHeight, source, 0, 0, kLogoWidth,
                  kLogoHeight, blend);
    SelectObject(source, old);
    DeleteDC(source);
  }

  void DrawButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    FillColour(dc, r, pressed ? kFacePressed : kFace);
    // A one-pixel bevel, light above and left; the other way round while pressed.
    const COLORREF topLeft = pressed ? kFaceShadow : kFaceLight;
    const COLORREF bottomRight = pressed ? kFaceLight : kFaceShadow;
    FillColour(dc, RECT{r.left, r.top, r.right, r.top + 1}, topLeft);
    FillColour(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, topLeft);
    FillColour(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    FillColour(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);

    wchar_t caption[64] = {};
    const int length = GetWindowTextW(item.hwndItem, caption, 64);
    const HGDIOBJ oldFont = SelectObject(dc, captionFont_.get());
    SIZE text{};
    GetTextExtentPoint32W(dc, caption, length, &text);
    const bool withArrow = item.CtlID == IDC_ABOUT_BITBTN2;
    constexpr int kArrowGap = 7, kArrowWidth = 9;
    const int contentWidth = text.cx + (withArrow ? kArrowGap + kArrowWidth : 0);
    const int shift = pressed ? 1 : 0;
    const int left = r.left + (r.right - r.left - contentWidth) / 2 + shift;
    const int top = r.top + (r.bottom - r.top - text.cy) / 2 + shift;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWhite);
    TextOutW(dc, left, top, caption, length);
    SelectObject(dc, oldFont);

    if (withArrow) {
      // The small black triangle of a drop-down button, pointing down.
      const int x = left + text.cx + kArrowGap, y = top + text.cy / 2 - 2;
      const POINT triangle[3] = {{x, y}, {x + kArrowWidth - 1, y}, {x + (kArrowWidth - 1) / 2, y + 4}};
      const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
      const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
      Polygon(dc, triangle, 3);
      SelectObject(dc, oldPen);
      SelectObject(dc, oldBrush);
    }
    if (item.itemState & ODS_FOCUS) {
      // A dotted white frame inside the edge, shown whether the focus came by keyboard or not.
      const LOGBRUSH white{BS_SOLID, kWhite, 0};
      UniquePen pen(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &white, 0, nullptr));
      const HGDIOBJ oldPen = SelectObject(dc, pen.get());
      const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
      Rectangle(dc, r.left + 3, r.top + 3, r.right - 3, r.bottom - 3);
      SelectObject(dc, oldBrush);
      SelectObject(dc, oldPen);
    }
  }

  AboutBoxArgs args_;
  HWND window_ = nullptr;
  HWND panel1_ = nullptr;
  HWND image2_ = nullptr;
  HWND bitBtn1_ = nullptr;
  HWND bitBtn2_ = nullptr;
  FocusKeeper focus_;
  UniqueFont captionFont_;
  UniqueFont rainFont_;
  UniqueBitmap logo_;
  UniqueMenu popupMenu1_;
  SeededRandom random_;
  std::optional<RainModel> rain_;
  WindowDrag drag_;
};

}  // namespace

void ShowAboutBox(const AboutBoxArgs& args) {
  TAboutBox window(args);
  window.ShowModal();
}

}  // namespace quillet
