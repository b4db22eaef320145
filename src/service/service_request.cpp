#include "service/service_request.h"

#include <algorithm>

#include "service/md5_digest.h"
#include "util/text.h"

namespace quillet {

namespace {

constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned char byte) {
  out += kUpperHexDigits[byte >> 4];
  out += kUpperHexDigits[byte & 0x0F];
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The unreserved marks of a web address stay readable; everything else is escaped, so the
// service sees "&", "=" and "+" inside a value as data.
bool StaysAsIs(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

void AppendFormEncoded(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (StaysAsIs(byte)) {
      out += c;
    } else if (byte == ' ') {
      out += '+';
    } else {
      out += '%';
      AppendHexByte(out, byte);
    }
  }
}

// The running key of the stored-value format: advanced by each scrambled byte.
std::uint16_t NextKey(std::uint16_t key, unsigned char scrambled) {
  return static_cast<std::uint16_t>((static_cast<std::uint32_t>(key) + scrambled) * 0xD201u + 0x7F6Au);
}

}  // namespace

std::string FormBody(const ParameterList& parameters) {
  std::string body;
  bool first = true;
  for (const std::string& line : parameters) {
    if (!first) body += '&';
    first = false;
    const auto separator = line.find('=');
    const std::string_view text(line);
    AppendFormEncoded(body, text.substr(0, separator));
    body += '=';
    if (separator != std::string::npos) AppendFormEncoded(body, text.substr(separator + 1));
  }
  return body;
}

std::string TagValue(std::string_view line, std::string_view tag) {
  if (line.empty() || tag.empty()) return {};
  const std::string lowerTag = AsciiLower(tag);
  const std::string opening = "<" + lowerTag + ">";
  const std::string closing = "</" + lowerTag + ">";
  if (line.size() < opening.size() + closing.size() || !line.starts_with(opening) || !line.ends_with(closing)) {
    return {};
  }
  return std::string(line.substr(opening.size(), line.size() - opening.size() - closing.size()));
}

std::vector<std::string> AnswerLines(std::string_view answer) {
  const std::vector<std::string_view> views = SplitLines(answer);
  return std::vector<std::string>(views.begin(), views.end());
}

std::string EncodeStored(std::string_view text, std::uint16_t seed) {
  std::string out;
  out.reserve(text.size() * 2);
  std::uint16_t key = seed;
  for (const char c : text) {
    const auto scrambled = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ (key >> 8));
    key = NextKey(key, scrambled);
    AppendHexByte(out, scrambled);
  }
  return out;
}

std::string DecodeStored(std::string_view text, std::uint16_t seed) {
  std::string bytes;
  bytes.reserve(text.size() / 2);
  std::uint16_t key = seed;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]);
    const int low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return {};
    const auto stored = static_cast<unsigned char>(high * 16 + low);
    bytes += static_cast<char>(stored ^ (key >> 8));
    key = NextKey(key, stored);
  }
  // A value changed outside the program need not decode to UTF-8; its stray bytes become
  // U+FFFD so that nothing downstream meets malformed text.
  return ValidUtf8(bytes);
}

std::string Md5Hex(std::string_view text) {
  // The key name was always made from one byte per UTF-16 unit, "?" for everything outside
  // ASCII; keeping that finds the update state that earlier versions left behind.
  const std::wstring units = Widen(text);
  std::string bytes;
  bytes.reserve(units.size());
  for (const wchar_t unit : units) bytes += unit < 128 ? static_cast<char>(unit) : '?';
  std::string hex;
  hex.reserve(32);
  for (const unsigned char byte : Md5Digest(bytes)) AppendHexByte(hex, byte);
  return hex;
}

std::string OsDescriptionText(const std::string& name, unsigned major, unsigned minor, unsigned build,
                              unsigned servicePack, bool is64BitSystem) {
  std::string text = name;
  if (servicePack != 0) text += " Service Pack " + std::to_string(servicePack);
  text += " (Version " + std::to_string(major) + "." + std::to_string(minor) + ", Build " + std::to_string(build) +
          ", " + (is64BitSystem ? "64-bit Edition" : "32-bit Edition") + ")";
  return text;
}

std::string ServiceAddressFrom(const char* environmentValue, std::string_view builtIn) {
  if (environmentValue != nullptr && *environmentValue != '\0') return environmentValue;
  return std::string(builtIn);
}

std::string OpenableDownloadAddress(const std::string& address, std::string_view fallback) {
  const std::string_view text(address);
  const auto startsWith = [&](std::string_view scheme) {
    return text.size() >= scheme.size() && EqualsIgnoreAsciiCase(text.substr(0, scheme.size()), scheme);
  };
  // A quote or a control character could end the address inside the browser's command line
  // and smuggle in options of its own, so such an address is not opened either.
  const bool hasUnsafeCharacter = std::any_of(text.begin(), text.end(), [](char c) {
    const auto code = static_cast<unsigned char>(c);
    return code < 0x20 || code == 0x7F || c == '"';
  });
  if ((startsWith("http://") || startsWith("https://")) && !hasUnsafeCharacter) return address;
  return std::string(fallback);
}

namespace {

// The host of an address's authority, the part before the first "/", "?" or "#" (the address
// without its scheme): without a port, brackets kept around an IPv6 address. Empty when there is
// none or when the authority could be read another way: with user information ("@"), or with a
// port that is not a number.
std::string_view AuthorityHost(std::string_view rest) {
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return {};
  std::size_t hostEnd = 0;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return {};
    hostEnd = close + 1;
  } else {
    hostEnd = std::min(authority.find(':'), authority.size());
  }
  const std::string_view port = authority.substr(hostEnd);
  if (!port.empty() && (port.front() != ':' || !std::all_of(port.begin() + 1, port.end(), [](char c) {
                          return c >= '0' && c <= '9';
                        }))) {
    return {};
  }
  return authority.substr(0, hostEnd);
}

}  // namespace

bool IsSecureAddressOnServiceHost(std::string_view address, std::string_view serviceAddress) {
  constexpr std::string_view kSecureScheme = "https://";
  if (address.size() < kSecureScheme.size() ||
      !EqualsIgnoreAsciiCase(address.substr(0, kSecureScheme.size()), kSecureScheme)) {
    return false;
  }
  // A browser takes a backslash for a slash, which can move where the host ends; no download
  // address of the maker's needs one.
  if (address.find('\\') != std::string_view::npos) return false;
  const std::string_view host = AuthorityHost(address.substr(kSecureScheme.size()));
  const std::string_view serviceHost = AuthorityHost(serviceAddress);
  return !host.empty() && EqualsIgnoreAsciiCase(host, serviceHost);
}

}  // namespace quillet
