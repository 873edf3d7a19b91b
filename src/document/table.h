// The table engine: an ordered list of Segment rows with a current row, the way the
// document code walks and edits them.
//
// Rows are kept in memory in order and every stored change goes straight to a RowStore
// (the working table file). The cursor rules:
//   - Append adds a new row at the end, Insert a new row before the current one; the new
//     row is current, in edit mode, and not stored until Store (or a move) stores it.
//   - Fields are written only in edit mode; Edit puts the current row into edit mode
//     (on an empty table it does nothing). Writes are buffered until Store.
//   - Moving to another row (First, Last, Next, Prior, GotoBookmark, Append, Insert)
//     stores a row in edit mode first.
//   - Delete removes the current row; the next row becomes current, or the new last row
//     when the last one was deleted (the table is then at its end). Deleting a new row that
//     was never stored discards it.
//   - Next on the last row leaves it current and sets the end-of-table flag; any other
//     move clears it.
//   - A new row that is not stored yet counts in RowCount and Position: it is on screen.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "document/segment.h"

namespace qx {

// A field value: null, an integer, or text (GBK bytes).
using FieldValue = std::variant<std::monostate, int64_t, std::string>;
using RowValues = std::array<FieldValue, kColumnCount>;

class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Durable storage of the rows of one table file. Keys identify stored rows.
// Facts about the editing session a store keeps beside the rows (name -> value).
using SessionValues = std::map<std::string, std::string>;

// The undo history a store keeps beside the rows: its steps by number, as opaque records,
// and the history's own state (which steps are done).
struct HistoryRecord {
  int64_t number = 0;
  std::string data;
};
struct KeptHistory {
  std::vector<HistoryRecord> steps;  // in number order
  std::string state;
  // No row was changed after the history was last written: its steps lead to the rows as
  // they are. A history that does not match must not be used.
  bool matches_rows = false;
};
// One durable change of the kept history: the steps numbered `drop_from` and above and
// those below `drop_below` are dropped, then `put` is added (a step of the same number is
// replaced) and the state replaced.
struct HistoryWrite {
  std::optional<int64_t> drop_from;
  int64_t drop_below = 0;  // numbers start at 0
  std::vector<HistoryRecord> put;
  std::string state;
};

class RowStore {
 public:
  struct StoredRow {
    int64_t key;
    RowValues values;
  };

  virtual ~RowStore() = default;
  // Creates the file with the Segment columns, replacing any file of that name.
  virtual void Create(const std::filesystem::path& path) = 0;
  // Opens an existing file and returns its rows in order.
  virtual std::vector<StoredRow> Open(const std::filesystem::path& path) = 0;
  virtual void Close() = 0;
  // Stores a new row before the row `before` (at the end when nullopt); returns its key.
  virtual int64_t Insert(const RowValues& values, std::optional<int64_t> before) = 0;
  virtual void Update(int64_t key, const RowValues& values) = 0;
  virtual void Remove(int64_t key) = 0;
  // Groups the changes up to the matching CommitBatch into one durable step.
  virtual void BeginBatch() = 0;
  virtual void CommitBatch() = 0;
  // The session facts kept with the rows, replaced as a whole and durable when the call
  // returns. A store that keeps none ignores them.
  virtual void WriteSession(const SessionValues&) {}
  virtual SessionValues ReadSession() { return {}; }
  // The undo history kept with the rows (see KeptHistory), durable when the call returns;
  // inside a batch it becomes durable with the batch's changes. A store that keeps none
  // ignores it and reads back an empty history.
  virtual void WriteHistory(const HistoryWrite&) {}
  virtual KeptHistory ReadHistory() { return {}; }
};

struct Bookmark {
  uint64_t id = 0;
};

// One change to the list of rows, as plain data: the row at `index` (0-based) goes from
// `before` to `after`. A row that is not there is nullopt in `rows`; a row that exists but
// was never stored (a new row being edited) has `stored` false on that side.
struct RowSlot {
  bool stored = false;
  RowValues values{};
  bool operator==(const RowSlot&) const = default;
};
struct RowChange {
  int index = 0;
  std::optional<RowSlot> before, after;  // nullopt: no row (an insert or a delete)
};

// Where the cursor stands: the current row, the end flag and the edit mode with its buffer.
struct CursorState {
  int current = 0;
  bool eof = true;
  bool editing = false;
  RowValues edit_buffer{};
  bool operator==(const CursorState&) const = default;
};

// Told of every change to the list of rows as it is made (undo history).
class RowChangeObserver {
 public:
  virtual ~RowChangeObserver() = default;
  virtual void OnRowChange(const RowChange& change) = 0;
};

class SegmentTable {
 public:
  explicit SegmentTable(std::unique_ptr<RowStore> store);
  ~SegmentTable();

  // The file the table is bound to.
  void Bind(std::filesystem::path path) { path_ = std::move(path); }
  const std::filesystem::path& path() const { return path_; }

  void Create();  // creates the bound file empty (closing the table first if open)
  void Open();
  void Close();  // unstored changes of the current row are dropped
  bool IsOpen() const { return open_; }
  // Changes whenever the table is created, opened or closed: a file other than the one
  // seen before may be behind it.
  uint64_t generation() const { return generation_; }

