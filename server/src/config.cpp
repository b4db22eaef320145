#include "config.h"

#include <arpa/inet.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "util/text.h"

namespace quillet::service {
namespace {

std::string Resolved(const std::string& fileName, const std::string& baseFolder) {
  if (fileName.empty()) return fileName;
  std::filesystem::path path(fileName);
  if (path.is_absolute() || baseFolder.empty()) return fileName;
  return (std::filesystem::path(baseFolder) / path).lexically_normal().string();
}

int IntegerIn(std::string_view value, long long lowest, long long highest) {
  long long number = 0;
  if (!ParseInteger(value, number) || number < lowest || number > highest) {
    throw ConfigError("expected a whole number from " + std::to_string(lowest) + " to " +
                      std::to_string(highest) + ", found \"" + std::string(value) + "\"");
  }
  return static_cast<int>(number);
}

// A numeric IPv4 or IPv6 address, as the service sees a connection's peer.
std::string IpAddress(std::string_view value) {
  const std::string address(value);
  unsigned char bytes[16];
  if (inet_pton(AF_INET, address.c_str(), bytes) != 1 && inet_pton(AF_INET6, address.c_str(), bytes) != 1) {
    throw ConfigError("expected a numeric IP address, found \"" + address + "\"");
  }
  return address;
}

using Setter = std::function<void(ServiceConfig&, std::string_view)>;

const std::map<std::string, Setter, std::less<>>& Setters() {
  static const std::map<std::string, Setter, std::less<>> setters = {
      {"listen_address", [](ServiceConfig& c, std::string_view v) { c.listenAddress = v; }},
      {"port", [](ServiceConfig& c, std::string_view v) { c.port = IntegerIn(v, 0, 65535); }},
      {"tls_certificate", [](ServiceConfig& c, std::string_view v) { c.tlsCertificate = v; }},
      {"tls_private_key", [](ServiceConfig& c, std::string_view v) { c.tlsPrivateKey = v; }},
      {"path", [](ServiceConfig& c, std::string_view v) { c.path = v; }},
      {"offered_version", [](ServiceConfig& c, std::string_view v) { c.offeredVersion = v; }},
      {"download_address", [](ServiceConfig& c, std::string_view v) { c.downloadAddress = v; }},
      {"result",
       [](ServiceConfig& c, std::string_view v) {
         // The program accepts an answer only with "0" or "1" here.
         if (v != "0" && v != "1") throw ConfigError("result must be 0 or 1");
         c.result = v;
       }},
      {"important", [](ServiceConfig& c, std::string_view v) { c.importantMessage = v; }},
      {"sqlite_database", [](ServiceConfig& c, std::string_view v) { c.sqliteDatabase = v; }},
      {"postgresql", [](ServiceConfig& c, std::string_view v) { c.postgresql = v; }},
      {"delay_ms",
       [](ServiceConfig& c, std::string_view v) { c.delayMilliseconds = IntegerIn(v, 0, 600000); }},
      {"threads", [](ServiceConfig& c, std::string_view v) { c.threads = IntegerIn(v, 1, 1024); }},
      {"trusted_proxy",
       [](ServiceConfig& c, std::string_view v) { c.trustedProxy = v.empty() ? "" : IpAddress(v); }},
  };
  return setters;
}

void CheckComplete(const ServiceConfig& config) {
  if (config.offeredVersion.empty()) throw ConfigError("offered_version is missing");
  if (config.downloadAddress.empty()) throw ConfigError("download_address is missing");
  if (config.listenAddress.empty()) throw ConfigError("listen_address is empty");
  if (config.path.empty() || config.path.front() != '/') {
    throw ConfigError("path must begin with \"/\"");
  }
  if (config.tlsCertificate.empty() != config.tlsPrivateKey.empty()) {
    throw ConfigError("tls_certificate and tls_private_key go together: give both or neither");
  }
  if (config.postgresql.empty() && config.sqliteDatabase.empty()) {
    throw ConfigError("no storage: give sqlite_database or postgresql");
  }
}

}  // namespace

ServiceConfig ParseConfig(std::string_view text, const std::string& baseFolder) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (!IsValidUtf8(text)) throw ConfigError("the file is not UTF-8 text");

  ServiceConfig config;
  config.sqliteDatabase = "quillet-service.sqlite3";
  std::set<std::string, std::less<>> seen;
  int lineNumber = 0;
  for (std::string_view rawLine : SplitLines(text)) {
    ++lineNumber;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    std::string_view line = TrimControlAndBlanks(rawLine);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) throw ConfigError(where + "expected key = value");
    const std::string_view key = TrimControlAndBlanks(line.substr(0, equals));
    const std::string_view value = TrimControlAndBlanks(line.substr(equals + 1));
    const auto setter = Setters().find(key);
    if (setter == Setters().end()) throw ConfigError(where + "unknown key \"" + std::string(key) + "\"");
    if (!seen.insert(std::string(key)).second) {
      throw ConfigError(where + "\"" + std::string(key) + "\" is given twice");
    }
    try {
      setter->second(config, value);
    } catch (const ConfigError& error) {
      throw ConfigError(where + error.what());
    }
  }
  CheckComplete(config);
  config.tlsCertificate = Resolved(config.tlsCertificate, baseFolder);
  config.tlsPrivateKey = Resolved(config.tlsPrivateKey, baseFolder);
  if (config.postgresql.empty()) config.sqliteDatabase = Resolved(config.sqliteDatabase, baseFolder);
  return config;
}

ServiceConfig LoadConfig(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw ConfigError("cannot read the file");
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) throw ConfigError("cannot read the file");
  const auto folder = std::filesystem::absolute(fileName).parent_path().string();
  return ParseConfig(text.str(), folder);
}

}  // namespace quillet::service
