// Row storage in a Paradox table file: the document files (*.kel).
//
// The whole table is read on Open and kept in memory; changes stay in memory until Close,
// which writes the file in one atomic step (a temporary file renamed over the old one),
// and only when the table was created or changed. So an unsaved Document never touches
// its file, and a failed write leaves the old file as it was.
//
// Columns are taken by position, 0 to 12; further columns of a foreign table are ignored
// (and not written back). Integer columns may be stored as short, long, autoincrement,
// number or money fields; numbers are rounded to whole values. Blank texts read as null.
#pragma once

#include <filesystem>
#include <functional>
#include <list>
#include <unordered_map>

#include "document/paradox.h"
#include "document/table.h"

namespace qx {

class ParadoxRowStore : public RowStore {
 public:
  ParadoxRowStore() = default;
  // Changes not written by Close are dropped: a destructor cannot report a failed write.
  ~ParadoxRowStore() override = default;

  // Starts an empty table bound to `path`; the file is written by Close.
  void Create(const std::filesystem::path& path) override;
  // Reads the table file; throws TableError with the reason when it cannot be used.
  std::vector<StoredRow> Open(const std::filesystem::path& path) override;
  // Reads the table file one row at a time, the values as Open takes them, giving each
  // row to `each` (the settings row last) while holding no more of the file than a block.
  // Throws TableError as Open does, once the rows before the fault have been given; sets
  // *repeat_column_type to the physical type of PitchRep.
  static void ForEachRow(const std::filesystem::path& path,
                         const std::function<void(const RowValues&)>& each,
                         paradox::TypeCode* repeat_column_type = nullptr);
  // Writes the file when the table was created or changed since Open. Throws TableError
  // when the write fails; the table then stays open with its changes, the old file intact.
  void Close() override;
  int64_t Insert(const RowValues& values, std::optional<int64_t> before) override;
  void Update(int64_t key, const RowValues& values) override;
  void Remove(int64_t key) override;
  void BeginBatch() override {}
  void CommitBatch() override {}

 private:
  using List = std::list<StoredRow>;
  List::iterator Find(int64_t key);
  void RequireOpen() const;

  std::filesystem::path path_;
  bool open_ = false;
  bool dirty_ = false;
  // PitchRep keeps the physical type of the file it was read from; new files use Long.
  paradox::TypeCode repeat_column_type_ = paradox::kLong;
  List rows_;
  std::unordered_map<int64_t, List::iterator> index_;
  int64_t next_key_ = 1;
};

}  // namespace qx
