// A tiny HTTP server on 127.0.0.1 inside the test process (Winsock, one listening thread), for
// posts that must reach a real socket: it records each request and answers what the test says.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "util/text.h"

namespace quillet::testing {

struct ReceivedRequest {
  std::string head;  // request line and headers, up to the empty line
  std::string body;
};

// What the server does with every connection.
struct CannedReply {
  std::string bytes;  // the whole response, status line included
  // Keep the connection open and silent until the client gives up (or the server stops).
  bool hold = false;
  // Answer the first bytes that arrive without waiting for a whole request (e.g. a TLS hello).
  bool answerFirstBytes = false;
  // When set, the body of the answer goes out one byte at a time, this long apart.
  std::chrono::milliseconds trickle{0};
  // With trickle: the status line and the headers go out a byte at a time as well.
  bool trickleHead = false;
};

// "HTTP/1.1 <status>" with the headers given (each ending in CR LF) and the body.
inline std::string HttpResponse(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// The fields of a form body as the service reads them: split at "&", each at its first "=",
// "+" a space and %XX a byte.
inline std::vector<std::pair<std::string, std::string>> FormFields(const std::string& body) {
  auto decode = [](std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '+') {
        out += ' ';
      } else if (text[i] == '%' && i + 2 < text.size()) {
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        out += text[i];
      }
    }
    return out;
  };
  std::vector<std::pair<std::string, std::string>> fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string_view field = std::string_view(body).substr(start, end - start);
    const std::size_t equals = field.find('=');
    fields.emplace_back(decode(field.substr(0, equals)),
                        equals == std::string_view::npos ? "" : decode(field.substr(equals + 1)));
    start = end + 1;
  }
  return fields;
}

class LoopbackServer {
 public:
  explicit LoopbackServer(CannedReply reply) : reply_(std::move(reply)) {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 8);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  unsigned short port() const { return port_; }
  // scheme + "127.0.0.1:<port>" + path
  std::string Address(const std::string& scheme, const std::string& path = "/check") const {
    return scheme + "127.0.0.1:" + std::to_string(port_) + path;
  }

  std::vector<ReceivedRequest> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // Waits (at most `bound`) until the client has closed a held connection; false when it
  // never did.
  bool WaitUntilClientClosedHeldConnection(std::chrono::seconds bound = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [this] { return clientClosedHeld_; });
  }

  // A port on 127.0.0.1 that nothing listens on (bound a moment ago, then released).
  static unsigned short ClosedPort() {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(probe);
    WSACleanup();
    return ntohs(address.sin_port);
  }

 private:
  // A held connection is let go after this long even if nobody stops the server.
  static constexpr auto kHoldBound = std::chrono::seconds(60);

  // Waits up to 50 ms for the socket to become readable.
  static bool Readable(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, 50 * 1000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
  }

  // Waits up to 50 ms for the socket to take more bytes.
  static bool Writable(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, 50 * 1000};
    return select(0, nullptr, &set, nullptr, &wait) > 0;
  }

  void Serve() {
    while (!stop_) {
      if (!Readable(listener_)) continue;
      const SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      Handle(client);
      closesocket(client);
    }
  }

  // Reads until the head is complete and the body has its declared length (or the client
  // stops sending).
  bool ReadRequest(SOCKET client, ReceivedRequest& request) {
    std::string data;
    std::size_t headEnd = std::string::npos;
    std::size_t bodyLength = 0;
    char chunk[16 * 1024];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      if (headEnd != std::string::npos && data.size() >= headEnd + 4 + bodyLength) break;
      if (!Readable(client)) continue;
      const int got = recv(client, chunk, sizeof chunk, 0);
      if (got <= 0) return false;
      data.append(chunk, static_cast<std::size_t>(got));
      if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
        const std::string lowerHead = AsciiLower(data.substr(0, headEnd));
        const std::size_t field = lowerHead.find("\r\ncontent-length:");
        if (field != std::string::npos) bodyLength = std::stoul(lowerHead.substr(field + 17));
      }
    }
    if (headEnd == std::string::npos) return false;
    request.head = data.substr(0, headEnd);
    request.body = data.substr(headEnd + 4, bodyLength);
    return true;
  }

  void Handle(SOCKET client) {
    if (reply_.answerFirstBytes) {
      char chunk[4096];
      while (!stop_ && !Readable(client)) {
      }
      if (recv(client, chunk, sizeof chunk, 0) <= 0) return;
    } else {
      ReceivedRequest request;
      if (!ReadRequest(client, request)) return;
      std::lock_guard lock(mutex_);
      requests_.push_back(std::move(request));
    }
    if (reply_.hold) {
      Hold(client);
      return;
    }
    // The answer goes out without blocking, so a client that neither reads nor closes its end
    // (Wine's TLS sometimes keeps the socket of a failed handshake) cannot keep the server
    // from stopping.
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    const std::string& bytes = reply_.bytes;
    std::size_t sent = 0;
    // A trickled answer sends its head at once (unless that trickles too) and its body byte by
    // byte.
    const bool trickling = reply_.trickle.count() > 0;
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    const std::size_t trickleFrom =
        !trickling ? bytes.size() : reply_.trickleHead || headEnd == std::string::npos ? 0 : headEnd + 4;
    while (sent < bytes.size()) {
      if (stop_) return;
      if (sent >= trickleFrom) std::this_thread::sleep_for(reply_.trickle);
      const std::size_t end = sent < trickleFrom ? trickleFrom : sent + 1;
      const int count = send(client, bytes.data() + sent, static_cast<int>(end - sent), 0);
      if (count > 0) {
        sent += static_cast<std::size_t>(count);
      } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        Writable(client);
      } else {
        return;
      }
    }
    shutdown(client, SD_SEND);
    // Let the client read everything before the socket goes away.
    char drain[256];
    while (!stop_ && Readable(client) && recv(client, drain, sizeof drain, 0) > 0) {
    }
  }

  void Hold(SOCKET client) {
    const auto until = std::chrono::steady_clock::now() + kHoldBound;
    char chunk[256];
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      if (Readable(client) && recv(client, chunk, sizeof chunk, 0) <= 0) {
        std::lock_guard lock(mutex_);
        clientClosedHeld_ = true;
        changed_.notify_all();
        return;
      }
    }
  }

  const CannedReply reply_;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ReceivedRequest> requests_;
  bool clientClosedHeld_ = false;
};

}  // namespace quillet::testing
