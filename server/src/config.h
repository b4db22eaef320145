// The service's configuration file: "key = value" lines, "#" or ";" begins a comment line.
// Every key, its default and its meaning are listed in quillet-service.conf.example.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillet::service {

struct ServiceConfig {
  std::string listenAddress = "127.0.0.1";
  int port = 8080;                  // 0: any free port (the start-up line names it)
  std::string tlsCertificate;       // both empty: plain HTTP only
  std::string tlsPrivateKey;
  std::string path = "/service";    // requests are taken on this path and anything under it
  std::string offeredVersion;
  std::string downloadAddress;
  std::string result = "1";
  std::string importantMessage;     // empty: the answer has no "important" line
  std::string sqliteDatabase;       // used when postgresql is empty
  std::string postgresql;           // a libpq connection string
  int delayMilliseconds = 0;        // an artificial wait before each answer, after storing
  int threads = 8;
  // The address of a front (nginx) whose X-Real-IP and X-Real-Port headers name the client;
  // empty: the connection's own address is always the one stored and logged.
  std::string trustedProxy;
};

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the text of a configuration file. Relative file names in it are taken from baseFolder
// (the folder of the configuration file). Throws ConfigError naming the line at fault.
ServiceConfig ParseConfig(std::string_view text, const std::string& baseFolder);

// Reads and parses the file; throws ConfigError when it cannot be read or is not valid.
ServiceConfig LoadConfig(const std::string& fileName);

}  // namespace quillet::service
