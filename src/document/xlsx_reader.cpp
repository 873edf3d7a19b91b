// .xlsx: a zip package of XML parts, read with libzip and expat (document/zip_xml.h keeps
// every part within the limits). The worksheet is parsed only as far as the caller reads
// rows.
#include <expat.h>
#include <zip.h>

#include <charconv>
#include <cstdlib>
#include <deque>
#include <unordered_map>

#include "document/gbk.h"
#include "document/workbook.h"
#include "document/zip_xml.h"

namespace qx::detail {
namespace {

constexpr std::size_t kMaxSheets = 65536;
constexpr std::size_t kMaxRelationships = 65536;
constexpr std::size_t kMaxStyles = 65536;  // Excel itself keeps fewer cell formats
constexpr std::uint32_t kMaxRows = 1048576;  // Excel's last row

// SpreadsheetML elements, in the usual and in the "strict" namespace. Elements without a
// namespace are taken too: some writers leave it out.
bool IsMain(std::string_view ns) {
  return ns.empty() || ns == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         ns == "http://purl.oclc.org/ooxml/spreadsheetml/main";
}
bool IsRelationshipsNs(std::string_view ns) {
  return ns == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
         ns == "http://purl.oclc.org/ooxml/officeDocument/relationships";
}
bool IsPackageNs(std::string_view ns) {
  return ns.empty() || ns == "http://schemas.openxmlformats.org/package/2006/relationships";
}

bool EndsWith(std::string_view s, std::string_view tail) { return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail; }

// Excel writes characters that XML cannot carry as _xHHHH_ (UTF-16 code units), and a
// literal "_x" as "_x005F_x".
std::string DecodeEscapes(std::string_view s) {
  if (s.find("_x") == std::string_view::npos) return std::string(s);
  auto unit_at = [&](std::size_t i, std::uint32_t& u) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return false;
    const auto r = std::from_chars(s.data() + i + 2, s.data() + i + 6, u, 16);
    return r.ec == std::errc() && r.ptr == s.data() + i + 6;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::uint32_t u;
    if (!unit_at(i, u)) {
      out += s[i++];
      continue;
    }
    i += 7;
    std::uint32_t low;
    if (u >= 0xD800 && u <= 0xDBFF && unit_at(i, low) && low >= 0xDC00 && low <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 7;
    }
    gbk::AppendUtf8(out, u);
  }
  return out;
}


// ---- Package relationships ------------------------------------------------------------

struct Relationship {
  std::string id, type, target;
  bool external = false;
};

class RelsHandler : public XmlHandler {
 public:
  std::vector<Relationship> rels;
  void Start(Name n, const XML_Char** atts) override {
    if (n.local != "Relationship" || !IsPackageNs(n.ns)) return;
    const char* id = Attr(atts, "Id");
    const char* type = Attr(atts, "Type");
    const char* target = Attr(atts, "Target");
    const char* mode = Attr(atts, "TargetMode");
    if (!id || !type || !target) return;
    if (rels.size() >= kMaxRelationships)
      return FailLimit("more than " + std::to_string(kMaxRelationships) + " relationships");
    rels.push_back({id, type, target, mode && std::string_view(mode) == "External"});
  }
};

std::string DirOf(std::string_view part) {
  const std::size_t p = part.rfind('/');
  return p == std::string_view::npos ? std::string() : std::string(part.substr(0, p + 1));
}

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string RelsPartOf(std::string_view part) {
  const std::string dir = DirOf(part);
  return dir + "_rels/" + std::string(part.substr(dir.size())) + ".rels";
}

// A relationship target as a part name: absolute from the package root when it starts
// with '/', else relative to `dir`; %XX decoded, "." and ".." resolved.
std::string ResolveTarget(std::string_view dir, std::string_view target) {
  std::string raw = target.starts_with('/') ? std::string(target.substr(1)) : std::string(dir) + std::string(target);
  std::string decoded;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    unsigned v;
    if (raw[i] == '%' && i + 2 < raw.size() &&
        std::from_chars(raw.data() + i + 1, raw.data() + i + 3, v, 16).ptr == raw.data() + i + 3) {
      decoded += static_cast<char>(v);
      i += 2;
    } else {
      decoded += raw[i];
    }
  }
  std::vector<std::string> segs;
  std::size_t start = 0;
  while (start <= decoded.size()) {
    std::size_t end = decoded.find('/', start);
    if (end == std::string::npos) end = decoded.size();
    const std::string seg = decoded.substr(start, end - start);
    if (seg == "..") {
      if (!segs.empty()) segs.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segs.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& s : segs) out += (out.empty() ? "" : "/") + s;
  return out;
}

// ---- Workbook, styles, shared strings -------------------------------------------------

class WorkbookHandler : public XmlHandler {
 public:
  std::vector<std::string> sheet_ids;    // relationship ids, in tab order
  std::vector<std::string> sheet_names;  // the names on their tabs
  bool date1904 = false;

