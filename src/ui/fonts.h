// The program's one typeface: Tahoma with the GB2312 character set, sized in pixels so the
// windows keep their designed layout whatever the screen's pixel density.
#pragma once

#include <windows.h>

namespace quillet {

inline HFONT CreateTahoma(int pixelHeight, int weight = FW_NORMAL) {
  return CreateFontW(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
}

}  // namespace quillet
