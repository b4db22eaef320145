// Measurements of the real program under Wine that a native benchmark can't make:
// start-up time against an empty Win32 window, the file size, pasting 100,000 lines into the
// running window, and the processor time that a 2-second wait between entries costs.
// Usage: quillet_window_bench.exe <quillet.exe> <empty_window.exe> [--floor <controls_window.exe>]
//                                  [--rounds N] [--startup-only]
//   --floor EXE     also start a window with the program's controls and nothing else
//   --rounds N      start-up rounds, each starting every program once (default 15)
//   --startup-only  only the start-up figures (with and without a remembered list)
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "platform/win32/win32_system.h"
#include "process_clock.h"
#include "util/text.h"

namespace {

struct FindData {
  DWORD pid;
  HWND found;
};

HWND VisibleWindowOf(DWORD pid) {
  FindData data{pid, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* d = reinterpret_cast<FindData*>(lParam);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == d->pid && IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == nullptr) {
          d->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&data));
  return data.found;
}

struct Started {
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  double msToWindow = 0;     // the window is visible
  double msToAnswering = 0;  // ... and its thread answers, so its first paint is done
};

Started StartAndWaitForWindow(const std::wstring& exe) {
  Started s;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  std::wstring commandLine = L"\"" + exe + L"\"";
  double t0 = NowMs();
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &s.process)) {
    std::fprintf(stderr, "cannot start %s\n", quillet::Narrow(exe).c_str());
    return s;
  }
  while (!(s.window = VisibleWindowOf(s.process.dwProcessId)) && NowMs() - t0 < 30000) Sleep(1);
  s.msToWindow = NowMs() - t0;
  // A sent message is taken only by the window's message loop, which the program enters once
  // the window has painted itself (ShowWindow and UpdateWindow come first).
  DWORD_PTR result = 0;
  SendMessageTimeoutW(s.window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
  s.msToAnswering = NowMs() - t0;
  return s;
}

void Stop(Started& s) {
  TerminateProcess(s.process.hProcess, 0);
  WaitForSingleObject(s.process.hProcess, 10000);
  CloseHandle(s.process.hProcess);
  CloseHandle(s.process.hThread);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "median (min-max)" of a series.
std::string Spread(const std::vector<double>& v, const char* format = "%.1f") {
  const auto [low, high] = std::minmax_element(v.begin(), v.end());
  char text[96], m[32], a[32], b[32];
  std::snprintf(m, sizeof m, format, Median(v));
  std::snprintf(a, sizeof a, format, *low);
  std::snprintf(b, sizeof b, format, *high);
  std::snprintf(text, sizeof text, "%s (%s-%s)", m, a, b);
  return text;
}

// The program writes settings.ini beside itself: give it a folder of its own.
std::wstring CopyToScratchFolder(const std::wstring& exe) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"quillet-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring copy = folder + L"\\quillet.exe";
  CopyFileW(exe.c_str(), copy.c_str(), FALSE);
  return copy;
}

// The programs are started in turn, so a busy moment of the machine touches every series alike.
// The ratio of each round compares starts made side by side.
void MeasureStartup(const std::wstring& quillet, const std::wstring& empty, const std::wstring& floor, int rounds) {
  struct Series {
    const char* name;
    std::wstring exe;
    std::vector<double> visible, painted, visibleRatios, paintedRatios;
  };
  std::vector<Series> series{{"empty window", empty, {}, {}, {}, {}}};
  if (!floor.empty()) series.push_back({"window with the same controls", floor, {}, {}, {}, {}});
  series.push_back({"quillet.exe", quillet, {}, {}, {}, {}});
  for (int i = 0; i < rounds; ++i) {
    for (Series& one : series) {
      Started started = StartAndWaitForWindow(one.exe);
      Stop(started);
      one.visible.push_back(started.msToWindow);
      one.painted.push_back(started.msToAnswering);
      one.visibleRatios.push_back(started.msToWindow / series[0].visible.back());
      one.paintedRatios.push_back(started.msToAnswering / series[0].painted.back());
    }
  }
  std::printf("start-up, median (min-max) of %d rounds, ratio to the empty window of the same round:\n", rounds);
  for (const Series& one : series) {
    std::printf("  %-30s visible %s ms, ratio %s; painted (answering) %s ms, ratio %s\n", one.name,
                Spread(one.visible).c_str(), Spread(one.visibleRatios, "%.2f").c_str(),
                Spread(one.painted).c_str(), Spread(one.paintedRatios, "%.2f").c_str());
  }
}

