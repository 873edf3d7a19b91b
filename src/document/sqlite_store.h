// Row storage in an SQLite file: the working table.
//
// Every change outside a batch is its own transaction and is on disk when the call
// returns (write-ahead log, full sync), so a row that was stored survives a crash of the
// program. A batch makes a bulk walk one transaction.
//
// The file also keeps the undo history. Every change to the rows counts up a version kept
// in the same transaction, and the history is written with the version it follows, so a
// history that a crash left behind the rows is known as such when the file is read back.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "document/table.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qx {

class SqliteRowStore : public RowStore {
 public:
  SqliteRowStore() = default;
  ~SqliteRowStore() override;

  void Create(const std::filesystem::path& path) override;
  std::vector<StoredRow> Open(const std::filesystem::path& path) override;
  void Close() override;
  int64_t Insert(const RowValues& values, std::optional<int64_t> before) override;
  void Update(int64_t key, const RowValues& values) override;
  void Remove(int64_t key) override;
  void BeginBatch() override;
  void CommitBatch() override;
  void WriteSession(const SessionValues& values) override;
  SessionValues ReadSession() override;
  void WriteHistory(const HistoryWrite& write) override;
  KeptHistory ReadHistory() override;

  // Whether `path` is a working table file this program wrote.
  static bool IsWorkingTable(const std::filesystem::path& path);

  // Rows stored in the working table file at `path`; 0 when it is missing, unreadable or
  // not a working table.
  static int64_t StoredRowCount(const std::filesystem::path& path);

  // What can still be read from a damaged working table: every row whose own record is
  // intact, in order, and the session facts when their table is readable. Never throws.
  struct Salvaged {
    std::vector<RowValues> rows;
    SessionValues session;
  };
  static Salvaged Salvage(const std::filesystem::path& path);

 private:
  std::vector<StoredRow> ReadRows();
  void OpenDb(const std::filesystem::path& path, bool create);
  void Exec(const char* sql);
  sqlite3_stmt* Prepare(const char* sql);
  // The statement of `sql`, prepared once per open file and reset after each use (see
  // Reused): the changes to the rows run the same few statements many times.
  sqlite3_stmt* Cached(const std::string& sql);
  void StepCached(const char* sql);  // runs a statement without result
  void Bind(sqlite3_stmt* st, int first, const RowValues& values);
  [[noreturn]] void Fail(const char* what);
  // Runs one change to the rows in a transaction (the batch's, else its own) that also
  // counts up the rows' version.
  template <typename F>
  auto ChangeRows(F&& change);
  void WriteRowsVersion();
  int64_t InsertRow(const RowValues& values, std::optional<int64_t> before);
  void UpdateRow(int64_t key, const RowValues& values);

  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> cached_;
  int batch_depth_ = 0;
  int64_t rows_version_ = 0;
  bool version_unwritten_ = false;
};

}  // namespace qx
