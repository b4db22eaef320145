#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <stdexcept>
#include <utility>

#include "test_authority.h"

namespace quillet::test {

namespace {

// A socket bound to 127.0.0.1 on a port the system picks; returns the socket and its port.
int BindLoopback(int& port) {
  const int socketHandle = socket(AF_INET, SOCK_STREAM, 0);
  if (socketHandle < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (bind(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(socketHandle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(socketHandle);
    throw std::runtime_error("bind on 127.0.0.1 failed");
  }
  port = ntohs(address.sin_port);
  return socketHandle;
}

}  // namespace

struct LoopbackServer::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread listener;
  mutable std::mutex mutex;
  std::condition_variable released;
  bool stopping = false;
  std::vector<ReceivedPost> received;
};

LoopbackServer::LoopbackServer(const TestAuthority* authority, Handler handler) : impl_(std::make_unique<Impl>()) {
  if (authority != nullptr) {
    impl_->server = std::make_unique<httplib::SSLServer>(authority->ServerCertificateFile().c_str(),
                                                         authority->ServerKeyFile().c_str());
  } else {
    impl_->server = std::make_unique<httplib::Server>();
  }
  if (!impl_->server->is_valid()) throw std::runtime_error("the test server could not be set up");

  Impl* const impl = impl_.get();
  impl_->server->Post(".*", [impl, handler](const httplib::Request& request, httplib::Response& response) {
    ReceivedPost post{request.path, request.get_header_value("Content-Type"), request.get_header_value("Connection"),
                      request.body, {}};
    for (const auto& [name, value] : request.params) post.fields.emplace(name, value);
    const CannedAnswer answer = handler(post);
    {
      std::unique_lock lock(impl->mutex);
      impl->received.push_back(std::move(post));
      if (answer.neverAnswer) impl->released.wait(lock, [impl] { return impl->stopping; });
    }
    response.status = answer.status;
    if (answer.trickle.count() > 0) {
      response.set_content_provider(
          answer.body.size(), answer.contentType.c_str(),
          [body = answer.body, pause = answer.trickle](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(pause);
            return sink.write(body.data() + offset, 1);
          });
    } else {
      response.set_content(answer.body, answer.contentType.c_str());
    }
  });

  port_ = impl_->server->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the test server could not bind");
  impl_->listener = std::thread([impl] { impl->server->listen_after_bind(); });
}

LoopbackServer::~LoopbackServer() {
  {
    const std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->released.notify_all();
  impl_->server->stop();
  impl_->listener.join();
}

std::string LoopbackServer::Address() const { return "127.0.0.1:" + std::to_string(port_) + "/check"; }

std::vector<ReceivedPost> LoopbackServer::Received() const {
  const std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

SilentListener::SilentListener() {
  listening_ = BindLoopback(port_);
  if (listen(listening_, 16) != 0) {
    close(listening_);
    throw std::runtime_error("listen failed");
  }
  acceptor_ = std::thread([this] {
    while (true) {
      const int connection = accept(listening_, nullptr, nullptr);
      if (connection < 0) return;  // the listening socket was shut down
      const std::lock_guard lock(mutex_);
      accepted_.push_back(connection);
    }
  });
}

SilentListener::~SilentListener() {
  shutdown(listening_, SHUT_RDWR);
  acceptor_.join();
  close(listening_);
  for (const int connection : accepted_) close(connection);
}

std::string SilentListener::Address() const { return "127.0.0.1:" + std::to_string(port_) + "/check"; }

TricklingServer::TricklingServer(const TestAuthority* authority, std::string answer, std::size_t atOnce,
                                 std::chrono::milliseconds pause)
    : answer_(std::move(answer)), atOnce_(std::min(atOnce, answer_.size())), pause_(pause) {
  // Writing to a client that has given up must end the answer, not the test program (OpenSSL
  // writes to the socket without MSG_NOSIGNAL).
  std::signal(SIGPIPE, SIG_IGN);
  if (authority != nullptr) {
    tls_ = SSL_CTX_new(TLS_server_method());
    if (tls_ == nullptr ||
        SSL_CTX_use_certificate_chain_file(tls_, authority->ServerCertificateFile().c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_, authority->ServerKeyFile().c_str(), SSL_FILETYPE_PEM) != 1) {
      SSL_CTX_free(tls_);
      throw std::runtime_error("the trickling server's TLS could not be set up");
    }
  }
  listening_ = BindLoopback(port_);
  if (listen(listening_, 16) != 0) {
    close(listening_);
    SSL_CTX_free(tls_);
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { Serve(); });
}

TricklingServer::~TricklingServer() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopping_.notify_all();
  thread_.join();
  close(listening_);
  SSL_CTX_free(tls_);
}

std::string TricklingServer::Address() const { return "127.0.0.1:" + std::to_string(port_) + "/check"; }

int TricklingServer::Requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

void TricklingServer::Serve() {
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    pollfd waiting{listening_, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const int connection = accept(listening_, nullptr, nullptr);
    if (connection < 0) continue;
    // A client that stops reading or writing cannot hold the server for long.
    const timeval bound{5, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    Answer(connection);
    close(connection);
  }
}

void TricklingServer::Answer(int connection) {
  const std::unique_ptr<SSL, decltype(&SSL_free)> tls(tls_ != nullptr ? SSL_new(tls_) : nullptr, &SSL_free);
  if (tls_ != nullptr && (!tls || SSL_set_fd(tls.get(), connection) != 1 || SSL_accept(tls.get()) != 1)) return;
  auto receive = [&](char* data, int size) {
    return tls ? SSL_read(tls.get(), data, size) : static_cast<int>(recv(connection, data, size, 0));
  };
  auto send = [&](const char* data, int size) {
    return tls ? SSL_write(tls.get(), data, size) : static_cast<int>(::send(connection, data, size, MSG_NOSIGNAL));
  };

  // The request: its head up to the empty line and the body its Content-Length declares.
  std::string request;
  std::size_t headEnd = std::string::npos;
  std::size_t bodyLength = 0;
  while (headEnd == std::string::npos || request.size() < headEnd + 4 + bodyLength) {
    char chunk[4096];
    const int got = receive(chunk, sizeof chunk);
    if (got <= 0) return;
    request.append(chunk, static_cast<std::size_t>(got));
    if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
      std::string head = request.substr(0, headEnd);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::size_t field = head.find("\r\ncontent-length:");
      if (field != std::string::npos) bodyLength = std::stoul(head.substr(field + 17));
    }
  }
  {
    const std::lock_guard lock(mutex_);
    ++requests_;
  }

  if (atOnce_ > 0 && send(answer_.data(), static_cast<int>(atOnce_)) != static_cast<int>(atOnce_)) return;
  for (std::size_t next = atOnce_; next < answer_.size(); ++next) {
    {
      std::unique_lock lock(mutex_);
      if (stopping_.wait_for(lock, pause_, [this] { return stop_; })) return;
    }
    if (send(answer_.data() + next, 1) != 1) return;
  }
  if (tls) SSL_shutdown(tls.get());
}

int UnusedPort() {
  int port = 0;
  close(BindLoopback(port));
  return port;
}

}  // namespace quillet::test
