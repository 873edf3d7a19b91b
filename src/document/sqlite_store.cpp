#include "document/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace qx {
namespace {

constexpr int kApplicationId = 0x51584544;  // "QXED": marks our working table files
// Version 2 added the session table, version 3 the undo history and the rows' version;
// an older file gets them when opened.
constexpr int kSchemaVersion = 3;
constexpr const char* kSessionTableSql =
    "CREATE TABLE IF NOT EXISTS session (name TEXT PRIMARY KEY, value BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS history_step (number INTEGER PRIMARY KEY, data BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS history_state (id INTEGER PRIMARY KEY CHECK (id = 1),"
    " data BLOB NOT NULL, rows_version INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS rows_version (id INTEGER PRIMARY KEY CHECK (id = 1),"
    " n INTEGER NOT NULL);";

std::string ColumnList() {
  std::string s;
  for (const ColumnDef& c : kColumns) {
    if (!s.empty()) s += ", ";
    s += c.name;
  }
  return s;
}

std::string CreateSql() {
  std::string s = "CREATE TABLE segment (id INTEGER PRIMARY KEY, ord INTEGER NOT NULL";
  for (const ColumnDef& c : kColumns) {
    s += ", ";
    s += c.name;
    s += c.type == ColumnType::kText ? " BLOB" : " INTEGER";
  }
  s += "); CREATE INDEX segment_ord ON segment(ord); ";
  s += kSessionTableSql;
  return s;
}

// Finalizes a statement when leaving scope.
struct Stmt {
  sqlite3_stmt* st;
  ~Stmt() { sqlite3_finalize(st); }
};

// Resets a cached statement and its bindings when leaving scope, for its next use.
struct Reused {
  sqlite3_stmt* st;
  ~Reused() {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
};

}  // namespace

SqliteRowStore::~SqliteRowStore() { Close(); }

void SqliteRowStore::Fail(const char* what) {
  std::string msg = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "no database");
  throw TableError(msg);
}

void SqliteRowStore::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

sqlite3_stmt* SqliteRowStore::Prepare(const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) Fail("prepare");
  return st;
}

sqlite3_stmt* SqliteRowStore::Cached(const std::string& sql) {
  auto it = cached_.find(sql);
  if (it != cached_.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
      SQLITE_OK)
    Fail("prepare");
  cached_.emplace(sql, st);
  return st;
}

void SqliteRowStore::StepCached(const char* sql) {
  Reused st{Cached(sql)};
  if (sqlite3_step(st.st) != SQLITE_DONE) Fail(sql);
}

void SqliteRowStore::OpenDb(const std::filesystem::path& path, bool create) {
  Close();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string msg = "cannot open " + path.string() + ": " + sqlite3_errmsg(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw TableError(msg);
  }
  sqlite3_busy_timeout(db_, 2000);
  Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
}

void SqliteRowStore::Create(const std::filesystem::path& path) {
  Close();
  RemoveTableFiles(path);
  OpenDb(path, /*create=*/true);
  rows_version_ = 0;
  version_unwritten_ = false;
  const std::string sql = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                          "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + "; " +
                          CreateSql();
  Exec(sql.c_str());
}

std::vector<RowStore::StoredRow> SqliteRowStore::Open(const std::filesystem::path& path) {
  if (!IsWorkingTable(path)) throw TableError("not a working table: " + path.string());
  OpenDb(path, /*create=*/false);
  try {
    Exec(kSessionTableSql);
    Stmt q{Prepare("SELECT n FROM rows_version WHERE id = 1")};
    rows_version_ = sqlite3_step(q.st) == SQLITE_ROW ? sqlite3_column_int64(q.st, 0) : 0;
    version_unwritten_ = false;
    return ReadRows();
  } catch (...) {
    Close();
    throw;
  }
}

