// Building Segments from the rows of a worksheet (any source document/workbook.h reads).
//
// With the default ImportOptions this is the Excel import as it always was: the first
// worksheet, column A to the upper line and B to the lower line, from row 1 until the first
// row whose first cell is empty, into a new Document. The options choose the sheet, a
// header row, the columns, whether empty rows are skipped and whether the rows are added
// after the Segments of the open Document. PreviewImport shows what each row will become,
// by the same rules, for the import window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "document/workbook.h"

namespace qx {

// At most this many rows are imported into a new Document (a longer sheet is cut off with
// a notice); rows added to a Document stop where it holds kMaxSegments.
inline constexpr int kMaxImportedRows = kMaxSegments;

// A column index for "no column" (a one-line import).
inline constexpr int kNoColumn = -1;

struct ImportOptions {
  std::size_t sheet = 0;         // worksheet, 0-based in tab order
  bool header = false;           // the first row names the columns and is not imported
  int upper_column = 0;          // 0 = A; the column that goes to the upper line
  int lower_column = 1;          // the column that goes to the lower line, or kNoColumn
  bool skip_empty_rows = false;  // false: an empty upper cell ends the list
  bool append = false;           // add after the last Segment instead of filling a new Document
  bool after_current = false;    // with append: after the current Segment (a paste)

  // The columns a sheet must be opened with (SheetRows) for these options.
  std::size_t columns() const;
  bool operator==(const ImportOptions&) const = default;
};

// What happened to a row on its way into a Segment.
enum class RowNote {
  kUpperCut,       // the upper line was cut to fit
  kLowerCut,       // the lower line was cut to fit
  kReplaced,       // characters the printer lacks became '?'
  kMarked,         // superscript or subscript digits became a mark and the digit
  kSkipped,        // an empty upper cell with text beside it: the row was left out
  kEndedList,      // an empty upper cell ended the list while text followed
  kTooManyRows,    // the Document was full (kMaxSegments); the rows from here were left out
};

struct RowReport {
  int row;  // sheet row, from 1
  RowNote note;
  bool operator==(const RowReport&) const = default;
};

struct ImportResult {
  int segments = 0;         // rows turned into Segments
  bool two_lines = false;   // some row had a second cell: the material becomes 6.0 mm² sleeve
  int replaced = 0;         // characters GBK cannot hold, written as '?'
  int marked = 0;           // superscript and subscript digits written as a mark and the digit
  bool truncated = false;   // the sheet had more rows than the Document had room for
  int room = kMaxSegments;  // the most Segments this import could add (fewer when adding)
  // The sheet row (from 1) whose empty first cell ended the import while that row or a
  // row below it still held text, which was therefore left out; 0 when nothing was.
  int stopped_at_row = 0;
  WorkbookError error = WorkbookError::kNone;  // the sheet could not be read to its end
  // Every row that was cut, changed or left out, in sheet order (a row can have several).
  std::vector<RowReport> reports;
};

// A cell as the import keeps it: GBK (a character GBK cannot hold becomes '?', counted in
// `replaced`), blanks and control characters removed at both ends, at most 50 bytes of
// whole characters.
std::string ImportCellText(std::string_view utf8, int* replaced);

// The first characters of a GBK text up to byte position n - 1: n - 1 bytes, or n when a
// two-byte character starts at position n - 1. Here a byte of 0x81 or above starts a
// two-byte character.
std::string CutAt(std::string_view gbk, int n);

// The Segment a row becomes: its lines as stored (GBK), its size and length, and what was
// changed on the way. Superscript and subscript digits of the upper cell ("m²", "H₂O")
// become a mark and the digit where the mark rule allows one (document/line_marks.h),
// otherwise '?', as do characters GBK cannot hold.
struct ImportedRow {
  std::string upper, lower;
  int size = 4;       // font size code
  int length_mm = 0;  // 0: automatic
  bool upper_cut = false, lower_cut = false;
  int replaced = 0;   // characters that became '?'
  int marked = 0;     // digits written with a mark
};
ImportedRow ImportRow(std::string_view upper_utf8, std::string_view lower_utf8);

// Fills Segments from the sheet. Without options.append the working table is that of a new
// Document, whose one row is the first to fill; with it, the rows are added after the last
// Segment. The table never holds more than kMaxSegments: the rows beyond are left out
// (`truncated`). `rows` must have been opened with options.columns() columns or more.
ImportResult ImportSheet(SegmentTable& t, SheetRows& rows, const ImportOptions& options = {});

// What the import will do with a row of the sheet.
enum class RowFate {
  kHeader,    // the header row, not imported
  kSegment,   // becomes `segment`
  kSkipped,   // empty upper cell, skipped
  kEndsList,  // empty upper cell, ends the list
  kAfterEnd,  // below the end of the list: not imported
  kNoRoom,    // the Document is full (kMaxSegments) by here: this row and those below are not imported
};

struct PreviewRow {
  int row = 0;                     // sheet row, from 1
  std::vector<std::string> cells;  // the row's cells as read (UTF-8), for the grid
  RowFate fate = RowFate::kSegment;
  ImportedRow segment;             // for kSegment
  bool changed() const {
    return fate == RowFate::kSegment &&
           (segment.upper_cut || segment.lower_cut || segment.replaced > 0 || segment.marked > 0);
  }
};

struct ImportPreview {
  std::vector<PreviewRow> rows;
  bool more = false;  // the sheet has rows below the last one shown
  WorkbookError error = WorkbookError::kNone;  // the sheet could not be read that far
  std::string limit_reached;                   // for kTooLarge
};

// The first `max_rows` rows of the sheet and what each becomes with `options` (the sheet
// and column choices are those the rows were opened with), when the Document has room for
// `room` more Segments (SegmentRoom).
ImportPreview PreviewImport(SheetRows& rows, const ImportOptions& options, int max_rows,
                            int room = kMaxSegments);

// The Segments an import with `options` can still put into `t` before it holds
// kMaxSegments: all of them for a new Document, and for rows added to a Document whose
// only Segment is empty (that one is filled first).
int SegmentRoom(const SegmentTable& t, const ImportOptions& options);

}  // namespace qx
