#include "list/opening_run.h"
#include "util/responsive_wait.h"

#include <gtest/gtest.h>

#include <deque>

#include "fake_probe.h"

namespace quillet {

void PrintTo(const RunProgress& progress, std::ostream* out) {
  *out << progress.opened << "/" << progress.total << (progress.waiting ? " waiting" : "");
}
namespace {

using test::FakeProbe;

constexpr const char* kViewer = "C:\\Tools\\viewer.exe";

struct PlanCase {
  const char* name;
  EntryClass entryClass;
  bool useDefaultProgram;
  std::string text;
  LaunchRequest expected;
};

class PlanLaunchTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanLaunchTest, FillsEveryCellOfTheLaunchTable) {
  const PlanCase& c = GetParam();
  const RunOptions options{c.useDefaultProgram, kViewer, 0};
  EXPECT_EQ(PlanLaunch(c.entryClass, c.text, options), c.expected);
}

LaunchRequest Request(LaunchOwner owner, std::string file, std::optional<std::string> parameters, int show) {
  return LaunchRequest{owner, "open", std::move(file), std::move(parameters), show};
}

constexpr auto kDesktop = LaunchOwner::DesktopWindow;
constexpr auto kMain = LaunchOwner::MainWindow;

INSTANTIATE_TEST_SUITE_P(
    Cells, PlanLaunchTest,
    testing::Values(
        PlanCase{"WebDefault", EntryClass::WebAddress, true, "http://example.com/a b",
                 Request(kDesktop, "http://example.com/a b", std::nullopt, kShowHide)},
        PlanCase{"WebMixedCaseDefaultUnchanged", EntryClass::WebAddress, true, "HtTpS://Example.COM",
                 Request(kDesktop, "HtTpS://Example.COM", std::nullopt, kShowHide)},
        PlanCase{"WebRelativeHttpfooDefault", EntryClass::WebAddress, true, "httpfoo",
                 Request(kDesktop, "httpfoo", std::nullopt, kShowHide)},
        PlanCase{"WebNamed", EntryClass::WebAddress, false, "http://example.com",
                 Request(kMain, kViewer, "\"http://example.com\"", kShowNormal)},
        PlanCase{"FolderDefault", EntryClass::Folder, true, "C:\\Data",
                 Request(kMain, "explorer.exe", "\"C:\\Data\"", kShowNormal)},
        PlanCase{"FolderTrailingBlankInsideQuotes", EntryClass::Folder, true, "C:\\Data ",
                 Request(kMain, "explorer.exe", "\"C:\\Data \"", kShowNormal)},
        PlanCase{"NetworkFolderDefault", EntryClass::Folder, true, "\\\\server\\share\\dir",
                 Request(kMain, "explorer.exe", "\"\\\\server\\share\\dir\"", kShowNormal)},
        // The named program reads its argument the Windows way: a backslash right before the
        // closing quote would escape it, so the final backslashes are doubled.
        PlanCase{"FolderNamedFinalBackslashDoubled", EntryClass::Folder, false, "C:\\Data\\",
                 Request(kMain, kViewer, "\"C:\\Data\\\\\"", kShowNormal)},
        PlanCase{"NetworkShareNamedEveryFinalBackslashDoubled", EntryClass::Folder, false, "\\\\srv\\share\\\\",
                 Request(kMain, kViewer, "\"\\\\srv\\share\\\\\\\\\"", kShowNormal)},
        PlanCase{"InnerBackslashesAndBlanksKept", EntryClass::Other, false, "C:\\a b\\c.txt ",
                 Request(kMain, kViewer, "\"C:\\a b\\c.txt \"", kShowNormal)},
        // Explorer reads its folder literally: its quoted folder keeps the one backslash.
        PlanCase{"FolderDefaultFinalBackslashKept", EntryClass::Folder, true, "C:\\Data\\",
                 Request(kMain, "explorer.exe", "\"C:\\Data\\\"", kShowNormal)},
        PlanCase{"OtherDefault", EntryClass::Other, true, "C:\\a b.txt",
                 Request(kMain, "C:\\a b.txt", std::nullopt, kShowNormal)},
        PlanCase{"NetworkFileDefaultUnchanged", EntryClass::Other, true, "\\\\server\\share\\file.txt",
                 Request(kMain, "\\\\server\\share\\file.txt", std::nullopt, kShowNormal)},
        PlanCase{"OtherNamed", EntryClass::Other, false, "C:\\a b.txt",
                 Request(kMain, kViewer, "\"C:\\a b.txt\"", kShowNormal)},
        PlanCase{"QuotesInsideAreNotEscaped", EntryClass::Other, false, "say \"hi\"",
                 Request(kMain, kViewer, "\"say \"hi\"\"", kShowNormal)}),
    [](const testing::TestParamInfo<PlanCase>& p) { return p.param.name; });

TEST(PlanLaunchTest, NamedModeWithAnEmptyProgramStillPlansTheLaunch) {
  const RunOptions options{false, "", 0};
  EXPECT_EQ(PlanLaunch(EntryClass::Other, "a", options), Request(kMain, "", "\"a\"", kShowNormal));
}

TEST(WaitRuleTest, WaitsOnlyWhenPositiveAndAnotherEntryFollows) {
  struct Case {
    long long waitMs;
    std::size_t index, count;
    long long expected;
  };
  const Case cases[] = {
      {500, 0, 3, 500}, {500, 1, 3, 500}, {500, 2, 3, 0}, {500, 2, 4, 500},
      {0, 0, 3, 0},     {-1, 0, 3, 0},    {-500, 0, 3, 0}, {1, 0, 1, 0},
      {500, 5, 3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WaitAfter(c.waitMs, c.index, c.count), c.expected) << c.waitMs << " " << c.index << "/" << c.count;
  }
}

TEST(WaitRuleTest, AWaitTextThatIsNotANumberCountsAsZero) {
  const std::pair<const char*, long long> cases[] = {
      {"500", 500}, {"-20", -20}, {"0", 0}, {"", 0}, {"abc", 0}, {"5s", 0}, {"1e3", 0}, {" 7 ", 7},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseWait(text), expected) << text;
}

// Records what a run does, in order, and lets a test act in the middle of a wait as the
// user could.
class FakeEnvironment : public RunEnvironment {
 public:
  RunOptions options{true, kViewer, 0};
  FakeProbe probe;
  std::vector<std::string> events;
  std::vector<LaunchRequest> launches;
  std::deque<std::function<void()>> duringWaits;  // one action per wait, in order

