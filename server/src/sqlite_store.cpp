// Requests kept in one SQLite file. Writes go through one connection under a lock: SQLite takes
// one writer at a time anyway, and this avoids busy waits between the service's own threads.
// WAL mode lets readers (a maker's queries, the health check) run beside the writer, and the
// busy timeout covers other processes that open the same file.
// synchronous=FULL flushes the log at every commit, so a kept request survives a power cut, not
// only a crash of the service (NORMAL would keep it through a crash but could lose the last
// commits on a power cut). The service commits waiting requests together, which keeps the
// flushes few.
#include <sqlite3.h>

#include <mutex>

#include "storage.h"

namespace quillet::service {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS requests (
  id INTEGER PRIMARY KEY,
  received_at TEXT NOT NULL,
  remote_address TEXT NOT NULL,
  command TEXT NOT NULL,
  body BLOB NOT NULL,
  offered_version TEXT
);
CREATE TABLE IF NOT EXISTS request_fields (
  request_id INTEGER NOT NULL REFERENCES requests(id),
  position INTEGER NOT NULL,
  name BLOB NOT NULL,
  value BLOB NOT NULL,
  PRIMARY KEY (request_id, position)
);
)sql";

struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

class SqliteStore final : public RequestStore {
 public:
  explicit SqliteStore(const std::string& fileName) {
    if (sqlite3_open_v2(fileName.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StorageError("SQLite " + fileName + ": " + message);
    }
    try {
      sqlite3_busy_timeout(db_, 5000);
      Execute("PRAGMA journal_mode=WAL");
      Execute("PRAGMA synchronous=FULL");
      Execute("PRAGMA foreign_keys=ON");
      Execute(kSchema);
      AddOfferedVersionColumn();
      insertRequest_ = Prepare(
          "INSERT INTO requests (received_at, remote_address, command, body, offered_version) "
          "VALUES (?, ?, ?, ?, NULLIF(?, ''))");
      insertField_ = Prepare(
          "INSERT INTO request_fields (request_id, position, name, value) VALUES (?, ?, ?, ?)");
      probe_ = Prepare("SELECT 1 FROM requests LIMIT 1");
      // The body on the first row of each request only: SQLite reads every result column of
      // every row, so a body named on each row would be read once per field, and a request of
      // 100,000 fields would cost 100,000 reads of its whole body.
      selectRequests_ = Prepare(
          "SELECT r.id, r.received_at, r.remote_address, r.command, "
          "CASE WHEN f.position IS NULL OR f.position = "
          "(SELECT MIN(position) FROM request_fields WHERE request_id = r.id) THEN r.body END, "
          "f.name, f.value "
          "FROM requests r LEFT JOIN request_fields f ON f.request_id = r.id "
          "WHERE r.command = ? ORDER BY r.id, f.position");
    } catch (...) {
      Close();
      throw;
    }
  }
  ~SqliteStore() override { Close(); }

  void KeepAll(const std::vector<const StoredRequest*>& requests) override {
    std::lock_guard lock(mutex_);
    Execute("BEGIN IMMEDIATE");
    try {
      for (const StoredRequest* request : requests) Insert(*request);
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  bool Answers() override {
    std::lock_guard lock(mutex_);
    const int status = sqlite3_step(probe_.get());
    sqlite3_reset(probe_.get());
    return status == SQLITE_ROW || status == SQLITE_DONE;
  }

  std::vector<StoredRequest> Requests(const std::string& command) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* select = selectRequests_.get();
    BindText(selectRequests_, 1, command);
    std::vector<StoredRequest> requests;
    sqlite3_int64 lastId = 0;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(select)) == SQLITE_ROW) {
      const sqlite3_int64 id = sqlite3_column_int64(select, 0);
      if (requests.empty() || id != lastId) {
        lastId = id;
        StoredRequest& request = requests.emplace_back();
        request.receivedAt = Column(select, 1);
        request.remoteAddress = Column(select, 2);
        request.command = Column(select, 3);
        request.body = Column(select, 4);
      }
      if (sqlite3_column_type(select, 5) != SQLITE_NULL) {
        requests.back().fields.push_back(FormField{Column(select, 5), Column(select, 6)});
      }
    }
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    if (status != SQLITE_DONE) Fail("reading requests");
    return requests;
  }