  void Start(Name n, const XML_Char** atts) override {
    if (!IsMain(n.ns)) return;
    if (n.local == "sheets") {
      in_sheets_ = true;
    } else if (n.local == "sheet" && in_sheets_) {
      const char* id = Attr(atts, "id", IsRelationshipsNs);
      if (sheet_ids.size() >= kMaxSheets)
        return FailLimit("more than " + std::to_string(kMaxSheets) + " sheets");
      sheet_ids.push_back(id ? id : "");
      const char* name = Attr(atts, "name");
      sheet_names.push_back(name ? DecodeEscapes(name) : "");
    } else if (n.local == "workbookPr") {
      const char* v = Attr(atts, "date1904");
      date1904 = v && (std::string_view(v) == "1" || std::string_view(v) == "true");
    }
  }
  void End(Name n) override {
    if (IsMain(n.ns) && n.local == "sheets") in_sheets_ = false;
  }

 private:
  bool in_sheets_ = false;
};

class StylesHandler : public XmlHandler {
 public:
  std::unordered_map<unsigned, std::string> custom;  // numFmtId -> format code
  std::vector<unsigned> cell_formats;                // numFmtId of each cell style

  void Start(Name n, const XML_Char** atts) override {
    if (!IsMain(n.ns)) return;
    if (n.local == "numFmts") in_numfmts_ = true;
    else if (n.local == "cellXfs") in_cellxfs_ = true;
    else if (n.local == "numFmt" && in_numfmts_) {
      const char* id = Attr(atts, "numFmtId");
      const char* code = Attr(atts, "formatCode");
      unsigned v;
      if (id && code && ParseUnsigned(id, v) && custom.size() < kMaxStyles) custom[v] = code;
    } else if (n.local == "xf" && in_cellxfs_) {
      const char* id = Attr(atts, "numFmtId");
      unsigned v = 0;
      if (!id || !ParseUnsigned(id, v)) v = 0;
      if (cell_formats.size() < kMaxStyles) cell_formats.push_back(v);
    }
  }
  void End(Name n) override {
    if (!IsMain(n.ns)) return;
    if (n.local == "numFmts") in_numfmts_ = false;
    else if (n.local == "cellXfs") in_cellxfs_ = false;
  }

 private:
  bool in_numfmts_ = false, in_cellxfs_ = false;
};

// The text of a rich or plain string: every <t> of the item, except those of phonetic
// guides (<rPh>), which are not part of the value.
class StringItem {
 public:
  void Start(Name n) {
    if (skip_ > 0) {
      ++skip_;
    } else if (IsMain(n.ns) && (n.local == "rPh" || n.local == "phoneticPr")) {
      skip_ = 1;
    } else if (IsMain(n.ns) && n.local == "t") {
      in_t_ = true;
    } else if (!IsMain(n.ns)) {
      skip_ = 1;
    }
  }
  void End(Name n) {
    if (skip_ > 0) --skip_;
    else if (IsMain(n.ns) && n.local == "t") in_t_ = false;
  }
  bool Text(std::string_view s, std::size_t cap) {
    if (!in_t_ || skip_ > 0) return true;
    text_ += s;
    return text_.size() <= cap;
  }
  std::string Take() {
    std::string out = DecodeEscapes(text_);
    Reset();
    return out;
  }
  void Reset() {
    text_.clear();
    in_t_ = false;
    skip_ = 0;
  }

 private:
  std::string text_;
  bool in_t_ = false;
  int skip_ = 0;
};

std::string CellTextLimit(const WorkbookLimits& limits) {
  return "a cell with more than " + SizeText(limits.cell_text_bytes) + " of text";
}

class SharedStringsHandler : public XmlHandler {
 public:
  SharedStringsHandler(StringPool& pool, const WorkbookLimits& limits) : pool_(pool), limits_(limits) {}

