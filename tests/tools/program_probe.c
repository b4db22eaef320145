/* program_probe.dll: what the end-to-end tests can only learn from inside the running program.
 * The driver hooks the program's window thread with the two hook procedures below; the system
 * then loads this library into the program's process and calls them there.
 *
 * - Menus belong to their process: Wine answers GetMenuState for another process's menu with
 *   nothing at all. Asked by the probe message, this library reads the window's own menu.
 * - A timer tick that writes nothing is invisible from outside. This library counts the
 *   WM_TIMER messages the thread takes out of its queue, per window and timer, so a test can
 *   wait for ticks to have passed instead of sleeping for as long as they might take.
 *
 * A question is the registered message PROBE_MESSAGE_NAME, sent to a window of the program:
 * wParam the question (PROBE_MENU_STATE or PROBE_TIMER_TICKS), lParam the menu command or the
 * timer. The answer has bit 32 set, so that 0 (a window procedure that knows no such message)
 * means "not answered"; its low 32 bits are GetMenuState's result or the count of ticks. */
#include <windows.h>

#include "program_probe.h"

#define MAX_TIMERS 64

/* The mark of an answer needs the 64-bit LRESULT of the 64-bit program. */
_Static_assert(sizeof(LRESULT) >= 8, "the answer's mark is bit 32 of LRESULT");

struct TimerCount {
  HWND window;
  UINT_PTR timer;
  LONG ticks;
};

/* Touched only on the hooked thread: both hooks run there. */
static struct TimerCount counts[MAX_TIMERS];
static int count_used;
static UINT probe_message;

static struct TimerCount* CountOf(HWND window, UINT_PTR timer, BOOL add) {
  for (int i = 0; i < count_used; ++i) {
    if (counts[i].window == window && counts[i].timer == timer) return &counts[i];
  }
  if (!add || count_used == MAX_TIMERS) return NULL;
  counts[count_used].window = window;
  counts[count_used].timer = timer;
  counts[count_used].ticks = 0;
  return &counts[count_used++];
}

static UINT ProbeMessage(void) {
  if (!probe_message) probe_message = RegisterWindowMessageW(PROBE_MESSAGE_NAME);
  return probe_message;
}

__declspec(dllexport) LRESULT CALLBACK ProbeGetMessage(int code, WPARAM removed, LPARAM param) {
  const MSG* message = (const MSG*)param;
  /* A message only looked at (PM_NOREMOVE) comes back later and is counted then. */
  if (code == HC_ACTION && removed == PM_REMOVE && message->message == WM_TIMER && message->hwnd) {
    struct TimerCount* count = CountOf(message->hwnd, message->wParam, TRUE);
    if (count) ++count->ticks;
  }
  return CallNextHookEx(NULL, code, removed, param);
}

__declspec(dllexport) LRESULT CALLBACK ProbeCallWndProc(int code, WPARAM sent_here, LPARAM param) {
  const CWPSTRUCT* call = (const CWPSTRUCT*)param;
  if (code == HC_ACTION && call->message == ProbeMessage()) {
    UINT value = 0;
    BOOL answered = TRUE;
    switch (call->wParam) {
      case PROBE_MENU_STATE: {
        HMENU menu = GetMenu(call->hwnd);
        value = menu ? GetMenuState(menu, (UINT)call->lParam, MF_BYCOMMAND) : (UINT)-1;
        break;
      }
      case PROBE_TIMER_TICKS: {
        const struct TimerCount* count = CountOf(call->hwnd, (UINT_PTR)call->lParam, FALSE);
        value = count ? (UINT)count->ticks : 0;
        break;
      }
      default: answered = FALSE; break;
    }
    /* The sender gets this answer; what the window procedure returns afterwards is dropped. */
    if (answered) ReplyMessage(((LRESULT)1 << 32) | value);
  }
  return CallNextHookEx(NULL, code, sent_here, param);
}
