// A certificate authority made for one test run with the openssl tool, in a folder of its
// own, and a server certificate for 127.0.0.1 that it signed. Only the client under test is
// told to trust it; the machine's trust store is never touched.
#pragma once

#include <filesystem>
#include <string>

namespace quillet::test {

class TestAuthority {
 public:
  TestAuthority();  // throws std::runtime_error when the openssl tool fails
  ~TestAuthority();
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  std::string CaFile() const { return (folder_ / "ca.pem").string(); }
  std::string ServerCertificateFile() const { return (folder_ / "server.pem").string(); }
  std::string ServerKeyFile() const { return (folder_ / "server.key").string(); }

 private:
  std::filesystem::path folder_;
};

}  // namespace quillet::test
