#include "document/table.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace qx {

SegmentTable::SegmentTable(std::unique_ptr<RowStore> store) : store_(std::move(store)) {}

SegmentTable::~SegmentTable() {
  try {
    if (open_) store_->Close();
  } catch (...) {  // a destructor must not throw; the file is left for recovery
  }
}

void SegmentTable::RequireOpen() const {
  if (!open_) throw TableError("table is not open");
}

void SegmentTable::RequireRow() const {
  RequireOpen();
  if (rows_.empty()) throw TableError("table has no rows");
}

void SegmentTable::Changed() {
  if (detached_ == 0 && on_change_) on_change_();
}

void SegmentTable::Create() {
  if (open_) Close();
  ++generation_;
  store_->Create(path_);
  store_->Close();
}

void SegmentTable::Open() {
  if (open_) return;
  std::vector<RowStore::StoredRow> stored = store_->Open(path_);
  ++generation_;
  rows_.clear();
  rows_.reserve(stored.size());
  for (auto& s : stored) rows_.push_back({next_id_++, s.key, std::move(s.values)});
  open_ = true;
  current_ = 0;
  editing_ = false;
  eof_ = rows_.empty();
  Changed();
}

void SegmentTable::Close() {
  if (!open_) return;
  while (batch_depth_ > 0) {
    --batch_depth_;
    store_->CommitBatch();
  }
  store_->Close();
  ++generation_;
  open_ = false;
  rows_.clear();
  editing_ = false;
  current_ = 0;
  eof_ = true;
  Changed();
}

void SegmentTable::WriteSession(const SessionValues& values) {
  RequireOpen();
  store_->WriteSession(values);
}

SessionValues SegmentTable::ReadSession() {
  RequireOpen();
  return store_->ReadSession();
}

void SegmentTable::WriteHistory(const HistoryWrite& write) {
  RequireOpen();
  store_->WriteHistory(write);
}

KeptHistory SegmentTable::ReadHistory() {
  RequireOpen();
  return store_->ReadHistory();
}

const RowValues& SegmentTable::KeptValuesAt(int row) const {
  RequireOpen();
  if (row < 0 || row >= RowCount()) throw TableError("no such row");
  return rows_[static_cast<std::size_t>(row)].values;
}

void SegmentTable::AttachAllControls() {
  if (detached_ == 0) return;
  detached_ = 1;
  AttachControls();
}

bool SegmentTable::CurrentIsNew() const {
  return open_ && !rows_.empty() && !rows_[static_cast<std::size_t>(current_)].key;
}

std::optional<int64_t> SegmentTable::NextStoredKey(std::size_t index) const {
  for (std::size_t i = index + 1; i < rows_.size(); ++i)
    if (rows_[i].key) return rows_[i].key;
  return std::nullopt;
}

void SegmentTable::Store() {
  RequireOpen();
  if (!editing_) return;
  Row& row = rows_[static_cast<std::size_t>(current_)];
  // Write through first: the row in memory changes only once the store has it. A stored
  // row left unchanged needs no write (walks reload every row in edit mode).
  if (row.key && row.values == edit_buffer_) {
    editing_ = false;
    return;
  }
  const std::optional<RowSlot> before =
      observer_ ? std::optional<RowSlot>(SlotOf(row)) : std::nullopt;
  if (row.key) {
    store_->Update(*row.key, edit_buffer_);
  } else {
    row.key = store_->Insert(edit_buffer_, NextStoredKey(static_cast<std::size_t>(current_)));
  }
  row.values = edit_buffer_;
  if (observer_) Notify(current_, before, SlotOf(row));
  editing_ = false;
  Changed();
}

void SegmentTable::StoreIfEditing() {
  if (editing_) Store();
}

void SegmentTable::Edit() {
  RequireOpen();
  if (editing_ || rows_.empty()) return;  // an empty table has no row to edit
  edit_buffer_ = rows_[static_cast<std::size_t>(current_)].values;
  editing_ = true;
}

void SegmentTable::Append() {
  RequireOpen();
  StoreIfEditing();
  NewRowAt(rows_.size());
}

void SegmentTable::Insert() {
  RequireOpen();
  StoreIfEditing();
  NewRowAt(rows_.empty() ? 0 : static_cast<std::size_t>(current_));
}

void SegmentTable::NewRowAt(std::size_t at) {
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), {next_id_++, std::nullopt, {}});
  current_ = static_cast<int>(at);
  edit_buffer_ = RowValues{};
  editing_ = true;
  eof_ = false;
  Notify(static_cast<int>(at), std::nullopt, RowSlot{});
  Changed();
}

void SegmentTable::Delete() {
  RequireRow();
  const auto at = static_cast<std::size_t>(current_);
  if (rows_[at].key) store_->Remove(*rows_[at].key);
  editing_ = false;
  if (observer_) Notify(static_cast<int>(at), SlotOf(rows_[at]), std::nullopt);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
  // The next row takes the place of the deleted one; after the last row the table is
  // at its end, on the new last row.
  eof_ = at >= rows_.size();
  current_ = rows_.empty() ? 0 : static_cast<int>(std::min(at, rows_.size() - 1));
  Changed();
}

