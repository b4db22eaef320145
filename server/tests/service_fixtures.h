// The fixtures of the tests that run the real quillet-service program: a private folder with a
// configuration per instance, and the same test on SQLite and on a test PostgreSQL cluster.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "service_harness.h"

namespace quillet::service::testing {

struct ServiceOptions {
  bool tls = false;
  std::string postgresql;  // empty: SQLite
  std::string extraLines;
  int port = 0;            // 0: any free port
  std::string offeredVersion = "3.2";
};

inline ServiceOptions Plain(std::string postgresql = "") { return {false, std::move(postgresql), "", 0}; }
inline ServiceOptions Secure(std::string postgresql = "") { return {true, std::move(postgresql), "", 0}; }

class ServiceTest : public ::testing::Test {
 protected:
  std::filesystem::path Database() const { return folder_.Path() / "requests.sqlite3"; }
  std::filesystem::path Authority() const { return folder_.Path() / "ca" / "ca.pem"; }

  // Writes a configuration in its own folder under the test's folder and starts the program.
  std::unique_ptr<ServiceProcess> Launch(const ServiceOptions& options, const std::string& name) {
    const auto folder = folder_.Path() / name;
    std::filesystem::create_directories(folder);
    std::string config =
        "listen_address = 127.0.0.1\nport = " + std::to_string(options.port) +
        "\noffered_version = " + options.offeredVersion + "\n"
        "download_address = https://quillet.example.com/download/?from=3.1&lang=zh\n"
        "result = 1\nimportant = 请在月底前更新\nsqlite_database = " + Database().string() + "\n";
    if (options.tls) {
      if (!std::filesystem::exists(Authority())) MakeTestAuthority(folder_.Path() / "ca");
      config += "tls_certificate = ../ca/server.pem\ntls_private_key = ../ca/server-key.pem\n";
    }
    if (!options.postgresql.empty()) config += "postgresql = " + options.postgresql + "\n";
    config += options.extraLines;
    WriteWholeFile(folder / "quillet-service.conf", config);
    return std::make_unique<ServiceProcess>(folder / "quillet-service.conf", folder);
  }

  void Start(const ServiceOptions& options = Plain()) {
    process_ = Launch(options, "service");
    const auto port = process_->WaitUntilListening();
    ASSERT_TRUE(port.has_value()) << process_->Output() << process_->Errors();
    port_ = *port;
  }

  // The service ends within the test, so a sanitizer report it wrote fails this test.
  void TearDown() override { process_.reset(); }

  TempFolder folder_;
  std::unique_ptr<ServiceProcess> process_;
  int port_ = 0;
};

enum class Store { Sqlite, Postgresql };

class ServiceOnEachStore : public ServiceTest, public ::testing::WithParamInterface<Store> {
 protected:
  void SetUp() override {
    if (GetParam() == Store::Postgresql) {
      try {
        postgres_ = std::make_unique<TestPostgres>();
      } catch (const std::exception& error) {
        FAIL() << "the test PostgreSQL cluster could not be started: " << error.what();
      }
    }
  }
  std::string Postgresql() const { return postgres_ ? postgres_->ConnectionString() : ""; }
  std::vector<StoredRow> Rows() const {
    return postgres_ ? PostgresRows(postgres_->ConnectionString()) : SqliteRows(Database());
  }

  std::unique_ptr<TestPostgres> postgres_;
};

}  // namespace quillet::service::testing
