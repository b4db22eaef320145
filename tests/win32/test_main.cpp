// Entry of the Windows-layer tests: a wide entry point (the platform links with -municode)
// and COM in a single-threaded apartment, as the program's own entry sets it up.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
