// Posts to the maker's web service through WinHTTP (TLS by the system's own SChannel).
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>

#include "service/transport.h"

namespace quillet {

// Every post gets its own session, connection and request, closed when it returns, so posts on
// different threads share nothing.
//
// "https://" (exactly so) posts by the secure rules: "Connection: close", the content type
// names the UTF-8 charset, and whatever body comes back is the answer whatever its status.
// Any other address posts by the plain rules: the bare form content type, and an error status
// (400 and above) throws. Both wait at most kServiceConnectTimeout for the connection and
// kServiceResponseTimeout for each part of the response. The body is decoded by the charset the
// response declares (UTF-8 when it declares none or one the system does not know) and returned
// as UTF-8.
// However steadily the head or the body of the answer keeps arriving, a post ends with an error
// after attemptLimit: the request runs asynchronously and Post stops waiting for it then.
class WinHttpTransport final : public Transport {
 public:
  explicit WinHttpTransport(std::chrono::milliseconds attemptLimit = kServiceAttemptLimit)
      : attemptLimit_(attemptLimit) {}
  std::string Post(const std::string& address, const ParameterList& parameters) override;

 private:
  std::chrono::milliseconds attemptLimit_;
};

// The system's text for a WinHTTP error code (the texts live in winhttp.dll), without the final
// line break; the general system texts for other codes.
std::string WinHttpErrorText(DWORD code);

// The body as UTF-8, decoded by the charset named in a Content-Type value ("text/plain;
// charset=gbk"); UTF-8 when there is none or the system lacks it. Bytes that are not valid in
// the charset become U+FFFD.
std::string DecodeAnswerBody(std::string_view body, std::string_view contentType);

// The charset parameter of a Content-Type value, lower-cased and unquoted; "" when none.
std::string CharsetOf(std::string_view contentType);

// The Windows code page of a charset name (lower case), 0 when unknown.
UINT CodePageOfCharset(std::string_view charset);

}  // namespace quillet