void MeasureFileSize(const std::wstring& exe) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &data);
  std::printf("quillet.exe size: %lu bytes\n", data.nFileSizeLow);
}

void MeasurePaste(const std::wstring& quillet) {
  const int lines = 100000;
  std::string text;
  for (int i = 0; i < lines; ++i) text += "C:\\data\\folder " + std::to_string(i) + "\\file.txt\r\n";
  Started q = StartAndWaitForWindow(quillet);
  HWND list = GetDlgItem(q.window, IDC_LISTBOX1);
  quillet::SetClipboardText(nullptr, text);
  double t0 = NowMs();
  PostMessageW(q.window, WM_COMMAND, IDM_PASTE1, 0);
  while (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) < lines && NowMs() - t0 < 60000) Sleep(1);
  double pasted = NowMs() - t0;
  // The window is usable again when it answers a message that needs its thread.
  SendMessageW(q.window, WM_NULL, 0, 0);
  double answered = NowMs() - t0;
  std::printf("paste of %d lines into the running window: entries present after %.1f ms, window answering after %.1f ms\n",
              lines, pasted, answered);
  Stop(q);
}

// Start-up with a remembered list of a million entries: the window, then the full list.
void MeasureRememberedStart(const std::wstring& quillet, int rounds) {
  const int lines = 1000000;
  const std::wstring folder = quillet.substr(0, quillet.find_last_of(L'\\') + 1);
  std::string text = "\xEF\xBB\xBF";
  text.reserve(static_cast<std::size_t>(lines) * 60);
  for (int i = 0; i < lines; ++i) text += "C:\\Users\\someone\\Documents\\folder " + std::to_string(i) + "\\文件.txt\r\n";
  auto write = [&](const wchar_t* name, const std::string& bytes) {
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  };
  write(L"files.txt", text);
  write(L"settings.ini", "\xEF\xBB\xBF[Settings]\r\nRemember=1\r\n\r\n");
  std::vector<double> windows, painted, full;
  for (int i = 0; i < rounds; ++i) {
    Started q = StartAndWaitForWindow(quillet);
    double t0 = NowMs() - q.msToAnswering;
    HWND list = GetDlgItem(q.window, IDC_LISTBOX1);
    while (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) < lines && NowMs() - t0 < 60000) Sleep(1);
    windows.push_back(q.msToWindow);
    painted.push_back(q.msToAnswering);
    full.push_back(NowMs() - t0);
    Stop(q);
  }
  std::printf("start-up with a remembered list of %d entries (%.0f MB), median (min-max) of %d: window after %s ms, "
              "painted after %s ms, full list after %s ms\n",
              lines, static_cast<double>(text.size()) / 1e6, rounds, Spread(windows).c_str(),
              Spread(painted).c_str(), Spread(full).c_str());
  DeleteFileW((folder + L"files.txt").c_str());
  DeleteFileW((folder + L"settings.ini").c_str());
}

