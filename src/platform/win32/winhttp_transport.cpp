#include "platform/win32/winhttp_transport.h"

#include <winhttp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "platform/win32/unique_handle.h"
#include "util/text.h"

namespace quillet {
namespace {

using UniqueInternet = UniqueHandle<HandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

[[noreturn]] void ThrowError(DWORD code) {
  // Some WinHTTP implementations (Wine's) pass the socket's own time-out code on.
  if (code == WSAETIMEDOUT) code = ERROR_WINHTTP_TIMEOUT;
  throw ServiceError(WinHttpErrorText(code));
}

[[noreturn]] void ThrowLastError() { ThrowError(GetLastError()); }

// The parts of the address WinHTTP connects with.
struct AddressParts {
  std::wstring host, pathAndQuery;
  INTERNET_PORT port = 0;
  bool usesTls = false;
};

AddressParts SplitAddress(const std::wstring& address) {
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof components;
  // -1: point into the text instead of copying each part.
  components.dwSchemeLength = static_cast<DWORD>(-1);
  components.dwHostNameLength = static_cast<DWORD>(-1);
  components.dwUrlPathLength = static_cast<DWORD>(-1);
  components.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(address.c_str(), static_cast<DWORD>(address.size()), 0, &components)) ThrowLastError();
  AddressParts parts;
  parts.host.assign(components.lpszHostName, components.dwHostNameLength);
  if (components.lpszUrlPath) parts.pathAndQuery.assign(components.lpszUrlPath, components.dwUrlPathLength);
  if (components.lpszExtraInfo) parts.pathAndQuery.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  if (parts.pathAndQuery.empty()) parts.pathAndQuery = L"/";
  parts.port = components.nPort;
  parts.usesTls = components.nScheme == INTERNET_SCHEME_HTTPS;
  return parts;
}

// A response header as text; "" when the response has none.
std::wstring QueryHeaderText(HINTERNET request, DWORD info) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

DWORD QueryStatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD bytes = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &bytes, WINHTTP_NO_HEADER_INDEX)) {
    ThrowLastError();
  }
  return status;
}

// What one request shares with WinHTTP's status callback. A request whose attempt ran out of
// time is closed with an operation still under way, and WinHTTP may call back about it after
// Post has returned, until it reports the handle closing; so the callback keeps its own share
// of the exchange until then, and the buffers WinHTTP works on live here, not on Post's stack.
struct Exchange {
  // Set by the callback when the operation under way has ended.
  UniqueKernelHandle ended{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  DWORD error = ERROR_SUCCESS;  // how it ended
  DWORD count = 0;              // the bytes it found available or read
  std::string requestBody;
  std::array<char, 64 * 1024> chunk;
};

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
  auto* const share = reinterpret_cast<std::shared_ptr<Exchange>*>(context);
  if (share == nullptr) return;
  Exchange& exchange = **share;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      exchange.count = *static_cast<const DWORD*>(information);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      exchange.count = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      exchange.error = static_cast<const WINHTTP_ASYNC_RESULT*>(information)->dwError;
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      delete share;  // the last call about this request
      return;
    default:
      return;
  }
  SetEvent(exchange.ended.get());
}

// Routes the request's status to OnRequestStatus with a share of the exchange, which the
// callback lets go when the request handle closes. Returns the context value the request
// carries.
DWORD_PTR WatchRequest(HINTERNET request, const std::shared_ptr<Exchange>& exchange) {
  auto share = std::make_unique<std::shared_ptr<Exchange>>(exchange);
  auto context = reinterpret_cast<DWORD_PTR>(share.get());
  if (!WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) ThrowLastError();
  if (WinHttpSetStatusCallback(request, &OnRequestStatus,
                               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    ThrowLastError();
  }
  share.release();  // the callback's now
  return context;
}

// The end of one attempt, whatever it is waiting for.
struct Deadline {
  std::chrono::steady_clock::time_point at;
  std::chrono::milliseconds limit;
};

// Starts one operation of the request and waits until it ends, or at most until the deadline:
// then the attempt fails, and closing the request (as the caller unwinds) cancels what runs.
template <typename Start>
void Await(Exchange& exchange, const Deadline& deadline, Start start) {
  exchange.error = ERROR_SUCCESS;
  exchange.count = 0;
  ResetEvent(exchange.ended.get());
  if (!start()) ThrowLastError();
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline.at - std::chrono::steady_clock::now());
  const DWORD wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
  const DWORD waited = WaitForSingleObject(exchange.ended.get(), wait);
  if (waited == WAIT_TIMEOUT) {
    throw ServiceError("The answer of the service was not complete within " + std::to_string(deadline.limit.count()) +
                       " ms");
  }
  if (waited != WAIT_OBJECT_0) ThrowLastError();
  if (exchange.error != ERROR_SUCCESS) ThrowError(exchange.error);
}

