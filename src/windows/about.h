// The about window TAboutBox: product, version, icon and logo on black, the rain of falling
// characters around the central panel, and a menu of the maker's pages and the license file.
#pragma once

#include <windows.h>

#include <string>

namespace quillet {

struct AboutBoxArgs {
  HWND owner = nullptr;      // the main window, disabled while the window is open
  std::string appProduct;    // AppProduct
  std::string appVersion;    // AppVersion
  std::wstring programFile;  // license.txt is looked for beside it; empty: the running program
};

// Creates a fresh window, shows it modally and returns when it has closed (and is destroyed).
void ShowAboutBox(const AboutBoxArgs& args);

}  // namespace quillet
