#include "service_harness.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

#if defined(__SANITIZE_THREAD__)
// The client library (cpp-httplib, a shared library not built with ThreadSanitizer) builds its
// regular expressions once, on first use, behind a guard ThreadSanitizer cannot see; threads of
// a test that then match against them look like a race to it. Only this test program takes the
// suppression: the service it runs is checked in full.
extern "C" const char* __tsan_default_suppressions() { return "race:regex_traits\n"; }
#endif

namespace quillet::service::testing {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::unique_ptr<httplib::Client> ClientFor(const std::string& scheme, int port,
                                           const std::filesystem::path& caFile,
                                           int readTimeoutSeconds = 60) {
  auto client = std::make_unique<httplib::Client>(scheme + "://127.0.0.1:" + std::to_string(port));
  if (scheme == "https") {
    client->enable_server_certificate_verification(true);
    // An empty folder argument: the test authority alone, never the machine's trust store.
    client->set_ca_cert_path(caFile.string(), "");
  }
  client->set_connection_timeout(30, 0);
  client->set_read_timeout(readTimeoutSeconds, 0);
  return client;
}

}  // namespace

Answer AnswerOf(const httplib::Result& result) {
  Answer answer;
  if (!result) {
    answer.error = httplib::to_string(result.error());
    return answer;
  }
  answer.ok = true;
  answer.status = result->status;
  answer.contentType = result->get_header_value("Content-Type");
  answer.body = result->body;
  return answer;
}

const std::vector<std::string> kCheckLines = {
    "cmd=check",
    "appname=KALMIRO - Quillet",
    "version=3.1",
    "os=Windows 10 (Version 10.0, Build 19045, 64-bit Edition)",
    "local=zh-CN",
    "guid={6F1E2D3C-0000-4A5B-9C8D-7E6F5A4B3C2D}",
    "howmany=1",
    "note=a&b=c+d e%20 我喜欢它!\r\n第二行",
};

std::vector<std::pair<std::string, std::string>> AsFields(const std::vector<std::string>& lines) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& line : lines) {
    const auto equals = line.find('=');
    fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return fields;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillet-service.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string RunScript(const std::string& script, const std::vector<std::string>& arguments) {
  std::string command = "bash " + Quoted(std::string(QUILLET_SERVICE_TEST_SCRIPTS) + "/" + script);
  for (const auto& argument : arguments) {
    command += ' ';
    command += Quoted(argument);
  }
  command += " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + script);
  std::string output;
  char buffer[4096];
  while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
    output.append(buffer, read);
  }
  const int status = pclose(pipe);
  if (status != 0) throw std::runtime_error(script + " failed:\n" + output);
  return output;
}

void MakeTestAuthority(const std::filesystem::path& folder) {
  RunScript("make-test-ca.sh", {folder.string()});
}

TestPostgres::TestPostgres() {
  // The cluster folder must be reachable by the "postgres" user when the tests run as root.
  std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all |
                                                   std::filesystem::perms::others_exec |
                                                   std::filesystem::perms::group_exec);
  const auto cluster = folder_.Path() / "pg";
  const std::string output = RunScript("test-postgres.sh", {"start", cluster.string()});
  // The connection string is the script's last line.
  std::string_view lines = output;
  while (!lines.empty() && lines.back() == '\n') lines.remove_suffix(1);
  connection_ = std::string(lines.substr(lines.rfind('\n') + 1));
  running_ = true;
}

TestPostgres::~TestPostgres() {
  try {
    Stop();
  } catch (const std::exception&) {
    // The folder goes anyway; a cluster left running has lost its files.
  }
}

void TestPostgres::Restart() {
  RunScript("test-postgres.sh", {"restart", (folder_.Path() / "pg").string()});
}

void TestPostgres::Stop() {
  if (!running_) return;
  running_ = false;
  RunScript("test-postgres.sh", {"stop", (folder_.Path() / "pg").string()});
}

std::string SanitizerReportIn(const std::string& errors) {
  for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "WARNING: ThreadSanitizer", "runtime error:"}) {
    const auto at = errors.find(marker);
    if (at == std::string::npos) continue;
    const auto lineStart = errors.rfind('\n', at);
    return errors.substr(lineStart == std::string::npos ? 0 : lineStart + 1, 4000);
  }
  return {};
}

ServiceProcess::ServiceProcess(const std::filesystem::path& configFile,
                               const std::filesystem::path& folder,
                               const std::vector<std::string>& options)
    : outFile_(folder / "service.out"), errFile_(folder / "service.err") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> arguments = {QUILLET_SERVICE_BINARY};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back(configFile.string());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, arguments[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + arguments[0]);
}

ServiceProcess::~ServiceProcess() {
  // A stop signal first, so that a sanitizer build of the service gets to its exit-time checks
  // (leaks, races); a service that does not end in a few seconds is killed.
  if (!end_) {
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!end_ && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        end_ = ProcessEnd{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status)};
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    if (!end_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string report = SanitizerReportIn(Errors());
  if (!report.empty()) ADD_FAILURE() << "quillet-service reported:\n" << report;
}

std::optional<int> ServiceProcess::WaitUntilListening() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string output = Output();
    const auto listening = output.find(" listening on ");
    if (listening != std::string::npos) {
      const auto lineEnd = output.find(" storage ", listening);
      const auto colon = output.rfind(':', lineEnd);
      return std::stoi(output.substr(colon + 1, lineEnd - colon - 1));
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      end_ = ProcessEnd{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status)};
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

void ServiceProcess::Signal(int signal) {
  if (!end_) kill(pid_, signal);
}

ProcessEnd ServiceProcess::WaitForEnd() {
  if (!end_) {
    int status = 0;
    waitpid(pid_, &status, 0);
    end_ = ProcessEnd{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status)};
  }
  return *end_;
}

