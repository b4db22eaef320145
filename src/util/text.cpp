#include "util/text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quillet {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    // Also the generalized form of a lone surrogate (ED A0..BF xx).
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

namespace {

void AppendUtf16(std::wstring& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<wchar_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// Decodes one sequence at text[pos]. Returns its length (0 when the bytes there do not
// form a sequence). allowSurrogates accepts the three-byte form of U+D800..U+DFFF, which
// Narrow produces for unpaired surrogates.
std::size_t DecodeOne(std::string_view text, std::size_t pos, bool allowSurrogates, char32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2; min = 0x80; cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3; min = 0x800; cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4; min = 0x10000; cp = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF) return 0;
  if (!allowSurrogates && IsSurrogate(cp)) return 0;
  return length;
}

}  // namespace

std::string Narrow(std::wstring_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    // wchar_t is 32 bits outside Windows; the units are still UTF-16 there (what Widen
    // gives), but a value above 0xFFFF is taken as the code point it names.
    const char32_t unit = static_cast<char32_t>(utf16[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size()) {
      const char32_t next = static_cast<char32_t>(utf16[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit <= 0x10FFFF ? unit : kReplacement);
  }
  return out;
}

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp;
    const std::size_t length = DecodeOne(utf8, pos, /*allowSurrogates=*/true, cp);
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++pos;
    } else {
      AppendUtf16(out, cp);
      pos += length;
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // ASCII runs are the common case in settings and list files; skip them eight bytes at a
    // time where no byte has its top bit set.
    while (bytes.size() - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + pos, 8);
      if (word & 0x8080808080808080ull) break;
      pos += 8;
    }
    if (pos >= bytes.size()) break;
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    char32_t cp;
    const std::size_t length = DecodeOne(bytes, pos, /*allowSurrogates=*/false, cp);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string ValidUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size() + 16);
  std::size_t position = 0;
  while (position < bytes.size()) {
    // A valid sequence has no valid shorter prefix, so the first length that checks is it.
    std::size_t length = 1;
    while (length <= 4 && !IsValidUtf8(bytes.substr(position, length))) ++length;
    if (length <= 4 && position + length <= bytes.size()) {
      text += bytes.substr(position, length);
      position += length;
    } else {
      AppendUtf8(text, kReplacement);
      ++position;
    }
  }
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string_view TrimControlAndBlanks(std::string_view text) {
  const auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmed(text[begin])) ++begin;
  while (end > begin && isTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  // memchr finds the next CR and the next LF at memory speed; each is searched again only
  // once the scan has passed it, so a text without one of them is still walked once.
  std::vector<std::string_view> lines;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  auto next = [end](const char* from, char c) {
    const void* found = from < end ? std::memchr(from, c, static_cast<std::size_t>(end - from)) : nullptr;
    return found ? static_cast<const char*>(found) : end;
  };
  const char* start = begin;
  const char* nextCr = next(start, '\r');
  const char* nextLf = next(start, '\n');
  while (true) {
    const char* lineEnd = nextCr < nextLf ? nextCr : nextLf;
    if (lineEnd == end) break;
    lines.emplace_back(start, static_cast<std::size_t>(lineEnd - start));
    start = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
    if (nextCr < start) nextCr = next(start, '\r');
    if (nextLf < start) nextLf = next(start, '\n');
  }
  if (start < end) lines.emplace_back(start, static_cast<std::size_t>(end - start));
  return lines;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool ParseInteger(std::string_view text, long long& value) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  // from_chars takes a leading "-" itself; after a "+" only digits may follow.
  if (digits.empty()) return false;
  if (digits.data() != text.data() && !(digits.front() >= '0' && digits.front() <= '9')) return false;
  long long parsed = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
  if (error != std::errc() || end != digits.data() + digits.size()) return false;
  value = parsed;
  return true;
}

std::string QuoteArgument(std::string_view text) {
  std::size_t trailingBackslashes = 0;
  while (trailingBackslashes < text.size() && text[text.size() - 1 - trailingBackslashes] == '\\') {
    ++trailingBackslashes;
  }
  std::string quoted;
  quoted.reserve(text.size() + trailingBackslashes + 2);
  quoted.push_back('"');
  quoted.append(text);
  quoted.append(trailingBackslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string ErrorReportText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
    text.push_back('.');
  }
  return text;
}

}  // namespace quillet
