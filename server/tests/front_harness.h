// nginx in front of the real quillet-service for the tests: the shipped configuration
// (server/deploy/nginx-quillet.conf) filled in by front-nginx.sh as README.md tells a maker, run
// with a private prefix; raw connections for clients that misbehave.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "service_harness.h"

namespace quillet::service::testing {

// The nginx program: found on PATH or in /usr/sbin; empty when it is not installed.
std::string NginxProgram();

// A port on 127.0.0.1 that nobody listens on right now.
int FreePort();

// Raises this process's soft limit of open files to its hard limit; returns the new limit.
long RaiseOpenFileLimit();

struct FrontOptions {
  int servicePort = 0;
  std::filesystem::path certificate;  // the test authority's server.pem and server-key.pem
  std::filesystem::path privateKey;
  std::string headerTimeout;  // empty: the shipped value of client_header_timeout
};

// One nginx master process and its workers, listening on 127.0.0.1 for plain HTTP and HTTPS.
class FrontProcess {
 public:
  // Lays out folder with front-nginx.sh, starts nginx and waits until both ports answer.
  // Throws std::runtime_error with the reason (nginx missing, a bad configuration, ...).
  FrontProcess(const std::filesystem::path& folder, const FrontOptions& options);
  ~FrontProcess();
  FrontProcess(const FrontProcess&) = delete;
  FrontProcess& operator=(const FrontProcess&) = delete;

  int HttpPort() const { return httpPort_; }
  int HttpsPort() const { return httpsPort_; }
  // nginx's error output so far; its lines of level crit, alert or emerg.
  std::string Errors() const;
  std::string SeriousErrors() const;

 private:
  void Stop();

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int httpPort_ = 0;
  int httpsPort_ = 0;
};

// A blocking TCP connection to 127.0.0.1, closed with the object.
class RawConnection {
 public:
  explicit RawConnection(int port);  // throws std::runtime_error when it cannot connect
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  int LocalPort() const;
  // False once the peer has closed or reset the connection.
  bool Send(std::string_view bytes);
  struct Reading {
    std::string bytes;    // all that came
    bool closed = false;  // the peer closed (or reset) the connection within the limit
  };
  // Reads until the peer closes the connection or the limit has passed.
  Reading ReadUntilClosed(std::chrono::milliseconds limit);

 private:
  int fd_ = -1;
};

// The status code of the first HTTP status line in bytes; 0 when there is none.
int StatusIn(const std::string& bytes);

// Posts a form body as Post() of service_harness.h does, from the local port given (so the test
// knows the client's address), with both time-outs in seconds.
Answer PostFromPort(int localPort, const std::string& scheme, int port, const std::string& path,
                    const std::string& body, const std::filesystem::path& caFile, int timeoutSeconds);

// Keeps connections to 127.0.0.1:port open on a thread of its own: "slow" ones send a request
// line, then one header line every two seconds and never finish; "idle" ones send nothing. One
// that the server closes is opened again at once, so the count stays as asked.
class SlowClients {
 public:
  SlowClients(int port, int slow, int idle);  // returns once all are connected
  ~SlowClients();
  SlowClients(const SlowClients&) = delete;
  SlowClients& operator=(const SlowClients&) = delete;

  int Open() const { return open_; }
  // How many connections the server has closed so far (each was opened again).
  long ClosedByServer() const { return closedByServer_; }
  // Connections that could not be opened (again); should stay 0.
  long Failures() const { return failures_; }

 private:
  struct Client {
    int fd = -1;
    bool slow = false;
    int linesSent = 0;
    std::chrono::steady_clock::time_point nextLine;
  };
  bool Connect(Client& client);
  void Run();

  int port_;
  std::vector<Client> clients_;
  std::atomic<int> open_{0};
  std::atomic<long> closedByServer_{0};
  std::atomic<long> failures_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace quillet::service::testing
