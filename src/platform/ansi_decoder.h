// The system's ANSI code page, for text files that carry no byte-order mark. The Windows
// implementation asks the system; native tests pass a fixed single-byte decoder.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

class AnsiDecoder {
 public:
  virtual ~AnsiDecoder() = default;
  // The bytes read in the ANSI code page, as UTF-8. Never throws: a byte the code page has
  // no character for becomes U+FFFD.
  virtual std::string ToUtf8(std::string_view bytes) const = 0;
};

}  // namespace quillet
