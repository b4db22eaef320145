// Text without a byte-order mark, read in the system's ANSI code page.
#include <windows.h>

#include <algorithm>

#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

// MultiByteToWideChar counts in int; larger texts go in pieces that end after a line feed
// where there is one, because a line feed is never the second byte of a double-byte
// character, so no character is cut in two.
constexpr std::size_t kMaxPiece = std::size_t{1} << 28;

std::size_t PieceLength(std::string_view bytes) {
  if (bytes.size() <= kMaxPiece) return bytes.size();
  const std::size_t lineFeed = bytes.substr(0, kMaxPiece).rfind('\n');
  return lineFeed == std::string_view::npos ? kMaxPiece : lineFeed + 1;
}

void AppendPiece(std::wstring& out, std::string_view piece) {
  const int length = static_cast<int>(piece.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, piece.data(), length, nullptr, 0);
  if (needed <= 0) {
    // Only an unusable code page gets here; keep the text's length visible as replacements.
    out.append(piece.size(), L'\xFFFD');
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(needed));
  const int written = MultiByteToWideChar(CP_ACP, 0, piece.data(), length, out.data() + start, needed);
  out.resize(start + static_cast<std::size_t>(std::max(written, 0)));
}

}  // namespace

std::string Win32AnsiDecoder::ToUtf8(std::string_view bytes) const {
  std::wstring wide;
  wide.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = PieceLength(bytes);
    AppendPiece(wide, bytes.substr(0, length));
    bytes.remove_prefix(length);
  }
  return Narrow(wide);
}

}  // namespace quillet
