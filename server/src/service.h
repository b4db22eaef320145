// The maker's web service: answers the program's "check" and "feedback" posts from its
// configuration, keeps every request before answering it, answers /health and /metrics, and
// logs and counts each request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "config.h"
#include "group_commit.h"
#include "metrics.h"
#include "storage.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace quillet::service {

class Service {
 public:
  // The store and the log outlive the service. Throws std::runtime_error when the TLS
  // certificate or key cannot be loaded.
  Service(ServiceConfig config, RequestStore& store, std::ostream& log);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds the listening socket and returns its port. Throws std::runtime_error.
  int Bind();
  // Serves until Stop(); requests already taken are answered before it returns.
  bool Serve();
  // Stops taking connections; may be called from any thread.
  void Stop();

  // Writes "<UTC time> <text>" as one line of the log.
  void Note(const std::string& text);

  const char* Scheme() const { return config_.tlsCertificate.empty() ? "http" : "https"; }

 private:
  void Answer(const httplib::Request& request, const std::string& body,
              httplib::Response& response);
  void Log(const httplib::Request& request, const httplib::Response& response);
  void Count(const httplib::Request& request, int status, std::chrono::nanoseconds taken);
  bool OnServicePath(const std::string& path) const;
  void Delay();

  const ServiceConfig config_;
  RequestStore& store_;
  GroupCommit commits_{store_};
  std::ostream& log_;
  std::mutex logMutex_;
  Metrics metrics_;
  std::unique_ptr<httplib::Server> server_;
  int listeningSocket_ = -1;
  std::mutex stopMutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
};

// "2026-12-10T05:13:44.123Z" for now.
std::string UtcTimestamp();

}  // namespace quillet::service
