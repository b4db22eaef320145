// libFuzzer target over what the service reads from outside: request bodies (form decoding and
// the readable command text) and configuration files. The first byte picks the reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config.h"
#include "protocol.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    try {
      const auto config = quillet::service::ParseConfig(input, "/srv");
      (void)quillet::service::CheckAnswer(config);
    } catch (const quillet::service::ConfigError&) {
    }
    return 0;
  }
  const auto fields = quillet::service::DecodeFormBody(input);
  std::size_t total = 0;
  for (const auto& field : fields) total += field.name.size() + field.value.size();
  // Decoding never grows the text: each byte of the body yields at most one byte.
  if (total > input.size()) __builtin_trap();
  // The command goes to a PostgreSQL text column: valid UTF-8 without NUL, always.
  const std::string command = quillet::service::ReadableText(quillet::service::FieldValue(fields, "cmd"));
  if (!quillet::IsValidUtf8(command) || command.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
