// Posts to the web service through libcurl (the native build's transport).
#pragma once

#include <string>

#include "service/transport.h"

namespace quillet {

class CurlTransport : public Transport {
 public:
  // caFile: a file of certificates to trust for "https://" addresses instead of the system's
  // own list; empty keeps the system's list. attemptLimit: the longest one post may take, from
  // the start of its connection to the last byte of the answer.
  explicit CurlTransport(std::string caFile = {}, std::chrono::milliseconds attemptLimit = kServiceAttemptLimit);

  std::string Post(const std::string& address, const ParameterList& parameters) override;

 private:
  std::string caFile_;
  std::chrono::milliseconds attemptLimit_;
};

}  // namespace quillet
