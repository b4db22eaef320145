// What the user reads when a file of the program can't be read or written, and the notes of
// the batch export: each names the task and the file, then gives the system's own text.
#include "store/file_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ansi_decoder.h"
#include "fake_probe.h"
#include "store/batch_export.h"
#include "store/list_files.h"
#include "store/settings_store.h"
#include "test_support.h"
#include "util/text.h"

namespace quillet {
namespace {

// Every operation fails with the system's text, as on a full disk or a denied folder.
class FailingFileSystem : public test::MemoryFileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string&) override { throw IoError(5, "Access is denied"); }
  void ReplaceFile(const std::string&, const std::string&) override {
    throw IoError(112, "There is not enough space on the disk");
  }
};

TEST(FileMessagesTest, EachTaskNamesItsTargetThenTheSystemsText) {
  const struct {
    FileTask task;
    const char* target;
    const char* text;
  } cases[] = {
      {FileTask::ReadList, "C:\\a b\\列表.qlst", "无法读取列表文件 \"C:\\a b\\列表.qlst\"."},
      {FileTask::SaveList, "C:\\l.txt", "无法保存列表文件 \"C:\\l.txt\"."},
      {FileTask::ExportBatch, "C:\\run.bat", "无法导出批处理文件 \"C:\\run.bat\"."},
      {FileTask::ReadRememberedList, "C:\\q\\files.txt", "无法读取记住的列表 \"C:\\q\\files.txt\"."},
      {FileTask::SaveRememberedList, "C:\\q\\files.txt", "无法保存记住的列表 \"C:\\q\\files.txt\"."},
      {FileTask::SaveSettings, "C:\\q\\settings.ini", "无法保存设置 \"C:\\q\\settings.ini\"."},
      {FileTask::SetLogOn, "KALMIRO - Quillet", "无法设置系统启动时自动运行 (注册表值 \"KALMIRO - Quillet\")."},
      {FileTask::ClearLogOn, "KALMIRO - Quillet", "无法取消系统启动时自动运行 (注册表值 \"KALMIRO - Quillet\")."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureText(c.task, c.target, "Access is denied"), std::string(c.text) + "\r\rAccess is denied");
    // The error report then ends it with a full stop, as it does every system text.
    EXPECT_EQ(ErrorReportText(FailureText(c.task, c.target, "Access is denied")),
              std::string(c.text) + "\r\rAccess is denied.");
  }
  const IoError named = WithTask(IoError(32, "In use"), FileTask::SaveList, "C:\\l.txt");
  EXPECT_EQ(named.code(), 32u);
  EXPECT_EQ(std::string(named.what()), "无法保存列表文件 \"C:\\l.txt\".\r\rIn use");
}

// The store names the file of every failed read and write itself, so no handler can forget it.
TEST(FileMessagesTest, TheStoreNamesTheFileOfEveryFailure) {
  FailingFileSystem fs;
  test::FakeProbe probe;
  test::Latin1Decoder ansi;
  const auto whatOf = [](auto&& work) {
    try {
      work();
    } catch (const IoError& error) {
      return std::string(error.what());
    }
    return std::string("<no failure>");
  };
  SettingsStore store(fs, "C:\\q\\");
  EXPECT_EQ(whatOf([&] { store.WriteInteger("Wait", 1); }),
            "无法保存设置 \"C:\\q\\settings.ini\".\r\rThere is not enough space on the disk");
  EXPECT_EQ(whatOf([&] { SaveListFile(fs, "C:\\l.qlst", {{"a", true}}, ListOptions{}); }),
            "无法保存列表文件 \"C:\\l.qlst\".\r\rThere is not enough space on the disk");
  EXPECT_EQ(whatOf([&] { LoadListFile(fs, ansi, "C:\\l.qlst"); }),
            "无法读取列表文件 \"C:\\l.qlst\".\r\rAccess is denied");
  EXPECT_EQ(whatOf([&] { ExportBatchFile(fs, "C:\\run.bat", {{"a", true}}, BatchOptions{}, probe); }),
            "无法导出批处理文件 \"C:\\run.bat\".\r\rThere is not enough space on the disk");
}

TEST(FileMessagesTest, LeftOutEntriesAreListedByNumberAtMostTen) {
  std::vector<Entry> entries;
  for (int i = 0; i < 14; ++i) entries.push_back(Entry{"C:\\x" + std::to_string(i) + "\" & calc & \"", true});
  entries[1].text = "first\r\nsecond";
  const std::string head = "以下项目含有双引号或控制字符, 无法安全地写入批处理文件, 已被略过:\r\r";
  EXPECT_EQ(BatchLeftOutText(entries, {1, 3}), head + "第 2 项: first  second\r第 4 项: C:\\x3\" & calc & \"");

  std::vector<std::size_t> all;
  for (std::size_t i = 0; i < entries.size(); ++i) all.push_back(i);
  const std::string many = BatchLeftOutText(entries, all);
  EXPECT_NE(many.find("第 10 项: "), std::string::npos);
  EXPECT_EQ(many.find("第 11 项: "), std::string::npos);
  EXPECT_TRUE(many.ends_with("\r... 另有 4 项")) << many;
}

TEST(FileMessagesTest, AHeldRememberedListTellsThatItWillComeInLater) {
  EXPECT_EQ(RememberedListHeldText(FailureText(FileTask::ReadRememberedList, "C:\\q\\files.txt", "The file is in use")),
            "无法读取记住的列表 \"C:\\q\\files.txt\".\r\rThe file is in use.\r\r"
            "文件可以读取时, 列表将自动载入; 在此之前它不会被覆盖.");
}

}  // namespace
}  // namespace quillet
