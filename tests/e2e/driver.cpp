#include "e2e/driver.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "../shared/window_probe.h"
#include "ui/control_ids.h"
#include "util/text.h"

#ifndef QUILLET_EXE_PATH
#error "the build names quillet.exe in QUILLET_EXE_PATH"
#endif
#ifndef RECORDER_EXE_PATH
#error "the build names recorder.exe in RECORDER_EXE_PATH"
#endif

namespace quillet::e2e {
namespace {

constexpr DWORD kPollMs = 10;

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Removes a program folder with everything in it (one or two levels deep is all the tests
// make, but walk the whole tree anyway).
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

struct FindControl {
  int id;
  HWND found;
};

BOOL CALLBACK FindControlProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindControl*>(param);
  if (GetDlgCtrlID(window) == find->id) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

struct FindTopLevel {
  DWORD pid;
  const wchar_t* class_name;
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK FindTopLevelProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindTopLevel*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != find->pid || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != find->class_name) return TRUE;
  if (find->caption) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    if (Narrow(text) != *find->caption) return TRUE;
  }
  find->found = window;
  return FALSE;
}

// Memory in the program's process, for list-view messages whose argument is a pointer
// (those are passed as they are between processes, so the pointer must be valid there).
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, SIZE_T size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  void* get() const { return address_; }
  bool Write(const void* data, SIZE_T size) const {
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, address_, data, size, &done) && done == size;
  }
  bool Read(void* data, SIZE_T size) const {
    SIZE_T done = 0;
    return address_ && ReadProcessMemory(process_, address_, data, size, &done) && done == size;
  }
  void* release() { return std::exchange(address_, nullptr); }

 private:
  HANDLE process_;
  void* address_;
};

// The clipboard wants an owner window for SetClipboardData; a message-only window will do.
HWND ClipboardOwner() {
  static HWND owner = CreateWindowExW(0, L"STATIC", L"quillet-e2e-clipboard", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  return owner;
}

bool OpenClipboardRetrying() {
  return WaitUntil([] { return OpenClipboard(ClipboardOwner()) != FALSE; }, 2000);
}

bool SetClipboardText(const std::wstring& text) {
  if (!OpenClipboardRetrying()) return false;
  EmptyClipboard();
  bool ok = false;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (memory) {
    void* data = GlobalLock(memory);
    std::memcpy(data, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!ok) GlobalFree(memory);
  }
  CloseClipboard();
  return ok;
}

std::optional<std::wstring> ClipboardText() {
  if (!OpenClipboardRetrying()) return std::nullopt;
  std::optional<std::wstring> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = std::wstring(chars);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

std::optional<std::string> SingleQuotedArgument(const std::string& command_line) {
  size_t pos = 0;
  if (!command_line.empty() && command_line[0] == '"') {
    pos = command_line.find('"', 1);
    if (pos == std::string::npos) return std::nullopt;
    ++pos;
  } else {
    pos = command_line.find(' ');
    if (pos == std::string::npos) return std::nullopt;
  }
  while (pos < command_line.size() && command_line[pos] == ' ') ++pos;
  std::string rest = command_line.substr(pos);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r')) rest.pop_back();
  if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return std::nullopt;
  std::string inner = rest.substr(1, rest.size() - 2);
  if (inner.find('"') != std::string::npos) return std::nullopt;
  return inner;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() - start >= timeout_ms) return condition();
    Sleep(kPollMs);
  }
}

std::wstring ToWindowsPath(const std::string& build_path) {
  std::wstring path = Widen(build_path);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  // A Unix path from the cross build: Wine shows the Unix root as drive Z:.
  if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
  return path;
}

std::wstring QuilletExe() { return ToWindowsPath(QUILLET_EXE_PATH); }
std::wstring RecorderExe() { return ToWindowsPath(RECORDER_EXE_PATH); }

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  UniqueFile owner(file);
  std::string bytes;
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

