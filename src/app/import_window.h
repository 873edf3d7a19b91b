// The import window as a model: the operator chooses the worksheet, whether the first row
// is a header, which columns go to the upper and the lower line, whether an empty first
// cell ends the list or the empty rows are skipped, and whether the rows replace the
// Document or are added after its last Segment. A grid shows the first rows of the sheet
// and, for each, the Segment it will become by the import's own rules, marking the rows
// that will be cut, changed or left out. Nothing happens to the Document until the
// operator presses "导入"; the window only hands the choices back.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/excel_import.h"
#include "document/workbook.h"

namespace qx {

class ImportWindow {
 public:
  // Rows of the sheet the grid shows.
  static constexpr int kPreviewRows = 200;
  static constexpr int kResultImport = 1;
  static constexpr int kResultCancel = 0;

  static constexpr std::string_view kTitle = "导入";
  static constexpr std::string_view kSheetCaption = "工作表";
  static constexpr std::string_view kHeaderCaption = "第一行是标题";
  static constexpr std::string_view kUpperCaption = "上行";
  static constexpr std::string_view kLowerCaption = "下行";
  static constexpr std::string_view kNoColumnItem = "无";
  static constexpr std::string_view kStopAtEmptyCaption = "第一格为空时结束";
  static constexpr std::string_view kSkipEmptyCaption = "跳过空行";
  static constexpr std::string_view kReplaceCaption = "替换当前文档";
  static constexpr std::string_view kAppendCaption = "添加到最后一段之后";
  static constexpr std::string_view kRowCaption = "行";
  static constexpr std::string_view kBecomesCaption = "导入为";
  static constexpr std::string_view kImportButton = "导入";
  static constexpr std::string_view kCancelButton = "取消";

  // `existing_segments`: the Segments of the open Document, after which added rows go (0:
  // adding is not offered, the Document is empty).
  ImportWindow(std::filesystem::path file, std::unique_ptr<Workbook> book, int existing_segments);

  // --- What the window shows -----------------------------------------------------------
  std::string Title() const;  // "导入 - list.xlsx"
  const std::vector<std::string>& sheet_names() const { return book_->sheet_names(); }
  Workbook& workbook() { return *book_; }
  const ImportOptions& options() const { return options_; }
  bool CanAppend() const { return existing_segments_ > 0; }
  // The columns the grid shows and the column selectors offer (at least A and B).
  int column_count() const { return column_count_; }
  std::vector<std::string> ColumnItems() const;       // "A", "B", ...
  std::vector<std::string> LowerColumnItems() const;  // "无", "A", "B", ...
  int LowerColumnPosition() const;                    // in LowerColumnItems
  const ImportPreview& preview() const { return preview_; }

  enum class RowMark {
    kNone,         // becomes a Segment as it is
    kChanged,      // becomes a Segment, cut or with characters changed
    kNotImported,  // header, skipped, ends the list or below its end
  };
  RowMark MarkOf(const PreviewRow& row) const;
  // What the row becomes: "第3段  W-002 / X1:2  2 号  自动  上行截断" (its lines as they
  // will be kept, size, length, what was changed) or why it is not imported.
  std::string BecomesText(const PreviewRow& row) const;
  // "前200行: 150个段落, 3行有改动, 2行不导入" and whether the sheet goes on below.
  std::string SummaryText() const;
  // Why the sheet cannot be read (empty when it can).
  const std::string& error_text() const { return error_text_; }
  bool CanImport() const { return error_text_.empty(); }

  // --- The operator's choices ------------------------------------------------------------
  void ChooseSheet(std::size_t index);
  void SetHeader(bool on);
  void SetUpperColumn(int column);
  void SetLowerColumn(int column);  // kNoColumn for none
  void SetSkipEmptyRows(bool on);
  void SetAppend(bool on);

  // Told after every choice, when the grid and the texts are new.
  std::function<void()> on_change;

 private:
  // The first rows of the chosen sheet as read (as many as the preview takes), and how
  // the sheet stood after them. Every choice but the sheet is previewed from these, so the
  // file is read again only for another sheet.
  struct SheetStart {
    bool opened = false;
    WorkbookError open_error = WorkbookError::kNone;
    std::vector<std::vector<std::string>> rows;
    WorkbookError error = WorkbookError::kNone;
    std::string limit_reached;
  };

  void ReadSheetStart();
  void Reload();

  std::filesystem::path file_;
  std::unique_ptr<Workbook> book_;
  SheetStart sheet_start_;
  int existing_segments_ = 0;
  ImportOptions options_;
  ImportPreview preview_;
  // The number each preview row's Segment will have (0 for a row not imported), in the
  // order of the preview's rows, which are the sheet's from row 1.
  std::vector<int> segment_numbers_;
  int column_count_ = 2;
  std::string error_text_;
};

}  // namespace qx
