// The way a post reaches the web service; the checker and the feedback window see only this,
// so tests put a fake in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "service/service_request.h"

namespace quillet {

// A post that failed: no connection, a time-out, an error status where it counts.
class ServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The limits of one attempt, the same for every transport.
// The wait for the connection, TLS handshake included.
inline constexpr std::chrono::milliseconds kServiceConnectTimeout{3000};
// The wait for the answer while nothing of it arrives.
inline constexpr std::chrono::milliseconds kServiceResponseTimeout{3000};
// However steadily the head or the body of an answer keeps trickling in, one attempt ends after
// its two time-outs together. The feedback window takes no input while it waits, once for each
// scheme it tries, and the service's answers are a few lines that need no longer.
inline constexpr std::chrono::milliseconds kServiceAttemptLimit = kServiceConnectTimeout + kServiceResponseTimeout;
// An answer is a few short lines; a larger body is refused rather than kept in memory, so a
// broken or hostile server cannot fill it.
inline constexpr std::size_t kMaxAnswerBytes = 32u * 1024u * 1024u;

class Transport {
 public:
  virtual ~Transport() = default;
  // One post with the rules of the address's scheme ("https://" compared case-sensitively:
  // secure rules, else plain rules); returns the answer's body. Throws ServiceError(message)
  // on any failure.
  virtual std::string Post(const std::string& address, const ParameterList& parameters) = 0;
};

}  // namespace quillet