IniKeys ParseSettings(const std::string& bytes) {
  std::string_view text = bytes;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  IniKeys keys;
  bool in_settings = false;
  for (std::string_view line : SplitLines(text)) {
    line = TrimControlAndBlanks(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      in_settings = EqualsIgnoreAsciiCase(TrimControlAndBlanks(line.substr(1, line.size() - 2)), "Settings");
      continue;
    }
    if (!in_settings) continue;
    size_t eq = line.find('=');
    std::string key(TrimControlAndBlanks(line.substr(0, eq)));
    std::string value = eq == std::string_view::npos ? "" : std::string(TrimControlAndBlanks(line.substr(eq + 1)));
    keys[key] = value;
  }
  return keys;
}

std::vector<Launch> ReadLaunches(const std::wstring& log_path) {
  std::vector<Launch> launches;
  std::string bytes = ReadFileBytes(log_path);
  for (std::string_view line : SplitLines(bytes)) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    Launch launch;
    launch.tick = std::stoull(std::string(line.substr(0, tab)));
    launch.command_line = std::string(line.substr(tab + 1));
    launch.argument = SingleQuotedArgument(launch.command_line);
    int count = 0;
    if (LPWSTR* argv = CommandLineToArgvW(Widen(launch.command_line).c_str(), &count)) {
      for (int i = 0; i < count; ++i) launch.arguments.push_back(Narrow(argv[i]));
      LocalFree(argv);
    }
    launches.push_back(std::move(launch));
  }
  return launches;
}

std::vector<RunningProcess> RunningProcesses() {
  std::vector<RunningProcess> processes;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return processes;
  UniqueFile owner(snapshot);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    processes.push_back({entry.th32ProcessID, entry.szExeFile});
  }
  return processes;
}

bool WaitForNoProcess(const wchar_t* exe_name, DWORD timeout_ms) {
  return WaitUntil([&] {
    const auto processes = RunningProcesses();
    if (processes.empty()) return false;
    for (const RunningProcess& process : processes) {
      if (lstrcmpiW(process.exe_name.c_str(), exe_name) == 0) return false;
    }
    return true;
  }, timeout_ms);
}

namespace {

std::wstring NumberedFolderName() {
  static std::atomic<int> counter{0};
  return L"quillet-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

}  // namespace

Program::Program() : Program(NumberedFolderName()) {}

Program::Program(const std::wstring& folder_name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  folder_ = std::wstring(temp) + folder_name + L"\\";
  RemoveTree(folder_);
  CreateDirectoryW(folder_.c_str(), nullptr);
  if (!CopyFileW(QuilletExe().c_str(), PathInFolder(L"quillet.exe").c_str(), FALSE)) {
    error_ = "could not copy " + Narrow(QuilletExe()) + " into " + Narrow(folder_);
  }
}

Program::Program(const ExistingCopy& existing) : folder_(existing.folder), ownsFolder_(false) {
  if (folder_.empty() || folder_.back() != L'\\') folder_ += L'\\';
  if (!FileExists(PathInFolder(L"quillet.exe"))) error_ = "no quillet.exe in " + Narrow(folder_);
}

Program::~Program() {
  Kill();
  if (ownsFolder_ && !GetEnvironmentVariableW(L"QUILLET_E2E_KEEP", nullptr, 0)) {
    // The program's last writes may still be settling right after it ends.
    WaitUntil([&] {
      RemoveTree(folder_);
      return !FileExists(folder_);
    }, 3000);
  }
}

std::wstring Program::InstallRecorder() {
  std::wstring path = PathInFolder(L"recorder.exe");
  if (!CopyFileW(RecorderExe().c_str(), path.c_str(), FALSE)) {
    error_ = "could not copy " + Narrow(RecorderExe());
  }
  // The program passes its environment on to what it starts.
  SetEnvironmentVariableW(L"QUILLET_RECORDER_LOG", RecorderLog().c_str());
  return path;
}

bool Program::Start(const std::vector<std::wstring>& arguments) {
  if (!error_.empty()) return false;
  Kill();
  // The update check at start and any feedback go to a closed port on this machine unless a
  // test names its own service: no test reaches out, and none waits for a missing network.
  if (GetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", nullptr, 0) == 0) {
    SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", L"127.0.0.1:9/quillet-e2e");
  }
  if (GetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", nullptr, 0) == 0) {
    SetEnvironmentVariableW(L"QUILLET_FEEDBACK_ADDRESS", L"127.0.0.1:9/quillet-e2e/feedback");
  }
  std::wstring exe = PathInFolder(L"quillet.exe");
  std::wstring command_line = L"\"" + exe + L"\"";
  for (const auto& argument : arguments) command_line += L" \"" + argument + L"\"";
  PROCESS_INFORMATION info = {};
  if (!StartProcess(exe.c_str(), command_line, folder_.c_str(), info)) {
    error_ = "CreateProcessW failed with error " + std::to_string(GetLastError());
    return false;
  }
  CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  pid_ = info.dwProcessId;
  main_ = nullptr;
  probe_.reset();
  bool up = WaitUntil([&] {
    main_ = FindWindowOfClass(QUILLET_MAIN_CLASS);
    return main_ != nullptr || !Running();
  });
  if (!up || !main_) {
    error_ = Running() ? "no visible main window within the time limit" : "the program ended at start";
    return false;
  }
  Sync();
  return true;
}

bool Program::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(DWORD timeout_ms) {
  return !process_ || WaitForSingleObject(process_.get(), timeout_ms) == WAIT_OBJECT_0;
}

void Program::Kill() {
  if (Running()) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), kWaitMs);
  }
}

