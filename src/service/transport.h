// The way a post reaches the web service; the checker and the feedback window see only this,
// so tests put a fake in its place.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "service/service_request.h"

namespace quillet {

// A post that failed: no connection, a time-out, an error status where it counts.
class ServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// However steadily an answer keeps arriving, one attempt ends after this long. The service's
// answers are a few lines, and the feedback window takes no input while it waits for them, so
// a server that sends a byte now and then must not hold it for ever.
inline constexpr std::chrono::milliseconds kServiceAttemptLimit{20000};

class Transport {
 public:
  virtual ~Transport() = default;
  // One post with the rules of the address's scheme ("https://" compared case-sensitively:
  // secure rules, else plain rules); returns the answer's body. Throws ServiceError(message)
  // on any failure.
  virtual std::string Post(const std::string& address, const ParameterList& parameters) = 0;
};

}  // namespace quillet
