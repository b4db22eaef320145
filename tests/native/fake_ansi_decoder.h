// An ANSI code page for native tests: Latin-1 (ISO 8859-1), each byte the code point of the
// same value, so every byte sequence has exactly one reading.
#pragma once

#include <string>
#include <string_view>

#include "platform/ansi_decoder.h"

namespace quillet::test {

class Latin1Decoder : public AnsiDecoder {
 public:
  std::string ToUtf8(std::string_view bytes) const override {
    ++calls;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        out.push_back(c);
      } else {
        out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
        out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
      }
    }
    return out;
  }
  mutable int calls = 0;
};

}  // namespace quillet::test