std::vector<DWORD> Program::InstancesShowingAWindow() {
  std::vector<DWORD> pids;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* found = reinterpret_cast<std::vector<DWORD>*>(param);
        if (IsWindowVisible(window) && ClassOf(window) == QUILLET_MAIN_CLASS) {
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          found->push_back(pid);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&pids));
  return pids;
}

bool Program::AdoptOtherInstance(DWORD timeout_ms) {
  DWORD other = 0;
  if (!WaitUntil([&] {
        for (DWORD pid : InstancesShowingAWindow()) {
          if (pid != pid_) other = pid;
        }
        return other != 0;
      }, timeout_ms)) {
    return false;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                   PROCESS_VM_READ | PROCESS_VM_WRITE,
                               FALSE, other);
  if (!process) return false;
  process_.reset(process);
  pid_ = other;
  probe_.reset();
  main_ = FindWindowOfClass(QUILLET_MAIN_CLASS);
  Sync();
  return main_ != nullptr;
}

bool Program::Exit() {
  Command(IDM_EXIT1);
  return WaitForExit();
}

void Program::Sync() const {
  DWORD_PTR result = 0;
  if (main_) SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result);
}

HWND ChildById(HWND parent, int id) {
  FindControl find{id, nullptr};
  if (parent) EnumChildWindows(parent, FindControlProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND Program::Control(int id) const { return ChildById(main_, id); }

HWND Program::List() const { return Control(IDC_LISTBOX1); }

std::string Program::Text(HWND window) const { return WindowText(window); }

BOOL StartProcess(const wchar_t* exe, std::wstring& command_line, const wchar_t* folder,
                  PROCESS_INFORMATION& info) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  info = {};
  if (CreateProcessW(exe, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info)) {
    return TRUE;
  }
  if (GetLastError() != ERROR_INTERNAL_ERROR) return FALSE;
  std::printf("[ WINE RETRY ] CreateProcessW answered error 1359 (internal error) for %s; starting it once more\n",
              Narrow(command_line).c_str());
  std::fflush(stdout);
  return CreateProcessW(exe, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info);
}

std::wstring EnvironmentText(const wchar_t* name) {
  const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0) return {};
  std::wstring value(length, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), length));
  return value;
}

std::string WindowText(HWND window) {
  if (!window) return {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kWaitMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                      kWaitMs, &copied);
  text.resize(copied);
  return Narrow(text);
}

void Program::SetText(int id, const std::string& text) const { SetText(Control(id), text); }