std::string ServiceProcess::Output() const { return ReadWholeFile(outFile_); }
std::string ServiceProcess::Errors() const { return ReadWholeFile(errFile_); }

Answer Post(const std::string& scheme, int port, const std::string& path, const std::string& body,
            const std::filesystem::path& caFile, int readTimeoutSeconds) {
  auto client = ClientFor(scheme, port, caFile, readTimeoutSeconds);
  return AnswerOf(
      client->Post(path.c_str(), body, "application/x-www-form-urlencoded; charset=UTF-8"));
}

Answer Get(const std::string& scheme, int port, const std::string& path,
           const std::filesystem::path& caFile) {
  auto client = ClientFor(scheme, port, caFile);
  return AnswerOf(client->Get(path.c_str()));
}

std::string FormBody(const std::vector<std::string>& lines) {
  const auto encode = [](std::string_view text) {
    std::string encoded;
    for (const unsigned char c : text) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
        encoded += static_cast<char>(c);
      } else if (c == ' ') {
        encoded += '+';
      } else {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        encoded += escaped;
      }
    }
    return encoded;
  };
  std::string body;
  for (const auto& line : lines) {
    if (!body.empty()) body += '&';
    const auto equals = line.find('=');
    body += encode(std::string_view(line).substr(0, equals));
    if (equals != std::string::npos) {
      body += '=';
      body += encode(std::string_view(line).substr(equals + 1));
    }
  }
  return body;
}

std::vector<StoredRow> SqliteRows(const std::filesystem::path& databaseFile) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databaseFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + databaseFile.string());
  }
  const auto column = [](sqlite3_stmt* statement, int index) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, index));
    return std::string(bytes ? bytes : "", sqlite3_column_bytes(statement, index));
  };
  // The requests, then their fields: a join would repeat each body once per field, and a
  // request of 100,000 fields would then copy its body 100,000 times.
  std::vector<StoredRow> rows;
  std::map<sqlite3_int64, std::size_t> rowOfId;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, received_at, remote_address, command, body FROM requests ORDER BY id",
                     -1, &statement, nullptr);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    rowOfId[sqlite3_column_int64(statement, 0)] = rows.size();
    rows.push_back({column(statement, 1), column(statement, 2), column(statement, 3),
                    column(statement, 4), {}, {}});
  }
  sqlite3_finalize(statement);
  statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT request_id, name, value, position FROM request_fields "
                     "ORDER BY request_id, position",
                     -1, &statement, nullptr);
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    const auto row = rowOfId.find(sqlite3_column_int64(statement, 0));
    if (row == rowOfId.end()) continue;  // a field without its request is no stored request
    rows[row->second].fields.emplace_back(column(statement, 1), column(statement, 2));
    rows[row->second].positions.push_back(sqlite3_column_int64(statement, 3));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::vector<StoredRow> PostgresRows(const std::string& connectionString) {
  PGconn* connection = PQconnectdb(connectionString.c_str());
  if (PQstatus(connection) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(connection);
    PQfinish(connection);
    throw std::runtime_error("cannot connect: " + message);
  }
  // Binary results: the byte columns come back exactly as stored.
  PGresult* result = PQexecParams(
      connection,
      "SELECT r.id::text::bytea, to_char(r.received_at AT TIME ZONE 'UTC', "
      "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')::bytea, r.remote_address::bytea, "
      "convert_to(r.command, 'UTF8'), "
      // The body once per request, not once per field: 100,000 fields would repeat it 100,000 times.
      "CASE WHEN row_number() OVER (PARTITION BY r.id ORDER BY f.position) = 1 THEN r.body END, "
      "f.name, f.value, f.position::text::bytea "
      "FROM requests r LEFT JOIN request_fields f ON f.request_id = r.id "
      "ORDER BY r.id, f.position",
      0, nullptr, nullptr, nullptr, nullptr, 1);
  std::vector<StoredRow> rows;
  if (PQresultStatus(result) != PGRES_TUPLES_OK) {
    const std::string message = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    throw std::runtime_error("cannot read the requests: " + message);
  }
  const auto column = [result](int row, int index) {
    return std::string(PQgetvalue(result, row, index), PQgetlength(result, row, index));
  };
  std::string lastId;
  for (int row = 0; row < PQntuples(result); ++row) {
    if (column(row, 0) != lastId) {
      rows.push_back({column(row, 1), column(row, 2), column(row, 3), column(row, 4), {}, {}});
      lastId = column(row, 0);
    }
    if (!PQgetisnull(result, row, 5)) {
      rows.back().fields.emplace_back(column(row, 5), column(row, 6));
      rows.back().positions.push_back(std::stoll(column(row, 7)));
    }
  }
  PQclear(result);
  PQfinish(connection);
  return rows;
}

}  // namespace quillet::service::testing
