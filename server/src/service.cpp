#include "service.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "util/text.h"

namespace quillet::service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kTextType = "text/plain; charset=utf-8";
// The feedback memo holds at most 10,000 characters; a megabyte leaves ample room.
constexpr std::size_t kLargestBody = 1024 * 1024;

// What the log line of the request being served on this thread needs: each request is read,
// answered and logged on one worker thread.
thread_local std::optional<Clock::time_point> requestStart;
thread_local std::string requestCommand;
// Whether the request was posted on the service path: only those are requests of a command in
// the metrics, which count the others apart.
thread_local bool requestOnServicePath = false;

// A log field cannot break the line or be mistaken for two fields.
std::string LogField(std::string_view text) {
  if (text.empty()) return "-";
  std::string field;
  for (const unsigned char c : text) {
    if (c <= 0x20 || c == 0x7F || c == '%') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      field += escaped;
    } else {
      field += static_cast<char>(c);
    }
  }
  return field;
}

// A message of a library (PostgreSQL's end with a line break) as one line of the log.
std::string OneLine(std::string_view message) {
  std::string line(TrimControlAndBlanks(message));
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return line;
}

// The client's "address:port": the connection's peer, or, on a connection from the trusted
// front (nginx), the client the front names in X-Real-IP and X-Real-Port when both are sound.
std::string RemoteOf(const httplib::Request& request, const std::string& trustedProxy) {
  if (!trustedProxy.empty() && request.remote_addr == trustedProxy) {
    const std::string address = request.get_header_value("X-Real-IP");
    const std::string port = request.get_header_value("X-Real-Port");
    unsigned char bytes[16];
    const bool isAddress = inet_pton(AF_INET, address.c_str(), bytes) == 1 ||
                           inet_pton(AF_INET6, address.c_str(), bytes) == 1;
    const bool isPort = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos &&
                        std::stoi(port) <= 65535;
    if (isAddress && isPort) return address + ":" + std::to_string(std::stoi(port));
  }
  return request.remote_addr + ":" + std::to_string(request.remote_port);
}

}  // namespace

std::string UtcTimestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(milliseconds));
  return text;
}

Service::Service(ServiceConfig config, RequestStore& store, std::ostream& log)
    : config_(std::move(config)),
      store_(store),
      log_(log),
      metrics_(config_.offeredVersion, std::chrono::system_clock::now()) {
  if (config_.tlsCertificate.empty()) {
    server_ = std::make_unique<httplib::Server>();
  } else {
    server_ = std::make_unique<httplib::SSLServer>(config_.tlsCertificate.c_str(),
                                                   config_.tlsPrivateKey.c_str());
  }
  if (!server_->is_valid()) {
    throw std::runtime_error("cannot load the TLS certificate " + config_.tlsCertificate +
                             " with the key " + config_.tlsPrivateKey);
  }
  const int threads = config_.threads;
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server_->set_payload_max_length(kLargestBody);
  // An answer goes out as headers and body in two writes; without this the second waits for
  // the client's delayed acknowledgement on kept-alive connections (tens of milliseconds).
  server_->set_tcp_nodelay(true);
  server_->set_socket_options([this](int socket) {
    // Address reuse lets a restarted service bind at once; unlike the library's default,
    // port sharing is not asked for, so a second instance on a taken port fails to start
    // instead of silently taking half of the connections.
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listeningSocket_ = socket;
  });
  server_->set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    requestStart = Clock::now();
    requestCommand.clear();
    requestOnServicePath = false;
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // The body is read here rather than by the library, which refuses form bodies above 8 KB: a
  // feedback text in Chinese can be ten times that.
  server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                             const httplib::ContentReader& reader) {
    requestOnServicePath = OnServicePath(request.path);
    std::string body;
    const bool complete = reader([&body](const char* data, std::size_t length) {
      body.append(data, length);
      return body.size() <= kLargestBody;
    });
    if (!complete) {
      response.status = 413;
      response.set_content("ERROR request too large", kTextType);
      return;
    }
    Answer(request, body, response);
  });
  server_->Get("/health", [this](const httplib::Request&, httplib::Response& response) {
    const bool answers = store_.Answers();
    response.status = answers ? 200 : 503;
    response.set_content(answers ? "ok" : "storage unavailable", kTextType);
  });
  // For the maker's monitoring only: the front that faces the Internet does not pass it on.
  server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(metrics_.Exposition(), Metrics::kContentType);
  });
  server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    Log(request, response);
  });
}

Service::~Service() = default;

