/* recorder.exe: a stand-in program for the end-to-end tests. Every start appends one line to
 * a log: the tick count (GetTickCount64) of the moment the process was created, a tab, and the
 * raw command line as UTF-8. The tests
 * name it as the program of named-program mode and read the log to see which entries were
 * opened, in which order, how they were quoted and how far apart they came.
 *
 * The log is the file named by QUILLET_RECORDER_LOG, else recorder.log beside this program.
 * It is a GUI-subsystem program that opens no window, so no console appears under Wine. */
#include <windows.h>

static int Utf8(const wchar_t* text, int chars, char* out, int out_size) {
  return WideCharToMultiByte(CP_UTF8, 0, text, chars, out, out_size, NULL, NULL);
}

/* The tick count of this process's creation: now, less the age of the process. The creation is
 * the moment the launching program's CreateProcess ran; how long this program then takes to
 * be loaded and scheduled varies with the machine's load and would blur the gaps between
 * launches that the tests compare. */
static ULONGLONG CreationTick(void) {
  ULONGLONG now_tick = GetTickCount64();
  FILETIME creation, exit_time, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit_time, &kernel, &user)) return now_tick;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER c, n;
  c.LowPart = creation.dwLowDateTime;
  c.HighPart = creation.dwHighDateTime;
  n.LowPart = now.dwLowDateTime;
  n.HighPart = now.dwHighDateTime;
  if (n.QuadPart < c.QuadPart) return now_tick;
  ULONGLONG age_ms = (n.QuadPart - c.QuadPart) / 10000;
  return age_ms < now_tick ? now_tick - age_ms : now_tick;
}

static void LogPath(wchar_t* path, DWORD size) {
  DWORD n = GetEnvironmentVariableW(L"QUILLET_RECORDER_LOG", path, size);
  if (n > 0 && n < size) return;
  n = GetModuleFileNameW(NULL, path, size);
  if (n == 0 || n >= size) {
    lstrcpyW(path, L"recorder.log");
    return;
  }
  wchar_t* slash = path + n;
  while (slash > path && slash[-1] != L'\\' && slash[-1] != L'/') --slash;
  if ((DWORD)(slash - path) + 13 > size) {
    lstrcpyW(path, L"recorder.log");
    return;
  }
  lstrcpyW(slash, L"recorder.log");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  ULONGLONG tick = CreationTick();
  const wchar_t* raw = GetCommandLineW();

  char prefix[32];
  int prefix_len = wsprintfA(prefix, "%I64u\t", tick);
  int raw_len = lstrlenW(raw);
  int utf8_len = raw_len ? Utf8(raw, raw_len, NULL, 0) : 0;
  int total = prefix_len + utf8_len + 1;
  char* line = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)total);
  if (!line) return 1;
  CopyMemory(line, prefix, (SIZE_T)prefix_len);
  if (utf8_len) Utf8(raw, raw_len, line + prefix_len, utf8_len);
  line[total - 1] = '\n';

  wchar_t path[MAX_PATH * 2];
  LogPath(path, sizeof path / sizeof path[0]);

  /* Starts that come close together may find the log open by the previous one: retry briefly
   * rather than lose a line. FILE_APPEND_DATA keeps each write at the end of the file. */
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 200; ++attempt) {
    file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
    Sleep(10);
  }
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  BOOL ok = WriteFile(file, line, (DWORD)total, &written, NULL);
  CloseHandle(file);
  HeapFree(GetProcessHeap(), 0, line);
  return ok && written == (DWORD)total ? 0 : 3;
}
