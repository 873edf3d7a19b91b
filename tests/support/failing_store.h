// A working table store that fails on demand, as a full or read-only folder makes SQLite
// fail: every write throws while `failing` is set; reads and opening go on.
#pragma once

#include <memory>

#include "document/sqlite_store.h"

namespace qx::testing {

class FailingStore : public RowStore {
 public:
  explicit FailingStore(std::shared_ptr<bool> failing) : failing_(std::move(failing)) {}

  void Create(const std::filesystem::path& path) override {
    Check();
    store_.Create(path);
  }
  std::vector<StoredRow> Open(const std::filesystem::path& path) override { return store_.Open(path); }
  void Close() override { store_.Close(); }
  int64_t Insert(const RowValues& values, std::optional<int64_t> before) override {
    Check();
    return store_.Insert(values, before);
  }
  void Update(int64_t key, const RowValues& values) override {
    Check();
    store_.Update(key, values);
  }
  void Remove(int64_t key) override {
    Check();
    store_.Remove(key);
  }
  void BeginBatch() override { store_.BeginBatch(); }
  void CommitBatch() override { store_.CommitBatch(); }
  void WriteSession(const SessionValues& values) override {
    Check();
    store_.WriteSession(values);
  }
  SessionValues ReadSession() override { return store_.ReadSession(); }

 private:
  void Check() const {
    if (*failing_) throw TableError("database or disk is full");
  }
  std::shared_ptr<bool> failing_;
  SqliteRowStore store_;
};

}  // namespace qx::testing
