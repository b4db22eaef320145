// HTTP and HTTPS servers on 127.0.0.1 inside the test program, answering posts with canned
// answers and keeping what they received. A silent listener accepts connections and never
// says a word, for the time-outs; a trickling server writes its answer a byte at a time,
// status line and headers included when told.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace quillet::test {

class TestAuthority;

struct ReceivedPost {
  std::string path;
  std::string contentType;
  std::string connection;  // the "Connection" header
  std::string body;        // as it arrived, still encoded
  std::multimap<std::string, std::string> fields;  // the decoded form fields
};

struct CannedAnswer {
  int status = 200;
  std::string body;
  std::string contentType = "text/plain; charset=utf-8";
  bool neverAnswer = false;  // hold the request until the server stops
  // When set, the body goes out one byte at a time, this long apart.
  std::chrono::milliseconds trickle{0};
};

class LoopbackServer {
 public:
  using Handler = std::function<CannedAnswer(const ReceivedPost&)>;

  // Plain HTTP when authority is null, else HTTPS with its server certificate.
  LoopbackServer(const TestAuthority* authority, Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:<port>/check": host and path without a scheme, like the service address.
  std::string Address() const;
  std::vector<ReceivedPost> Received() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// Accepts connections on 127.0.0.1 and keeps them open without reading or writing.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  std::string Address() const;

 private:
  int listening_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
  std::mutex mutex_;
  std::thread acceptor_;
};

// Answers every post on 127.0.0.1 with the same bytes, written as they are (status line and
// headers included): the first `atOnce` of them together, then the rest one at a time, `pause`
// apart, until they are all out, the client has gone or the server stops. HTTPS with the
// authority's server certificate, plain HTTP when authority is null. One connection at a time.
class TricklingServer {
 public:
  TricklingServer(const TestAuthority* authority, std::string answer, std::size_t atOnce,
                  std::chrono::milliseconds pause);
  ~TricklingServer();
  TricklingServer(const TricklingServer&) = delete;
  TricklingServer& operator=(const TricklingServer&) = delete;

  // "127.0.0.1:<port>/check"
  std::string Address() const;
  // How many whole requests it has read.
  int Requests() const;

 private:
  void Serve();
  void Answer(int connection);

  const std::string answer_;
  const std::size_t atOnce_;
  const std::chrono::milliseconds pause_;
  ssl_ctx_st* tls_ = nullptr;
  int listening_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable stopping_;
  bool stop_ = false;
  int requests_ = 0;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens.
int UnusedPort();

}  // namespace quillet::test