  std::vector<CheckCount> CheckCounts() override {
    std::lock_guard lock(mutex_);
    // The installed version is the first "version" field (names are kept as blobs, and a blob
    // never equals a text); received_at is kept as UTC text, so its first ten bytes are the day.
    const Statement select = Prepare(
        "SELECT day, offered, installed, count(*) FROM ("
        " SELECT substr(r.received_at, 1, 10) AS day, r.offered_version AS offered,"
        "  (SELECT f.value FROM request_fields f WHERE f.request_id = r.id"
        "   AND f.name = CAST('version' AS BLOB) ORDER BY f.position LIMIT 1) AS installed"
        " FROM requests r WHERE r.command = 'check')"
        " GROUP BY day, offered, installed");
    const auto optional = [&select](int index) -> std::optional<std::string> {
      if (sqlite3_column_type(select.get(), index) == SQLITE_NULL) return std::nullopt;
      return Column(select.get(), index);
    };
    std::vector<CheckCount> counts;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
      counts.push_back(CheckCount{Column(select.get(), 0), optional(1), optional(2),
                                  sqlite3_column_int64(select.get(), 3)});
    }
    if (status != SQLITE_DONE) Fail("counting checks");
    return counts;
  }

 private:
  void Insert(const StoredRequest& request) {
    BindText(insertRequest_, 1, request.receivedAt);
    BindText(insertRequest_, 2, request.remoteAddress);
    BindText(insertRequest_, 3, request.command);
    BindBlob(insertRequest_, 4, request.body);
    BindText(insertRequest_, 5, request.offeredVersion);
    Step(insertRequest_);
    const sqlite3_int64 id = sqlite3_last_insert_rowid(db_);
    int position = 0;
    for (const auto& field : request.fields) {
      sqlite3_bind_int64(insertField_.get(), 1, id);
      sqlite3_bind_int(insertField_.get(), 2, ++position);
      BindBlob(insertField_, 3, field.name);
      BindBlob(insertField_, 4, field.value);
      Step(insertField_);
    }
  }

  // Tables kept by a service from before the offered version was recorded lack its column. The
  // write lock makes the look and the change one step for processes that start together.
  void AddOfferedVersionColumn() {
    if (HasOfferedVersionColumn()) return;
    Execute("BEGIN IMMEDIATE");
    try {
      if (!HasOfferedVersionColumn()) Execute("ALTER TABLE requests ADD COLUMN offered_version TEXT");
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  bool HasOfferedVersionColumn() {
    const Statement columns = Prepare("PRAGMA table_info(requests)");
    bool found = false;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(columns.get())) == SQLITE_ROW) {
      if (Column(columns.get(), 1) == "offered_version") found = true;
    }
    if (status != SQLITE_DONE) Fail("reading the columns of requests");
    return found;
  }

  static std::string Column(sqlite3_stmt* statement, int index) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, index));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, index))) : std::string();
  }

  void Close() {
    selectRequests_.reset();
    insertRequest_.reset();
    insertField_.reset();
    probe_.reset();
    sqlite3_close(db_);
    db_ = nullptr;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw StorageError("SQLite: " + what + ": " + sqlite3_errmsg(db_));
  }

  void Execute(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }

  Statement Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    return Statement(statement);
  }

  void BindText(const Statement& statement, int index, const std::string& text) {
    if (sqlite3_bind_text(statement.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
      Fail("bind");
    }
  }

  void BindBlob(const Statement& statement, int index, const std::string& bytes) {
    if (sqlite3_bind_blob(statement.get(), index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
      Fail("bind");
    }
  }

  void Step(const Statement& statement) {
    const int status = sqlite3_step(statement.get());
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    if (status != SQLITE_DONE) Fail("insert");
  }

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  Statement insertRequest_;
  Statement insertField_;
  Statement probe_;
  Statement selectRequests_;
};

}  // namespace

std::unique_ptr<RequestStore> OpenSqliteStore(const std::string& fileName) {
  return std::make_unique<SqliteStore>(fileName);
}

std::unique_ptr<RequestStore> OpenStore(const ServiceConfig& config) {
  if (!config.postgresql.empty()) return OpenPostgresStore(config.postgresql);
  return OpenSqliteStore(config.sqliteDatabase);
}

}  // namespace quillet::service