void SegmentTable::First() {
  RequireOpen();
  StoreIfEditing();
  current_ = 0;
  eof_ = rows_.empty();
  Changed();
}

void SegmentTable::Last() {
  RequireOpen();
  StoreIfEditing();
  current_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
  eof_ = rows_.empty();
  Changed();
}

void SegmentTable::Next() {
  RequireOpen();
  StoreIfEditing();
  if (current_ + 1 < static_cast<int>(rows_.size())) {
    ++current_;
    eof_ = false;
  } else {
    eof_ = true;
  }
  Changed();
}

void SegmentTable::Prior() {
  RequireOpen();
  StoreIfEditing();
  if (current_ > 0) --current_;
  eof_ = rows_.empty();
  Changed();
}

Bookmark SegmentTable::TakeBookmark() const {
  RequireRow();
  return {rows_[static_cast<std::size_t>(current_)].id};
}

void SegmentTable::GotoBookmark(const Bookmark& b) {
  RequireOpen();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].id == b.id && b.id != 0) {
      StoreIfEditing();
      current_ = static_cast<int>(i);
      eof_ = false;
      Changed();
      return;
    }
  }
  throw TableError("bookmarked row no longer exists");
}

void SegmentTable::AttachControls() {
  if (detached_ > 0 && --detached_ == 0) Changed();
}

const FieldValue& SegmentTable::Value(int col) const {
  RequireRow();
  if (col < 0 || col >= kColumnCount) throw TableError("no such column");
  return editing_ ? edit_buffer_[static_cast<std::size_t>(col)]
                  : rows_[static_cast<std::size_t>(current_)].values[static_cast<std::size_t>(col)];
}

const FieldValue& SegmentTable::ValueAt(int row, int col) const {
  RequireOpen();
  if (row < 0 || row >= RowCount() || col < 0 || col >= kColumnCount)
    throw TableError("no such row or column");
  if (row == current_ && editing_) return edit_buffer_[static_cast<std::size_t>(col)];
  return rows_[static_cast<std::size_t>(row)].values[static_cast<std::size_t>(col)];
}

std::string SegmentTable::TextAt(int row, int col) const {
  const FieldValue& v = ValueAt(row, col);
  if (const auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return {};
}

bool SegmentTable::IsNull(int col) const {
  return std::holds_alternative<std::monostate>(Value(col));
}

std::string SegmentTable::Text(int col) const {
  RequireRow();
  return TextAt(current_, col);
}

int64_t SegmentTable::Int(int col) const {
  const FieldValue& v = Value(col);
  if (const auto* i = std::get_if<int64_t>(&v)) return *i;
  if (const auto* s = std::get_if<std::string>(&v)) {
    int64_t out = 0;
    const char* b = s->data();
    const char* e = b + s->size();
    while (b < e && *b == ' ') ++b;
    if (b < e && *b == '+') ++b;
    if (std::from_chars(b, e, out).ec == std::errc()) return out;
  }
  return 0;
}

FieldValue SegmentTable::Checked(int col, FieldValue v) const {
  if (col < 0 || col >= kColumnCount) throw TableError("no such column");
  const ColumnDef& def = kColumns[static_cast<std::size_t>(col)];
  if (std::holds_alternative<std::monostate>(v)) return v;
  if (def.type == ColumnType::kText) {
    if (const auto* i = std::get_if<int64_t>(&v)) v = std::to_string(*i);
    const auto& s = std::get<std::string>(v);
    if (s.size() > static_cast<std::size_t>(def.max_bytes))
      throw TableError("value too long for column " + std::string(def.name));
    return v;
  }
  if (const auto* s = std::get_if<std::string>(&v)) {
    if (s->empty()) return FieldValue{};
    int64_t parsed = 0;
    const char* b = s->data();
    const char* e = b + s->size();
    const auto [p, ec] = std::from_chars(b, e, parsed);
    if (ec != std::errc() || p != e)
      throw TableError("not a number for column " + std::string(def.name));
    v = parsed;
  }
  const int64_t i = std::get<int64_t>(v);
  const bool fits = def.type == ColumnType::kUInt16
                        ? i >= 0 && i <= std::numeric_limits<uint16_t>::max()
                        : i >= std::numeric_limits<int32_t>::min() &&
                              i <= std::numeric_limits<int32_t>::max();
  if (!fits) throw TableError("value out of range for column " + std::string(def.name));
  return v;
}

void SegmentTable::SetValue(int col, FieldValue v) {
  RequireRow();
  if (!editing_) throw TableError("row is not in edit mode");
  edit_buffer_[static_cast<std::size_t>(col)] = Checked(col, std::move(v));
}

void SegmentTable::SetText(int col, std::string_view text) { SetValue(col, std::string(text)); }
void SegmentTable::SetInt(int col, int64_t v) { SetValue(col, v); }
void SegmentTable::SetNull(int col) { SetValue(col, FieldValue{}); }

void SegmentTable::ApplyRowChange(const RowChange& change, bool forward) {
  RequireOpen();
  const std::optional<RowSlot>& from = forward ? change.before : change.after;
  const std::optional<RowSlot>& to = forward ? change.after : change.before;
  const auto at = static_cast<std::size_t>(change.index);
  editing_ = false;
  if (change.renumbering) {
    if (forward) {
      WriteNumbers(at, rows_.size() - std::min(at, rows_.size()), static_cast<int64_t>(at) + 1);
    } else {
      std::size_t row = at;
      for (const NumberRun& run : change.numbers_before) {
        WriteNumbers(row, static_cast<std::size_t>(run.rows), run.first);
        row += static_cast<std::size_t>(run.rows);
      }
    }
    return;
  }
  if (at > rows_.size() || (from && at >= rows_.size()))
    throw TableError("recorded change does not fit the table");
  if (!from && to) {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at),
                 {next_id_++, std::nullopt, to->values});
    if (to->stored) rows_[at].key = store_->Insert(to->values, NextStoredKey(at));
  } else if (from && !to) {
    if (rows_[at].key) store_->Remove(*rows_[at].key);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
  } else if (from && to) {
    Row& row = rows_[at];
    if (to->stored && row.key) {
      store_->Update(*row.key, to->values);
    } else if (to->stored) {
      row.key = store_->Insert(to->values, NextStoredKey(at));
    } else if (row.key) {
      store_->Remove(*row.key);
      row.key.reset();
    }
    row.values = to->values;
  }
}

