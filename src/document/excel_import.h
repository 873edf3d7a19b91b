// Building a Document from the first two columns of a worksheet.
#pragma once

#include <string>
#include <string_view>

#include "document/document.h"
#include "document/workbook.h"

namespace qx {

// At most this many rows are imported; a longer sheet is cut off with a notice.
inline constexpr int kMaxImportedRows = 65535;

struct ImportResult {
  int segments = 0;         // rows turned into Segments
  bool two_lines = false;   // some row had a second cell: the material becomes 6.0 mm² sleeve
  int replaced = 0;         // characters GBK cannot hold, written as '?'
  bool truncated = false;   // the sheet had more rows than kMaxImportedRows
  // The sheet row (from 1) whose empty first cell ended the import while that row or a
  // row below it still held text, which was therefore left out; 0 when nothing was.
  int stopped_at_row = 0;
  WorkbookError error = WorkbookError::kNone;  // the sheet could not be read to its end
};

// A cell as the import keeps it: GBK (a character GBK cannot hold becomes '?', counted in
// `replaced`), blanks and control characters removed at both ends, at most 50 bytes of
// whole characters.
std::string ImportCellText(std::string_view utf8, int* replaced);

// The first characters of a GBK text up to byte position n - 1: n - 1 bytes, or n when a
// two-byte character starts at position n - 1. Here a byte of 0x81 or above starts a
// two-byte character.
std::string CutAt(std::string_view gbk, int n);

// Fills the working table of a new Document (its one row is the first to fill) from the
// sheet: one Segment per row until the first row whose first cell is empty. The rows after
// that are only looked at, to tell whether they held text that was left out.
ImportResult ImportSheet(SegmentTable& t, SheetRows& rows);

}  // namespace qx
