#include "platform/win32/taskbar_progress.h"

#include <shobjidl.h>

namespace quillet {

Win32TaskbarProgress::~Win32TaskbarProgress() {
  if (list_) list_->Release();
}

UINT Win32TaskbarProgress::ButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void Win32TaskbarProgress::ButtonCreated() {
  if (list_) {
    list_->Release();
    list_ = nullptr;
  }
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list))) ||
      !list) {
    return;
  }
  if (FAILED(list->HrInit())) {
    list->Release();
    return;
  }
  list_ = list;
}

void Win32TaskbarProgress::Show(std::size_t done, std::size_t total, bool paused) {
  if (!list_) return;
  list_->SetProgressState(window_, paused ? TBPF_PAUSED : TBPF_NORMAL);
  list_->SetProgressValue(window_, done, total == 0 ? 1 : total);
}

void Win32TaskbarProgress::Clear() {
  if (list_) list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

}  // namespace quillet
