// What the program tells the user about its files and its log-on value: a failed read or write
// names what the user was doing and which file, then gives the system's own text; and the
// notes of the batch export and of a remembered list that another program holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "list/item_list.h"
#include "platform/file_system.h"

namespace quillet {

enum class FileTask {
  ReadList,            // loading a list file
  SaveList,            // saving the list to a file
  ExportBatch,         // writing the exported batch file
  ReadRememberedList,  // files.txt at start
  SaveRememberedList,  // files.txt on the save tick
  ReadSettings,        // settings.ini at start
  SaveSettings,        // settings.ini
  SetLogOn,            // writing the log-on value
  ClearLogOn,          // removing the log-on value
};

// The task and its target in the user's words, two carriage returns, then systemText (the
// error report appends the final full stop where it is missing).
std::string FailureText(FileTask task, std::string_view target, std::string_view systemText);

// The same failure with the task and target in front of its text, for the error report.
IoError WithTask(const IoError& error, FileTask task, std::string_view target);

// Runs work; an IoError it throws is thrown again WithTask.
template <typename Work>
decltype(auto) DoingTask(FileTask task, std::string_view target, Work&& work) {
  try {
    return work();
  } catch (const IoError& error) {
    throw WithTask(error, task, target);
  }
}

// The batch export left out the entries at these indexes: which they were, at most the first
// ten, each on a line of its own with its number in the list (counted from 1), its control
// characters shown as blanks.
std::string BatchLeftOutText(const std::vector<Entry>& entries, const std::vector<std::size_t>& leftOut);
// The named program itself can't be written between quotes: nothing is exported.
std::string BatchProgramUnfitText();

// files.txt exists but could not be read at start (another program holds it, say): the
// failure as the remembered list reported it (FailureText of ReadRememberedList), then that
// the list is loaded once the file can be read and that files.txt is not written until then.
std::string RememberedListHeldText(std::string_view failureText);

// settings.ini exists but could not be read at start: the failure (FailureText of
// ReadSettings), then that neither the settings nor the remembered list are changed until it
// can be read, and that the settings are taken in then.
std::string SettingsHeldText(std::string_view failureText);

}  // namespace quillet
