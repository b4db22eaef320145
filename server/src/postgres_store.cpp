// Requests kept in PostgreSQL. Each commit borrows a connection from a small pool (a libpq
// connection serves one thread at a time). A lone request is kept with one statement, whole or
// not at all without a transaction round trip; requests committed together share one
// transaction, and so one flush of the database's log. Several service
// instances may share one database: they keep no state of their own.
#include <libpq-fe.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "storage.h"

namespace quillet::service {
namespace {

// One statement per request up to this many fields; larger requests are split into chunks of
// this size inside the transaction (PostgreSQL takes at most 65535 parameters per statement).
constexpr std::size_t kFieldsPerStatement = 1000;

// Serialises schema creation between instances that start at the same time. Tables kept by a
// service from before the offered version was recorded get its column; the catalogue is looked
// at first because ALTER TABLE, even one with nothing to add, waits for every reader of the
// table and holds up the other instances' writes meanwhile.
constexpr const char* kSchema = R"sql(
SELECT pg_advisory_lock(7302416);
CREATE TABLE IF NOT EXISTS requests (
  id BIGSERIAL PRIMARY KEY,
  received_at TIMESTAMPTZ NOT NULL,
  remote_address TEXT NOT NULL,
  command TEXT NOT NULL,
  body BYTEA NOT NULL,
  offered_version TEXT
);
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = 'requests'::regclass
                 AND attname = 'offered_version' AND NOT attisdropped) THEN
    ALTER TABLE requests ADD COLUMN IF NOT EXISTS offered_version TEXT;
  END IF;
END $$;
CREATE TABLE IF NOT EXISTS request_fields (
  request_id BIGINT NOT NULL REFERENCES requests(id),
  position INTEGER NOT NULL,
  name BYTEA NOT NULL,
  value BYTEA NOT NULL,
  PRIMARY KEY (request_id, position)
);
SELECT pg_advisory_unlock(7302416);
)sql";

struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

struct ConnectionCloser {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;

// Parameters of one statement: texts and byte strings, sent in binary where they are bytes.
class Parameters {
 public:
  void Text(const std::string& text) { Add(text, 0); }
  void Bytes(const std::string& bytes) { Add(bytes, 1); }
  void Number(long long number) {
    numbers_.push_back(std::to_string(number));
    Add(numbers_.back(), 0);
  }
  int Count() const { return static_cast<int>(values_.size()); }
  const char* const* Values() const { return values_.data(); }
  const int* Lengths() const { return lengths_.data(); }
  const int* Formats() const { return formats_.data(); }
  void Reserve(std::size_t count) {
    values_.reserve(count);
    lengths_.reserve(count);
    formats_.reserve(count);
  }

 private:
  void Add(const std::string& value, int format) {
    values_.push_back(value.data());
    lengths_.push_back(static_cast<int>(value.size()));
    formats_.push_back(format);
  }
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
  std::deque<std::string> numbers_;  // a deque keeps the texts in place as it grows
};

// "($first::int, $first+1::bytea, $first+2::bytea), ..." for count fields.
std::string FieldRows(int firstParameter, std::size_t count) {
  std::string rows;
  for (std::size_t i = 0; i < count; ++i) {
    const int p = firstParameter + static_cast<int>(i) * 3;
    if (i > 0) rows += ", ";
    rows += "($" + std::to_string(p) + "::int, $" + std::to_string(p + 1) + "::bytea, $" +
            std::to_string(p + 2) + "::bytea)";
  }
  return rows;
}

class PostgresStore final : public RequestStore {
 public:
  explicit PostgresStore(std::string connectionString)
      : connectionString_(std::move(connectionString)) {
    Connection connection = Connect();
    Check(connection.get(), Result(PQexec(connection.get(), kSchema)), "creating the tables");
    Return(std::move(connection));
  }

  void KeepAll(const std::vector<const StoredRequest*>& requests) override {
    WithConnection([&requests](PGconn* connection) {
      if (requests.size() == 1 && requests[0]->fields.size() <= kFieldsPerStatement) {
        KeepInOneStatement(connection, *requests[0]);
        return;
      }
      InTransaction(connection, [&requests, connection] {
        for (const StoredRequest* request : requests) {
          if (request->fields.size() <= kFieldsPerStatement) {
            KeepInOneStatement(connection, *request);
          } else {
            KeepInChunks(connection, *request);
          }
        }
      });
    });
  }

