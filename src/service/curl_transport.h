// Posts to the web service through libcurl (the native build's transport).
#pragma once

#include <string>

#include "service/transport.h"

namespace quillet {

class CurlTransport : public Transport {
 public:
  // caFile: a file of certificates to trust for "https://" addresses instead of the system's
  // own list; empty keeps the system's list.
  explicit CurlTransport(std::string caFile = {});

  std::string Post(const std::string& address, const ParameterList& parameters) override;

 private:
  std::string caFile_;
};

}  // namespace quillet
