// The service requests over the tables every build passes alike: compiled into the native tests
// (the digest through OpenSSL) and the Windows tests (the digest through CNG).
#include <gtest/gtest.h>

#include "service/service_request.h"
#include "service_cases.h"

namespace quillet {
namespace {

using namespace test::service_cases;

TEST(ServiceCases, FormBody) {
  for (const FormBodyCase& c : kFormBodyCases) {
    EXPECT_EQ(FormBody(c.parameters), c.body) << c.what;
  }
}

TEST(ServiceCases, TagValue) {
  for (const TagValueCase& c : kTagValueCases) {
    EXPECT_EQ(TagValue(c.line, c.tag), c.value) << "line '" << c.line << "' tag '" << c.tag << "'";
  }
}

TEST(ServiceCases, Md5Hex) {
  for (const Md5Case& c : kMd5Cases) {
    EXPECT_EQ(Md5Hex(c.text), c.hex) << c.text;
  }
}

TEST(ServiceCases, StoredFormat) {
  for (const StoredCase& c : kStoredCases) {
    EXPECT_EQ(EncodeStored(c.text, c.seed), c.stored) << c.text;
    EXPECT_EQ(DecodeStored(c.stored, c.seed), c.text) << c.stored;
  }
  for (const StoredCase& c : kDecodeOnlyCases) {
    EXPECT_EQ(DecodeStored(c.stored, c.seed), c.text) << c.stored;
  }
}

TEST(ServiceCases, SecureAddressOnServiceHost) {
  for (const ServiceHostCase& c : kServiceHostCases) {
    EXPECT_EQ(IsSecureAddressOnServiceHost(c.address, c.serviceAddress), c.onServiceHost)
        << "'" << c.address << "' for the service '" << c.serviceAddress << "'";
  }
}

}  // namespace
}  // namespace quillet