// The body, read until it ends. Each read takes only what has arrived, because a read for more
// may wait until all of it is there.
std::string ReadBody(HINTERNET request, Exchange& exchange, const Deadline& deadline) {
  std::string body;
  for (;;) {
    Await(exchange, deadline, [&] { return WinHttpQueryDataAvailable(request, nullptr); });
    if (exchange.count == 0) return body;
    const DWORD wanted = std::min(exchange.count, static_cast<DWORD>(exchange.chunk.size()));
    Await(exchange, deadline, [&] { return WinHttpReadData(request, exchange.chunk.data(), wanted, nullptr); });
    if (exchange.count == 0) return body;
    if (body.size() + exchange.count > kMaxAnswerBytes) {
      throw ServiceError("The answer of the service is larger than " + std::to_string(kMaxAnswerBytes) + " bytes");
    }
    body.append(exchange.chunk.data(), exchange.count);
  }
}

// Whole UTF-16 units from the bytes; an odd last byte becomes U+FFFD.
std::wstring Utf16Units(std::string_view bytes, bool bigEndian) {
  std::wstring units;
  units.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<wchar_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
  }
  if (bytes.size() % 2 != 0) units += L'\xFFFD';
  return units;
}

// The system's decoder replaces what is not valid in the code page (U+FFFD for UTF-8, lone
// surrogates included), so the result is always valid UTF-8.
std::string Utf8FromCodePage(std::string_view bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return codePage == CP_UTF8 ? std::string() : Utf8FromCodePage(bytes, CP_UTF8);
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), units);
  return Narrow(text);
}

constexpr UINT kUtf16LittleEndian = 1200;
constexpr UINT kUtf16BigEndian = 1201;

}  // namespace

std::string WinHttpErrorText(DWORD code) {
  // winhttp.dll first, for its own codes; the system's texts for the rest.
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                          FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      GetModuleHandleW(L"winhttp.dll"), code, 0,
                                      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && text.back() <= L' ') text.pop_back();
  if (!text.empty()) return Narrow(text);
  // Systems whose winhttp.dll carries no texts (Wine) still say what went wrong.
  struct KnownError {
    DWORD code;
    const char* text;
  };
  static constexpr KnownError kKnownErrors[] = {
      {ERROR_WINHTTP_TIMEOUT, "The operation timed out"},
      {ERROR_WINHTTP_INVALID_URL, "The URL is invalid"},
      {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "The URL does not use a recognized protocol"},
      {ERROR_WINHTTP_NAME_NOT_RESOLVED, "The server name or address could not be resolved"},
      {ERROR_WINHTTP_CANNOT_CONNECT, "A connection with the server could not be established"},
      {ERROR_WINHTTP_CONNECTION_ERROR, "The connection with the server was terminated abnormally"},
      {ERROR_WINHTTP_HEADER_NOT_FOUND, "The requested header could not be located"},
      {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "The server returned an invalid or unrecognized response"},
      {ERROR_WINHTTP_SECURE_FAILURE, "A security error occurred"},
  };
  for (const KnownError& known : kKnownErrors) {
    if (known.code == code) return known.text;
  }
  return "WinHTTP error " + std::to_string(code);
}

