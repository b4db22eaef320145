// The MD5 digest itself, from the system's own crypto library on each side (OpenSSL natively,
// CNG on Windows). Md5Hex prepares the bytes and formats the result once for both.
#pragma once

#include <array>
#include <string_view>

namespace quillet {

using Md5DigestBytes = std::array<unsigned char, 16>;

// Throws std::runtime_error when the library fails.
Md5DigestBytes Md5Digest(std::string_view bytes);

}  // namespace quillet
