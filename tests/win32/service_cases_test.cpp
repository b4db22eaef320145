// What only the Windows build's digest (CNG) can get wrong beyond the shared table of cases
// (tests/shared/service_cases_test.cpp): long input and digests on several threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "service/service_request.h"

namespace quillet {
namespace {

TEST(ServiceDigestOnWindows, Md5HexOfLongInput) {
  // The RFC 1321 test suite's longest vector and a million characters, fed through in one go.
  EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
  EXPECT_EQ(Md5Hex(std::string(1'000'000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(ServiceDigestOnWindows, Md5HexOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&mismatches, t] {
      for (int i = 0; i < 200; ++i) {
        if (Md5Hex("Kalmiro - Quillet") != "0F4A525BC643DC9A42F37DFEAD6BFCFC") ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace quillet
