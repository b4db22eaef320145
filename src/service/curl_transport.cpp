#include "service/curl_transport.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string_view>
#include <utility>

#include "util/text.h"

namespace quillet {

namespace {

void InitialiseLibraryOnce() {
  // curl_global_init is not safe to run on two threads at once; a function-local static is.
  static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (status != CURLE_OK) throw ServiceError(curl_easy_strerror(status));
}

struct Exchange {
  CURL* handle = nullptr;
  std::string body;
  std::string statusLine;
  bool tooLarge = false;
  bool timedOut = false;
  curl_off_t lastReceived = -1;
  curl_off_t lastSent = -1;
  std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& exchange = *static_cast<Exchange*>(context);
  const std::size_t length = size * count;
  if (exchange.body.size() + length > kMaxAnswerBytes) {
    exchange.tooLarge = true;
    return 0;  // fewer bytes than offered: libcurl ends the transfer
  }
  exchange.body.append(data, length);
  return length;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto& exchange = *static_cast<Exchange*>(context);
  const std::string_view line(data, size * count);
  // The last status line wins: an interim "100 Continue" comes before the real one.
  if (line.starts_with("HTTP/")) exchange.statusLine = std::string(TrimControlAndBlanks(line));
  return size * count;
}

// The response time-out: once connected, this long without a byte going either way ends the
// attempt (the whole attempt has libcurl's total limit besides). libcurl's averaged low-speed
// limit would let a silent server hold the attempt for twice as long, so the wait for data is
// timed here: libcurl calls this at least about once a second, also while nothing arrives.
int OnProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto& exchange = *static_cast<Exchange*>(context);
  const auto now = std::chrono::steady_clock::now();
  curl_off_t readyMicroseconds = 0;
  // Until the connection (with its TLS handshake) is ready, the connect time-out rules.
  const bool connected = curl_easy_getinfo(exchange.handle, CURLINFO_PRETRANSFER_TIME_T, &readyMicroseconds) ==
                             CURLE_OK &&
                         readyMicroseconds > 0;
  if (!connected || received != exchange.lastReceived || sent != exchange.lastSent) {
    exchange.lastReceived = received;
    exchange.lastSent = sent;
    exchange.lastActivity = now;
    return 0;
  }
  if (now - exchange.lastActivity < kServiceResponseTimeout) return 0;
  exchange.timedOut = true;
  return 1;  // non-zero: libcurl ends the transfer
}

// The charset parameter of a Content-Type header, lower-cased; "" when there is none.
std::string DeclaredCharset(const char* contentType) {
  if (contentType == nullptr) return {};
  const std::string lower = AsciiLower(contentType);
  const auto start = lower.find("charset=");
  if (start == std::string::npos) return {};
  std::string_view value = std::string_view(lower).substr(start + 8);
  value = value.substr(0, value.find(';'));
  value = TrimControlAndBlanks(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

bool IsLatin1(std::string_view charset) {
  return charset == "iso-8859-1" || charset == "iso8859-1" || charset == "iso_8859-1" || charset == "latin1" ||
         charset == "l1";
}

// The answer as UTF-8 text. Latin-1 is converted; UTF-8, no declaration and any other
// charset are read as UTF-8, with malformed bytes replaced so that nothing later meets them.
std::string DecodeBody(std::string bytes, std::string_view charset) {
  if (IsLatin1(charset)) {
    std::wstring units;
    units.reserve(bytes.size());
    for (const char c : bytes) units += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return Narrow(units);
  }
  return ValidUtf8(bytes);
}

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  const CURLcode status = curl_easy_setopt(handle, option, value);
  if (status != CURLE_OK) throw ServiceError(curl_easy_strerror(status));
}

class HeaderList {
 public:
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(list_); }

  void Add(const char* header) {
    curl_slist* const extended = curl_slist_append(list_, header);
    if (extended == nullptr) throw ServiceError("out of memory for a request header");
    list_ = extended;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace

CurlTransport::CurlTransport(std::string caFile, std::chrono::milliseconds attemptLimit)
    : caFile_(std::move(caFile)), attemptLimit_(attemptLimit) {}

std::string CurlTransport::Post(const std::string& address, const ParameterList& parameters) {
  InitialiseLibraryOnce();
  // Only this exact prefix takes the secure rules; "HTTPS://" goes the plain way, as it always
  // has (libcurl still speaks TLS to it).
  const bool secure = address.starts_with("https://");

  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> owner(curl_easy_init(), &curl_easy_cleanup);
  if (!owner) throw ServiceError("libcurl could not create a request");
  CURL* const handle = owner.get();

  HeaderList headers;
  if (secure) {
    headers.Add("Connection: close");
    headers.Add("Content-Type: application/x-www-form-urlencoded; charset=utf-8");
  } else {
    headers.Add("Content-Type: application/x-www-form-urlencoded");
  }
  headers.Add("Expect:");  // no "100-continue" round trip before a longer body

  const std::string body = FormBody(parameters);
  Exchange exchange;
  exchange.handle = handle;
  char errorText[CURL_ERROR_SIZE] = {};
  SetOption(handle, CURLOPT_ERRORBUFFER, errorText);
  SetOption(handle, CURLOPT_URL, address.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
  SetOption(handle, CURLOPT_PROTOCOLS_STR, "http,https");
#else
  SetOption(handle, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
  SetOption(handle, CURLOPT_NOSIGNAL, 1L);  // the checker posts from its own thread
  SetOption(handle, CURLOPT_POST, 1L);
  SetOption(handle, CURLOPT_POSTFIELDS, body.data());
  SetOption(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  SetOption(handle, CURLOPT_HTTPHEADER, headers.get());
  SetOption(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kServiceConnectTimeout.count()));
  // Everything from the name look-up to the last byte of the answer, the head included.
  SetOption(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(attemptLimit_.count()));
  SetOption(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  SetOption(handle, CURLOPT_XFERINFODATA, &exchange);
  SetOption(handle, CURLOPT_NOPROGRESS, 0L);
  SetOption(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  SetOption(handle, CURLOPT_WRITEDATA, &exchange);
  SetOption(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  SetOption(handle, CURLOPT_HEADERDATA, &exchange);
  if (!caFile_.empty()) SetOption(handle, CURLOPT_CAINFO, caFile_.c_str());

  const CURLcode status = curl_easy_perform(handle);
  if (exchange.timedOut) {
    throw ServiceError("No answer from the server within " + std::to_string(kServiceResponseTimeout.count()) + " ms");
  }
  if (exchange.tooLarge) throw ServiceError("The answer is larger than " + std::to_string(kMaxAnswerBytes) + " bytes");
  if (status != CURLE_OK) throw ServiceError(errorText[0] != '\0' ? errorText : curl_easy_strerror(status));

  if (!secure) {
    long statusCode = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &statusCode);
    if (statusCode >= 400) {
      throw ServiceError(!exchange.statusLine.empty() ? exchange.statusLine : "HTTP status " + std::to_string(statusCode));
    }
  }
  const char* contentType = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &contentType) != CURLE_OK) contentType = nullptr;
  return DecodeBody(std::move(exchange.body), DeclaredCharset(contentType));
}

}  // namespace quillet
