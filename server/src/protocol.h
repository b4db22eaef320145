// What travels between the program and the service: the form fields of a request and the
// line-and-tag answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config.h"

namespace quillet::service {

struct FormField {
  std::string name;
  std::string value;
};

// Decodes an application/x-www-form-urlencoded body into its fields, in order. "+" is a space
// and "%XX" (either case) a byte; a "%" not followed by two hexadecimal digits stays as it is.
// Only the first "=" of a field separates name and value; a field without "=" has an empty
// value; empty fields ("&&", a trailing "&") are skipped. The bytes are kept as sent, valid
// UTF-8 or not.
std::vector<FormField> DecodeFormBody(std::string_view body);

// The value of the first field of that name, or the empty text.
std::string FieldValue(const std::vector<FormField>& fields, std::string_view name);

// A field's bytes as readable text for the log and the stored command column (PostgreSQL takes
// only valid UTF-8 without NUL there): every byte that does not begin a valid UTF-8 sequence
// becomes U+FFFD, NUL bytes are dropped. Valid text comes back unchanged.
std::string ReadableText(std::string_view bytes);

// The answer to "check": version on line 1, download address on line 2, result on line 4 and,
// when the configuration has one, the important message on line 6; CR LF line ends.
std::string CheckAnswer(const ServiceConfig& config);

inline constexpr std::string_view kFeedbackAnswer = "确定";
// Any answer beginning with "ERROR" is one the program rejects.
inline constexpr std::string_view kUnknownCommandAnswer = "ERROR unknown command";

}  // namespace quillet::service
