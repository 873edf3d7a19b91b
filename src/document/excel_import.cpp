#include "document/excel_import.h"

#include <algorithm>

#include "document/gbk.h"
#include "document/line_marks.h"

namespace qx {
namespace {

constexpr std::size_t kCellLimit = 50;

std::size_t ImportCharLen(std::string_view s, std::size_t pos) {
  return (static_cast<unsigned char>(s[pos]) >= 0x81 && pos + 1 < s.size()) ? 2 : 1;
}

std::string_view CellOf(const std::vector<std::string>& cells, int column) {
  return column >= 0 && static_cast<std::size_t>(column) < cells.size() ? std::string_view(cells[column])
                                                                         : std::string_view();
}

// Whether a cell keeps no text once blanks and control characters are removed.
bool IsBlank(std::string_view utf8) {
  return std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

// Whether the text ends with a mark that has no character after it.
bool EndsWithMark(std::string_view g) {
  if (g.size() < 2) return false;
  const std::string_view last = g.substr(g.size() - 2);
  return (last == gbk::kSuperscriptMark || last == gbk::kSubscriptMark) && gbk::PrevCharStart(g, g.size()) == g.size() - 2;
}

struct ConvertedCell {
  std::string gbk;
  int replaced = 0;
  std::vector<std::size_t> marks;  // where digits were written with a mark
  bool cut = false;

  // The marks still there, with their digit, when the text is cut to `size` bytes.
  int MarksWithin(std::size_t size) const {
    return static_cast<int>(std::count_if(marks.begin(), marks.end(), [&](std::size_t p) { return p + 3 <= size; }));
  }
};

// A cell as the import keeps it (see ImportCellText). With `marks`, a superscript or
// subscript digit becomes a mark and the digit where the mark rule allows it there.
ConvertedCell ConvertCell(std::string_view utf8, bool marks, bool has_lower_line) {
  ConvertedCell c;
  // Blanks and control characters are single bytes of 0x20 or below in UTF-8 as in GBK.
  std::size_t b = 0, e = utf8.size();
  while (b < e && static_cast<unsigned char>(utf8[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(utf8[e - 1]) <= 0x20) --e;
  std::string& g = c.gbk;
  for (std::size_t pos = b; pos < e;) {
    std::size_t len;
    const char32_t cp = gbk::DecodeUtf8(utf8.substr(0, e), pos, len);
    pos += len;
    if (cp < 0x20) {
      // A line break (or tab) inside a cell: a line holds no control characters, so the
      // parts are joined by one blank ("\r\n" and runs of breaks included).
      if (!g.empty() && g.back() != ' ') g += ' ';
      continue;
    }
    const auto bytes = cp == gbk::kReplacement ? std::nullopt : gbk::EncodeChar(cp);
    if (bytes) {
      g += *bytes;
      continue;
    }
    const auto digit = marks ? ScriptDigitOf(cp) : std::nullopt;
    if (digit && CheckMarkInsertion(g, has_lower_line, g.size()) == MarkRefusal::kNone) {
      c.marks.push_back(g.size());
      g += digit->superscript ? gbk::kSuperscriptMark : gbk::kSubscriptMark;
      g += digit->digit;
    } else {
      g += '?';
      ++c.replaced;
    }
  }
  // At most 50 bytes, whole characters only; a mark is not kept without its character.
  std::size_t keep = 0;
  while (keep < g.size() && keep + ImportCharLen(g, keep) <= kCellLimit) keep += ImportCharLen(g, keep);
  c.cut = keep < g.size();
  g.resize(keep);
  if (c.cut && EndsWithMark(g)) g.resize(g.size() - 2);
  return c;
}

// Cuts a line by the import's rule, keeping no mark without its character.
std::string CutLine(std::string_view gbk, int n) {
  std::string s = CutAt(gbk, n);
  if (EndsWithMark(s)) s.resize(s.size() - 2);
  return s;
}

// Decides, row by row, what the import does with each: the one rule the import and its
// preview share.
class RowWalk {
 public:
  // `room`: the Segments the Document can still take.
  RowWalk(const ImportOptions& o, int room) : o_(o), room_(std::max(room, 0)) {}

  int row() const { return row_; }
  bool truncated() const { return truncated_; }

  RowFate Next(const std::vector<std::string>& cells, ImportedRow& segment) {
    ++row_;
    if (truncated_) return RowFate::kNoRoom;
    if (ended_) return RowFate::kAfterEnd;
    if (o_.header && row_ == 1) return RowFate::kHeader;
    const std::string_view upper = CellOf(cells, o_.upper_column);
    if (IsBlank(upper)) {
      if (o_.skip_empty_rows) return RowFate::kSkipped;
      ended_ = true;
      return RowFate::kEndsList;
    }
    if (segments_ == room_) {
      truncated_ = true;
      return RowFate::kNoRoom;
    }
    ++segments_;
    segment = ImportRow(upper, CellOf(cells, o_.lower_column));
    return RowFate::kSegment;
  }

  // Whether a row's cells that the import would take hold text.
  bool HasText(const std::vector<std::string>& cells) const {
    return !IsBlank(CellOf(cells, o_.upper_column)) || !IsBlank(CellOf(cells, o_.lower_column));
  }

 private:
  const ImportOptions& o_;
  int room_;
  int row_ = 0, segments_ = 0;
  bool ended_ = false, truncated_ = false;
};

// Whether a row still to come has text in the import's columns. Reading stops at the first
// such row; a read error counts as no text, as nothing more can be known.
bool TextFollows(SheetRows& rows, const RowWalk& walk) {
  std::vector<std::string> cells;
  while (rows.NextRow(cells))
    if (walk.HasText(cells)) return true;
  return false;
}

void WriteSegment(SegmentTable& t, const ImportedRow& s) {
  t.Edit();
  t.SetText(kUpperLineColumn, s.upper);
  t.SetText(kLowerLineColumn, s.lower);
  t.SetInt(kLengthColumn, s.length_mm);
  t.SetText(kSizeColumn, SizeText(static_cast<uint8_t>(s.size)));
  t.SetText(kOrientationColumn, OrientationText(0));
  t.SetText(kDecorationColumn, DecorationText(0));
  t.SetInt(kRepeatColumn, 1);
  t.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
  t.SetText(kSerialFirstColumn, "");
  t.SetText(kSerialLastColumn, "");
  t.SetInt(kUpperLengthColumn, 0);
  t.SetInt(kLowerLengthColumn, 0);
  t.SetInt(kNumberColumn, t.Position());
  t.Store();
}

// Whether rows added to `t` start by filling its one Segment, which is still empty.
bool FillsOnlySegment(const SegmentTable& t) {
  return t.RowCount() == 1 && t.TextAt(0, kUpperLineColumn).empty() &&
         t.TextAt(0, kLowerLineColumn).empty();
}

void ReportChanges(int row, const ImportedRow& s, std::vector<RowReport>& out) {
  if (s.upper_cut) out.push_back({row, RowNote::kUpperCut});
  if (s.lower_cut) out.push_back({row, RowNote::kLowerCut});
  if (s.replaced > 0) out.push_back({row, RowNote::kReplaced});
  if (s.marked > 0) out.push_back({row, RowNote::kMarked});
}

}  // namespace

std::size_t ImportOptions::columns() const {
  return static_cast<std::size_t>(std::max(upper_column, lower_column) + 1);
}

std::string CutAt(std::string_view gbk, int n) {
  std::size_t pos = 0;
  // Keep every character that starts at or before byte position n - 1 (1-based).
  while (pos < gbk.size() && static_cast<int>(pos) + 1 <= n - 1) pos += ImportCharLen(gbk, pos);
  return std::string(gbk.substr(0, pos));
}

std::string ImportCellText(std::string_view utf8, int* replaced) {
  ConvertedCell c = ConvertCell(utf8, false, false);
  if (replaced) *replaced += c.replaced;
  return std::move(c.gbk);
}

ImportedRow ImportRow(std::string_view upper_utf8, std::string_view lower_utf8) {
  ImportedRow r;
  // Marks go into the upper line of a one-line Segment only.
  ConvertedCell lower = ConvertCell(lower_utf8, false, false);
  ConvertedCell upper = ConvertCell(upper_utf8, true, !lower.gbk.empty());
  r.replaced = upper.replaced + lower.replaced;

  const std::string& a = upper.gbk;
  const std::string& b = lower.gbk;
  const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
  r.upper = a;
  r.lower = b;
  if (!b.empty()) {
    r.size = 2;
    if (la < 9 && lb < 9) r.length_mm = 25;
    if (la < 9 && lb >= 40) r.lower = CutLine(b, 40);
    if (la >= 9 && lb >= 40) r.lower = CutLine(b, 39);
    if (la >= 40) r.upper = CutLine(a, 39);
  } else {
    r.size = 4;
    if (la < 7) r.length_mm = 25;
    if (la >= 35) r.upper = CutLine(a, 35);
  }
  r.marked = upper.MarksWithin(r.upper.size());
  r.upper_cut = upper.cut || r.upper.size() < a.size();
  r.lower_cut = lower.cut || r.lower.size() < b.size();
  return r;
}

ImportResult ImportSheet(SegmentTable& t, SheetRows& rows, const ImportOptions& options) {
  ImportResult r;
  std::vector<std::string> cells;
  SegmentTable::Batch batch(t);
  // Appended rows follow the last Segment; a Document whose only Segment is still empty
  // has that one filled first, as a new Document has.
  const bool fill_current = !options.append || FillsOnlySegment(t);
  if (options.append && !options.after_current) t.Last();
  r.room = SegmentRoom(t, options);
  RowWalk walk(options, r.room);
  bool ended_at_empty_cell = false;
  int first_added = 0;  // the position of the first row added before others
  while (rows.NextRow(cells)) {
    ImportedRow segment;
    const RowFate fate = walk.Next(cells, segment);
    if (fate == RowFate::kHeader) continue;
    if (fate == RowFate::kSkipped) {
      if (walk.HasText(cells)) r.reports.push_back({walk.row(), RowNote::kSkipped});
      continue;
    }
    if (fate == RowFate::kEndsList) {
      ended_at_empty_cell = true;
      if (walk.HasText(cells) || TextFollows(rows, walk)) {
        r.stopped_at_row = walk.row();
        r.reports.push_back({walk.row(), RowNote::kEndedList});
      }
      break;
    }
    if (fate == RowFate::kNoRoom) {
      r.truncated = true;
      r.reports.push_back({walk.row(), RowNote::kTooManyRows});
      break;
    }
    r.replaced += segment.replaced;
    r.marked += segment.marked;
    if (!segment.lower.empty()) r.two_lines = true;
    if (!fill_current || r.segments > 0) {
      // After the current row: before the one that follows it, or at the end.
      if (options.after_current && t.Position() < t.RowCount()) {
        t.Next();
        t.Insert();
      } else {
        t.Append();
      }
      if (first_added == 0) first_added = t.Position();
    }
    WriteSegment(t, segment);
    ReportChanges(walk.row(), segment, r.reports);
    ++r.segments;
  }
  // A sheet damaged below the row that ended the import lost nothing the import takes.
  if (!ended_at_empty_cell) r.error = rows.error();
  // Rows put between others: those after them are numbered again.
  if (first_added > 0 && t.Position() < t.RowCount()) {
    GoToPosition(t, t.Position() + 1);
    RenumberToEnd(t);
  }
  batch.Commit();
  return r;
}

int SegmentRoom(const SegmentTable& t, const ImportOptions& options) {
  if (!options.append || FillsOnlySegment(t)) return kMaxSegments;
  return std::max(kMaxSegments - t.RowCount(), 0);
}

ImportPreview PreviewImport(SheetRows& rows, const ImportOptions& options, int max_rows, int room) {
  ImportPreview p;
  RowWalk walk(options, room);
  std::vector<std::string> cells;
  while (static_cast<int>(p.rows.size()) < max_rows && rows.NextRow(cells)) {
    PreviewRow row;
    row.fate = walk.Next(cells, row.segment);
    row.row = walk.row();
    row.cells = cells;
    p.rows.push_back(std::move(row));
  }
  if (static_cast<int>(p.rows.size()) == max_rows) p.more = rows.NextRow(cells);
  p.error = rows.error();
  p.limit_reached = rows.limit_reached();
  return p;
}

}  // namespace qx
