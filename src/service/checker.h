// The background update check: asks the web service whether a newer version exists, counts
// the program's starts and keeps its state in the registry.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "service/transport.h"

namespace quillet {

// The update key and its subkey "Settings" (REG_SZ values).
class UpdateKeyStore {
 public:
  virtual ~UpdateKeyStore() = default;
  // Opens or creates HKCU SOFTWARE\Microsoft\VS\ServiceModules\<keyName>; throws on failure.
  virtual void Open(const std::string& keyName) = 0;
  // nullopt when the value is missing or unreadable.
  virtual std::optional<std::string> Read(const std::string& name) = 0;
  // Throws on failure.
  virtual void Write(const std::string& name, const std::string& value) = 0;
};

// What one run of the check needs from the system.
class CheckerSystem {
 public:
  virtual ~CheckerSystem() = default;
  virtual std::string MachineGuidText() = 0;   // may throw
  virtual std::string LocaleNameText() = 0;    // "xx" on failure (may still throw in fakes)
  virtual std::string OsDescription() = 0;
  virtual std::string ShortDateToday() = 0;
  // Message box "IMPORTANT", OK, warning icon; returns when closed.
  virtual void ShowImportant(const std::string& text) = 0;
  virtual UpdateKeyStore& Key() = 0;
  virtual Transport& Network() = 0;
};

struct CheckerInput {
  std::string appName, version, serviceAddress;
  // The page the notice opens when the service names no download address it may choose.
  std::string defaultDownloadAddress;
};

// Written by the checker thread before `done` is set (release); read by the window after it
// sees `done` (acquire).
struct CheckResult {
  std::atomic<bool> done{false};
  bool newVersionFound = false;
  std::string newVersionText;
  // The answer's download address; for an answer over plain HTTP only a secure one on the
  // service's host, else the input's default. Also what is kept as "CurrentURL".
  std::string downloadAddress;
  long long showUpdateValue = 1;
  bool error = false;
  std::string errorLog;
};

// One run of the check. Never throws: an error outside the guarded steps ends the run without
// setting done.
void RunCheck(CheckerSystem& system, const CheckerInput& input, CheckResult& result) noexcept;

}  // namespace quillet
