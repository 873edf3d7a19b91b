#include "app/import_window.h"

#include <algorithm>

#include "document/gbk.h"
#include "document/segment.h"
#include "editing/document_files.h"

namespace qx {
namespace {

// Rows read before, handed out again, then the error the sheet had after them.
class RowsReadBefore final : public SheetRows {
 public:
  RowsReadBefore(const std::vector<std::vector<std::string>>& rows, WorkbookError error, std::string limit)
      : rows_(rows), error_(error), limit_(std::move(limit)) {}
  bool NextRow(std::vector<std::string>& cells) override {
    if (next_ >= rows_.size()) return false;
    cells = rows_[next_++];
    return true;
  }
  WorkbookError error() const override { return error_; }
  std::string limit_reached() const override { return limit_; }

 private:
  const std::vector<std::vector<std::string>>& rows_;
  std::size_t next_ = 0;
  WorkbookError error_;
  std::string limit_;
};

}  // namespace

ImportWindow::ImportWindow(std::filesystem::path file, std::unique_ptr<Workbook> book,
                           int existing_segments)
    : file_(std::move(file)), book_(std::move(book)), existing_segments_(existing_segments) {
  ReadSheetStart();
  Reload();
}

std::string ImportWindow::Title() const {
  return std::string(kTitle) + " - " + file_.filename().string();
}

std::vector<std::string> ImportWindow::ColumnItems() const {
  std::vector<std::string> items;
  for (int c = 0; c < column_count_; ++c) items.push_back(ColumnLetters(static_cast<std::size_t>(c)));
  return items;
}

std::vector<std::string> ImportWindow::LowerColumnItems() const {
  std::vector<std::string> items{std::string(kNoColumnItem)};
  for (std::string& c : ColumnItems()) items.push_back(std::move(c));
  return items;
}

int ImportWindow::LowerColumnPosition() const {
  return options_.lower_column == kNoColumn ? 0 : options_.lower_column + 1;
}

ImportWindow::RowMark ImportWindow::MarkOf(const PreviewRow& row) const {
  if (row.fate != RowFate::kSegment) return RowMark::kNotImported;
  return row.changed() ? RowMark::kChanged : RowMark::kNone;
}

std::string ImportWindow::BecomesText(const PreviewRow& row) const {
  switch (row.fate) {
    case RowFate::kHeader:
      return "标题行,不导入";
    case RowFate::kSkipped:
      return "空行,跳过";
    case RowFate::kEndsList:
      return "第一格为空,到此结束";
    case RowFate::kAfterEnd:
      return "不导入";
    case RowFate::kNoRoom:
      return "文档已满65535段,不导入";
    case RowFate::kSegment:
      break;
  }
  const std::size_t at = static_cast<std::size_t>(row.row - 1);
  const int number = at < segment_numbers_.size() ? segment_numbers_[at] : 0;
  const ImportedRow& s = row.segment;
  // Its lines as they will be kept (cut where too long), then its size and length.
  std::string text = "第" + std::to_string(number) + "段  " + gbk::ToUtf8(s.upper);
  if (!s.lower.empty()) text += " / " + gbk::ToUtf8(s.lower);
  text += "  " + gbk::ToUtf8(SizeText(static_cast<uint8_t>(s.size))) + "  " +
          (s.length_mm == 0 ? std::string("自动") : std::to_string(s.length_mm) + "mm");
  if (s.upper_cut) text += "  上行截断";
  if (s.lower_cut) text += "  下行截断";
  if (s.replaced > 0) text += "  " + std::to_string(s.replaced) + "个字符改为?";
  if (s.marked > 0) text += "  " + std::to_string(s.marked) + "个上下标";
  return text;
}

std::string ImportWindow::SummaryText() const {
  int segments = 0, changed = 0, left_out = 0;
  for (const PreviewRow& r : preview_.rows) {
    if (r.fate == RowFate::kSegment) {
      ++segments;
      if (r.changed()) ++changed;
    } else {
      ++left_out;
    }
  }
  std::string text = (preview_.more ? "前" : "共") + std::to_string(preview_.rows.size()) + "行: " +
                     std::to_string(segments) + "个段落";
  if (changed > 0) text += ", " + std::to_string(changed) + "行有改动";
  if (left_out > 0) text += ", " + std::to_string(left_out) + "行不导入";
  return text;
}

void ImportWindow::ChooseSheet(std::size_t index) {
  if (index >= sheet_names().size() || index == options_.sheet) return;
  options_.sheet = index;
  ReadSheetStart();
  Reload();
}

void ImportWindow::SetHeader(bool on) {
  options_.header = on;
  Reload();
}

void ImportWindow::SetUpperColumn(int column) {
  if (column < 0 || column >= static_cast<int>(kMaxSheetColumns)) return;
  options_.upper_column = column;
  Reload();
}

void ImportWindow::SetLowerColumn(int column) {
  if (column != kNoColumn && (column < 0 || column >= static_cast<int>(kMaxSheetColumns))) return;
  options_.lower_column = column;
  Reload();
}

void ImportWindow::SetSkipEmptyRows(bool on) {
  options_.skip_empty_rows = on;
  Reload();
}

void ImportWindow::SetAppend(bool on) {
  options_.append = on && CanAppend();
  Reload();
}

void ImportWindow::ReadSheetStart() {
  // The grid shows every column the sheet's first rows use, so the columns can be told
  // apart by their contents.
  sheet_start_ = {};
  std::unique_ptr<SheetRows> rows =
      book_->OpenSheet(options_.sheet, kMaxSheetColumns, &sheet_start_.open_error, nullptr);
  if (!rows) return;
  sheet_start_.opened = true;
  // One row more than the grid shows tells whether the sheet goes on below.
  std::vector<std::string> cells;
  while (sheet_start_.rows.size() < static_cast<std::size_t>(kPreviewRows) + 1 && rows->NextRow(cells))
    sheet_start_.rows.push_back(cells);
  sheet_start_.error = rows->error();
  sheet_start_.limit_reached = rows->limit_reached();
}

void ImportWindow::Reload() {
  error_text_.clear();
  if (!sheet_start_.opened) {
    preview_ = {};
    error_text_ = std::string(WorkbookReason(sheet_start_.open_error));
  } else {
    RowsReadBefore rows(sheet_start_.rows, sheet_start_.error, sheet_start_.limit_reached);
    // Rows added to the Document stop where it is full, as the import stops them.
    const int room = options_.append ? std::max(kMaxSegments - existing_segments_, 0) : kMaxSegments;
    preview_ = PreviewImport(rows, options_, kPreviewRows, room);
    if (preview_.error != WorkbookError::kNone && preview_.rows.empty())
      error_text_ = std::string(WorkbookReason(preview_.error));
  }
  // Rows are numbered in the order they become Segments, after the Document's own when
  // they are added to it.
  segment_numbers_.assign(preview_.rows.size(), 0);
  int number = options_.append ? existing_segments_ : 0;
  for (std::size_t i = 0; i < preview_.rows.size(); ++i)
    if (preview_.rows[i].fate == RowFate::kSegment) segment_numbers_[i] = ++number;
  std::size_t widest = 2;
  for (const PreviewRow& r : preview_.rows) widest = std::max(widest, r.cells.size());
  widest = std::max({widest, static_cast<std::size_t>(options_.upper_column) + 1,
                     static_cast<std::size_t>(std::max(options_.lower_column, 0)) + 1});
  column_count_ = static_cast<int>(std::min(widest, kMaxSheetColumns));
  if (on_change) on_change();
}

}  // namespace qx