std::string CharsetOf(std::string_view contentType) {
  std::size_t start = contentType.find(';');
  while (start != std::string_view::npos) {
    const std::size_t end = contentType.find(';', start + 1);
    const std::string_view parameter =
        contentType.substr(start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
    const std::size_t equals = parameter.find('=');
    if (equals != std::string_view::npos &&
        EqualsIgnoreAsciiCase(TrimControlAndBlanks(parameter.substr(0, equals)), "charset")) {
      std::string_view value = TrimControlAndBlanks(parameter.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return AsciiLower(value);
    }
    start = end;
  }
  return {};
}

UINT CodePageOfCharset(std::string_view charset) {
  struct Name {
    std::string_view name;
    UINT codePage;
  };
  static constexpr Name kNames[] = {
      {"utf-8", CP_UTF8},         {"utf8", CP_UTF8},          {"gbk", 936},
      {"gb2312", 936},            {"x-gbk", 936},             {"cp936", 936},
      {"gb18030", 54936},         {"big5", 950},              {"shift_jis", 932},
      {"shift-jis", 932},         {"sjis", 932},              {"windows-31j", 932},
      {"euc-jp", 20932},          {"euc-kr", 949},            {"ks_c_5601-1987", 949},
      {"iso-8859-1", 28591},      {"latin1", 28591},          {"iso-8859-2", 28592},
      {"iso-8859-5", 28595},      {"iso-8859-7", 28597},      {"iso-8859-9", 28599},
      {"iso-8859-15", 28605},     {"us-ascii", 20127},        {"ascii", 20127},
      {"koi8-r", 20866},          {"koi8-u", 21866},          {"utf-16", kUtf16LittleEndian},
      {"utf-16le", kUtf16LittleEndian}, {"utf-16be", kUtf16BigEndian},
  };
  for (const Name& entry : kNames) {
    if (entry.name == charset) return entry.codePage;
  }
  // windows-1250 ... windows-1258 and their cp names.
  for (std::string_view prefix : {std::string_view("windows-"), std::string_view("cp")}) {
    if (charset.size() == prefix.size() + 4 && charset.substr(0, prefix.size()) == prefix) {
      long long number = 0;
      if (ParseInteger(charset.substr(prefix.size()), number) && number >= 1250 && number <= 1258) {
        return static_cast<UINT>(number);
      }
    }
  }
  return 0;
}

std::string DecodeAnswerBody(std::string_view body, std::string_view contentType) {
  UINT codePage = CodePageOfCharset(CharsetOf(contentType));
  if (codePage == kUtf16LittleEndian || codePage == kUtf16BigEndian) {
    bool bigEndian = codePage == kUtf16BigEndian;
    // "utf-16" alone leaves the order to a byte-order mark.
    if (body.size() >= 2 && (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF")) {
      bigEndian = body[0] == '\xFE';
      body.remove_prefix(2);
    }
    return Narrow(Utf16Units(body, bigEndian));
  }
  if (codePage == 0 || codePage == CP_UTF8 || !IsValidCodePage(codePage)) {
    return IsValidUtf8(body) ? std::string(body) : Utf8FromCodePage(body, CP_UTF8);
  }
  return Utf8FromCodePage(body, codePage);
}

std::string WinHttpTransport::Post(const std::string& address, const ParameterList& parameters) {
  // Only the exact lower-case prefix selects the secure rules; the connection itself follows
  // the address's scheme whatever its case.
  const bool secureRules = address.rfind("https://", 0) == 0;
  const AddressParts parts = SplitAddress(Widen(address));
  const Deadline deadline{std::chrono::steady_clock::now() + attemptLimit_, attemptLimit_};

  // Asynchronous, so that the wait for each part of the exchange can end at the deadline: a
  // synchronous call waits as long as bytes keep coming, and its request may not be closed
  // from elsewhere while it runs.
  const UniqueInternet session(WinHttpOpen(L"Quillet", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  if (!session) ThrowLastError();
  const auto connectTimeout = static_cast<int>(kServiceConnectTimeout.count());
  const auto responseTimeout = static_cast<int>(kServiceResponseTimeout.count());
  if (!WinHttpSetTimeouts(session.get(), connectTimeout, connectTimeout, responseTimeout, responseTimeout)) {
    ThrowLastError();
  }

  const UniqueInternet connection(WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
  if (!connection) ThrowLastError();
  const UniqueInternet request(WinHttpOpenRequest(connection.get(), L"POST", parts.pathAndQuery.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  parts.usesTls ? WINHTTP_FLAG_SECURE : 0));
  if (!request) ThrowLastError();
  // The wait for the response headers has its own limit besides the one for each read.
  DWORD headTimeout = static_cast<DWORD>(responseTimeout);
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headTimeout, sizeof headTimeout);

  const auto exchange = std::make_shared<Exchange>();
  if (!exchange->ended) ThrowLastError();
  exchange->requestBody = FormBody(parameters);
  const DWORD_PTR context = WatchRequest(request.get(), exchange);

  const wchar_t* const headers =
      secureRules ? L"Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\nConnection: close\r\n"
                  : L"Content-Type: application/x-www-form-urlencoded\r\n";
  const auto bodyBytes = static_cast<DWORD>(exchange->requestBody.size());
  Await(*exchange, deadline, [&] {
    return WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1L), exchange->requestBody.data(), bodyBytes,
                              bodyBytes, context);
  });
  Await(*exchange, deadline, [&] { return WinHttpReceiveResponse(request.get(), nullptr); });

  if (!secureRules) {
    const DWORD status = QueryStatusCode(request.get());
    if (status >= 400) {
      std::wstring statusLine = QueryHeaderText(request.get(), WINHTTP_QUERY_VERSION);
      statusLine += L" " + std::to_wstring(status);
      const std::wstring reason = QueryHeaderText(request.get(), WINHTTP_QUERY_STATUS_TEXT);
      if (!reason.empty()) statusLine += L" " + reason;
      throw ServiceError(Narrow(statusLine));
    }
  }
  const std::string contentType = Narrow(QueryHeaderText(request.get(), WINHTTP_QUERY_CONTENT_TYPE));
  return DecodeAnswerBody(ReadBody(request.get(), *exchange, deadline), contentType);
}

}  // namespace quillet
