#include "list/opening_run.h"

#include <algorithm>

#include "util/text.h"

namespace quillet {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

LaunchRequest PlanLaunch(EntryClass entryClass, const std::string& text, const RunOptions& options) {
  LaunchRequest request;
  if (!options.useDefaultProgram) {
    // The named program gets every entry, whatever it is, as its one quoted argument, read
    // back the Windows way (a folder's final backslash must not swallow the closing quote).
    request.file = options.program;
    request.parameters = QuoteArgument(text);
    return request;
  }
  switch (entryClass) {
    case EntryClass::WebAddress:
      // The shell picks the browser; the desktop as owner and SW_HIDE keep the program's
      // own window out of the way.
      request.owner = LaunchOwner::DesktopWindow;
      request.file = text;
      request.show = kShowHide;
      break;
    case EntryClass::Folder:
      // Explorer reads its quoted folder literally, backslash before the quote included.
      request.file = "explorer.exe";
      request.parameters = Quote(text);
      break;
    case EntryClass::Other:
      request.file = text;
      break;
  }
  return request;
}

long long WaitAfter(long long waitMs, std::size_t index, std::size_t count) {
  return (waitMs > 0 && index + 1 < count) ? waitMs : 0;
}

long long ParseWait(const std::string& text) {
  long long value = 0;
  return ParseInteger(TrimBlanks(text), value) ? value : 0;
}

RunEnd RunOpening(ItemList& list, RunEnvironment& environment) {
  RunProgressCount count(list);
  RunProgress shown;
  bool anyShown = false;
  auto show = [&](std::size_t next, bool waiting) {
    RunProgress now = count.At(next);
    now.waiting = waiting;
    if (anyShown && now == shown) return;
    shown = now;
    anyShown = true;
    environment.ProgressChanged(now);
  };
  show(0, false);
  // The count is read again for every entry: a wait runs message handlers, and the user
  // may add, remove or move entries in the middle of a run.
  for (std::size_t i = 0; i < list.Count(); ++i) {
    if (environment.StopRequested()) return RunEnd::Stopped;
    show(i, false);
    const Entry entry = list.At(i);
    list.Select(static_cast<std::ptrdiff_t>(i));
    environment.EntrySelected(i);
    if (!OpensInRun(entry)) continue;

    const RunOptions options = environment.Options();
    const EntryClass entryClass = Classify(entry.text, environment.Probe());
    environment.Launch(PlanLaunch(entryClass, entry.text, options));
    count.Opened();

    const long long wait = WaitAfter(options.waitMs, i, list.Count());
    show(i + 1, wait > 0);
    if (wait > 0) environment.Wait(wait);
  }
  return RunEnd::Finished;
}

}  // namespace quillet
