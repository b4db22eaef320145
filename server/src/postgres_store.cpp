// Requests kept in PostgreSQL. Each commit borrows a connection from a small pool (a libpq
// connection serves one thread at a time). Every request is kept by one statement, prepared once
// per connection, with its fields as two arrays; the requests committed together are sent in one
// pipeline, so they cost one round trip and one transaction (one flush of the database's log),
// and are kept all or none. Several service instances may share one database: they keep no
// state of their own.
#include <libpq-fe.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "storage.h"

namespace quillet::service {
namespace {

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
};

// The names or the values of the fields as a one-dimensional bytea array in PostgreSQL's binary
// format: no escaping, and no limit on the number of fields such as statement parameters have.
std::string ByteaArray(const std::vector<FormField>& fields, std::string FormField::*part) {
  constexpr std::uint32_t kByteaType = 17;
  std::string array;
  const auto put = [&array](std::size_t number) {
    const auto n = static_cast<std::uint32_t>(number);
    const char bytes[4] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                           static_cast<char>(n >> 8), static_cast<char>(n)};
    array.append(bytes, 4);
  };
  put(fields.empty() ? 0 : 1);  // dimensions
  put(0);                       // no NULL elements
  put(kByteaType);
  if (fields.empty()) return array;
  put(fields.size());
  put(1);  // the first index
  for (const FormField& field : fields) {
    put((field.*part).size());
    array += field.*part;
  }
  return array;
}

// Keeps one request and its fields, numbered from 1 in the order they came.
constexpr const char* kKeepStatement = "keep_request";
constexpr const char* kKeepSql =
    "WITH r AS (INSERT INTO requests (received_at, remote_address, command, body, offered_version) "
    "VALUES ($1::timestamptz, $2, $3, $4::bytea, NULLIF($5, '')) RETURNING id) "
    "INSERT INTO request_fields (request_id, position, name, value) "
    "SELECT r.id, f.position, f.name, f.value FROM r, "
    "unnest($6::bytea[], $7::bytea[]) WITH ORDINALITY AS f(name, value, position)";

class PostgresStore final : public RequestStore {
 public:
  explicit PostgresStore(std::string connectionString)
      : connectionString_(std::move(connectionString)) {
    Connection connection = Open();
    Check(connection.get(), Result(PQexec(connection.get(), kSchema)), "creating the tables");
    Prepare(connection.get());
    Return(std::move(connection));
  }

  void KeepAll(const std::vector<const StoredRequest*>& requests) override {
    WithConnection([&requests](PGconn* connection) { KeepInPipeline(connection, requests); });
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
          "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), r.remote_address, r.command, "
          // The body on a request's first row only: a request of many fields would otherwise
          // repeat its body once per field, in memory on both sides.
          "CASE WHEN row_number() OVER (PARTITION BY r.id ORDER BY f.position) = 1 THEN r.body END, "
          "f.name, f.value "
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
  Connection Open() const {
    Connection connection(PQconnectdb(connectionString_.c_str()));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
      throw StorageError(std::string("PostgreSQL: cannot connect: ") +
                         (connection ? PQerrorMessage(connection.get()) : "out of memory"));
    }
    return connection;
  }

  static void Prepare(PGconn* connection) {
    Check(connection, Result(PQprepare(connection, kKeepStatement, kKeepSql, 0, nullptr)),
          "preparing to keep requests");
  }

  // Every pooled connection has the statement that keeps a request; the tables exist by now.
  Connection Connect() const {
    Connection connection = Open();
    Prepare(connection.get());
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

  // A broken connection, or one left in pipeline mode, is dropped rather than pooled; the next
  // borrower connects anew.
  void Return(Connection connection) {
    if (PQstatus(connection.get()) != CONNECTION_OK ||
        PQpipelineStatus(connection.get()) != PQ_PIPELINE_OFF) {
      return;
    }
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

  // Sends every request in one pipeline and reads the outcome. The statements before the
  // pipeline's one synchronisation point form one implicit transaction: an error in any of them
  // keeps none.
  static void KeepInPipeline(PGconn* connection, const std::vector<const StoredRequest*>& requests) {
    if (PQenterPipelineMode(connection) != 1) {
      throw StorageError(std::string("PostgreSQL: keeping requests: ") + PQerrorMessage(connection));
    }
    std::string error;
    std::size_t sent = 0;
    for (const StoredRequest* request : requests) {
      const std::string names = ByteaArray(request->fields, &FormField::name);
      const std::string values = ByteaArray(request->fields, &FormField::value);
      Parameters parameters;
      parameters.Reserve(7);
      parameters.Text(request->receivedAt);
      parameters.Text(request->remoteAddress);
      parameters.Text(request->command);
      parameters.Bytes(request->body);
      parameters.Text(request->offeredVersion);
      parameters.Bytes(names);
      parameters.Bytes(values);
      if (PQsendQueryPrepared(connection, kKeepStatement, parameters.Count(), parameters.Values(),
                              parameters.Lengths(), parameters.Formats(), 0) != 1) {
        error = PQerrorMessage(connection);
        break;
      }
      ++sent;
    }
    if (PQpipelineSync(connection) != 1 && error.empty()) error = PQerrorMessage(connection);

    // Each statement's results end with a null; the synchronisation point's result comes last.
    for (std::size_t i = 0; i < sent; ++i) {
      while (PGresult* raw = PQgetResult(connection)) {
        const Result result(raw);
        const auto status = PQresultStatus(raw);
        if (status != PGRES_COMMAND_OK && status != PGRES_PIPELINE_ABORTED && error.empty()) {
          error = PQresultErrorMessage(raw);
        }
      }
    }
    const Result sync(PQgetResult(connection));
    if (PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC && error.empty()) {
      error = PQerrorMessage(connection);
    }
    // A connection that cannot leave pipeline mode is not pooled again (Return).
    PQexitPipelineMode(connection);
    if (!error.empty()) throw StorageError("PostgreSQL: keeping requests: " + error);
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
