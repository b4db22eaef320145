#include "service/checker.h"

#include <exception>
#include <typeinfo>
#include <vector>

#if defined(__GNUC__)
#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#endif

#include "util/text.h"

namespace quillet {

namespace {

constexpr std::string_view kUpdateKeyParent = "SOFTWARE\\Microsoft\\VS\\ServiceModules\\";
constexpr std::string_view kInvalidAnswer = "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x99\xA8"
                                            "\xE5\x93\x8D\xE5\xBA\x94";  // 无效的服务器响应

// The name of an error's type as a reader of the log recognises it ("quillet::ServiceError").
std::string ErrorClassName(const std::exception& error) {
  const char* const name = typeid(error).name();
#if defined(__GNUC__)
  int status = 0;
  const std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                         &std::free);
  if (status == 0 && readable) return readable.get();
#endif
  return name;
}

// The run's in-memory log. A blank message records nothing; the rest are kept in order,
// separated by an empty line of two CRs.
class ErrorRecord {
 public:
  explicit ErrorRecord(CheckResult& result) : result_(result) {}

  void Add(std::string_view message) {
    if (TrimControlAndBlanks(message).empty()) return;
    result_.error = true;
    if (!result_.errorLog.empty()) result_.errorLog += "\r\r";
    result_.errorLog += message;
  }
  void Clear() {
    result_.errorLog.clear();
    result_.error = false;
  }

