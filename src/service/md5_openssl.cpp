#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "service/md5_digest.h"

namespace quillet {

Md5DigestBytes Md5Digest(std::string_view bytes) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  Md5DigestBytes digest{};
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
    throw std::runtime_error("MD5 digest failed");
  }
  return digest;
}

}  // namespace quillet
