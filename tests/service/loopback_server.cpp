#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <stdexcept>

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

int UnusedPort() {
  int port = 0;
  close(BindLoopback(port));
  return port;
}

}  // namespace quillet::test