  bool Answers() override {
    try {
      WithConnection([](PGconn* connection) {
        Check(connection, Result(PQexec(connection, "SELECT 1 FROM requests LIMIT 1")), "probe");
      });
      return true;
    } catch (const StorageError&) {
      return false;
    }
  }

  std::vector<StoredRequest> Requests(const std::string& command) override {
    std::vector<StoredRequest> requests;
    WithConnection([&](PGconn* connection) {
      requests.clear();
      Parameters parameters;
      parameters.Text(command);
      // Binary results: the byte columns arrive as the bytes that were kept, the text columns
      // as their UTF-8 text.
      const char* sql =
          "SELECT r.id::text, to_char(r.received_at AT TIME ZONE 'UTC', "
          "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), r.remote_address, r.command, r.body, f.name, f.value "
          "FROM requests r LEFT JOIN request_fields f ON f.request_id = r.id "
          "WHERE r.command = $1 ORDER BY r.id, f.position";
      const Result rows = Check(
          connection,
          Result(PQexecParams(connection, sql, parameters.Count(), nullptr, parameters.Values(),
                              parameters.Lengths(), parameters.Formats(), 1)),
          "reading requests");
      PGresult* result = rows.get();
      const auto cell = [result](int row, int column) {
        return std::string(PQgetvalue(result, row, column),
                           static_cast<std::size_t>(PQgetlength(result, row, column)));
      };
      std::string lastId;
      for (int row = 0; row < PQntuples(result); ++row) {
        const std::string id = cell(row, 0);
        if (requests.empty() || id != lastId) {
          lastId = id;
          StoredRequest& request = requests.emplace_back();
          request.receivedAt = cell(row, 1);
          request.remoteAddress = cell(row, 2);
          request.command = cell(row, 3);
          request.body = cell(row, 4);
        }
        if (!PQgetisnull(result, row, 5)) requests.back().fields.push_back(FormField{cell(row, 5), cell(row, 6)});
      }
    });
    return requests;
  }

  std::vector<CheckCount> CheckCounts() override {
    std::vector<CheckCount> counts;
    WithConnection([&counts](PGconn* connection) {
      counts.clear();
      // Binary results, as in Requests: the installed version arrives as the bytes sent.
      const char* sql =
          "SELECT day, offered, installed, count(*)::text FROM ("
          " SELECT to_char(r.received_at AT TIME ZONE 'UTC', 'YYYY-MM-DD') AS day,"
          "  r.offered_version AS offered,"
          "  (SELECT f.value FROM request_fields f WHERE f.request_id = r.id"
          "   AND f.name = convert_to('version', 'UTF8') ORDER BY f.position LIMIT 1) AS installed"
          " FROM requests r WHERE r.command = 'check') AS c"
          " GROUP BY day, offered, installed";
      const Result rows = Check(connection,
                                Result(PQexecParams(connection, sql, 0, nullptr, nullptr, nullptr,
                                                    nullptr, 1)),
                                "counting checks");
      PGresult* result = rows.get();
      const auto cell = [result](int row, int column) -> std::optional<std::string> {
        if (PQgetisnull(result, row, column)) return std::nullopt;
        return std::string(PQgetvalue(result, row, column),
                           static_cast<std::size_t>(PQgetlength(result, row, column)));
      };
      for (int row = 0; row < PQntuples(result); ++row) {
        counts.push_back(CheckCount{*cell(row, 0), cell(row, 1), cell(row, 2),
                                    std::stoll(*cell(row, 3))});
      }
    });
    return counts;
  }

 private:
  Connection Connect() const {
    Connection connection(PQconnectdb(connectionString_.c_str()));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
      throw StorageError(std::string("PostgreSQL: cannot connect: ") +
                         (connection ? PQerrorMessage(connection.get()) : "out of memory"));
    }
    return connection;
  }

