#include "check_report.h"

#include <cstdio>
#include <map>
#include <tuple>

#include "feedback_listing.h"
#include "util/text.h"

namespace quillet::service {
namespace {

// The length of the UTF-8 sequence the lead byte begins; 0 for a byte that begins none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

void AppendHex(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
  out += escaped;
}

}  // namespace

std::string ReportVersion(const std::optional<std::string>& bytes) {
  if (!bytes || bytes->empty()) return "-";
  const std::string_view text = *bytes;
  std::string shown;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const std::size_t length = SequenceLength(byte);
    if (length > 1 && IsValidUtf8(text.substr(at, length))) {
      shown += text.substr(at, length);
      at += length;
      continue;
    }
    if (byte == '\\' || byte == '\t' || byte == '\r' || byte == '\n') {
      shown += ListingField(text.substr(at, 1));
    } else if (length == 1 && byte >= 0x20 && byte != 0x7F) {
      shown += static_cast<char>(byte);
    } else {
      AppendHex(shown, byte);
    }
    ++at;
  }
  return shown;
}

std::vector<std::string> CheckReportLines(const std::vector<CheckCount>& counts) {
  std::map<std::tuple<std::string, std::string, std::string>, long long> lines;
  for (const CheckCount& count : counts) {
    lines[{ListingField(count.day), ReportVersion(count.offered), ReportVersion(count.installed)}] +=
        count.checks;
  }
  std::vector<std::string> report;
  report.reserve(lines.size());
  for (const auto& [key, checks] : lines) {
    const auto& [day, offered, installed] = key;
    report.push_back(day + '\t' + offered + '\t' + installed + '\t' + std::to_string(checks));
  }
  return report;
}

}  // namespace quillet::service
