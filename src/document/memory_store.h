// A RowStore kept in memory: for tables that need no file (the command-line tool's
// working table, tests).
#pragma once

#include <algorithm>
#include <map>

#include "document/table.h"

namespace qx {

class MemoryRowStore : public RowStore {
 public:
  void Create(const std::filesystem::path&) override {
    rows_.clear();
    open_ = true;
  }
  std::vector<StoredRow> Open(const std::filesystem::path&) override {
    open_ = true;
    return rows_;
  }
  void Close() override { open_ = false; }
  int64_t Insert(const RowValues& values, std::optional<int64_t> before) override {
    const int64_t key = next_key_++;
    auto at = rows_.end();
    if (before)
      at = std::find_if(rows_.begin(), rows_.end(), [&](const StoredRow& r) { return r.key == *before; });
    rows_.insert(at, {key, values});
    return key;
  }
  void Update(int64_t key, const RowValues& values) override { Find(key)->values = values; }
  void Remove(int64_t key) override { rows_.erase(Find(key)); }
  void BeginBatch() override { ++batches_; }
  void CommitBatch() override {}

  const std::vector<StoredRow>& rows() const { return rows_; }
  int batches() const { return batches_; }

 private:
  std::vector<StoredRow>::iterator Find(int64_t key) {
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](const StoredRow& r) { return r.key == key; });
    if (it == rows_.end()) throw TableError("no such row");
    return it;
  }
  std::vector<StoredRow> rows_;
  int64_t next_key_ = 1;
  int batches_ = 0;
  bool open_ = false;
};

}  // namespace qx
