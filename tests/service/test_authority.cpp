#include "test_authority.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace quillet::test {

namespace {

std::filesystem::path MakeTemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillet-ca-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot make a folder for the test authority");
  return std::filesystem::path(buffer.data());
}

void RunOpenssl(const std::filesystem::path& folder, const std::string& arguments) {
  const std::string command = "cd '" + folder.string() + "' && openssl " + arguments + " >openssl.log 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl failed: " + arguments);
}

}  // namespace

TestAuthority::TestAuthority() : folder_(MakeTemporaryFolder()) {
  try {
    RunOpenssl(folder_,
               "req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
               "-subj '/CN=Quillet test authority' -addext basicConstraints=critical,CA:TRUE "
               "-addext keyUsage=critical,keyCertSign,cRLSign");
    RunOpenssl(folder_, "req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj '/CN=127.0.0.1'");
    std::ofstream(folder_ / "server.ext") << "basicConstraints=CA:FALSE\n"
                                             "keyUsage=digitalSignature,keyEncipherment\n"
                                             "extendedKeyUsage=serverAuth\n"
                                             "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    RunOpenssl(folder_,
               "x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 "
               "-extfile server.ext");
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw;
  }
}

TestAuthority::~TestAuthority() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace quillet::test
