// The opening run seen from outside: recorder.exe stands in for the named program and logs
// every start, which shows what was opened, in which order, how it was quoted and how far
// apart; and the auto-close countdown that may follow a run.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/control_ids.h"
#include "e2e/driver.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

// Long enough that the gaps stand out from the time a launch itself takes under Wine.
constexpr std::int64_t kWaitBetween = 1000;
// Under Wine the tick count moves in steps of about 16 ms, and the ticks compared here are
// read in different processes (the program measures its wait with the same coarse clock):
// differences are known to within this much.
constexpr std::int64_t kTickSlack = 50;

std::int64_t Between(std::uint64_t earlier, std::uint64_t later) {
  return static_cast<std::int64_t>(later) - static_cast<std::int64_t>(earlier);
}

struct RunCase {
  const char* name;
  // An unchecked entry after the last opened one: the run then still waits after it.
  bool trailing_unchecked;
};

class NamedProgramRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(NamedProgramRun, OpensCheckedNonBlankEntriesInOrderWithWaitsBetween) {
  const RunCase& run = GetParam();
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  ASSERT_TRUE(program.Start()) << program.Error();
  program.SetText(IDC_EDIT1, Narrow(recorder));
  program.Click(IDC_RADIOBUTTON2);
  program.SetText(IDC_SPINEDIT1, std::to_string(kWaitBetween));
  ASSERT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON2));

  // A mixed list: checked, unchecked, blanks only, empty, a path with blanks, a web address
  // with characters a command line could split on, and Chinese text.
  std::string paste =
      "C:\\Program Files\\Quillet Test\\a b.txt\r\n"  // 0 checked
      "unchecked entry\r\n"                            // 1 unchecked below
      "   \r\n"                                        // 2 blanks only
      "\r\n"                                           // 3 empty
      "https://example.com/search?q=a b&lang=zh\r\n"   // 4 checked
      "中文 条目\r\n";                                 // 5 checked
  int count = 6;
  if (run.trailing_unchecked) {
    paste += "trailing unchecked\r\n";
    ++count;
  }
  ASSERT_TRUE(program.Paste(paste, count));
  ASSERT_TRUE(program.ToggleCheck(1));
  if (run.trailing_unchecked) {
    ASSERT_TRUE(program.ToggleCheck(6));
  }

  program.PostClick(IDC_BITBTN1);
  EXPECT_TRUE(WaitUntil([&] { return program.Text(IDC_BITBTN1) == "正在打开..."; }));
  EXPECT_FALSE(IsWindowEnabled(program.Control(IDC_BITBTN1)));
  std::uint64_t run_end = 0;
  ASSERT_TRUE(WaitUntil([&] {
    run_end = GetTickCount64();
    return program.Text(IDC_BITBTN1) == "QUILLET";
  }, 30000)) << "the run did not end";
  EXPECT_TRUE(IsWindowEnabled(program.Control(IDC_BITBTN1)));
  // The selection walked down to the last entry, opened or not.
  EXPECT_EQ(program.Selected(), count - 1);

  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  const auto launches = program.Launches();
  const std::vector<std::string> expected = {"C:\\Program Files\\Quillet Test\\a b.txt",
                                             "https://example.com/search?q=a b&lang=zh", "中文 条目"};
  ASSERT_EQ(launches.size(), expected.size());
  for (size_t i = 0; i < launches.size(); ++i) {
    SCOPED_TRACE(launches[i].command_line);
    ASSERT_TRUE(launches[i].argument.has_value()) << "not one quoted argument";
    EXPECT_EQ(*launches[i].argument, expected[i]);
    if (i > 0) {
      EXPECT_GE(Between(launches[i - 1].tick, launches[i].tick), kWaitBetween - kTickSlack);
    }
  }
  // After the last list entry there is nothing to wait for; after a last opened entry that
  // unchecked entries follow, the run still waits.
  const std::int64_t after_last = Between(launches.back().tick, run_end);
  if (run.trailing_unchecked) {
    EXPECT_GE(after_last, kWaitBetween - kTickSlack);
  } else {
    EXPECT_LT(after_last, kWaitBetween / 2);
  }
  EXPECT_TRUE(program.Running());
}

INSTANTIATE_TEST_SUITE_P(Lists, NamedProgramRun,
                         ::testing::Values(RunCase{"EndingWithAnOpenedEntry", false},
                                           RunCase{"EndingWithAnUncheckedEntry", true}),
                         [](const auto& case_info) { return std::string(case_info.param.name); });

// A program that reads its arguments the Windows way gets each entry whole, also a folder
// whose path ends in backslashes, which would otherwise swallow the closing quote.
TEST(NamedProgramRun, TheProgramReadsEveryEntryBackAsItStands) {
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  ASSERT_TRUE(program.Start()) << program.Error();
  program.SetText(IDC_EDIT1, Narrow(recorder));
  program.Click(IDC_RADIOBUTTON2);
  ASSERT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON2));
  const std::vector<std::string> entries = {"C:\\windows\\", "C:\\no such folder\\\\", "C:\\a\\b c.txt",
                                            "\\\\server\\share\\"};
  std::string paste;
  for (const std::string& entry : entries) paste += entry + "\r\n";
  ASSERT_TRUE(program.Paste(paste, static_cast<int>(entries.size())));
  program.Click(IDC_BITBTN1);
  ASSERT_TRUE(WaitUntil([&] { return program.Text(IDC_BITBTN1) == "QUILLET"; }, 30000)) << "the run did not end";
  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  // Without a wait the recorders start side by side and may log in any order.
  std::vector<std::string> received;
  for (const Launch& launch : program.Launches()) {
    EXPECT_EQ(launch.arguments.size(), 2u) << launch.command_line;
    if (launch.arguments.size() == 2) received.push_back(launch.arguments[1]);
  }
  std::vector<std::string> expected = entries;
  std::sort(received.begin(), received.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(received, expected);
}