  void Start(Name n, const XML_Char**) override {
    if (in_si_) item_.Start(n);
    else if (IsMain(n.ns) && n.local == "si") in_si_ = true;
  }
  void End(Name n) override {
    if (!in_si_) return;
    if (IsMain(n.ns) && n.local == "si") {
      in_si_ = false;
      const std::string s = item_.Take();
      if (pool_.size() >= limits_.shared_string_count)
        return FailLimit("more than " + std::to_string(limits_.shared_string_count) + " strings");
      if (pool_.text_bytes() + s.size() > limits_.shared_text_bytes)
        return FailLimit("more than " + SizeText(limits_.shared_text_bytes) + " of text");
      pool_.Add(s);
    } else {
      item_.End(n);
    }
  }
  void Text(std::string_view s) override {
    if (in_si_ && !item_.Text(s, limits_.cell_text_bytes)) FailLimit(CellTextLimit(limits_));
  }

 private:
  StringPool& pool_;
  const WorkbookLimits& limits_;
  StringItem item_;
  bool in_si_ = false;
};

// ---- The worksheet --------------------------------------------------------------------

struct Styles {
  std::unordered_map<unsigned, std::string> custom;
  std::vector<unsigned> cell_formats;

  std::string_view Code(std::size_t style) const {
    if (style >= cell_formats.size()) return "General";
    const unsigned id = cell_formats[style];
    if (auto it = custom.find(id); it != custom.end()) return it->second;
    return BuiltinNumberFormat(static_cast<int>(id));
  }
};


// Days since 30 December 1899 (the 1900 system's day 0 for dates from March 1900) of an
// ISO 8601 date written for a cell of type "d"; false when it is not one.
bool IsoToSerial(std::string_view s, bool date1904, double& serial) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  auto num = [&](std::size_t pos, std::size_t len, int& out) {
    if (pos + len > s.size()) return false;
    const auto r = std::from_chars(s.data() + pos, s.data() + pos + len, out);
    return r.ec == std::errc() && r.ptr == s.data() + pos + len;
  };
  if (!num(0, 4, y) || s.size() < 10 || s[4] != '-' || !num(5, 2, mo) || s[7] != '-' || !num(8, 2, d)) return false;
  if (s.size() > 10) {
    if (s[10] != 'T' || !num(11, 2, h) || s.size() < 16 || s[13] != ':' || !num(14, 2, mi)) return false;
    if (s.size() > 16 && s[16] == ':') {
      std::size_t e = 17;
      while (e < s.size() && ((s[e] >= '0' && s[e] <= '9') || s[e] == '.')) ++e;
      std::from_chars(s.data() + 17, s.data() + e, sec);
    }
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59) return false;
  // Days from 1899-12-30 by the proleptic Gregorian calendar.
  auto days = [](int yy, int mm, int dd) {
    yy -= mm <= 2;
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mm > 2 ? mm - 3 : mm + 9) + 2) / 5 + dd - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  };
  double day = days(y, mo, d) - days(date1904 ? 1904 : 1899, date1904 ? 1 : 12, date1904 ? 1 : 30);
  if (!date1904 && day < 61) day -= 1;  // before March 1900 the 1900 system is off by one
  serial = day + (h * 3600 + mi * 60 + sec) / 86400.0;
  return serial >= 0;
}

// What every worksheet of a workbook shares: the package, the number formats and the
// shared strings.
struct XlsxBook {
  std::unique_ptr<Package> package;
  Styles styles;
  StringPool strings;
  bool date1904 = false;
};

class XlsxSheet final : public SheetRows, public XmlHandler {
 public:
  XlsxSheet(std::shared_ptr<const XlsxBook> book, std::size_t columns, const WorkbookLimits& limits)
      : book_(std::move(book)),
        styles_(book_->styles),
        strings_(book_->strings),
        date1904_(book_->date1904),
        columns_(columns),
        limits_(limits) {}

  WorkbookError Open(zip_int64_t index) {
    return part_.Open(book_->package->zip, index, limits_.sheet_bytes, "the worksheet");
  }

  bool NextRow(std::vector<std::string>& cells) override {
    for (;;) {
      if (!ready_.empty()) {
        Row& r = ready_.front();
        if (r.index > next_row_) {  // a row the file leaves out
          cells.clear();
          ++next_row_;
          return true;
        }
        cells.resize(r.cells.size());
        for (std::size_t i = 0; i < r.cells.size(); ++i) cells[i] = Take(r.cells[i]);
        next_row_ = r.index + 1;
        ready_.pop_front();
        return true;
      }
      if (!part_.more()) return false;
      part_.Pump();
    }
  }

