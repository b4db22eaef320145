#include "store/text_file.h"

#include <cstdint>
#include <optional>

#include "util/text.h"

namespace quillet {
namespace {

constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// UTF-16 straight to UTF-8. Unlike Narrow, which keeps unpaired surrogates for the
// clipboard's sake, a file's unpaired surrogate becomes U+FFFD, so every later step sees
// valid UTF-8; so does the lone last byte of a file with an odd length.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const auto unitAt = [&](std::size_t index) -> char32_t {
    const auto first = static_cast<unsigned char>(bytes[2 * index]);
    const auto second = static_cast<unsigned char>(bytes[2 * index + 1]);
    return bigEndian ? (char32_t{first} << 8) | second : (char32_t{second} << 8) | first;
  };
  const std::size_t units = bytes.size() / 2;
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t unit = unitAt(i);
    if (unit < 0xD800 || unit > 0xDFFF) {
      AppendUtf8(out, unit);
    } else if (unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
      ++i;
    } else {
      out.append(kReplacementUtf8);
    }
  }
  if (bytes.size() % 2 != 0) out.append(kReplacementUtf8);
  return out;
}

// Where the text begins in bytes that are UTF-8 already and need no conversion: after the
// UTF-8 mark, or at 0 when there is no mark (pure ASCII included: it reads the same in every
// ANSI code page Windows uses). nullopt when the bytes must be converted.
std::optional<std::size_t> Utf8TextStart(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) {
    const std::size_t start = kUtf8ByteOrderMark.size();
    if (IsValidUtf8(bytes.substr(start))) return start;
    return std::nullopt;
  }
  if (bytes.starts_with(kUtf16LittleEndianMark) || bytes.starts_with(kUtf16BigEndianMark)) return std::nullopt;
  if (IsValidUtf8(bytes)) return 0;
  return std::nullopt;
}

std::string Converted(std::string_view bytes, const AnsiDecoder& ansi) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) return ValidUtf8(bytes.substr(kUtf8ByteOrderMark.size()));
  if (bytes.starts_with(kUtf16LittleEndianMark)) return Utf16ToUtf8(bytes.substr(2), /*bigEndian=*/false);
  if (bytes.starts_with(kUtf16BigEndianMark)) return Utf16ToUtf8(bytes.substr(2), /*bigEndian=*/true);
  return ansi.ToUtf8(bytes);
}

}  // namespace

std::string DecodeTextFile(std::string_view bytes, const AnsiDecoder& ansi) {
  if (const std::optional<std::size_t> start = Utf8TextStart(bytes)) return std::string(bytes.substr(*start));
  return Converted(bytes, ansi);
}

std::string_view DecodeTextFileInPlace(std::string& bytes, const AnsiDecoder& ansi) {
  if (const std::optional<std::size_t> start = Utf8TextStart(bytes)) return std::string_view(bytes).substr(*start);
  bytes = Converted(bytes, ansi);
  return bytes;
}

void AppendCrLfLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append("\r\n");
}

}  // namespace quillet
