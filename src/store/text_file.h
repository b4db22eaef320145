// Reading and writing the program's text files (list files, the remembered list).
#pragma once

#include <string>
#include <string_view>

#include "platform/ansi_decoder.h"

namespace quillet {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The whole file's bytes as UTF-8 text, chosen by its byte-order mark: UTF-8, UTF-16 LE or
// UTF-16 BE (the mark itself dropped). Without a mark: bytes that are valid UTF-8 and hold at
// least one character outside ASCII are UTF-8 (so a batch file the program exported comes
// back intact); anything else is read in the ANSI code page. Never throws; undecodable
// sequences become U+FFFD.
std::string DecodeTextFile(std::string_view bytes, const AnsiDecoder& ansi);
// The same inside the buffer the bytes came in, for lists of many megabytes: text that is
// UTF-8 already is not copied. Returns the text, a view into bytes; converted text replaces
// the bytes first.
std::string_view DecodeTextFileInPlace(std::string& bytes, const AnsiDecoder& ansi);

// Appends line and CR LF: every line the program writes ends so, the last one included.
void AppendCrLfLine(std::string& out, std::string_view line);

}  // namespace quillet