// The window's answer to a message while the update check waits on a service that takes the
// connection and never answers (two attempts of 3 s each).
void MeasureAnswerDuringSilentCheck(const std::wstring& quillet) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 8);  // connections complete in the backlog; nothing is ever read or sent
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::wstring service = L"127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/check";
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", service.c_str());

  Started q = StartAndWaitForWindow(quillet);
  std::vector<double> answers;
  const double end = NowMs() + 9000;
  while (NowMs() < end) {
    const double t0 = NowMs();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(q.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    answers.push_back(NowMs() - t0);
    Sleep(20);
  }
  std::sort(answers.begin(), answers.end());
  std::printf("window answers during a check on a silent service (%zu messages over 9 s): median %.2f ms, "
              "slowest %.2f ms\n",
              answers.size(), answers[answers.size() / 2], answers.back());
  Stop(q);
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", L"127.0.0.1:9/check");
  closesocket(listener);
  WSACleanup();
}

// The window's answer to a message while another program holds files.txt open without sharing
// for 3 s right after the list changed, so that every save tick meets the held file; and when
// the list reaches files.txt after the file is let go.
void MeasureAnswerWhileFilesTxtHeld(const std::wstring& quillet) {
  const std::wstring filesTxt = quillet.substr(0, quillet.find_last_of(L'\\') + 1) + L"files.txt";
  HANDLE created = CreateFileW(filesTxt.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(created);
  Started q = StartAndWaitForWindow(quillet);
  quillet::SetClipboardText(nullptr, "C:\\held\\entry.txt\r\n");
  HANDLE holder = CreateFileW(filesTxt.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  PostMessageW(q.window, WM_COMMAND, IDM_PASTE1, 0);
  std::vector<double> answers;
  const double start = NowMs();
  while (NowMs() < start + 3000) {
    const double t0 = NowMs();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(q.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    answers.push_back(NowMs() - t0);
    Sleep(10);
  }
  CloseHandle(holder);
  const double released = NowMs();
  auto written = [&] {
    HANDLE file = CreateFileW(filesTxt.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    CloseHandle(file);
    return size.QuadPart > 3;
  };
  while (!written() && NowMs() - released < 10000) Sleep(10);
  std::sort(answers.begin(), answers.end());
  std::printf("window answers while files.txt is held for 3 s (%zu messages): median %.2f ms, slowest %.2f ms; "
              "list in files.txt %.0f ms after it was let go\n",
              answers.size(), answers[answers.size() / 2], answers.back(), NowMs() - released);
  Stop(q);
  DeleteFileW(filesTxt.c_str());
}

void MeasureWaitCpu() {
  HWND window = CreateWindowW(L"STATIC", L"wait", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  quillet::ProcessMessages();
  const double cpu0 = ProcessCpuMs();
  double t0 = NowMs();
  quillet::SleepWithoutFreeze(2000);
  double wall = NowMs() - t0;
  const double cpu = ProcessCpuMs() - cpu0;
  std::printf("2-second wait between entries: %.1f ms wall, %.0f ms processor time\n", wall, cpu);
  DestroyWindow(window);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_window_bench <quillet.exe> <empty_window.exe> [--floor EXE] [--rounds N] "
                         "[--startup-only]\n");
    return 2;
  }
  int rounds = 15;
  bool startupOnly = false;
  std::wstring floor;
  for (int i = 3; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--floor") == 0 && i + 1 < argc) {
      floor = argv[++i];
      continue;
    }
    if (std::wcscmp(argv[i], L"--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, _wtoi(argv[++i]));
    } else if (std::wcscmp(argv[i], L"--startup-only") == 0) {
      startupOnly = true;
    }
  }
  std::wstring quillet = CopyToScratchFolder(argv[1]);
  // The update check at each start goes to a closed port here, unless a measurement names
  // its own service.
  SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", L"127.0.0.1:9/check");
  MeasureFileSize(argv[1]);
  MeasureStartup(quillet, argv[2], floor, rounds);
  if (!startupOnly) MeasurePaste(quillet);
  MeasureRememberedStart(quillet, 3);
  if (startupOnly) return 0;
  MeasureAnswerDuringSilentCheck(quillet);
  MeasureAnswerWhileFilesTxtHeld(quillet);
  MeasureWaitCpu();
  return 0;
}