// Esc on the real keyboard in the middle of a run: the wait of ten minutes ends at once, no
// further entry opens, the status bar's progress gives way to the hints, and no countdown
// follows although AutoClose is on.
TEST(StopRun, EscStopsTheRunDuringItsWait) {
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_AUTOCLOSE1);
  ASSERT_TRUE(WaitUntil([&] { return program.Settings()["AutoClose"] == "1"; }));
  program.SetText(IDC_EDIT1, Narrow(recorder));
  program.Click(IDC_RADIOBUTTON2);
  program.SetText(IDC_SPINEDIT1, "600000");
  ASSERT_TRUE(program.Paste("first\r\nsecond\r\nthird\r\n", 3));

  program.PostClick(IDC_BITBTN1);
  const HWND status = program.Control(IDC_STATUSBAR1);
  ASSERT_TRUE(WaitUntil([&] { return program.Text(status) == "正在打开 1 / 3 (等待中)  按 Esc 停止"; }))
      << program.Text(status);
  ASSERT_TRUE(WaitUntil([&] { return program.Launches().size() == 1; }));
  SaveScreenshot(program.Main(), "run-progress");

  program.PressRealKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return program.Text(IDC_BITBTN1) == "QUILLET"; })) << "the run did not stop";
  EXPECT_TRUE(IsWindowEnabled(program.Control(IDC_BITBTN1)));
  EXPECT_EQ(program.Text(status).find("正在打开"), std::string::npos) << program.Text(status);
  EXPECT_EQ(program.Selected(), 0);
  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  EXPECT_EQ(program.Launches().size(), 1u);
  EXPECT_FALSE(IsWindowVisible(program.Control(IDC_BUTTON6))) << "a stopped run started the countdown";
  EXPECT_FALSE(program.WaitForExit(2000));
  EXPECT_TRUE(program.Exit());
}

// The count shown by "取消自动关闭 (n)", or -1.
int CountShown(const std::string& caption) {
  const std::string prefix = "取消自动关闭 (";
  if (caption.rfind(prefix, 0) != 0 || caption.back() != ')') return -1;
  long long value = -1;
  return ParseInteger(std::string_view(caption).substr(prefix.size(), caption.size() - prefix.size() - 1), value)
             ? static_cast<int>(value)
             : -1;
}

// Starts a run with AutoClose1 on over a list that opens nothing; returns when it has ended.
void RunWithAutoClose(Program& program) {
  program.Command(IDM_AUTOCLOSE1);
  ASSERT_TRUE(WaitUntil([&] { return program.Settings()["AutoClose"] == "1"; }));
  ASSERT_TRUE(program.Paste("   \r\n", 1));
  // Sent: returns once the run is over and the countdown has been set up.
  program.Click(IDC_BITBTN1);
}

TEST(AutoClose, CountdownFromTenEndsTheProgram) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_NO_FATAL_FAILURE(RunWithAutoClose(program));
  const ULONGLONG run_end = GetTickCount64();
  HWND button6 = program.Control(IDC_BUTTON6);
  EXPECT_EQ(program.Text(button6), "取消自动关闭 (10)");
  EXPECT_TRUE(IsWindowVisible(button6));

  std::vector<std::string> captions;
  const bool ended = WaitUntil([&] {
    std::string caption = program.Text(button6);
    if (!caption.empty() && (captions.empty() || captions.back() != caption)) captions.push_back(caption);
    return !program.Running();
  }, 20000);
  const ULONGLONG elapsed = GetTickCount64() - run_end;
  ASSERT_TRUE(ended) << "still running 20 s after the run";
  EXPECT_GE(elapsed, 8000u) << "ended too early";
  // Seen counting down one by one (a busy machine may hide a step, never reorder them).
  ASSERT_GE(captions.size(), 3u);
  EXPECT_EQ(captions.front(), "取消自动关闭 (10)");
  for (size_t i = 1; i < captions.size(); ++i) {
    EXPECT_GE(CountShown(captions[i]), 0) << captions[i];
    EXPECT_LT(CountShown(captions[i]), CountShown(captions[i - 1])) << captions[i] << " after " << captions[i - 1];
  }
}

TEST(AutoClose, CancelKeepsTheProgramOpen) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_NO_FATAL_FAILURE(RunWithAutoClose(program));
  HWND button6 = program.Control(IDC_BUTTON6);
  ASSERT_TRUE(IsWindowVisible(button6));
  program.Click(IDC_BUTTON6);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(button6); }));
  // Well past the ten seconds the countdown would have taken.
  EXPECT_FALSE(program.WaitForExit(12000)) << "the program ended although the countdown was cancelled";
  EXPECT_TRUE(program.Exit());
}

}  // namespace
}  // namespace quillet::e2e
