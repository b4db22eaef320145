// Runs the real quillet-service program for the tests: a private folder per test, the test
// certificate authority, a throw-away PostgreSQL cluster, a client that trusts only that
// authority, and readers of what the service stored.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
class Result;
}  // namespace httplib

namespace quillet::service::testing {

// A new folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadWholeFile(const std::filesystem::path& file);
void WriteWholeFile(const std::filesystem::path& file, const std::string& text);

// Runs a helper script of this folder (make-test-ca.sh, test-postgres.sh); returns its output.
// Throws std::runtime_error when it fails.
std::string RunScript(const std::string& script, const std::vector<std::string>& arguments);

// The test authority's files in folder: ca.pem, server.pem, server-key.pem.
void MakeTestAuthority(const std::filesystem::path& folder);

// A PostgreSQL cluster of Debian's packages in a private folder, stopped and removed at the end.
// Throws std::runtime_error with the reason when it cannot be started.
class TestPostgres {
 public:
  TestPostgres();
  ~TestPostgres();
  const std::string& ConnectionString() const { return connection_; }
  // Stops and starts the server again, cutting every connection to it.
  void Restart();
  void Stop();

 private:
  TempFolder folder_;
  std::string connection_;
  bool running_ = false;
};

// The first report of a sanitizer (address, leak, undefined behaviour, thread) in a program's
// error output, from the start of its line; empty when there is none. A sanitizer build of the
// service writes these and may go on serving, so the tests look for them.
std::string SanitizerReportIn(const std::string& errors);

struct ProcessEnd {
  bool exited = false;  // false: ended by a signal
  int code = 0;         // exit code, or the signal number
};

// One quillet-service process, its output kept in files of the folder. Ending it reports a
// failure of the running test when the service's error output holds a sanitizer report.
class ServiceProcess {
 public:
  // Starts the program with the options, then the configuration file; does not wait for it.
  ServiceProcess(const std::filesystem::path& configFile, const std::filesystem::path& folder,
                 const std::vector<std::string>& options = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Waits for the "listening on" line and returns the port; nullopt when the program ended first.
  std::optional<int> WaitUntilListening();
  void Signal(int signal);
  ProcessEnd WaitForEnd();
  std::string Output() const;
  std::string Errors() const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path outFile_;
  std::filesystem::path errFile_;
  std::optional<ProcessEnd> end_;
};

struct Answer {
  bool ok = false;       // false: the exchange failed (no connection, TLS refused ...)
  std::string error;     // the client's reason when !ok
  int status = 0;
  std::string contentType;
  std::string body;
};

// Posts a form body to scheme://127.0.0.1:port + path; https trusts only caFile. The client
// gives up after readTimeoutSeconds without an answer.
Answer Post(const std::string& scheme, int port, const std::string& path, const std::string& body,
            const std::filesystem::path& caFile = {}, int readTimeoutSeconds = 60);
Answer Get(const std::string& scheme, int port, const std::string& path,
           const std::filesystem::path& caFile = {});

// What a client's exchange gave, as an Answer.
Answer AnswerOf(const httplib::Result& result);

// The lines of a check as the program sends it, with a field that needs every kind of encoding.
extern const std::vector<std::string> kCheckLines;

// "name=value" lines as the fields they become: name before the first "=", the rest its value.
std::vector<std::pair<std::string, std::string>> AsFields(const std::vector<std::string>& lines);

// The form body the program sends: each "name=value" line percent-encoded from UTF-8, "+" for a
// space, joined by "&".
std::string FormBody(const std::vector<std::string>& lines);

struct StoredRow {
  std::string receivedAt;
  std::string remoteAddress;
  std::string command;
  std::string body;
  std::vector<std::pair<std::string, std::string>> fields;  // in position order
  std::vector<long long> positions;  // the stored position of each field, in the same order
};

// Every stored request, oldest first.
std::vector<StoredRow> SqliteRows(const std::filesystem::path& databaseFile);
std::vector<StoredRow> PostgresRows(const std::string& connectionString);

}  // namespace quillet::service::testing