  Connection Borrow(bool* pooled = nullptr) {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        Connection connection = std::move(idle_.back());
        idle_.pop_back();
        if (pooled) *pooled = true;
        return connection;
      }
    }
    return Connect();
  }

  // Runs work on a borrowed connection. After a database restart every pooled connection is
  // dead, which shows only when it is used: such a failure is retried once on a new connection
  // instead of failing the request.
  template <typename Work>
  void WithConnection(const Work& work) {
    for (bool retried = false;; retried = true) {
      bool pooled = false;
      Connection connection = Borrow(&pooled);
      try {
        work(connection.get());
        Return(std::move(connection));
        return;
      } catch (const StorageError&) {
        if (retried || !pooled || PQstatus(connection.get()) == CONNECTION_OK) throw;
      }
      DropIdle();
    }
  }

  // The other idle connections are as dead as the one that just failed.
  void DropIdle() {
    std::lock_guard lock(mutex_);
    idle_.clear();
  }

  // A broken connection is dropped rather than pooled; the next borrower connects anew.
  void Return(Connection connection) {
    if (PQstatus(connection.get()) != CONNECTION_OK) return;
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(connection));
  }

  static Result Check(PGconn* connection, Result result, const char* what) {
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw StorageError(std::string("PostgreSQL: ") + what + ": " + PQerrorMessage(connection));
    }
    return result;
  }

  static Result Run(PGconn* connection, const std::string& sql, const Parameters& parameters,
                    const char* what) {
    return Check(connection,
                 Result(PQexecParams(connection, sql.c_str(), parameters.Count(), nullptr,
                                     parameters.Values(), parameters.Lengths(),
                                     parameters.Formats(), 0)),
                 what);
  }

  static void AddRequest(Parameters& parameters, const StoredRequest& request) {
    parameters.Text(request.receivedAt);
    parameters.Text(request.remoteAddress);
    parameters.Text(request.command);
    parameters.Bytes(request.body);
    parameters.Text(request.offeredVersion);
  }

  static void AddFields(Parameters& parameters, const StoredRequest& request, std::size_t first,
                        std::size_t count) {
    for (std::size_t i = first; i < first + count; ++i) {
      parameters.Number(static_cast<long long>(i) + 1);
      parameters.Bytes(request.fields[i].name);
      parameters.Bytes(request.fields[i].value);
    }
  }

  static constexpr const char* kInsertRequest =
      "INSERT INTO requests (received_at, remote_address, command, body, offered_version) "
      "VALUES ($1::timestamptz, $2, $3, $4::bytea, NULLIF($5, '')) RETURNING id";

  static void KeepInOneStatement(PGconn* connection, const StoredRequest& request) {
    Parameters parameters;
    parameters.Reserve(5 + request.fields.size() * 3);
    AddRequest(parameters, request);
    std::string sql = kInsertRequest;
    if (!request.fields.empty()) {
      AddFields(parameters, request, 0, request.fields.size());
      sql = std::string("WITH r AS (") + kInsertRequest +
            ") INSERT INTO request_fields (request_id, position, name, value) "
            "SELECT r.id, f.position, f.name, f.value FROM r, (VALUES " +
            FieldRows(6, request.fields.size()) + ") AS f(position, name, value)";
    }
    Run(connection, sql, parameters, "keeping a request");
  }

  template <typename Work>
  static void InTransaction(PGconn* connection, const Work& work) {
    Check(connection, Result(PQexec(connection, "BEGIN")), "keeping requests");
    try {
      work();
      Check(connection, Result(PQexec(connection, "COMMIT")), "keeping requests");
    } catch (...) {
      PQclear(PQexec(connection, "ROLLBACK"));
      throw;
    }
  }

  // Inside a transaction: the request, then its fields in statements of at most
  // kFieldsPerStatement fields each.
  static void KeepInChunks(PGconn* connection, const StoredRequest& request) {
    Parameters first;
    AddRequest(first, request);
    const Result inserted = Run(connection, kInsertRequest, first, "keeping a request");
    const std::string id = PQgetvalue(inserted.get(), 0, 0);
    for (std::size_t start = 0; start < request.fields.size(); start += kFieldsPerStatement) {
      const std::size_t count = std::min(kFieldsPerStatement, request.fields.size() - start);
      Parameters parameters;
      parameters.Reserve(count * 3);
      AddFields(parameters, request, start, count);
      const std::string sql = "INSERT INTO request_fields (request_id, position, name, value) "
                              "SELECT " + id + ", f.position, f.name, f.value FROM (VALUES " +
                              FieldRows(1, count) + ") AS f(position, name, value)";
      Run(connection, sql, parameters, "keeping a request");
    }
  }

  const std::string connectionString_;
  std::mutex mutex_;
  std::vector<Connection> idle_;
};

}  // namespace

std::unique_ptr<RequestStore> OpenPostgresStore(const std::string& connectionString) {
  return std::make_unique<PostgresStore>(connectionString);
}

}  // namespace quillet::service