  WorkbookError error() const override { return part_.error(); }
  std::string limit_reached_at_open() const { return part_.limit_reached_at_open(); }
  std::string limit_reached() const override { return part_.limit_reached(); }

  void Start(Name n, const XML_Char** atts) override {
    if (in_cell_ && in_is_) return item_.Start(n);
    if (!IsMain(n.ns)) return;
    if (n.local == "sheetData") {
      in_sheet_data_ = true;
    } else if (!in_sheet_data_) {
    } else if (n.local == "row") {
      std::uint32_t index = static_cast<std::uint32_t>(last_row_ + 1);
      if (const char* r = Attr(atts, "r")) {
        std::uint32_t v;
        if (!ParseUnsigned(r, v) || v == 0) return Fail(WorkbookError::kDamaged);
        index = v - 1;
      }
      // Rows come in ascending order; anything else cannot be delivered row by row.
      if (index >= kMaxRows || static_cast<std::int64_t>(index) <= last_row_) return Fail(WorkbookError::kDamaged);
      in_row_ = true;
      row_index_ = index;
      last_col_ = -1;
      row_cells_.clear();
    } else if (n.local == "c" && in_row_) {
      std::int64_t col = last_col_ + 1;
      if (const char* r = Attr(atts, "r")) {
        std::int64_t c = 0;
        int letters = 0;
        for (const char* p = r; *p; ++p) {
          const char ch = (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
          if (ch < 'A' || ch > 'Z') break;
          if (++letters <= 4) c = c * 26 + (ch - 'A' + 1);
        }
        if (letters > 0) col = c - 1;
      }
      last_col_ = col;
      in_cell_ = true;
      keep_ = col >= 0 && static_cast<std::uint64_t>(col) < columns_;
      const char* t = Attr(atts, "t");
      type_ = t ? t : "";
      style_ = 0;
      if (const char* s = Attr(atts, "s"); s && !ParseUnsigned(s, style_)) style_ = 0;
      value_.clear();
      has_value_ = false;
      item_.Reset();
    } else if (in_cell_ && n.local == "v") {
      in_v_ = true;
      has_value_ = true;
    } else if (in_cell_ && n.local == "is") {
      in_is_ = true;
    }
  }

  void End(Name n) override {
    if (in_cell_ && in_is_) {
      if (IsMain(n.ns) && n.local == "is") in_is_ = false;
      else item_.End(n);
      return;
    }
    if (!IsMain(n.ns)) return;
    if (n.local == "v") {
      in_v_ = false;
    } else if (n.local == "c" && in_cell_) {
      in_cell_ = false;
      if (keep_) {
        Cell text = CellText();
        if (!active()) return;
        const auto col = static_cast<std::size_t>(last_col_);
        if (row_cells_.size() <= col) row_cells_.resize(col + 1);
        row_cells_[col] = std::move(text);
      }
    } else if (n.local == "row" && in_row_) {
      in_row_ = false;
      ready_.push_back({row_index_, std::move(row_cells_)});
      row_cells_ = {};
      last_row_ = row_index_;
    } else if (n.local == "sheetData") {
      Finish();  // nothing after the cells matters
    }
  }

  void Text(std::string_view s) override {
    if (!in_cell_ || !keep_) return;
    if (in_is_) {
      if (!item_.Text(s, limits_.cell_text_bytes)) FailLimit(CellTextLimit(limits_));
    } else if (in_v_) {
      value_ += s;
      if (value_.size() > limits_.cell_text_bytes) FailLimit(CellTextLimit(limits_));
    }
  }

 private:
  // A cell's text, or the index of its shared string: rows waiting to be read hold only
  // the index, so a sheet that names one long string in many cells takes no more memory
  // than its XML.
  struct Cell {
    std::string text;
    std::size_t shared = kNotShared;
  };
  static constexpr std::size_t kNotShared = static_cast<std::size_t>(-1);

  struct Row {
    std::uint32_t index;
    std::vector<Cell> cells;
  };

  std::string Take(Cell& c) const {
    return c.shared == kNotShared ? std::move(c.text) : std::string(strings_.Get(c.shared));
  }

  Cell CellText() {
    if (type_ == "inlineStr") return {item_.Take()};
    if (!has_value_) return {};
    if (type_ == "s") {
      std::size_t i;
      if (!ParseUnsigned(value_, i) || i >= strings_.size()) {
        Fail(WorkbookError::kDamaged);
        return {};
      }
      return {{}, i};
    }
    if (type_ == "str") return {DecodeEscapes(value_)};
    if (type_ == "b") return {(value_ == "1" || value_ == "true") ? "TRUE" : "FALSE"};
    if (type_ == "e") return {value_};
    if (type_ == "d") {
      double serial;
      if (!IsoToSerial(value_, date1904_, serial)) return {value_};
      std::string_view code = styles_.Code(style_);
      if (code == "General") code = serial < 1 ? "hh:mm:ss" : "yyyy-mm-dd hh:mm:ss";
      return {FormatNumber(serial, code, date1904_)};
    }
    // A number (no type, or "n").
    std::string_view v = value_;
    while (!v.empty() && (v.front() == ' ' || v.front() == '\n' || v.front() == '\r' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\n' || v.back() == '\r' || v.back() == '\t')) v.remove_suffix(1);
    double d;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), d);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return {value_};
    return {FormatNumber(d, styles_.Code(style_), date1904_)};
  }

  // Destroyed last to first: the part before the zip it is read from.
  std::shared_ptr<const XlsxBook> book_;
  const Styles& styles_;
  const StringPool& strings_;
  bool date1904_;
  std::size_t columns_;
  WorkbookLimits limits_;
  StreamedPart part_{*this, limits_};

  std::deque<Row> ready_;
  std::uint32_t next_row_ = 0;
  std::int64_t last_row_ = -1;

  bool in_sheet_data_ = false, in_row_ = false, in_cell_ = false, in_v_ = false, in_is_ = false;
  bool keep_ = false, has_value_ = false;
  std::uint32_t row_index_ = 0;
  std::int64_t last_col_ = -1;
  std::string type_, value_;
  std::vector<Cell> row_cells_;
  std::size_t style_ = 0;
  StringItem item_;
};

class XlsxWorkbook final : public Workbook {
 public:
  XlsxWorkbook(std::shared_ptr<const XlsxBook> book, std::vector<std::string> names, std::vector<std::string> parts,
               const WorkbookLimits& limits)
      : book_(std::move(book)), names_(std::move(names)), parts_(std::move(parts)), limits_(limits) {}

