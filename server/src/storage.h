// Where the service keeps every request it receives. One small interface, two stores: an
// SQLite file (the default, nothing to set up) and PostgreSQL, which several service instances
// can share because the service itself keeps no state.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "config.h"
#include "protocol.h"

namespace quillet::service {

struct StoredRequest {
  std::string receivedAt;      // UTC, "2026-12-10T05:13:44.123Z"
  std::string remoteAddress;   // "127.0.0.1:54321"
  std::string command;         // the "cmd" field as readable UTF-8 text
  std::vector<FormField> fields;  // every field, in order, bytes as sent
  std::string body;            // the raw request body
  std::string offeredVersion;  // a check: the version it was offered; empty for other commands
};

// How many checks came in on one day, by the version they were offered and the one they had.
struct CheckCount {
  std::string day;                       // UTC, "2026-12-10"
  std::optional<std::string> offered;    // none: kept before the offered version was recorded
  std::optional<std::string> installed;  // the "version" field's bytes; none: no such field
  long long checks = 0;
};

class StorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RequestStore {
 public:
  virtual ~RequestStore() = default;
  // Keeps every request with all its fields in one transaction, or nothing of them; durable
  // once it returns. Safe to call from several threads at once. Throws StorageError.
  virtual void KeepAll(const std::vector<const StoredRequest*>& requests) = 0;
  void Keep(const StoredRequest& request) { KeepAll({&request}); }
  // True when the store answers a query on its tables.
  virtual bool Answers() = 0;
  // Every kept request of this command, oldest first, each with all its fields in order.
  // Throws StorageError.
  virtual std::vector<StoredRequest> Requests(const std::string& command) = 0;
  // The kept checks counted by day, offered and installed version, in no particular order.
  // Throws StorageError.
  virtual std::vector<CheckCount> CheckCounts() = 0;
};

// Opens the store the configuration names (PostgreSQL when a connection string is given,
// otherwise the SQLite file), creates its tables when they are missing and adds the columns an
// older service's tables lack. Throws StorageError.
std::unique_ptr<RequestStore> OpenStore(const ServiceConfig& config);

std::unique_ptr<RequestStore> OpenSqliteStore(const std::string& fileName);
std::unique_ptr<RequestStore> OpenPostgresStore(const std::string& connectionString);

}  // namespace quillet::service
