// Requests to the maker's web service: the form body of a post, reading its answer, and the
// small encodings the update check stores or sends. Free of Windows so it is tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The fields of a post, each "name=value", in the order they are sent.
using ParameterList = std::vector<std::string>;

// The form body of a post: every name and value UTF-8, percent-encoded with upper-case %XX and
// "+" for a space, the fields joined by "&".
std::string FormBody(const ParameterList& parameters);

// The value of an answer line that is exactly "<tag>value</tag>" (the tag lower-cased, the
// line compared case-sensitively); "" otherwise.
std::string TagValue(std::string_view line, std::string_view tag);

// The lines of an answer, broken at CR LF, CR or LF.
std::vector<std::string> AnswerLines(std::string_view answer);

// The reversible scrambling of a value the update check keeps in the registry: the UTF-8
// bytes scrambled with a 16-bit running key, as upper-case hexadecimal text.
std::string EncodeStored(std::string_view text, std::uint16_t seed);
// The inverse of EncodeStored. Accepts lower-case digits and ignores an odd last character;
// a pair that is not two hexadecimal digits gives "".
std::string DecodeStored(std::string_view text, std::uint16_t seed);


// The MD5 digest of the text as 32 upper-case hexadecimal digits. Every character above 127
// is hashed as "?", so the key name never depends on how the name is encoded (OpenSSL in the
// native build, CNG in the Windows build).
std::string Md5Hex(std::string_view text);

// The operating system as the service is told it, e.g.
// "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)", with " Service Pack <n>" after the
// name when one is installed.
std::string OsDescriptionText(const std::string& name, unsigned major, unsigned minor, unsigned build,
                              unsigned servicePack, bool is64BitSystem);

// The seed of the values the update check stores.
inline constexpr std::uint16_t kStoredSeed = 0xD3;

// The service address: the environment value (QUILLET_SERVICE_ADDRESS or
// QUILLET_FEEDBACK_ADDRESS) when set and not empty, else the built-in value
// (util/maker_addresses.h kServiceAddress); host and path, no scheme.
std::string ServiceAddressFrom(const char* environmentValue, std::string_view builtIn);

// Only an address beginning "http://" or "https://" (any case) is opened; anything else gives
// the fallback, so an answer of the service can never start a program or open a file. An
// address holding a quote or a control character gives the fallback too.
std::string OpenableDownloadAddress(const std::string& address, std::string_view fallback);

// Whether `address` is an "https://" address (the scheme in any case) whose host is the host of
// `serviceAddress` (host, optional port, path; no scheme), compared exactly but for ASCII case.
// The ports are not compared. An address with user information, a backslash or a port that is
// not a number never is one: browsers and the shell read such addresses in ways of their own.
bool IsSecureAddressOnServiceHost(std::string_view address, std::string_view serviceAddress);

}  // namespace quillet
