#include "document/excel_import.h"

#include "document/gbk.h"

namespace qx {
namespace {

constexpr std::size_t kCellLimit = 50;

std::size_t ImportCharLen(std::string_view s, std::size_t pos) {
  return (static_cast<unsigned char>(s[pos]) >= 0x81 && pos + 1 < s.size()) ? 2 : 1;
}

// Whether a row still to come has text in its first or second cell. Reading stops at the
// first such row; a read error counts as no text, as nothing more can be known.
bool TextFollows(SheetRows& rows) {
  std::string a, b;
  while (rows.Next(a, b))
    if (!ImportCellText(a, nullptr).empty() || !ImportCellText(b, nullptr).empty()) return true;
  return false;
}

}  // namespace

std::string CutAt(std::string_view gbk, int n) {
  std::size_t pos = 0;
  // Keep every character that starts at or before byte position n - 1 (1-based).
  while (pos < gbk.size() && static_cast<int>(pos) + 1 <= n - 1) pos += ImportCharLen(gbk, pos);
  return std::string(gbk.substr(0, pos));
}

std::string ImportCellText(std::string_view utf8, int* replaced) {
  std::string g;
  for (std::size_t pos = 0; pos < utf8.size();) {
    std::size_t len;
    const char32_t cp = gbk::DecodeUtf8(utf8, pos, len);
    pos += len;
    const auto bytes = cp == gbk::kReplacement ? std::nullopt : gbk::EncodeChar(cp);
    if (bytes) {
      g += *bytes;
    } else {
      g += '?';
      if (replaced) ++*replaced;
    }
  }
  std::size_t b = 0, e = g.size();
  while (b < e && static_cast<unsigned char>(g[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(g[e - 1]) <= 0x20) --e;
  g = g.substr(b, e - b);
  // At most 50 bytes, whole characters only.
  std::size_t keep = 0;
  while (keep < g.size() && keep + ImportCharLen(g, keep) <= kCellLimit) keep += ImportCharLen(g, keep);
  g.resize(keep);
  return g;
}

ImportResult ImportSheet(SegmentTable& t, SheetRows& rows) {
  ImportResult r;
  std::string a_utf8, b_utf8;
  SegmentTable::Batch batch(t);
  int row = 0;  // sheet row of the cells just read
  bool empty_first_cell = false;
  while (rows.Next(a_utf8, b_utf8)) {
    ++row;
    // Characters replaced in a row that is not imported are not counted.
    int replaced = 0;
    const std::string a = ImportCellText(a_utf8, &replaced);
    if (a.empty()) {
      empty_first_cell = true;
      if (!ImportCellText(b_utf8, nullptr).empty() || TextFollows(rows)) r.stopped_at_row = row;
      break;
    }
    if (r.segments == kMaxImportedRows) {
      r.truncated = true;
      break;
    }
    const std::string b = ImportCellText(b_utf8, &replaced);
    r.replaced += replaced;
    if (r.segments > 0) t.Append();
    t.Edit();
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    std::string upper_text = a, lower_text = b;
    int length_mm = 0;
    uint8_t size;
    if (!b.empty()) {
      r.two_lines = true;
      size = 2;
      if (la < 9 && lb < 9) length_mm = 25;
      if (la < 9 && lb >= 40) lower_text = CutAt(b, 40);
      if (la >= 9 && lb >= 40) lower_text = CutAt(b, 39);
      if (la >= 40) upper_text = CutAt(a, 39);
    } else {
      size = 4;
      if (la < 7) length_mm = 25;
      if (la >= 35) upper_text = CutAt(a, 35);
    }
    t.SetText(kUpperLineColumn, upper_text);
    t.SetText(kLowerLineColumn, lower_text);
    t.SetInt(kLengthColumn, length_mm);
    t.SetText(kSizeColumn, SizeText(size));
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
    ++r.segments;
  }
  // A sheet damaged below the row that ended the import lost nothing the import takes.
  if (!empty_first_cell) r.error = rows.error();
  batch.Commit();
  return r;
}

}  // namespace qx
