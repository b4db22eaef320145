#include "front_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quillet::service::testing {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A blocking connection to 127.0.0.1:port, or -1.
int ConnectSocket(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_in address = Loopback(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool Answers(int port) {
  const int fd = ConnectSocket(port);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

std::string NginxProgram() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream entries(path);
    for (std::string folder; std::getline(entries, folder, ':');) folders.push_back(folder);
  }
  folders.insert(folders.end(), {"/usr/sbin", "/sbin"});
  for (const auto& folder : folders) {
    const std::string program = folder + "/nginx";
    if (!folder.empty() && access(program.c_str(), X_OK) == 0) return program;
  }
  return {};
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  close(fd);
  return ntohs(address.sin_port);
}

long RaiseOpenFileLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  getrlimit(RLIMIT_NOFILE, &limit);
  return static_cast<long>(limit.rlim_cur);
}

// ---- nginx ----

FrontProcess::FrontProcess(const std::filesystem::path& folder, const FrontOptions& options)
    : folder_(folder) {
  const std::string program = NginxProgram();
  if (program.empty()) {
    throw std::runtime_error(
        "nginx is missing: the front tests need Debian's nginx package "
        "(scripts/install-deps.sh installs it)");
  }
  // Another program may take a port between FreePort() and nginx's bind: try again then.
  for (int attempt = 1;; ++attempt) {
    httpPort_ = FreePort();
    do httpsPort_ = FreePort(); while (httpsPort_ == httpPort_);
    RunScript("front-nginx.sh",
              {"quillet", folder_.string(), std::to_string(options.servicePort), std::to_string(httpPort_),
               std::to_string(httpsPort_), options.certificate.string(), options.privateKey.string(),
               options.headerTimeout});
    const std::filesystem::path errors = folder_ / "nginx.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // A process group of its own, so that its workers can be ended with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> arguments = {program, "-p", folder_.string() + "/", "-c",
                                          (folder_ / "nginx.conf").string(), "-e", "stderr"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));

    const auto deadline = Clock::now() + std::chrono::seconds(30);
    bool ended = false;
    while (Clock::now() < deadline) {
      if (Answers(httpPort_) && Answers(httpsPort_)) return;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string text = Errors();
    if (!ended) Stop();
    pid_ = -1;
    if (ended && attempt < 3 && text.find("Address already in use") != std::string::npos) continue;
    throw std::runtime_error(std::string(ended ? "nginx ended at start" : "nginx did not listen within 30 s") +
                             ":\n" + text);
  }
}

FrontProcess::~FrontProcess() { Stop(); }

void FrontProcess::Stop() {
  if (pid_ <= 0) return;
  // SIGTERM: nginx's fast shutdown; the workers go with the master.
  kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) != pid_) {
    if (Clock::now() > deadline) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

std::string FrontProcess::Errors() const { return ReadWholeFile(folder_ / "nginx.err"); }

std::string FrontProcess::SeriousErrors() const {
  std::string serious;
  std::stringstream lines(Errors());
  for (std::string line; std::getline(lines, line);) {
    if (line.find("[crit]") != std::string::npos || line.find("[alert]") != std::string::npos ||
        line.find("[emerg]") != std::string::npos) {
      serious += line + "\n";
    }
  }
  return serious;
}

// ---- Raw connections ----

RawConnection::RawConnection(int port) : fd_(ConnectSocket(port)) {
  if (fd_ < 0) throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) close(fd_);
}

int RawConnection::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

bool RawConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

RawConnection::Reading RawConnection::ReadUntilClosed(std::chrono::milliseconds limit) {
  Reading reading;
  const auto deadline = Clock::now() + limit;
  char buffer[65536];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return reading;
    pollfd watched{fd_, POLLIN, 0};
    if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got > 0) {
      reading.bytes.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    reading.closed = true;
    return reading;
  }
}

int StatusIn(const std::string& bytes) {
  std::smatch match;
  static const std::regex statusLine(R"(^HTTP/1\.[01] (\d{3}) )");
  return std::regex_search(bytes, match, statusLine) ? std::stoi(match[1]) : 0;
}

Answer PostFromPort(int localPort, const std::string& scheme, int port, const std::string& path,
                    const std::string& body, const std::filesystem::path& caFile, int timeoutSeconds) {
  httplib::Client client(scheme + "://127.0.0.1:" + std::to_string(port));
  if (scheme == "https") {
    client.enable_server_certificate_verification(true);
    client.set_ca_cert_path(caFile.string(), "");
  }
  client.set_connection_timeout(timeoutSeconds, 0);
  client.set_read_timeout(timeoutSeconds, 0);
  client.set_write_timeout(timeoutSeconds, 0);
  client.set_tcp_nodelay(true);
  // Called on the new socket before it connects.
  client.set_socket_options([localPort](int fd) {
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in address = Loopback(localPort);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  });
  return AnswerOf(client.Post(path.c_str(), body, "application/x-www-form-urlencoded; charset=UTF-8"));
}

// ---- Slow and idle clients ----

SlowClients::SlowClients(int port, int slow, int idle) : port_(port) {
  clients_.resize(static_cast<std::size_t>(slow + idle));
  const auto now = Clock::now();
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    Client& client = clients_[i];
    client.slow = i < static_cast<std::size_t>(slow);
    if (!Connect(client)) throw std::runtime_error("cannot open slow connection " + std::to_string(i));
    // Spread the header lines over the two seconds, as independent clients would send them.
    if (client.slow) client.nextLine = now + std::chrono::milliseconds(2000 * static_cast<long>(i) / slow);
  }
  thread_ = std::thread([this] { Run(); });
}

SlowClients::~SlowClients() {
  stop_ = true;
  thread_.join();
  for (Client& client : clients_) {
    if (client.fd >= 0) close(client.fd);
  }
}

bool SlowClients::Connect(Client& client) {
  client.fd = ConnectSocket(port_);
  if (client.fd < 0) {
    ++failures_;
    return false;
  }
  fcntl(client.fd, F_SETFL, fcntl(client.fd, F_GETFL) | O_NONBLOCK);
  ++open_;
  client.linesSent = 0;
  client.nextLine = Clock::now() + std::chrono::seconds(2);
  if (client.slow) {
    static constexpr std::string_view kRequestLine = "POST /service HTTP/1.1\r\n";
    send(client.fd, kRequestLine.data(), kRequestLine.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  return true;
}

void SlowClients::Run() {
  std::vector<pollfd> watched;
  char buffer[4096];
  while (!stop_) {
    watched.clear();
    for (const Client& client : clients_) watched.push_back({client.fd, POLLIN, 0});
    poll(watched.data(), watched.size(), 100);
    const auto now = Clock::now();
    for (std::size_t i = 0; i < clients_.size(); ++i) {
      Client& client = clients_[i];
      if (client.fd < 0) {
        Connect(client);
        continue;
      }
      bool closed = false;
      if (watched[i].revents != 0) {
        const ssize_t got = recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        closed = got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
      }
      if (!closed && client.slow && now >= client.nextLine) {
        const std::string line = "X-Slow-" + std::to_string(client.linesSent) + ": still coming\r\n";
        const ssize_t sent = send(client.fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        closed = sent < 0 && errno != EAGAIN && errno != EINTR;
        ++client.linesSent;
        client.nextLine += std::chrono::seconds(2);
      }
      if (closed) {
        close(client.fd);
        client.fd = -1;
        --open_;
        ++closedByServer_;
        Connect(client);
      }
    }
  }
}

}  // namespace quillet::service::testing
