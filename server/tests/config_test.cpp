#include <gtest/gtest.h>

#include "config.h"

namespace quillet::service {
namespace {

TEST(ServiceConfig, ReadsEveryKeyAndResolvesFilesFromTheConfigFolder) {
  const ServiceConfig config = ParseConfig(
      "\xEF\xBB\xBF# the maker's service\r\n"
      "listen_address = 0.0.0.0\r\n"
      "port = 8443\n"
      "  tls_certificate = tls/server.pem  \n"
      "tls_private_key = /etc/quillet/key.pem\n"
      "; the offer\n"
      "path = /update/\n"
      "offered_version = 3.2\n"
      "download_address = https://quillet.example.com/get?a=1&b=2\n"
      "result = 0\n"
      "important = 请更新 = now\n"
      "sqlite_database = data/requests.sqlite3\n"
      "delay_ms = 250\n"
      "threads = 16\n"
      "trusted_proxy = 127.0.0.1\n",
      "/srv/quillet");
  EXPECT_EQ(config.listenAddress, "0.0.0.0");
  EXPECT_EQ(config.port, 8443);
  EXPECT_EQ(config.tlsCertificate, "/srv/quillet/tls/server.pem");
  EXPECT_EQ(config.tlsPrivateKey, "/etc/quillet/key.pem");
  EXPECT_EQ(config.path, "/update/");
  EXPECT_EQ(config.offeredVersion, "3.2");
  EXPECT_EQ(config.downloadAddress, "https://quillet.example.com/get?a=1&b=2");
  EXPECT_EQ(config.result, "0");
  EXPECT_EQ(config.importantMessage, "请更新 = now");
  EXPECT_EQ(config.sqliteDatabase, "/srv/quillet/data/requests.sqlite3");
  EXPECT_EQ(config.postgresql, "");
  EXPECT_EQ(config.delayMilliseconds, 250);
  EXPECT_EQ(config.threads, 16);
  EXPECT_EQ(config.trustedProxy, "127.0.0.1");
}

TEST(ServiceConfig, DefaultsServePlainHttpOnLoopbackIntoSqlite) {
  const ServiceConfig config =
      ParseConfig("offered_version = 3.1\ndownload_address = https://example.com/\n", "/srv");
  EXPECT_EQ(config.listenAddress, "127.0.0.1");
  EXPECT_EQ(config.port, 8080);
  EXPECT_TRUE(config.tlsCertificate.empty());
  EXPECT_EQ(config.path, "/service");
  EXPECT_EQ(config.result, "1");
  EXPECT_TRUE(config.importantMessage.empty());
  EXPECT_EQ(config.sqliteDatabase, "/srv/quillet-service.sqlite3");
  EXPECT_EQ(config.delayMilliseconds, 0);
  EXPECT_EQ(config.trustedProxy, "") << "no front is trusted unless named";
}

TEST(ServiceConfig, TrustedProxyTakesAnIpv6AddressOrNothing) {
  const std::string offer = "offered_version = 3.1\ndownload_address = https://example.com/\n";
  EXPECT_EQ(ParseConfig(offer + "trusted_proxy = ::1\n", "/srv").trustedProxy, "::1");
  EXPECT_EQ(ParseConfig(offer + "trusted_proxy =\n", "/srv").trustedProxy, "");
}

TEST(ServiceConfig, PostgresqlReplacesTheSqliteFile) {
  const ServiceConfig config = ParseConfig(
      "offered_version = 3.1\ndownload_address = https://example.com/\n"
      "postgresql = host=/run/pg dbname=quillet user=svc\n",
      "/srv");
  EXPECT_EQ(config.postgresql, "host=/run/pg dbname=quillet user=svc");
}

struct BadConfig {
  const char* name;
  const char* text;
  const char* message;
};

class ServiceConfigRejects : public ::testing::TestWithParam<BadConfig> {};

TEST_P(ServiceConfigRejects, WithTheLineAndTheReason) {
  try {
    ParseConfig(GetParam().text, "/srv");
    FAIL() << "accepted";
  } catch (const ConfigError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
  }
}


INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceConfigRejects,
    ::testing::Values(
        BadConfig{"UnknownKey", "offered_version = 3.2\nversion = 3\n", "line 2: unknown key \"version\""},
        BadConfig{"NoEquals", "offered_version 3.2\n", "line 1: expected key = value"},
        BadConfig{"Twice", "port = 1\nport = 2\n", "line 2: \"port\" is given twice"},
        BadConfig{"PortNotANumber", "port = https\n", "line 1: expected a whole number from 0 to 65535"},
        BadConfig{"PortTooLarge", "port = 65536\n", "line 1: expected a whole number"},
        BadConfig{"ResultTwo", "result = 2\n", "line 1: result must be 0 or 1"},
        BadConfig{"NegativeDelay", "delay_ms = -1\n", "line 1: expected a whole number"},
        BadConfig{"NoThreads", "threads = 0\n", "line 1: expected a whole number from 1"},
        BadConfig{"ProxyNotAnAddress", "trusted_proxy = localhost\n",
                  "line 1: expected a numeric IP address, found \"localhost\""},
        BadConfig{"ProxyWithPort", "trusted_proxy = 127.0.0.1:80\n", "line 1: expected a numeric IP address"},
        BadConfig{"NoVersion", "download_address = https://e.com/\n", "offered_version is missing"},
        BadConfig{"NoAddress", "offered_version = 3.2\n", "download_address is missing"},
        BadConfig{"CertificateWithoutKey", "offered_version = 3.2\ndownload_address = x\ntls_certificate = c.pem\n",
                  "give both or neither"},
        BadConfig{"RelativePath", "offered_version = 3.2\ndownload_address = x\npath = service\n",
                  "path must begin with"},
        BadConfig{"NoStorage", "offered_version = 3.2\ndownload_address = x\nsqlite_database =\n",
                  "no storage"},
        BadConfig{"NotUtf8", "offered_version = 3.2\xFF\n", "not UTF-8"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ServiceConfig, AMissingFileIsReportedNotDefaulted) {
  EXPECT_THROW(LoadConfig("/nonexistent/quillet-service.conf"), ConfigError);
}

}  // namespace
}  // namespace quillet::service
