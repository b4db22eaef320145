// The maker's view of the adoption of a new version: the kept checks counted per day by the
// version the service offered and the version the program had, one TAB-separated line each.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage.h"

namespace quillet::service {

inline constexpr std::string_view kCheckReportHeader = "day\toffered\tinstalled\tchecks";

// A version as it appears in a report line: "-" when the check had none (or an empty one);
// otherwise the bytes as sent with backslash, TAB, CR and LF written \\, \t, \r and \n as in the
// feedback listing, and every other control byte and every byte that is not part of valid UTF-8
// as \xHH, so the line stays one line of readable UTF-8 text.
std::string ReportVersion(const std::optional<std::string>& bytes);

// "day offered installed checks" lines, without line ends, oldest day first, then by offered
// and installed version (byte order). Counts that look alike in the report are added up.
std::vector<std::string> CheckReportLines(const std::vector<CheckCount>& counts);

}  // namespace quillet::service
