#include "protocol.h"

#include <algorithm>

#include "util/text.h"

namespace quillet::service {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescaped(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      bytes += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

}  // namespace

std::vector<FormField> DecodeFormBody(std::string_view body) {
  std::vector<FormField> fields;
  while (!body.empty()) {
    const auto ampersand = body.find('&');
    const std::string_view field = body.substr(0, ampersand);
    body = ampersand == std::string_view::npos ? std::string_view() : body.substr(ampersand + 1);
    if (field.empty()) continue;
    const auto equals = field.find('=');
    if (equals == std::string_view::npos) {
      fields.push_back({Unescaped(field), std::string()});
    } else {
      fields.push_back({Unescaped(field.substr(0, equals)), Unescaped(field.substr(equals + 1))});
    }
  }
  return fields;
}

std::string FieldValue(const std::vector<FormField>& fields, std::string_view name) {
  for (const auto& field : fields) {
    if (field.name == name) return field.value;
  }
  return std::string();
}

std::string ReadableText(std::string_view bytes) {
  // NUL bytes go too: a PostgreSQL text value can't hold them.
  std::string text = ValidUtf8(bytes);
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

std::string CheckAnswer(const ServiceConfig& config) {
  std::string answer = "<version>" + config.offeredVersion + "</version>\r\n";
  answer += "<url>" + config.downloadAddress + "</url>\r\n";
  answer += "\r\n";
  answer += "<result>" + config.result + "</result>\r\n";
  if (!config.importantMessage.empty()) {
    answer += "\r\n<important>" + config.importantMessage + "</important>\r\n";
  }
  return answer;
}

}  // namespace quillet::service
