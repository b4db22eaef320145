// The update checker's view of the system, kept in memory: a key store that can be told to
// fail, a scripted transport and fixed answers for the machine's identity, locale and date.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/checker.h"

namespace quillet::test {

class FakeUpdateKey : public UpdateKeyStore {
 public:
  std::map<std::string, std::string> values;
  std::string openedName;
  bool failOpen = false;
  std::string failWriteOf;  // the value whose write throws; empty: none

  void Open(const std::string& keyName) override {
    if (failOpen) throw std::runtime_error("access denied");
    openedName = keyName;
  }
  std::optional<std::string> Read(const std::string& name) override {
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void Write(const std::string& name, const std::string& value) override {
    if (name == failWriteOf) throw std::runtime_error("cannot write " + name);
    values[name] = value;
  }
};

struct PostCall {
  std::string address;
  ParameterList parameters;
};

// Answers each post by address with the scripted reply; an address without one fails the
// way a refused connection does.
class ScriptedTransport : public Transport {
 public:
  std::map<std::string, std::string> answers;
  std::vector<PostCall> calls;

  std::string Post(const std::string& address, const ParameterList& parameters) override {
    calls.push_back({address, parameters});
    const auto it = answers.find(address);
    if (it == answers.end()) throw ServiceError("Connection refused");
    return it->second;
  }
};

class FakeCheckerSystem : public CheckerSystem {
 public:
  FakeUpdateKey key;
  ScriptedTransport network;
  std::string machineGuid = "5f3c8a52-0c1d-4e8b-9a1f-2b7d6c4e9a10";
  bool failMachineGuid = false;
  bool failLocale = false;
  std::vector<std::string> shownMessages;
  std::function<void()> onShowImportant;  // runs inside ShowImportant, e.g. to throw
  Transport* realNetwork = nullptr;       // a real transport in place of the scripted one

  std::string MachineGuidText() override {
    if (failMachineGuid) throw std::runtime_error("MachineGuid is not a text value");
    return machineGuid;
  }
  std::string LocaleNameText() override {
    if (failLocale) throw std::runtime_error("no locale");
    return "zh-CN";
  }
  std::string OsDescription() override { return "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"; }
  std::string ShortDateToday() override { return "2024/5/17"; }
  void ShowImportant(const std::string& text) override {
    shownMessages.push_back(text);
    if (onShowImportant) onShowImportant();
  }
  UpdateKeyStore& Key() override { return key; }
  Transport& Network() override { return realNetwork != nullptr ? *realNetwork : network; }
};

}  // namespace quillet::test