void Program::SetText(HWND window, const std::string& text) const {
  std::wstring wide = Widen(text);
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool Program::ButtonChecked(int id) const {
  return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Program::Click(int id) const { SendMessageW(Control(id), BM_CLICK, 0, 0); }

void Program::PostClick(int id) const { PostClick(Control(id)); }

void Program::PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void Program::Command(int command_id) const {
  PostMessageW(main_, WM_COMMAND, MAKEWPARAM(command_id, 0), 0);
}

void Program::PressKey(HWND target, WORD virtual_key) { quillet::testing::PostKeyPress(target, virtual_key); }

HWND Program::Focused() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(main_, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void Program::MovePointerTo(HWND window) const {
  // Tooltips and hot tracking answer the pointer only over the active window, which a newly
  // started program on a busy machine may not be yet.
  SetForegroundWindow(main_);
  WaitUntil([&] { return GetForegroundWindow() == main_; }, 2000);
  RECT rect = {};
  GetWindowRect(window, &rect);
  SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

void Program::ClickWithPointer(HWND window) const {
  SetForegroundWindow(main_);
  WaitUntil([&] { return GetForegroundWindow() == main_; }, 2000);
  RECT rect = {};
  GetWindowRect(window, &rect);
  // Absolute coordinates run from 0 to 65535 across the primary screen.
  const LONG x = ((rect.left + rect.right) / 2 * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) /
                 (GetSystemMetrics(SM_CXSCREEN) - 1);
  const LONG y = ((rect.top + rect.bottom) / 2 * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) /
                 (GetSystemMetrics(SM_CYSCREEN) - 1);
  INPUT events[3] = {};
  for (INPUT& event : events) {
    event.type = INPUT_MOUSE;
    event.mi.dx = x;
    event.mi.dy = y;
  }
  events[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  events[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  events[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInput(3, events, sizeof(INPUT));
}

void Program::PressRealKey(WORD virtual_key) const {
  if (GetForegroundWindow() != main_) {
    SetForegroundWindow(main_);
    WaitUntil([&] { return GetForegroundWindow() == main_; }, 2000);
  }
  SendRealKeyPress(virtual_key);
}

void SendRealKeyPress(WORD virtual_key) {
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = virtual_key;
  keys[0].ki.wScan = keys[1].ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

std::vector<std::string> Program::Entries() const {
  // A marker on the clipboard shows whether the program's copy has replaced it.
  const std::wstring marker = L"\x1Fquillet-e2e-marker\x1F";
  std::vector<std::string> entries;
  if (!SetClipboardText(marker)) return {"<clipboard not writable>"};
  // Sent, not posted, and the clipboard read only once the copy is done: the program gives
  // another holder of the clipboard a moment only, and a test looking at the clipboard again
  // and again meanwhile could hold it through every one of the program's tries.
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(main_, WM_COMMAND, MAKEWPARAM(IDM_COPY1, 0), 0, SMTO_NORMAL, kWaitMs, &result)) {
    return {"<the program did not answer the copy>"};
  }
  const std::optional<std::wstring> text = ClipboardText();
  if (!text || *text == marker) return {"<the list was not copied>"};
  std::string all = Narrow(*text);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) {
      entries.push_back(all.substr(start) + "<no CR LF at the end>");
      break;
    }
    entries.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return entries;
}

bool Program::Paste(const std::string& text, int expected_count) const {
  if (!SetClipboardText(Widen(text))) return false;
  Command(IDM_PASTE1);
  return WaitUntil([&] { return ItemCount() == expected_count; });
}

int Program::ItemCount() const { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }

bool Program::Checked(int index) const {
  auto state = static_cast<UINT>(SendMessageW(List(), LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK));
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

int Program::Selected() const {
  return static_cast<int>(SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Program::Select(int index) const {
  LVITEMW item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  RemoteMemory remote(process_.get(), sizeof item);
  if (remote.Write(&item, sizeof item)) {
    SendMessageW(List(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remote.get()));
  }
}

bool Program::ToggleCheck(int index) const {
  Select(index);
  const bool before = Checked(index);
  HWND list = List();
  PostMessageW(list, WM_KEYDOWN, VK_SPACE, 0x00390001);
  PostMessageW(list, WM_CHAR, L' ', 0x00390001);
  PostMessageW(list, WM_KEYUP, VK_SPACE, 0xC0390001);
  return WaitUntil([&] { return Checked(index) != before; });
}

bool Program::DropFiles(const std::vector<std::string>& paths, HWND target) const {
  // What Explorer hands over: a DROPFILES header followed by the names, each ending with a
  // NUL, and one more NUL at the end. The block is made in the program's own memory, which
  // its DragQueryFileW can read like the global memory block the shell would give it.
  std::wstring names;
  for (const auto& path : paths) {
    names += Widen(path);
    names.push_back(L'\0');
  }
  names.push_back(L'\0');
  std::string block(sizeof(DROPFILES) + names.size() * sizeof(wchar_t), '\0');
  DROPFILES header = {};
  header.pFiles = sizeof(DROPFILES);
  header.pt = {20, 20};
  header.fNC = FALSE;
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
  RemoteMemory remote(process_.get(), block.size());
  if (!remote.Write(block.data(), block.size())) return false;
  // The program releases the drop with DragFinish; the block is its own from here on.
  void* handle = remote.release();
  return PostMessageW(target ? target : List(), WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0) != FALSE;
}

bool Program::IsTopmost() const {
  return (GetWindowLongW(main_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

HWND Program::FindWindowOfClass(const wchar_t* class_name, const std::string* caption) const {
  FindTopLevel find{pid_, class_name, caption, nullptr};
  EnumWindows(FindTopLevelProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND Program::WaitForWindow(const wchar_t* class_name, DWORD timeout_ms) const {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindWindowOfClass(class_name);
    return found != nullptr;
  }, timeout_ms);
  return found;
}

bool Program::AnyMessageBox() const { return FindWindowOfClass(L"#32770") != nullptr; }

std::optional<MessageBoxInfo> Program::WaitForMessageBox(DWORD timeout_ms) const {
  HWND box = WaitForWindow(L"#32770", timeout_ms);
  if (!box) return std::nullopt;
  MessageBoxInfo info;
  info.window = box;
  info.caption = Text(box);
  // The message text is the static control with ID 0xFFFF in a standard message box.
  WaitUntil([&] {
    info.text = Text(GetDlgItem(box, 0xFFFF));
    return !info.text.empty();
  }, 2000);
  return info;
}

void Program::PressOk(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

std::wstring SaveScreenshot(HWND window, const std::string& name, bool repaint) {
  wchar_t dir[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(L"QUILLET_SCREENSHOT_DIR", dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !window) return {};
  std::wstring folder = ToWindowsPath(Narrow(dir));
  if (folder.back() != L'\\') folder += L'\\';
  CreateDirectoryW(folder.c_str(), nullptr);

  SetForegroundWindow(window);
  if (repaint) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored);

  RECT rect = {};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return {};

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD image_size = stride * static_cast<DWORD>(height);

  BITMAPFILEHEADER file_header = {};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file_header.bfSize = file_header.bfOffBits + image_size;
  std::string bytes(reinterpret_cast<const char*>(&file_header), sizeof file_header);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  bytes.append(static_cast<const char*>(bits), image_size);

  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  std::wstring path = folder + Widen(name) + L".bmp";
  WriteFileBytes(path, bytes);
  return path;
}

std::vector<HWND> LicenseNotepads() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        wchar_t name[32] = {}, caption[256] = {};
        GetClassNameW(window, name, 32);
        GetWindowTextW(window, caption, 256);
        if (std::wstring(name) == L"Notepad" && IsWindowVisible(window) &&
            AsciiLower(Narrow(caption)).find("license") != std::string::npos) {
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void CloseLicenseNotepads() {
  for (HWND notepad : LicenseNotepads()) {
    DWORD pid = 0;
    GetWindowThreadProcessId(notepad, &pid);
    PostMessageW(notepad, WM_CLOSE, 0, 0);
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid)) {
      if (WaitForSingleObject(process, kWaitMs) != WAIT_OBJECT_0) TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
}

std::optional<std::string> WaitForLicenseInNotepad() {
  HWND notepad = nullptr;
  if (!WaitUntil([&] {
        const auto found = LicenseNotepads();
        notepad = found.empty() ? nullptr : found[0];
        return notepad != nullptr;
      })) {
    return std::nullopt;
  }
  std::string shown;
  WaitUntil([&] {
    shown = WindowText(FindWindowExW(notepad, nullptr, L"Edit", nullptr));
    return !shown.empty();
  });
  return shown;
}

std::string LicenseFileText(const std::wstring& path) {
  std::string text = ReadFileBytes(path);
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return text;
}

}  // namespace quillet::e2e
