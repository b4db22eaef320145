/* The questions program_probe.dll answers inside the running program (see program_probe.c). */
#pragma once

#define PROBE_MESSAGE_NAME L"Quillet.EndToEnd.Probe"
#define PROBE_MENU_STATE 1  /* lParam: a menu command; GetMenuState of the window's menu */
#define PROBE_TIMER_TICKS 2 /* lParam: a timer of the window; ticks taken since the hook came */
