// The cases every build's service requests pass alike, here against the Windows build (the
// digest through CNG), plus what only the system digest can get wrong: long input and
// digests on several threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../shared/service_cases.h"
#include "service/service_request.h"

namespace quillet {
namespace {

using namespace test::service_cases;

TEST(ServiceCasesTest, FormBody) {
  for (const FormBodyCase& c : kFormBodyCases) {
    EXPECT_EQ(FormBody(c.parameters), c.body) << c.what;
  }
}

TEST(ServiceCasesTest, TagValue) {
  for (const TagValueCase& c : kTagValueCases) {
    EXPECT_EQ(TagValue(c.line, c.tag), c.value) << "line '" << c.line << "' tag '" << c.tag << "'";
  }
}

TEST(ServiceCasesTest, Md5Hex) {
  for (const Md5Case& c : kMd5Cases) {
    EXPECT_EQ(Md5Hex(c.text), c.hex) << c.text;
  }
  // The RFC 1321 test suite's longest vector and a million characters, fed through in one go.
  EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
  EXPECT_EQ(Md5Hex(std::string(1'000'000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(ServiceCasesTest, Md5HexOnSeveralThreadsAtOnce) {
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

TEST(ServiceCasesTest, StoredFormat) {
  for (const StoredCase& c : kStoredCases) {
    EXPECT_EQ(EncodeStored(c.text, c.seed), c.stored) << c.text;
    EXPECT_EQ(DecodeStored(c.stored, c.seed), c.text) << c.stored;
  }
  for (const StoredCase& c : kDecodeOnlyCases) {
    EXPECT_EQ(DecodeStored(c.stored, c.seed), c.text) << c.stored;
  }
}

}  // namespace
}  // namespace quillet
