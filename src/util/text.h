// Text helpers shared by the logic and the windows. Inside the program every text is UTF-8;
// texts cross to UTF-16 only at the Windows API boundary (Widen / Narrow).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// UTF-16 to UTF-8. Unpaired surrogates (possible in clipboard text) are kept as their
// three-byte generalized UTF-8 form, so Widen(Narrow(s)) == s for every UTF-16 string.
std::string Narrow(std::wstring_view utf16);
// UTF-8 to UTF-16. The inverse of Narrow; a byte that is not part of a valid sequence
// becomes U+FFFD.
std::wstring Widen(std::string_view utf8);

// Strict UTF-8 check (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// The bytes with every byte that does not begin a valid UTF-8 sequence replaced by U+FFFD (the
// rule Widen follows), so whatever comes from files or the network is valid UTF-8 afterwards.
std::string ValidUtf8(std::string_view bytes);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// Trims blanks (spaces) at both ends, the program's notion of "blank".
std::string_view TrimBlanks(std::string_view text);
// Trims blanks and control characters (code <= 0x20) at both ends.
std::string_view TrimControlAndBlanks(std::string_view text);

// Splits at CR LF, LF or CR; a line break at the very end adds no line; "" gives no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

// The text in double quotes as one argument for a program that splits its command line the
// Windows way (CommandLineToArgvW, the C runtime): the backslashes right before the closing
// quote are doubled, so C:\dir\ reaches the program as C:\dir\ and not as C:\dir".
// Every other byte stays as it is; a double quote inside is not escaped.
std::string QuoteArgument(std::string_view text);

// ASCII-only lower-casing (A-Z), as the program compares schemes and extensions.
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Parses an optionally signed decimal integer (the whole text, no blanks); false when the
// text is not a number or does not fit in 64 bits.
bool ParseInteger(std::string_view text, long long& value);

// The text of the default error report: the message, with "." appended when the code of its
// last character is above that of ".".
std::string ErrorReportText(std::string_view message);

}  // namespace quillet
