#include "store/file_messages.h"

#include "util/text.h"

namespace quillet {
namespace {

constexpr std::string_view kParagraph = "\r\r";

std::string Quoted(std::string_view target) {
  std::string quoted;
  quoted.reserve(target.size() + 2);
  quoted.push_back('"');
  quoted.append(target);
  quoted.push_back('"');
  return quoted;
}

}  // namespace

std::string FailureText(FileTask task, std::string_view target, std::string_view systemText) {
  // What the user was doing, around the quoted file or value.
  struct Words {
    FileTask task;
    std::string_view before, after;
  };
  static constexpr Words kWords[] = {
      {FileTask::ReadList, "无法读取列表文件 ", "."},
      {FileTask::SaveList, "无法保存列表文件 ", "."},
      {FileTask::ExportBatch, "无法导出批处理文件 ", "."},
      {FileTask::ReadRememberedList, "无法读取记住的列表 ", "."},
      {FileTask::SaveRememberedList, "无法保存记住的列表 ", "."},
      {FileTask::ReadSettings, "无法读取设置 ", "."},
      {FileTask::SaveSettings, "无法保存设置 ", "."},
      {FileTask::SetLogOn, "无法设置系统启动时自动运行 (注册表值 ", ")."},
      {FileTask::ClearLogOn, "无法取消系统启动时自动运行 (注册表值 ", ")."},
  };
  std::string text;
  for (const Words& words : kWords) {
    if (words.task != task) continue;
    text.append(words.before);
    text.append(Quoted(target));
    text.append(words.after);
  }
  text.append(kParagraph);
  text.append(systemText);
  return text;
}

IoError WithTask(const IoError& error, FileTask task, std::string_view target) {
  return IoError(error.code(), FailureText(task, target, error.what()));
}

std::string BatchLeftOutText(const std::vector<Entry>& entries, const std::vector<std::size_t>& leftOut) {
  constexpr std::size_t kShown = 10;
  std::string text = "以下项目含有双引号或控制字符, 无法安全地写入批处理文件, 已被略过:";
  text.append(kParagraph);
  for (std::size_t i = 0; i < leftOut.size() && i < kShown; ++i) {
    if (i > 0) text.push_back('\r');
    const std::size_t index = leftOut[i];
    text += "第 " + std::to_string(index + 1) + " 项: ";
    if (index >= entries.size()) continue;
    for (const char c : entries[index].text) {
      const auto byte = static_cast<unsigned char>(c);
      text.push_back(byte < 0x20 || byte == 0x7F ? ' ' : c);
    }
  }
  if (leftOut.size() > kShown) text += "\r... 另有 " + std::to_string(leftOut.size() - kShown) + " 项";
  return text;
}

std::string BatchProgramUnfitText() {
  return "打开程序的路径含有双引号或控制字符, 无法安全地写入批处理文件. 没有导出任何内容.";
}

std::string RememberedListHeldText(std::string_view failureText) {
  std::string text = ErrorReportText(failureText);
  text.append(kParagraph);
  text.append("文件可以读取时, 列表将自动载入; 在此之前它不会被覆盖.");
  return text;
}

std::string SettingsHeldText(std::string_view failureText) {
  std::string text = ErrorReportText(failureText);
  text.append(kParagraph);
  text.append("在可以读取此文件之前, 设置和记住的列表都不会被更改; 可以读取时, 设置和列表将自动载入.");
  return text;
}

}  // namespace quillet