 private:
  CheckResult& result_;
};

// A value the run reads: absent when it is missing or cannot be read.
std::optional<std::string> ReadValue(UpdateKeyStore& key, const std::string& name) {
  try {
    return key.Read(name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A stored number as the earlier versions read it: a 32-bit signed decimal, else the default.
long long ReadInt32(UpdateKeyStore& key, const std::string& name, long long defaultValue) {
  const std::optional<std::string> text = ReadValue(key, name);
  long long value = 0;
  if (!text || !ParseInteger(*text, value) || value < -2147483648LL || value > 2147483647LL) return defaultValue;
  return value;
}

std::string LineAt(const std::vector<std::string>& lines, std::size_t number) {
  return number <= lines.size() ? lines[number - 1] : std::string();
}

// Whether an offered version text raises a notice: a whole 32-bit number once its dots are
// gone. Versions are compared as texts, so "1.9" against a running "1.10" is offered too.
bool IsNumericVersion(const std::string& versionText) {
  std::string digits;
  for (const char c : versionText) {
    if (c != '.') digits += c;
  }
  long long value = 0;
  return ParseInteger(digits, value) && value >= -2147483648LL && value <= 2147483647LL;
}

// An answer of the service and the way it came.
struct ServiceAnswer {
  std::string text;
  // Over the plain scheme: anyone on the way could have written it.
  bool overPlainHttp = false;
};

// Asks the service over the secure scheme and, when that fails, once more over the plain one.
// A plain answer clears the log, so a run whose secure attempt failed goes on as usual.
ServiceAnswer PostWithFallback(Transport& network, const std::string& serviceAddress, const ParameterList& parameters,
                               ErrorRecord& errors) {
  try {
    return {network.Post("https://" + serviceAddress, parameters), false};
  } catch (const std::exception& error) {
    errors.Add(std::string("HTTPS Response:\r") + error.what());
  }
  try {
    ServiceAnswer answer{network.Post("http://" + serviceAddress, parameters), true};
    errors.Clear();
    return answer;
  } catch (const std::exception& error) {
    errors.Add(std::string("HTTP Response:\r") + error.what());
  }
  return {};
}

// The download address the notice is to open. The plain fallback is kept for systems without
// current TLS, but a plain answer may be forged by anyone on its way, and the notice shows only
// "点击下载 ...", never the address: such an answer may name only a secure address on the
// service's own host, which nobody on the way can answer for. Otherwise the default page.
std::string DownloadAddressOf(const ServiceAnswer& answer, const std::string& offered, const CheckerInput& input) {
  if (!answer.overPlainHttp || IsSecureAddressOnServiceHost(offered, input.serviceAddress)) return offered;
  return input.defaultDownloadAddress;
}

// Sends the request and takes the answer (the guarded part of the run: every error here ends
// up in the log).
void AskAndAccept(CheckerSystem& system, const CheckerInput& input, const std::string& machineIdentity,
                  long long startCount, CheckResult& result, ErrorRecord& errors) {
  ParameterList parameters{"cmd=check", "appname=" + input.appName, "version=" + input.version,
                           "os=" + system.OsDescription()};
  try {
    parameters.push_back("local=" + system.LocaleNameText());
  } catch (const std::exception&) {
    errors.Add("Error: LocaleName2 problem!");
  }
  parameters.push_back("guid=" + machineIdentity);
  try {
    parameters.push_back("howmany=" + std::to_string(startCount));
  } catch (const std::exception&) {
    errors.Add("Error: HM variable problem!");
  }

  const ServiceAnswer answer = PostWithFallback(system.Network(), input.serviceAddress, parameters, errors);
  if (answer.text.starts_with("ERROR")) errors.Add(kInvalidAnswer);
  const std::vector<std::string> lines = AnswerLines(answer.text);
  if (!result.error) {
    const std::string outcome = TagValue(LineAt(lines, 4), "result");
    if (outcome != "0" && outcome != "1") errors.Add(kInvalidAnswer);
  }
  if (result.error) return;

  UpdateKeyStore& key = system.Key();
  result.newVersionText = TagValue(LineAt(lines, 1), "version");
  key.Write("CurrentVersion", result.newVersionText);
  result.downloadAddress = DownloadAddressOf(answer, TagValue(LineAt(lines, 2), "url"), input);
  // What is kept is the address the notice opens, never one the answer was not allowed to
  // choose: the update state then holds nothing a forger put there for a later reader to trust.
  key.Write("CurrentURL", EncodeStored(result.downloadAddress, kStoredSeed));

  const std::string important = TagValue(LineAt(lines, 6), "important");
  if (!TrimControlAndBlanks(important).empty()) system.ShowImportant(important);

  if (result.newVersionText == input.version || !IsNumericVersion(result.newVersionText)) return;
  if (result.showUpdateValue == 1) {
    key.Write("LastUpdateInform", system.ShortDateToday());
    result.newVersionFound = true;
  }
}

void Run(CheckerSystem& system, const CheckerInput& input, CheckResult& result) {
  result.done.store(false, std::memory_order_relaxed);
  ErrorRecord errors(result);
  errors.Clear();

  std::string keyName;
  try {
    keyName = Md5Hex(input.appName);
  } catch (const std::exception&) {
    errors.Add("Error: MD5 generate problem!");
  }
  std::string machineIdentity;
  try {
    machineIdentity = system.MachineGuidText();
  } catch (const std::exception&) {
    errors.Add("Error: GUID generate problem!");
  }
  UpdateKeyStore& key = system.Key();
  try {
    key.Open(std::string(kUpdateKeyParent) + keyName);
  } catch (const std::exception&) {
    errors.Add("Error: Registry open problem!");
  }

  // The start count belongs to the version that ran last; a new version counts from 1 again.
  const std::string installedVersion = ReadValue(key, "InstalledVersion").value_or(std::string());
  long long startCount = ReadInt32(key, "HowMany", 0);
  if (installedVersion != input.version) startCount = 0;
  ++startCount;
  key.Write("HowMany", std::to_string(startCount));
  key.Write("InstalledVersion", input.version);

  result.showUpdateValue = ReadInt32(key, "ShowUpdate", 1);
  if (result.showUpdateValue != 0) {
    try {
      AskAndAccept(system, input, machineIdentity, startCount, result, errors);
    } catch (const std::exception& error) {
      errors.Add(ErrorClassName(error) + " Error:\r" + error.what());
    } catch (...) {
      errors.Add("unknown Error:\r");
    }
  }
  result.done.store(true, std::memory_order_release);
}

}  // namespace

void RunCheck(CheckerSystem& system, const CheckerInput& input, CheckResult& result) noexcept {
  try {
    Run(system, input, result);
  } catch (...) {
    // Outside the guarded steps (the start count and the version could not be written): the
    // run ends without reporting done, so the window keeps the menu item disabled and shows
    // no notice, and the process goes on.
  }
}

}  // namespace quillet