int Service::Bind() {
  const int port = config_.port == 0 ? server_->bind_to_any_port(config_.listenAddress)
                                     : (server_->bind_to_port(config_.listenAddress, config_.port)
                                            ? config_.port
                                            : -1);
  if (port < 0) {
    throw std::runtime_error("cannot listen on " + config_.listenAddress + " port " +
                             std::to_string(config_.port));
  }
  // The library listens with a backlog of 5: a burst of new connections (each check of the
  // program opens its own) overflows it, and the dropped connection attempts are retried by
  // the clients only a second or more later. Listening again only enlarges the queue.
  if (listeningSocket_ >= 0) ::listen(listeningSocket_, SOMAXCONN);
  return port;
}

bool Service::Serve() { return server_->listen_after_bind(); }

void Service::Stop() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  server_->stop();
}

bool Service::OnServicePath(const std::string& path) const {
  std::string_view prefix = config_.path;
  if (prefix.size() > 1 && prefix.back() == '/') prefix.remove_suffix(1);
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  return path.size() == prefix.size() || prefix == "/" || path[prefix.size()] == '/';
}

// The artificial wait lets tests see a slow service; a shutdown cuts it short.
void Service::Delay() {
  if (config_.delayMilliseconds == 0) return;
  std::unique_lock lock(stopMutex_);
  stopped_.wait_for(lock, std::chrono::milliseconds(config_.delayMilliseconds),
                    [this] { return stopping_; });
}

void Service::Answer(const httplib::Request& request, const std::string& body,
                     httplib::Response& response) {
  if (!OnServicePath(request.path)) {
    response.status = 404;
    response.set_content("not found", kTextType);
    return;
  }
  StoredRequest stored;
  stored.receivedAt = UtcTimestamp();
  stored.remoteAddress = RemoteOf(request, config_.trustedProxy);
  stored.fields = DecodeFormBody(body);
  stored.command = ReadableText(FieldValue(stored.fields, "cmd"));
  stored.body = body;
  if (stored.command == "check") stored.offeredVersion = config_.offeredVersion;
  requestCommand = stored.command;

  // A request is answered only once it is kept: the maker sees every request that got an answer,
  // also after a crash.
  try {
    commits_.Keep(stored);
  } catch (const StorageError& error) {
    metrics_.CountStorageError();
    Note("storage error: " + OneLine(error.what()));
    response.status = 503;
    response.set_content("ERROR storage unavailable", kTextType);
    return;
  }
  Delay();

  if (stored.command == "check") {
    response.set_content(CheckAnswer(config_), kTextType);
  } else if (stored.command == "feedback") {
    response.set_content(std::string(kFeedbackAnswer), kTextType);
  } else {
    response.status = 400;
    response.set_content(std::string(kUnknownCommandAnswer), kTextType);
  }
}

void Service::Note(const std::string& text) {
  const std::string line = UtcTimestamp() + " " + text;
  std::lock_guard lock(logMutex_);
  log_ << line << '\n' << std::flush;
}

void Service::Log(const httplib::Request& request, const httplib::Response& response) {
  std::string duration = "-";
  std::chrono::nanoseconds taken{};
  if (requestStart) {
    taken = Clock::now() - *requestStart;
    const auto elapsed = std::chrono::duration<double, std::milli>(taken);
    char text[32];
    std::snprintf(text, sizeof text, "%.3fms", elapsed.count());
    duration = text;
  }
  Count(request, response.status, taken);
  const std::string line = UtcTimestamp() + " " + RemoteOf(request, config_.trustedProxy) + " " +
                           request.method + " " + LogField(request.path) + " cmd=" + LogField(requestCommand) +
                           " status=" + std::to_string(response.status) + " " + duration;
  requestStart.reset();
  requestCommand.clear();
  requestOnServicePath = false;
  std::lock_guard lock(logMutex_);
  log_ << line << '\n' << std::flush;
}

// A scrape of /metrics or a health check is no request of a command: those are counted apart,
// so the request counts and times are the program's requests alone.
void Service::Count(const httplib::Request& request, int status, std::chrono::nanoseconds taken) {
  if (requestOnServicePath) {
    metrics_.CountServiceRequest(CommandLabelOf(requestCommand), status, taken);
  } else if (request.path == "/metrics") {
    metrics_.CountOtherRequest(OtherPath::Metrics, status);
  } else if (request.path == "/health") {
    metrics_.CountOtherRequest(OtherPath::Health, status);
  } else {
    metrics_.CountOtherRequest(OtherPath::Other, status);
  }
}

}  // namespace quillet::service
