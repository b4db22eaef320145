#include "store/text_file.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "util/text.h"

namespace quillet {
namespace {

constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Bytes a UTF-8 sequence with this lead byte spans; 0 for a byte that can't lead one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Position of the first byte from `from` on that does not begin a valid UTF-8 sequence
// (bytes.size() when there is none). List files are mostly ASCII, so eight bytes are tested
// at once; a run of other bytes is checked as a whole, since no sequence spans an ASCII byte,
// and only a run that fails is searched sequence by sequence.
std::size_t FirstInvalidUtf8(std::string_view bytes, std::size_t from) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  const auto isAscii = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]) < 0x80; };
  std::size_t pos = from;
  const std::size_t size = bytes.size();
  while (pos < size) {
    if (size - pos >= 8) {
      std::uint64_t block;
      std::memcpy(&block, bytes.data() + pos, sizeof block);
      if ((block & kHighBits) == 0) {
        pos += 8;
        continue;
      }
    }
    if (isAscii(pos)) {
      ++pos;
      continue;
    }
    std::size_t runEnd = pos + 1;
    while (runEnd < size && !isAscii(runEnd)) ++runEnd;
    if (IsValidUtf8(bytes.substr(pos, runEnd - pos))) {
      pos = runEnd;
      continue;
    }
    while (pos < runEnd) {
      const std::size_t length = SequenceLength(static_cast<unsigned char>(bytes[pos]));
      if (length == 0 || runEnd - pos < length || !IsValidUtf8(bytes.substr(pos, length))) return pos;
      pos += length;
    }
  }
  return size;
}

// The bytes as UTF-8 with every byte that is not part of a valid sequence replaced by
// U+FFFD, the same rule Widen follows. Valid input is copied in one piece.
std::string ReplaceInvalidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t bad = FirstInvalidUtf8(bytes, pos);
    out.append(bytes.substr(pos, bad - pos));
    if (bad == bytes.size()) break;
    out.append(kReplacementUtf8);
    pos = bad + 1;
  }
  return out;
}

void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

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
      AppendCodePoint(out, unit);
    } else if (unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
      AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
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
    if (FirstInvalidUtf8(bytes, start) == bytes.size()) return start;
    return std::nullopt;
  }
  if (bytes.starts_with(kUtf16LittleEndianMark) || bytes.starts_with(kUtf16BigEndianMark)) return std::nullopt;
  if (FirstInvalidUtf8(bytes, 0) == bytes.size()) return 0;
  return std::nullopt;
}

std::string Converted(std::string_view bytes, const AnsiDecoder& ansi) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) return ReplaceInvalidUtf8(bytes.substr(kUtf8ByteOrderMark.size()));
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
