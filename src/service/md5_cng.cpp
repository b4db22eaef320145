#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>
#include <string>

#include "service/md5_digest.h"

namespace quillet {

namespace {

// BCrypt calls return an NTSTATUS; anything negative is a failure.
void Check(NTSTATUS status, const char* what) {
  if (status < 0) {
    throw std::runtime_error(std::string("MD5 digest failed: ") + what);
  }
}

class AlgorithmHandle {
 public:
  AlgorithmHandle() { Check(BCryptOpenAlgorithmProvider(&handle_, BCRYPT_MD5_ALGORITHM, nullptr, 0), "open"); }
  ~AlgorithmHandle() { BCryptCloseAlgorithmProvider(handle_, 0); }
  AlgorithmHandle(const AlgorithmHandle&) = delete;
  AlgorithmHandle& operator=(const AlgorithmHandle&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

}  // namespace

Md5DigestBytes Md5Digest(std::string_view bytes) {
  // A provider per call: the checker thread and the window may hash at the same time and
  // nothing is shared between them.
  const AlgorithmHandle algorithm;
  Md5DigestBytes digest{};
  BCRYPT_HASH_HANDLE hash = nullptr;
  Check(BCryptCreateHash(algorithm.get(), &hash, nullptr, 0, nullptr, 0, 0), "create");
  NTSTATUS status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                   static_cast<ULONG>(bytes.size()), 0);
  if (status >= 0) status = BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  BCryptDestroyHash(hash);
  Check(status, "hash");
  return digest;
}

}  // namespace quillet