  SourceKind kind() const override { return SourceKind::kXlsx; }
  const std::vector<std::string>& sheet_names() const override { return names_; }

  std::unique_ptr<SheetRows> OpenSheet(std::size_t index, std::size_t columns, WorkbookError* error,
                                       std::string* limit) override {
    auto refuse = [&](WorkbookError e) -> std::unique_ptr<SheetRows> {
      if (error) *error = e;
      return nullptr;
    };
    if (index >= parts_.size()) return refuse(WorkbookError::kDamaged);
    const zip_int64_t sheet_index = Locate(book_->package->zip, parts_[index]);
    if (sheet_index < 0) return refuse(WorkbookError::kDamaged);
    return OpenStreamedSheet(std::make_unique<XlsxSheet>(book_, std::min(columns, kMaxSheetColumns), limits_),
                             sheet_index, error, limit);
  }

 private:
  std::shared_ptr<const XlsxBook> book_;
  std::vector<std::string> names_, parts_;
  WorkbookLimits limits_;
};

std::unique_ptr<Workbook> Refuse(WorkbookError* error, WorkbookError e) {
  if (error) *error = e;
  return nullptr;
}

const Relationship* FindByType(const std::vector<Relationship>& rels, std::string_view type_tail) {
  for (const Relationship& r : rels)
    if (!r.external && EndsWith(r.type, type_tail)) return &r;
  return nullptr;
}

std::unique_ptr<Workbook> OpenPackage(std::unique_ptr<Package> pkg, const WorkbookLimits& limits,
                                      WorkbookError* error, std::string* limit) {
  zip_t* zip = pkg->zip;

  // The workbook part, named by the package relationships.
  std::string workbook_part = "xl/workbook.xml";
  if (const zip_int64_t i = Locate(zip, "_rels/.rels"); i >= 0) {
    RelsHandler rels;
    if (WorkbookError e = ParsePart(zip, i, limits.xlsx_part_bytes, "the package relationships", limits, rels, limit);
        e != WorkbookError::kNone)
      return Refuse(error, e);
    if (const Relationship* r = FindByType(rels.rels, "/officeDocument")) workbook_part = ResolveTarget("", r->target);
  }
  const zip_int64_t wb_index = Locate(zip, workbook_part);
  if (EndsWith(workbook_part, ".bin") || (wb_index < 0 && Locate(zip, "xl/workbook.bin") >= 0))
    return Refuse(error, WorkbookError::kUnsupported);  // a binary (.xlsb) workbook
  if (wb_index < 0) return Refuse(error, WorkbookError::kNotWorkbook);

  WorkbookHandler workbook;
  if (WorkbookError e = ParsePart(zip, wb_index, limits.xlsx_part_bytes, "the workbook", limits, workbook, limit);
      e != WorkbookError::kNone)
    return Refuse(error, e);

  RelsHandler rels;
  const zip_int64_t rels_index = Locate(zip, RelsPartOf(workbook_part));
  if (rels_index < 0) return Refuse(error, WorkbookError::kDamaged);
  if (WorkbookError e = ParsePart(zip, rels_index, limits.xlsx_part_bytes, "the workbook relationships", limits,
                                  rels, limit);
      e != WorkbookError::kNone)
    return Refuse(error, e);
  const std::string dir = DirOf(workbook_part);

  // The worksheets in the workbook's list (chart sheets are left out).
  std::vector<std::string> names, parts;
  for (std::size_t k = 0; k < workbook.sheet_ids.size(); ++k) {
    std::string part;
    for (const Relationship& r : rels.rels)
      if (r.id == workbook.sheet_ids[k] && !r.external && EndsWith(r.type, "/worksheet"))
        part = ResolveTarget(dir, r.target);
    if (part.empty()) continue;
    names.push_back(workbook.sheet_names[k]);
    parts.push_back(std::move(part));
  }
  if (parts.empty()) return Refuse(error, WorkbookError::kDamaged);

  auto book = std::make_shared<XlsxBook>();
  if (const Relationship* r = FindByType(rels.rels, "/styles")) {
    if (const zip_int64_t i = Locate(zip, ResolveTarget(dir, r->target)); i >= 0) {
      StylesHandler h;
      if (WorkbookError e = ParsePart(zip, i, limits.xlsx_part_bytes, "the styles", limits, h, limit);
          e != WorkbookError::kNone)
        return Refuse(error, e);
      book->styles.custom = std::move(h.custom);
      book->styles.cell_formats = std::move(h.cell_formats);
    }
  }
  if (const Relationship* r = FindByType(rels.rels, "/sharedStrings")) {
    if (const zip_int64_t i = Locate(zip, ResolveTarget(dir, r->target)); i >= 0) {
      SharedStringsHandler h(book->strings, limits);
      if (WorkbookError e = ParsePart(zip, i, limits.shared_strings_bytes, "the shared strings", limits, h, limit);
          e != WorkbookError::kNone)
        return Refuse(error, e);
    }
  }
  book->date1904 = workbook.date1904;
  book->package = std::move(pkg);
  if (error) *error = WorkbookError::kNone;
  return std::make_unique<XlsxWorkbook>(std::move(book), std::move(names), std::move(parts), limits);
}

// An OpenDocument package says what it is in its first entry, "mimetype".
bool IsOpenDocument(zip_t* zip) {
  const zip_int64_t i = Locate(zip, "mimetype");
  if (i < 0) return Locate(zip, "content.xml") >= 0 && Locate(zip, "[Content_Types].xml") < 0;
  zip_file_t* f = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
  if (!f) return false;
  char buf[64] = {};
  const zip_int64_t n = zip_fread(f, buf, sizeof buf - 1);
  zip_fclose(f);
  return n > 0 && std::string_view(buf, static_cast<std::size_t>(n)).starts_with("application/vnd.oasis.opendocument");
}

std::unique_ptr<Workbook> OpenZipPackage(std::unique_ptr<Package> pkg, const WorkbookLimits& limits,
                                         WorkbookError* error, std::string* limit) {
  if (!pkg) return nullptr;
  if (IsOpenDocument(pkg->zip)) return OpenOdsPackage(std::move(pkg), limits, error, limit);
  return OpenPackage(std::move(pkg), limits, error, limit);
}

}  // namespace

std::unique_ptr<Workbook> OpenZipWorkbook(const std::filesystem::path& file, const WorkbookLimits& limits,
                                          WorkbookError* error, std::string* limit) {
  return OpenZipPackage(OpenZipFile(file, error), limits, error, limit);
}

std::unique_ptr<Workbook> OpenZipWorkbook(std::vector<unsigned char> bytes, const WorkbookLimits& limits,
                                          WorkbookError* error, std::string* limit) {
  return OpenZipPackage(OpenZipBytes(std::move(bytes), error), limits, error, limit);
}

}  // namespace qx::detail
