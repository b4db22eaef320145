// One move-only owner for every kind of Windows handle, shaped after WIL's unique_any.
#pragma once

#include <windows.h>

#include <utility>

namespace quillet {

// Traits: using Type; static Type Invalid(); static void Close(Type).
template <typename Traits>
class UniqueHandle {
 public:
  using T = typename Traits::Type;
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  // Closing keeps the thread's last error, as WIL's close_reset does: a failed call's error is
  // still there to read after its owner is released on the way out.
  void reset(T value = Traits::Invalid()) {
    if (value_ != Traits::Invalid()) {
      const DWORD lastError = GetLastError();
      Traits::Close(value_);
      SetLastError(lastError);
    }
    value_ = value;
  }

 private:
  T value_ = Traits::Invalid();
};

template <typename H, auto CloseFunction, bool InvalidIsMinusOne = false>
struct HandleTraits {
  using Type = H;
  static Type Invalid() { return InvalidIsMinusOne ? reinterpret_cast<Type>(INVALID_HANDLE_VALUE) : Type{}; }
  static void Close(Type h) { CloseFunction(h); }
};

using UniqueFile = UniqueHandle<HandleTraits<HANDLE, ::CloseHandle, true>>;
using UniqueKernelHandle = UniqueHandle<HandleTraits<HANDLE, ::CloseHandle>>;
using UniqueFind = UniqueHandle<HandleTraits<HANDLE, ::FindClose, true>>;
using UniqueKey = UniqueHandle<HandleTraits<HKEY, ::RegCloseKey>>;
using UniqueMenu = UniqueHandle<HandleTraits<HMENU, ::DestroyMenu>>;
// GDI objects, typed, so that they go to SelectObject, WM_SETFONT and the drawing calls as
// what they are.
using UniqueFont = UniqueHandle<HandleTraits<HFONT, ::DeleteObject>>;
using UniqueBitmap = UniqueHandle<HandleTraits<HBITMAP, ::DeleteObject>>;
using UniqueBrush = UniqueHandle<HandleTraits<HBRUSH, ::DeleteObject>>;
using UniquePen = UniqueHandle<HandleTraits<HPEN, ::DeleteObject>>;
using UniqueIcon = UniqueHandle<HandleTraits<HICON, ::DestroyIcon>>;
using UniqueModule = UniqueHandle<HandleTraits<HMODULE, ::FreeLibrary>>;

}  // namespace quillet
