// An answer of the web service as the update check reads it: the line split, the tagged lines
// 1, 2, 4 and 6, the stored form of the download address, and a whole run of the check over
// the same answer, over each scheme. A hostile or broken service must never crash the program.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fake_checker_system.h"
#include "service/checker.h"
#include "service/service_request.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> lines = quillet::AnswerLines(answer);
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  const struct {
    std::size_t number;
    const char* tag;
  } tagged[] = {{1, "version"}, {2, "url"}, {4, "result"}, {6, "important"}};
  for (const auto& [number, tag] : tagged) {
    const std::string line = number <= lines.size() ? lines[number - 1] : std::string();
    const std::string value = quillet::TagValue(line, tag);
    // A value is exactly what stands between the tags of its line.
    if (!value.empty() && "<" + std::string(tag) + ">" + value + "</" + tag + ">" != line) std::abort();
    // Stored and read back, the value is unchanged whenever it is text.
    if (quillet::IsValidUtf8(value) &&
        quillet::DecodeStored(quillet::EncodeStored(value, quillet::kStoredSeed), quillet::kStoredSeed) != value) {
      std::abort();
    }
  }

  // The same bytes as a stored value someone edited: decoding gives text or nothing.
  const std::uint16_t seed = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : quillet::kStoredSeed;
  if (!quillet::IsValidUtf8(quillet::DecodeStored(answer, seed))) std::abort();

  // A whole run over the answer ends, and only a web address is ever opened.
  quillet::test::FakeCheckerSystem system;
  system.network.answers["https://service.example.com/check"] = std::string(answer);
  quillet::CheckResult result;
  const quillet::CheckerInput input{"Kalmiro - Quillet", "3.1", "service.example.com/check",
                                    "https://service.example.com/download/"};
  quillet::RunCheck(system, input, result);
  if (!result.done.load(std::memory_order_acquire)) std::abort();
  if (result.newVersionFound && result.error) std::abort();
  const std::string opened = quillet::OpenableDownloadAddress(result.downloadAddress, "https://fallback.example/");
  if (opened != "https://fallback.example/" && opened != result.downloadAddress) std::abort();

  // The same answer over plain HTTP, where anyone on the way could have written it: it leads
  // nowhere but to the default page or a secure address on the service's own host.
  quillet::test::FakeCheckerSystem plainSystem;
  plainSystem.network.answers["http://service.example.com/check"] = std::string(answer);
  quillet::CheckResult plainResult;
  quillet::RunCheck(plainSystem, input, plainResult);
  if (!plainResult.done.load(std::memory_order_acquire)) std::abort();
  if (!plainResult.error && plainResult.downloadAddress != input.defaultDownloadAddress &&
      !quillet::IsSecureAddressOnServiceHost(plainResult.downloadAddress, input.serviceAddress)) {
    std::abort();
  }
  return 0;
}
