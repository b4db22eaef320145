// quillet-service CONFIG_FILE
// Serves until SIGTERM or SIGINT, then stops taking connections, answers the requests it has
// already taken, closes its storage and exits with 0. Exit 2: the configuration is not valid;
// exit 1: the storage or the listening socket cannot be opened.
// quillet-service --feedback CONFIG_FILE
// Prints the feedback kept in the configured storage, one request per line, and exits; it may
// run beside a serving instance.
// quillet-service --report CONFIG_FILE
// Prints the kept checks per day by offered and installed version, and exits; it too may run
// beside a serving instance.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <optional>
#include <thread>

#include "check_report.h"
#include "config.h"
#include "feedback_listing.h"
#include "service.h"
#include "storage.h"

namespace {

constexpr const char* kUsage =
    "usage: quillet-service CONFIG_FILE\n"
    "       quillet-service --feedback CONFIG_FILE\n"
    "       quillet-service --report CONFIG_FILE\n"
    "Answers the update check and feedback of Quillet and keeps every request.\n"
    "With --feedback, prints the kept feedback instead, oldest first, one request per line:\n"
    "received_at, appname, version, email and feedback separated by TAB, with backslash, TAB,\n"
    "CR and LF inside a field written as \\\\, \\t, \\r and \\n.\n"
    "With --report, prints the kept checks counted per UTC day, version offered in the answer\n"
    "and version the program had (its \"version\" field): a header line, then one line per\n"
    "count, oldest day first, each \"day offered installed checks\" separated by TAB, e.g.\n"
    "2026-12-10<TAB>3.2<TAB>3.1<TAB>412. \"-\" stands for no version: a check without the\n"
    "field, or one kept before the offered version was recorded. Versions are written as sent,\n"
    "with \\\\, \\t, \\r and \\n as above and any other control byte or byte that is not\n"
    "UTF-8 as \\xHH.\n"
    "The configuration keys are described in quillet-service.conf.example.\n";

int Serve(const quillet::service::ServiceConfig& config, const sigset_t& stopSignals) {
  using namespace quillet::service;
  std::unique_ptr<RequestStore> store;
  try {
    store = OpenStore(config);
  } catch (const StorageError& error) {
    std::cerr << "quillet-service: " << error.what() << std::endl;
    return 1;
  }

  std::unique_ptr<Service> service;
  int port = 0;
  try {
    service = std::make_unique<Service>(config, *store, std::cout);
    port = service->Bind();
  } catch (const std::runtime_error& error) {
    std::cerr << "quillet-service: " << error.what() << std::endl;
    return 1;
  }

  std::atomic<bool> stopRequested{false};
  std::atomic<bool> servingEnded{false};
  std::thread signalWaiter([&] {
    int received = 0;
    sigwait(&stopSignals, &received);
    if (servingEnded) return;  // woken by the main thread below, not by a signal
    stopRequested = true;
    service->Note(std::string("stopping on ") + strsignal(received));
    service->Stop();
  });

  service->Note(std::string("listening on ") + service->Scheme() + "://" + config.listenAddress +
                ":" + std::to_string(port) + " storage " +
                (config.postgresql.empty() ? "sqlite " + config.sqliteDatabase : "postgresql"));
  service->Serve();
  servingEnded = true;
  if (!stopRequested) pthread_kill(signalWaiter.native_handle(), SIGTERM);
  signalWaiter.join();
  service->Note("stopped");
  service.reset();
  store.reset();
  if (!stopRequested) {
    std::cerr << "quillet-service: the server stopped unexpectedly" << std::endl;
    return 1;
  }
  return 0;
}

int ListFeedback(const quillet::service::ServiceConfig& config) {
  using namespace quillet::service;
  try {
    const std::unique_ptr<RequestStore> store = OpenStore(config);
    for (const StoredRequest& request : store->Requests("feedback")) std::cout << FeedbackListingLine(request) << '\n';
  } catch (const StorageError& error) {
    std::cerr << "quillet-service: " << error.what() << std::endl;
    return 1;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

int Report(const quillet::service::ServiceConfig& config) {
  using namespace quillet::service;
  try {
    const std::unique_ptr<RequestStore> store = OpenStore(config);
    const std::vector<std::string> lines = CheckReportLines(store->CheckCounts());
    std::cout << kCheckReportHeader << '\n';
    for (const std::string& line : lines) std::cout << line << '\n';
  } catch (const StorageError& error) {
    std::cerr << "quillet-service: " << error.what() << std::endl;
    return 1;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

std::optional<quillet::service::ServiceConfig> Load(const char* file) {
  try {
    return quillet::service::LoadConfig(file);
  } catch (const quillet::service::ConfigError& error) {
    std::cerr << "quillet-service: " << file << ": " << error.what() << std::endl;
    return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--feedback") == 0) {
    const auto config = Load(argv[2]);
    return config ? ListFeedback(*config) : 2;
  }
  if (argc == 3 && std::strcmp(argv[1], "--report") == 0) {
    const auto config = Load(argv[2]);
    return config ? Report(*config) : 2;
  }
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::cerr << kUsage;
    return argc == 2 ? 0 : 2;
  }
  // Every thread inherits this mask, so the stop signals reach only the waiting thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const auto config = Load(argv[1]);
  return config ? Serve(*config, stopSignals) : 2;
}