  RunOptions Options() override { return options; }
  FolderProbe& Probe() override { return probe; }
  void Launch(const LaunchRequest& request) override {
    launches.push_back(request);
    events.push_back("open " + request.file + (request.parameters ? " " + *request.parameters : ""));
  }
  void Wait(long long milliseconds) override {
    events.push_back("wait " + std::to_string(milliseconds));
    if (!duringWaits.empty()) {
      const auto action = duringWaits.front();
      duringWaits.pop_front();
      action();
    }
  }
  void EntrySelected(std::size_t index) override { events.push_back("select " + std::to_string(index)); }

  std::function<bool()> stop = [] { return false; };  // asked before every entry
  std::vector<RunProgress> progress;
  bool StopRequested() override { return stop(); }
  void ProgressChanged(const RunProgress& now) override { progress.push_back(now); }
};

using Events = std::vector<std::string>;

ItemList List(std::vector<Entry> entries) {
  ItemList list;
  for (Entry& entry : entries) list.Ekle(std::move(entry.text), entry.checked);
  return list;
}

// Only the launches and waits, which is what the user sees of a run.
Events Actions(const Events& events) {
  Events actions;
  for (const std::string& event : events) {
    if (event.rfind("select", 0) != 0) actions.push_back(event);
  }
  return actions;
}

TEST(RunOpeningTest, WaitRuleOverWholeRuns) {
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    long long waitMs;
    Events actions;
  };
  const Case cases[] = {
      {"ThreeCheckedWaitTwice", {{"a", true}, {"b", true}, {"c", true}}, 500,
       {"open a", "wait 500", "open b", "wait 500", "open c"}},
      {"TrailingUncheckedAddsAThirdWait", {{"a", true}, {"b", true}, {"c", true}, {"d", false}}, 500,
       {"open a", "wait 500", "open b", "wait 500", "open c", "wait 500"}},
      {"ZeroWaitNeverWaits", {{"a", true}, {"b", true}, {"c", true}}, 0, {"open a", "open b", "open c"}},
      {"NegativeWaitNeverWaits", {{"a", true}, {"b", true}}, -500, {"open a", "open b"}},
      {"NonNumericWaitNeverWaits", {{"a", true}, {"b", true}}, ParseWait("abc"), {"open a", "open b"}},
      {"SkippedEntriesAreNotFollowedByAWait", {{"a", false}, {"   ", true}, {"", true}, {"b", true}}, 100,
       {"open b"}},
      {"BlankEntryBetweenTwoLaunches", {{"a", true}, {"  ", true}, {"b", true}}, 100,
       {"open a", "wait 100", "open b"}},
      {"AllUncheckedOpensNothing", {{"a", false}, {"b", false}}, 100, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList list = List(c.entries);
    FakeEnvironment environment;
    environment.options.waitMs = c.waitMs;
    RunOpening(list, environment);
    EXPECT_EQ(Actions(environment.events), c.actions);
    // The selection walks down to the last entry, skipped ones included.
    EXPECT_EQ(list.Current(), static_cast<std::ptrdiff_t>(list.Count()) - 1);
  }
}

TEST(RunOpeningTest, EverySkippedEntryIsStillSelected) {
  ItemList list = List({{"a", false}, {"  ", true}, {"b", true}});
  FakeEnvironment environment;
  RunOpening(list, environment);
  EXPECT_EQ(environment.events, (Events{"select 0", "select 1", "select 2", "open b"}));
}

TEST(RunOpeningTest, ClassifiesEachEntryWithTheUntrimmedText) {
  ItemList list = List({{"HTTP://Example.com", true}, {"C:\\Data ", true}, {"C:\\a b.txt", true}});
  FakeEnvironment environment;
  environment.probe.AddFolder("C:\\Data ");
  RunOpening(list, environment);
  ASSERT_EQ(environment.launches.size(), 3u);
  EXPECT_EQ(environment.launches[0], Request(kDesktop, "HTTP://Example.com", std::nullopt, kShowHide));
  EXPECT_EQ(environment.launches[1], Request(kMain, "explorer.exe", "\"C:\\Data \"", kShowNormal));
  EXPECT_EQ(environment.launches[2], Request(kMain, "C:\\a b.txt", std::nullopt, kShowNormal));
}

TEST(RunOpeningTest, ListEditedDuringAWaitChangesWhatIsOpenedNext) {
  struct Case {
    const char* name;
    std::function<void(ItemList&)> edit;  // runs during the first wait
    Events actions;
  };
  const Case cases[] = {
      // An entry inserted above the current one pushes the opened entry down: it comes again.
      {"InsertedAbove",
       [](ItemList& l) {
         l.Ekle("x", true);
         l.Select(static_cast<std::ptrdiff_t>(l.Count()) - 1);
         l.MoveTop();
       },
       {"open a", "wait 500", "open a", "wait 500", "open b", "wait 500", "open c"}},
      // Removing the opened entry pulls the next one up, past the run's index.
      {"RemovedAbove",
       [](ItemList& l) {
         l.Select(0);
         l.RemoveSelected();
       },
       {"open a", "wait 500", "open c"}},
      // A removal can also take away the wait after what is now the last entry.
      {"RemovedBelow",
       [](ItemList& l) {
         l.Select(2);
         l.RemoveSelected();
       },
       {"open a", "wait 500", "open b"}},
      {"Appended",
       [](ItemList& l) { l.Ekle("d", true); },
       {"open a", "wait 500", "open b", "wait 500", "open c", "wait 500", "open d"}},
      {"Emptied", [](ItemList& l) { l.RemoveAll(); }, {"open a", "wait 500"}},
      {"NextUnchecked", [](ItemList& l) { l.SetChecked(1, false); },
       {"open a", "wait 500", "open c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList list = List({{"a", true}, {"b", true}, {"c", true}});
    FakeEnvironment environment;
    environment.options.waitMs = 500;
    environment.duringWaits.push_back([&] { c.edit(list); });
    RunOpening(list, environment);
    EXPECT_EQ(Actions(environment.events), c.actions);
  }
}

TEST(RunOpeningTest, OptionsChangedDuringAWaitApplyToTheFollowingEntries) {
  ItemList list = List({{"a", true}, {"b", true}, {"c", true}, {"d", true}});
  FakeEnvironment environment;
  environment.options.waitMs = 100;
  environment.duringWaits.push_back([&] { environment.options.useDefaultProgram = false; });
  environment.duringWaits.push_back([&] { environment.options.waitMs = 0; });
  RunOpening(list, environment);
  const std::string viewer = std::string("open ") + kViewer;
  EXPECT_EQ(Actions(environment.events),
            (Events{"open a", "wait 100", viewer + " \"b\"", "wait 100", viewer + " \"c\"", viewer + " \"d\""}));
}

// A tick counter and a message queue scripted per wait: each call of waitForInput lets
// `takes` milliseconds pass and answers whether messages arrived.
struct FakeClock {
  std::uint32_t now = 0;
  struct Step {
    std::uint32_t takes;
    bool messages;
  };
  std::deque<Step> steps;
  std::vector<std::uint32_t> timeouts;
  int pumps = 0;
  std::uint32_t pumpTakes = 0;
  int endAfterPump = 0;  // the pump after which the wait is asked to end (0: never)

  void Sleep(long long milliseconds) {
    SleepWithoutFreezeLoop(
        milliseconds, [this] { return now; },
        [this](std::uint32_t timeout) {
          EXPECT_LT(timeout, 0xFFFFFFFFu) << "would wait forever";
          timeouts.push_back(timeout);
          if (steps.empty()) {  // no messages: the full timeout passes
            now += timeout;
            return false;
          }
          const Step step = steps.front();
          steps.pop_front();
          now += step.takes;
          return step.messages;
        },
        [this] {
          ++pumps;
          now += pumpTakes;
        },
        [this] { return endAfterPump != 0 && pumps >= endAfterPump; });
  }
};

// Esc asks the window to stop; the run looks before every entry and after every wait.
TEST(RunOpeningTest, AStopEndsTheRunBeforeItsNextEntry) {
  struct Case {
    const char* name;
    long long waitMs;
    int stopAtAsk;  // the StopRequested call (1 = before the first entry) that first says yes; 0: never
    bool stopDuringFirstWait;
    Events actions;
    RunEnd end;
  };
  const Case cases[] = {
      {"NeverAsked", 0, 0, false, {"open a", "open b", "open c"}, RunEnd::Finished},
      {"BeforeTheFirstEntry", 0, 1, false, {}, RunEnd::Stopped},
      {"BetweenEntriesWithoutWaits", 0, 3, false, {"open a", "open b"}, RunEnd::Stopped},
      {"DuringAWait", 500, 0, true, {"open a", "wait 500"}, RunEnd::Stopped},
      // A stop asked once the last entry is open changes nothing: there is no next entry.
      {"AfterTheLastEntry", 0, 4, false, {"open a", "open b", "open c"}, RunEnd::Finished},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList list = List({{"a", true}, {"b", true}, {"c", true}});
    FakeEnvironment environment;
    environment.options.waitMs = c.waitMs;
    int asks = 0;
    bool stopAsked = false;
    environment.stop = [&] { return stopAsked || (c.stopAtAsk != 0 && ++asks >= c.stopAtAsk); };
    if (c.stopDuringFirstWait) environment.duringWaits.push_back([&] { stopAsked = true; });
    EXPECT_EQ(RunOpening(list, environment), c.end);
    EXPECT_EQ(Actions(environment.events), c.actions);
  }
}

// The status bar and the taskbar follow the run: opened so far out of the checked, non-blank
// entries, "waiting" during a wait, and the count taken again when the list changes meanwhile.
TEST(RunOpeningTest, ProgressCountsTheEntriesTheRunOpens) {
  using P = RunProgress;
  struct Case {
    const char* name;
    std::function<void(ItemList&)> edit;  // during the first wait
    std::vector<P> progress;
  };
  const Case cases[] = {
      {"Unchanged", [](ItemList&) {},
       {P{0, 3, false}, P{1, 3, true}, P{1, 3, false}, P{2, 3, true}, P{2, 3, false}, P{3, 3, false}}},
      {"AppendedDuringAWait", [](ItemList& l) { l.Ekle("e", true); },
       {P{0, 3, false}, P{1, 3, true}, P{1, 4, false}, P{2, 4, true}, P{2, 4, false}, P{3, 4, true},
        P{3, 4, false}, P{4, 4, false}}},
      {"NextUncheckedDuringAWait", [](ItemList& l) { l.SetChecked(3, false); },
       {P{0, 3, false}, P{1, 3, true}, P{1, 2, false}, P{2, 2, false}}},
      {"EmptiedDuringAWait", [](ItemList& l) { l.RemoveAll(); }, {P{0, 3, false}, P{1, 3, true}}},
      // The opened entry moves below the run and comes again: it counts twice, as it opens twice.
      {"OpenedEntryMovedDown",
       [](ItemList& l) {
         l.Select(0);
         l.MoveDown();
       },
       {P{0, 3, false}, P{1, 3, true}, P{1, 4, false}, P{2, 4, true}, P{2, 4, false}, P{3, 4, true},
        P{3, 4, false}, P{4, 4, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Unchecked and blank entries are passed over and never counted.
    ItemList list = List({{"a", true}, {"b", false}, {"  ", true}, {"c", true}, {"d", true}});
    FakeEnvironment environment;
    environment.options.waitMs = 500;
    environment.duringWaits.push_back([&] { c.edit(list); });
    RunOpening(list, environment);
    EXPECT_EQ(environment.progress, c.progress);
  }
}

// The first count shows at once; later ones at most once per interval, the latest of those in
// between held until the interval is over.
TEST(ProgressPacerTest, ShowsAtMostOncePerIntervalAndHoldsTheLatestCount) {
  ProgressPacer pacer(500);
  EXPECT_TRUE(pacer.Offer(RunProgress{0, 9, false}, 1000));
  EXPECT_FALSE(pacer.Holding());
  EXPECT_FALSE(pacer.Offer(RunProgress{1, 9, false}, 1100));
  EXPECT_FALSE(pacer.Offer(RunProgress{2, 9, true}, 1499));
  ASSERT_TRUE(pacer.Holding());
  EXPECT_EQ(pacer.Due(), 1500u);
  EXPECT_EQ(pacer.TakeHeld(1500), (RunProgress{2, 9, true}));
  EXPECT_FALSE(pacer.Holding());
  // The interval runs from the held count's showing.
  EXPECT_FALSE(pacer.Offer(RunProgress{3, 9, false}, 1999));
  EXPECT_TRUE(pacer.Offer(RunProgress{4, 9, false}, 2000));
  EXPECT_FALSE(pacer.Holding());
}

TEST(RunOpeningTest, ProgressTextNamesTheCountTheWaitAndTheWayToStop) {
  EXPECT_EQ(RunProgressText(RunProgress{3, 10, false}), "正在打开 3 / 10  按 Esc 停止");
  EXPECT_EQ(RunProgressText(RunProgress{0, 1, true}), "正在打开 0 / 1 (等待中)  按 Esc 停止");
}

TEST(SleepWithoutFreezeTest, SleepsAgainForTheRestAfterEveryMessage) {
  struct Case {
    const char* name;
    long long milliseconds;
    std::uint32_t start;
    std::vector<FakeClock::Step> steps;
    std::uint32_t pumpTakes;
    std::vector<std::uint32_t> timeouts;
    int pumps;
    int endAfterPump = 0;
  };
  const Case cases[] = {
      {"QuietWait", 500, 1000, {}, 0, {500}, 0},
      {"TwoMessagesThenTimeout", 500, 1000, {{100, true}, {150, true}}, 0, {500, 400, 250}, 2},
      {"MessagesUntilTheTimeIsUp", 100, 0, {{60, true}, {60, true}}, 0, {100, 40}, 2},
      {"PumpingTakesTime", 100, 0, {{10, true}}, 200, {100}, 1},
      {"TickCounterWrapsAround", 500, 0xFFFFFFF0u, {{100, true}, {50, true}}, 0, {500, 400, 350}, 2},
      {"ZeroWait", 0, 0, {}, 0, {}, 0},
      {"NegativeWait", -5, 0, {}, 0, {}, 0},
      // A stop asked while handling a message ends the wait there, time left or not.
      {"EndedEarly", 500, 1000, {{100, true}, {50, true}, {50, true}}, 0, {500, 400}, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    clock.now = c.start;
    clock.steps.assign(c.steps.begin(), c.steps.end());
    clock.pumpTakes = c.pumpTakes;
    clock.endAfterPump = c.endAfterPump;
    clock.Sleep(c.milliseconds);
    EXPECT_EQ(clock.timeouts, c.timeouts);
    EXPECT_EQ(clock.pumps, c.pumps);
  }
}

TEST(SleepWithoutFreezeTest, HugeWaitsNeverPassTheInfiniteTimeout) {
  for (const long long milliseconds : {0xFFFFFFFFLL, 0x100000000LL, 1'000'000'000'000LL}) {
    FakeClock clock;
    clock.steps = {{1000, true}};
    clock.Sleep(milliseconds);
    ASSERT_EQ(clock.timeouts.size(), 2u);
    EXPECT_EQ(clock.timeouts[0], 0xFFFFFFFEu);
    EXPECT_LT(clock.timeouts[1], 0xFFFFFFFFu);
  }
}

}  // namespace
}  // namespace quillet