std::vector<RowStore::StoredRow> SqliteRowStore::ReadRows() {
  const std::string sql = "SELECT id, " + ColumnList() + " FROM segment ORDER BY ord";
  Stmt q{Prepare(sql.c_str())};
  std::vector<StoredRow> rows;
  int rc;
  while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) {
    StoredRow row{sqlite3_column_int64(q.st, 0), {}};
    for (int c = 0; c < kColumnCount; ++c) {
      FieldValue& v = row.values[static_cast<std::size_t>(c)];
      switch (sqlite3_column_type(q.st, c + 1)) {
        case SQLITE_NULL:
          break;
        case SQLITE_INTEGER:
          v = static_cast<int64_t>(sqlite3_column_int64(q.st, c + 1));
          break;
        default: {
          const auto* p = static_cast<const char*>(sqlite3_column_blob(q.st, c + 1));
          const int n = sqlite3_column_bytes(q.st, c + 1);
          v = p ? std::string(p, static_cast<std::size_t>(n)) : std::string();
        }
      }
    }
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) Fail("read rows");
  return rows;
}

void SqliteRowStore::Close() {
  if (!db_) return;
  if (batch_depth_ > 0) {
    try {
      if (version_unwritten_) WriteRowsVersion();
    } catch (const TableError&) {  // the rows are committed; the history will not match
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  }
  batch_depth_ = 0;
  for (auto& [sql, st] : cached_) sqlite3_finalize(st);
  cached_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void SqliteRowStore::Bind(sqlite3_stmt* st, int first, const RowValues& values) {
  for (int c = 0; c < kColumnCount; ++c) {
    const FieldValue& v = values[static_cast<std::size_t>(c)];
    const int i = first + c;
    int rc;
    if (const auto* n = std::get_if<int64_t>(&v)) {
      rc = sqlite3_bind_int64(st, i, *n);
    } else if (const auto* s = std::get_if<std::string>(&v)) {
      rc = sqlite3_bind_blob(st, i, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    } else {
      rc = sqlite3_bind_null(st, i);
    }
    if (rc != SQLITE_OK) Fail("bind");
  }
}

template <typename F>
auto SqliteRowStore::ChangeRows(F&& change) {
  if (!db_) throw TableError("table file is not open");
  const bool own = batch_depth_ == 0;
  if (own) Exec("BEGIN IMMEDIATE");
  try {
    auto result = change();
    ++rows_version_;
    version_unwritten_ = true;
    if (own) {
      WriteRowsVersion();
      Exec("COMMIT");
    }
    return result;
  } catch (...) {
    if (own) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteRowStore::WriteRowsVersion() {
  Reused st{Cached("INSERT OR REPLACE INTO rows_version (id, n) VALUES (1, ?)")};
  sqlite3_bind_int64(st.st, 1, rows_version_);
  if (sqlite3_step(st.st) != SQLITE_DONE) Fail("write rows version");
  version_unwritten_ = false;
}

int64_t SqliteRowStore::Insert(const RowValues& values, std::optional<int64_t> before) {
  return ChangeRows([&] { return InsertRow(values, before); });
}

int64_t SqliteRowStore::InsertRow(const RowValues& values, std::optional<int64_t> before) {
  // Rows are ordered by `ord`; a row inserted before another takes its place and moves the
  // rest one step down, in one transaction.
  StepCached("SAVEPOINT ins");
  try {
    int64_t ord;
    if (before) {
      Reused q{Cached("SELECT ord FROM segment WHERE id = ?")};
      sqlite3_bind_int64(q.st, 1, *before);
      if (sqlite3_step(q.st) != SQLITE_ROW) Fail("find row");
      ord = sqlite3_column_int64(q.st, 0);
      Reused shift{Cached("UPDATE segment SET ord = ord + 1 WHERE ord >= ?")};
      sqlite3_bind_int64(shift.st, 1, ord);
      if (sqlite3_step(shift.st) != SQLITE_DONE) Fail("shift rows");
    } else {
      Reused q{Cached("SELECT COALESCE(MAX(ord), 0) + 1 FROM segment")};
      if (sqlite3_step(q.st) != SQLITE_ROW) Fail("find end");
      ord = sqlite3_column_int64(q.st, 0);
    }
    static const std::string sql = "INSERT INTO segment (ord, " + ColumnList() +
                                   ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    Reused ins{Cached(sql)};
    sqlite3_bind_int64(ins.st, 1, ord);
    Bind(ins.st, 2, values);
    if (sqlite3_step(ins.st) != SQLITE_DONE) Fail("insert row");
    const int64_t key = sqlite3_last_insert_rowid(db_);
    StepCached("RELEASE ins");
    return key;
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK TO ins; RELEASE ins", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteRowStore::Update(int64_t key, const RowValues& values) {
  ChangeRows([&] {
    UpdateRow(key, values);
    return 0;
  });
}

void SqliteRowStore::UpdateRow(int64_t key, const RowValues& values) {
  static const std::string sql = [] {
    std::string s = "UPDATE segment SET ";
    for (int c = 0; c < kColumnCount; ++c) {
      if (c) s += ", ";
      s += kColumns[static_cast<std::size_t>(c)].name;
      s += " = ?";
    }
    return s + " WHERE id = ?";
  }();
  Reused st{Cached(sql)};
  Bind(st.st, 1, values);
  sqlite3_bind_int64(st.st, kColumnCount + 1, key);
  if (sqlite3_step(st.st) != SQLITE_DONE) Fail("update row");
  if (sqlite3_changes(db_) != 1) throw TableError("stored row not found");
}

void SqliteRowStore::Remove(int64_t key) {
  ChangeRows([&] {
    Reused st{Cached("DELETE FROM segment WHERE id = ?")};
    sqlite3_bind_int64(st.st, 1, key);
    if (sqlite3_step(st.st) != SQLITE_DONE) Fail("delete row");
    return 0;
  });
}

void SqliteRowStore::BeginBatch() {
  if (!db_) throw TableError("table file is not open");
  if (batch_depth_++ == 0) Exec("BEGIN IMMEDIATE");
}

void SqliteRowStore::CommitBatch() {
  if (batch_depth_ == 0) return;
  if (--batch_depth_ > 0) return;
  if (version_unwritten_) WriteRowsVersion();
  Exec("COMMIT");
}

void SqliteRowStore::WriteSession(const SessionValues& values) {
  if (!db_) throw TableError("table file is not open");
  Exec("SAVEPOINT session");
  try {
    Exec("DELETE FROM session");
    Stmt ins{Prepare("INSERT INTO session (name, value) VALUES (?, ?)")};
    for (const auto& [name, value] : values) {
      sqlite3_reset(ins.st);
      sqlite3_bind_text(ins.st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_blob(ins.st, 2, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(ins.st) != SQLITE_DONE) Fail("write session");
    }
    Exec("RELEASE session");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK TO session; RELEASE session", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteRowStore::WriteHistory(const HistoryWrite& write) {
  if (!db_) throw TableError("table file is not open");
  Exec("SAVEPOINT history");
  try {
    if (write.drop_from) {
      Stmt st{Prepare("DELETE FROM history_step WHERE number >= ?")};
      sqlite3_bind_int64(st.st, 1, *write.drop_from);
      if (sqlite3_step(st.st) != SQLITE_DONE) Fail("drop history steps");
    }
    if (write.drop_below > 0) {
      Stmt st{Prepare("DELETE FROM history_step WHERE number < ?")};
      sqlite3_bind_int64(st.st, 1, write.drop_below);
      if (sqlite3_step(st.st) != SQLITE_DONE) Fail("drop history steps");
    }
    Stmt put{Prepare("INSERT OR REPLACE INTO history_step (number, data) VALUES (?, ?)")};
    for (const HistoryRecord& r : write.put) {
      sqlite3_reset(put.st);
      sqlite3_bind_int64(put.st, 1, r.number);
      sqlite3_bind_blob(put.st, 2, r.data.data(), static_cast<int>(r.data.size()), SQLITE_STATIC);
      if (sqlite3_step(put.st) != SQLITE_DONE) Fail("write history step");
    }
    Stmt state{Prepare(
        "INSERT OR REPLACE INTO history_state (id, data, rows_version) VALUES (1, ?, ?)")};
    sqlite3_bind_blob(state.st, 1, write.state.data(), static_cast<int>(write.state.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(state.st, 2, rows_version_);
    if (sqlite3_step(state.st) != SQLITE_DONE) Fail("write history state");
    Exec("RELEASE history");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK TO history; RELEASE history", nullptr, nullptr, nullptr);
    throw;
  }
}

KeptHistory SqliteRowStore::ReadHistory() {
  if (!db_) throw TableError("table file is not open");
  KeptHistory kept;
  {
    Stmt q{Prepare("SELECT data, rows_version FROM history_state WHERE id = 1")};
    if (sqlite3_step(q.st) != SQLITE_ROW) return kept;
    const auto* p = static_cast<const char*>(sqlite3_column_blob(q.st, 0));
    kept.state.assign(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(q.st, 0)));
    kept.matches_rows = sqlite3_column_int64(q.st, 1) == rows_version_;
  }
  Stmt q{Prepare("SELECT number, data FROM history_step ORDER BY number")};
  int rc;
  while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(q.st, 1));
    kept.steps.push_back({sqlite3_column_int64(q.st, 0),
                          std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(q.st, 1)))});
  }
  if (rc != SQLITE_DONE) Fail("read history");
  return kept;
}

SessionValues SqliteRowStore::ReadSession() {
  if (!db_) throw TableError("table file is not open");
  Stmt q{Prepare("SELECT name, value FROM session")};
  SessionValues values;
  int rc;
  while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) {
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 0));
    const auto* value = static_cast<const char*>(sqlite3_column_blob(q.st, 1));
    const int n = sqlite3_column_bytes(q.st, 1);
    if (name) values[name] = value ? std::string(value, static_cast<std::size_t>(n)) : std::string();
  }
  if (rc != SQLITE_DONE) Fail("read session");
  return values;
}

SqliteRowStore::Salvaged SqliteRowStore::Salvage(const std::filesystem::path& path) {
  Salvaged out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return out;
  }
  // Each row is looked up by its own key, so that a damaged page costs only the rows on
  // it. The keys run from 1 to the largest one given out; when even that is unreadable,
  // the lookups go on until a long run of keys finds nothing.
  int64_t last_key = -1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT max(id) FROM segment", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    last_key = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  st = nullptr;
  const std::string sql = "SELECT ord, " + ColumnList() + " FROM segment WHERE id = ?";
  std::vector<std::pair<int64_t, RowValues>> found;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    constexpr int64_t kGiveUpAfter = 10000;  // keys in a row without a readable row
    constexpr int64_t kMostKeys = 10'000'000;
    int64_t misses = 0;
    for (int64_t key = 1; key <= kMostKeys; ++key) {
      if (last_key >= 0 ? key > last_key : misses >= kGiveUpAfter) break;
      sqlite3_reset(st);
      sqlite3_bind_int64(st, 1, key);
      if (sqlite3_step(st) != SQLITE_ROW) {
        ++misses;
        continue;
      }
      misses = 0;
      RowValues row{};
      for (int c = 0; c < kColumnCount; ++c) {
        FieldValue& v = row[static_cast<std::size_t>(c)];
        switch (sqlite3_column_type(st, c + 1)) {
          case SQLITE_NULL: break;
          case SQLITE_INTEGER: v = static_cast<int64_t>(sqlite3_column_int64(st, c + 1)); break;
          default: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, c + 1));
            const int n = sqlite3_column_bytes(st, c + 1);
            v = p ? std::string(p, static_cast<std::size_t>(n)) : std::string();
          }
        }
      }
      found.emplace_back(sqlite3_column_int64(st, 0), std::move(row));
    }
  }
  sqlite3_finalize(st);
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& f : found) out.rows.push_back(std::move(f.second));
  st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name, value FROM session", -1, &st, nullptr) == SQLITE_OK) {
    SessionValues session;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      const auto* value = static_cast<const char*>(sqlite3_column_blob(st, 1));
      const int n = sqlite3_column_bytes(st, 1);
      if (name) session[name] = value ? std::string(value, static_cast<std::size_t>(n)) : std::string();
    }
    if (rc == SQLITE_DONE) out.session = std::move(session);
  }
  sqlite3_finalize(st);
  sqlite3_close_v2(db);
  return out;
}

bool SqliteRowStore::IsWorkingTable(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  sqlite3* db = nullptr;
  bool ok = false;
  // Read-write, so that a write-ahead log left by a crash is taken into account.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      ok = sqlite3_column_int(st, 0) == kApplicationId;
    sqlite3_finalize(st);
  }
  sqlite3_close_v2(db);
  return ok;
}

int64_t SqliteRowStore::StoredRowCount(const std::filesystem::path& path) {
  try {
    SqliteRowStore store;
    return static_cast<int64_t>(store.Open(path).size());
  } catch (const TableError&) {
    return 0;
  }
}

void RemoveTableFiles(const std::filesystem::path& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(std::filesystem::path(path.string() + suffix), ec);
}

}  // namespace qx