  // The session facts kept with the rows (see RowStore).
  void WriteSession(const SessionValues& values);
  SessionValues ReadSession();
  // The undo history kept with the rows (see RowStore).
  void WriteHistory(const HistoryWrite& write);
  KeptHistory ReadHistory();

  bool IsEmpty() const { return rows_.empty(); }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  int Position() const { return rows_.empty() ? 0 : current_ + 1; }  // 1-based, 0 when empty
  bool Eof() const { return eof_; }

  // Room for `rows` rows, so that a long document loads without moving them again.
  void ReserveRows(int rows) { rows_.reserve(static_cast<std::size_t>(std::max(rows, 0))); }
  void Append();
  void Insert();
  void Delete();
  void Edit();
  void Store();
  bool InEditMode() const { return editing_; }
  bool CurrentIsNew() const;  // the current row has never been stored

  void First();
  void Last();
  void Next();
  void Prior();

  Bookmark TakeBookmark() const;
  void GotoBookmark(const Bookmark& b);
  void ReleaseBookmark(Bookmark& b) { b.id = 0; }

  // Data-aware controls (grid, bound editors) are told about changes through the change
  // handler. While detached (calls nest) nothing is sent; re-attaching sends one refresh.
  void SetChangeHandler(std::function<void()> handler) { on_change_ = std::move(handler); }
  void DetachControls() { ++detached_; }
  void AttachControls();
  // Attaches the controls however deeply they were detached: after a step that failed
  // half-way.
  void AttachAllControls();
  bool ControlsDetached() const { return detached_ > 0; }

  // Changes to the rows go to `observer` (none: nullptr) while it is set.
  void SetRowChangeObserver(RowChangeObserver* observer) { observer_ = observer; }
  CursorState Cursor() const { return {current_, eof_, editing_, edit_buffer_}; }
  // Makes a recorded change again (`forward`) or takes it back, through the store, and
  // puts the cursor where it was; used by undo and redo. Nothing goes to the observer and
  // the controls are not told: the caller shows the result once.
  void ApplyRowChange(const RowChange& change, bool forward);
  void RestoreCursor(const CursorState& cursor);

  // A field of any row (0-based), without moving: what a grid shows. The current row
  // reads with its unstored edits.
  const FieldValue& ValueAt(int row, int col) const;
  std::string TextAt(int row, int col) const;
  // The fields of a row as kept, without the current row's unstored edits.
  const RowValues& KeptValuesAt(int row) const;

  // Fields of the current row. Reads see unstored edits.
  const FieldValue& Value(int col) const;
  bool IsNull(int col) const;
  std::string Text(int col) const;  // null reads as ""; integers in decimal
  int64_t Int(int col) const;       // null and non-numeric text read as 0
  void SetValue(int col, FieldValue v);  // checked against the column's type and size
  void SetText(int col, std::string_view text);
  void SetInt(int col, int64_t v);
  void SetNull(int col);

  // Groups every store until the batch ends into one durable step: for bulk walks
  // (renumbering, imports). Batches nest; the outermost one makes the changes durable.
  // Commit reports a failure; a batch left by an exception commits what was stored.
  class Batch {
   public:
    explicit Batch(SegmentTable& t);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void Commit();

   private:
    SegmentTable& t_;
    bool done_ = false;
  };

 private:
  struct Row {
    uint64_t id;                 // identity for bookmarks
    std::optional<int64_t> key;  // store key; empty until first stored
    RowValues values;
  };

  void RequireOpen() const;
  void RequireRow() const;
  void StoreIfEditing();
  void NewRowAt(std::size_t at);  // a new row in edit mode becomes current at `at`
  void Changed();
  std::optional<int64_t> NextStoredKey(std::size_t index) const;
  FieldValue Checked(int col, FieldValue v) const;

  std::unique_ptr<RowStore> store_;
  std::filesystem::path path_;
  bool open_ = false;
  std::vector<Row> rows_;
  int current_ = 0;
  bool editing_ = false;
  RowValues edit_buffer_{};
  bool eof_ = false;
  uint64_t next_id_ = 1;
  int detached_ = 0;
  int batch_depth_ = 0;
  uint64_t generation_ = 0;
  std::function<void()> on_change_;
  RowChangeObserver* observer_ = nullptr;
  void Notify(int index, std::optional<RowSlot> before, std::optional<RowSlot> after) {
    if (observer_) observer_->OnRowChange({index, std::move(before), std::move(after)});
  }
  RowSlot SlotOf(const Row& r) const { return {r.key.has_value(), r.values}; }
};

// Calls f() on the current row and on every row after it, in order, while f returns true.
// Returns false on the row where f returned false, which stays current; otherwise true
// with the table at its end (on the last row, end-of-table set). The walk starts on the
// current row whatever the end-of-table flag says.
template <typename F>
bool ForEachRowToEnd(SegmentTable& t, F&& f) {
  if (t.IsEmpty()) return true;
  for (;;) {
    if (!f()) return false;
    const bool last = t.Position() >= t.RowCount();
    t.Next();
    if (last) return true;
  }
}

// Removes a table file and the companion files its store keeps beside it.
void RemoveTableFiles(const std::filesystem::path& path);

}  // namespace qx
