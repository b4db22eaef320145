// TNewVer, the new-version notice: a small borderless window at the top-right corner of the
// screen that names the offered version, opens its download page when the link is clicked
// and closes itself about eleven seconds after it was created.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/window_base.h"
#include "ui/window_drag.h"
#include "platform/win32/unique_handle.h"

#define QUILLET_NEWVER_CLASS L"TNewVer"
#define IDC_NEWVER_LABEL1 4001  // "更新可用"
#define IDC_NEWVER_LABEL2 4002  // the link
#define IDC_NEWVER_BUTTON1 4003  // close

namespace quillet {

struct NewVersionNotice {
  std::string product;          // the version record's product name
  std::string versionText;      // NewVersionText
  std::string downloadAddress;  // DownloadAddress; the built-in page when empty or not http(s)
  HWND mainWindow = nullptr;    // keeps the focus while the notice is up
};

class TNewVer final : public WindowBase {
 public:
  static constexpr int kClientWidth = 320;
  static constexpr int kClientHeight = 68;
  static constexpr UINT_PTR kTimerCloseId = 2;  // every second: the countdown

  // Creates the window hidden at the top-right corner; it shows itself, and it deletes
  // itself when it closes (whichever way).
  static TNewVer* Create(const NewVersionNotice& notice);

  ~TNewVer() override;

  // The address a click on the link opens, and the link's colour now.
  const std::wstring& LinkAddress() const { return address_; }
  COLORREF LinkColor() const;

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalDestroy() override { delete this; }

 private:
  class CloseButton;
  class Link;

  // The seconds a notice stays up, counted from its creation.
  static constexpr long long kSecondsShown = 11;

  explicit TNewVer(NewVersionNotice notice);
  void FormCreate();
  void Paint();
  void TimerStartTimer();
  void TimerCloseTimer();
  void TimerLinkTimer();
  void Label2Click();
  bool CarriesDrag(POINT client) const;

  NewVersionNotice notice_;
  std::wstring address_;
  WindowDrag drag_;
  UniqueFont boldFont_, linkFont_;
  UniqueIcon closeIcon_;
  std::unique_ptr<CloseButton> closeButton_;  // Button1
  std::unique_ptr<Link> link_;               // Label2
  HICON appIcon_ = nullptr;  // shared resource icon, not destroyed
  // Each notice counts its own time: one shown later in the same run of the program stays up
  // as long as the first.
  long long countdown_ = kSecondsShown;
  RECT image1_{}, panel2_{}, label1_{}, label2_{}, panel3_{};
};

}  // namespace quillet