void SegmentTable::WriteNumbers(std::size_t at, std::size_t count, std::optional<int64_t> first) {
  if (count == 0) return;
  if (at + count > rows_.size()) throw TableError("recorded change does not fit the table");
  const auto number = [&](std::size_t i) {
    return first ? FieldValue(*first + static_cast<int64_t>(i)) : FieldValue();
  };
  bool stored = true;
  for (std::size_t i = 0; i < count; ++i) stored = stored && rows_[at + i].key.has_value();
  if (!stored || !store_->NumberRows(*rows_[at].key, static_cast<int64_t>(count), first,
                                     kNumberColumn)) {
    for (std::size_t i = 0; i < count; ++i) {
      Row& row = rows_[at + i];
      if (!row.key || row.values[kNumberColumn] == number(i)) continue;
      RowValues values = row.values;
      values[kNumberColumn] = number(i);
      store_->Update(*row.key, values);
    }
  }
  for (std::size_t i = 0; i < count; ++i) rows_[at + i].values[kNumberColumn] = number(i);
}

void SegmentTable::NumberRowsFrom(int from) {
  RequireOpen();
  Batch batch(*this);
  StoreIfEditing();
  const std::size_t n = rows_.size();
  auto at = static_cast<std::size_t>(std::max(from, 0));
  // Rows already numbered by their positions are left as they are.
  const auto numbered = [&](std::size_t i) {
    const auto* v = std::get_if<int64_t>(&rows_[i].values[kNumberColumn]);
    return v && *v == static_cast<int64_t>(i) + 1;
  };
  while (at < n && numbered(at)) ++at;
  if (at >= n) {
    batch.Commit();
    return;
  }
  RowChange change;
  change.index = static_cast<int>(at);
  change.renumbering = true;
  if (observer_) {
    for (std::size_t i = at; i < n; ++i) {
      const auto* v = std::get_if<int64_t>(&rows_[i].values[kNumberColumn]);
      const std::optional<int64_t> number = v ? std::optional<int64_t>(*v) : std::nullopt;
      NumberRun* last = change.numbers_before.empty() ? nullptr : &change.numbers_before.back();
      const bool follows = last && last->first.has_value() == number.has_value() &&
                           (!number || *last->first + last->rows == *number);
      if (follows) {
        ++last->rows;
      } else {
        change.numbers_before.push_back({1, number});
      }
    }
  }
  WriteNumbers(at, n - at, static_cast<int64_t>(at) + 1);
  batch.Commit();
  if (observer_) observer_->OnRowChange(change);
  Changed();
}

void SegmentTable::RestoreCursor(const CursorState& cursor) {
  RequireOpen();
  current_ = rows_.empty() ? 0 : std::clamp(cursor.current, 0, RowCount() - 1);
  eof_ = rows_.empty() || cursor.eof;
  editing_ = !rows_.empty() && cursor.editing;
  edit_buffer_ = cursor.edit_buffer;
}

SegmentTable::Batch::Batch(SegmentTable& t) : t_(t) {
  t_.RequireOpen();
  t_.store_->BeginBatch();
  ++t_.batch_depth_;
}

void SegmentTable::Batch::Commit() {
  if (done_) return;
  done_ = true;
  if (t_.batch_depth_ == 0) return;  // the table was closed inside the batch
  --t_.batch_depth_;
  t_.store_->CommitBatch();
}

SegmentTable::Batch::~Batch() {
  try {
    Commit();
  } catch (...) {  // already unwinding from another failure, which is the one reported
  }
}

}  // namespace qx
