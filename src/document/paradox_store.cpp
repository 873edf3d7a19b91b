#include "document/paradox_store.h"

#include "document/gbk.h"

#include <cmath>
#include <limits>
#include <string>

namespace qx {
namespace {

std::string ColumnName(std::size_t c) { return std::string(kColumns[c].name); }

// A value of an integer column as stored in any numeric field type.
FieldValue IntegerValue(const paradox::Value& v, std::size_t c) {
  if (std::holds_alternative<std::monostate>(v)) return FieldValue{};
  int64_t i = 0;
  if (const auto* n = std::get_if<int64_t>(&v)) {
    i = *n;
  } else if (const auto* d = std::get_if<double>(&v)) {
    // A Number field: whole values as they are, others rounded to the nearest.
    if (!std::isfinite(*d) || std::fabs(*d) > 4e9)
      throw TableError("value out of range for column " + ColumnName(c));
    i = std::llround(*d);
  } else {
    throw TableError("column " + ColumnName(c) + " does not hold numbers");
  }
  const bool fits = kColumns[c].type == ColumnType::kUInt16
                        ? i >= 0 && i <= std::numeric_limits<uint16_t>::max()
                        : i >= std::numeric_limits<int32_t>::min() &&
                              i <= std::numeric_limits<int32_t>::max();
  if (!fits) throw TableError("value out of range for column " + ColumnName(c));
  return i;
}

FieldValue TextValue(const paradox::Value& v, std::size_t c) {
  if (std::holds_alternative<std::monostate>(v)) return FieldValue{};
  // A table from elsewhere may have wider text fields: the text keeps its whole
  // characters up to our column's width instead of making the whole file unreadable.
  const std::string& s = std::get<std::string>(v);
  return std::string(gbk::TruncateToBytes(s, static_cast<std::size_t>(kColumns[c].max_bytes)));
}

}  // namespace

void ParadoxRowStore::RequireOpen() const {
  if (!open_) throw TableError("table file is not open");
}

ParadoxRowStore::List::iterator ParadoxRowStore::Find(int64_t key) {
  const auto it = index_.find(key);
  if (it == index_.end()) throw TableError("stored row not found");
  return it->second;
}

void ParadoxRowStore::Create(const std::filesystem::path& path) {
  rows_.clear();
  index_.clear();
  path_ = path;
  repeat_column_type_ = paradox::kLong;
  open_ = true;
  dirty_ = true;
}

void ParadoxRowStore::ForEachRow(const std::filesystem::path& path,
                                 const std::function<void(const RowValues&)>& each,
                                 paradox::TypeCode* repeat_column_type) {
  // Faults are told in the order a whole read finds them: the file's structure first, then
  // the columns, then the first value that does not fit its column. Rows are given until
  // the first fault of any kind.
  std::string error, column_error, value_error;
  bool columns_checked = false;
  paradox::Table header;
  auto check_columns = [&] {
    columns_checked = true;
    if (header.fields.size() < static_cast<std::size_t>(kColumnCount)) {
      column_error = "not a document table (" + std::to_string(header.fields.size()) + " columns)";
      return;
    }
    for (std::size_t c = 0; c < static_cast<std::size_t>(kColumnCount); ++c) {
      const bool text = kColumns[c].type == ColumnType::kText;
      const uint8_t code = header.fields[c].code;
      const bool numeric = code == paradox::kShort || code == paradox::kLong ||
                           code == paradox::kAutoIncrement || code == paradox::kNumber ||
                           code == paradox::kMoney;
      if (text ? code != paradox::kAlpha : !numeric) {
        column_error = "column " + ColumnName(c) + " has the wrong type (" +
                       std::string(1, header.fields[c].type) + ")";
        return;
      }
    }
  };
  RowValues row{};
  const bool read = paradox::ForEachRecord(
      path, header,
      [&](std::vector<paradox::Value>& r) {
        if (!columns_checked) check_columns();
        if (!column_error.empty() || !value_error.empty()) return;
        try {
          for (std::size_t c = 0; c < static_cast<std::size_t>(kColumnCount); ++c)
            row[c] = kColumns[c].type == ColumnType::kText ? TextValue(r[c], c)
                                                           : IntegerValue(r[c], c);
        } catch (const TableError& e) {
          value_error = e.what();
          return;
        }
        each(row);
      },
      &error);
  if (!read) throw TableError(path.string() + ": " + error);
  if (!columns_checked) check_columns();
  if (!column_error.empty()) throw TableError(path.string() + ": " + column_error);
  if (!value_error.empty()) throw TableError(path.string() + ": " + value_error);
  if (repeat_column_type)
    *repeat_column_type =
        header.fields[kRepeatColumn].code == paradox::kShort ? paradox::kShort : paradox::kLong;
}

std::vector<RowStore::StoredRow> ParadoxRowStore::Open(const std::filesystem::path& path) {
  List rows;
  int64_t key = 1;
  paradox::TypeCode repeat_type = paradox::kLong;
  ForEachRow(
      path, [&](const RowValues& values) { rows.push_back(StoredRow{key++, values}); },
      &repeat_type);

  rows_ = std::move(rows);
  index_.clear();
  for (auto it = rows_.begin(); it != rows_.end(); ++it) index_[it->key] = it;
  next_key_ = static_cast<int64_t>(rows_.size()) + 1;
  repeat_column_type_ = repeat_type;
  path_ = path;
  open_ = true;
  dirty_ = false;
  return {rows_.begin(), rows_.end()};
}

void ParadoxRowStore::Close() {
  if (!open_) return;
  if (dirty_) {
    std::vector<RowValues> values;
    values.reserve(rows_.size());
    for (const StoredRow& r : rows_) values.push_back(r.values);
    std::string error;
    WriteFailure failure = WriteFailure::kNone;
    if (!paradox::WriteDocumentTable(path_, values, repeat_column_type_, &error, &failure)) {
      if (failure != WriteFailure::kNone) throw FileWriteError(error, failure);  // names the file
      throw TableError(path_.string() + ": " + error);
    }
  }
  open_ = false;
  dirty_ = false;
  rows_.clear();
  index_.clear();
}

int64_t ParadoxRowStore::Insert(const RowValues& values, std::optional<int64_t> before) {
  RequireOpen();
  const auto at = before ? Find(*before) : rows_.end();
  const int64_t key = next_key_++;
  index_[key] = rows_.insert(at, StoredRow{key, values});
  dirty_ = true;
  return key;
}

void ParadoxRowStore::Update(int64_t key, const RowValues& values) {
  RequireOpen();
  Find(key)->values = values;
  dirty_ = true;
}

void ParadoxRowStore::Remove(int64_t key) {
  RequireOpen();
  rows_.erase(Find(key));
  index_.erase(key);
  dirty_ = true;
}

}  // namespace qx
