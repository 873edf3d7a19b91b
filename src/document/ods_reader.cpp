// .ods: an OpenDocument spreadsheet, the tables in its content.xml, read with libzip and
// expat through document/zip_xml.h (the same limits as an .xlsx worksheet).
//
// A cell's text is what its text:p paragraphs say: the program that wrote the file puts
// the displayed text of a number or date there. Paragraphs are joined by line breaks;
// text:s, text:tab and text:line-break stand for blanks, a tab and a line break. Notes
// (office:annotation) are not part of the text. Rows and cells written once with a repeat
// count (table:number-rows-repeated, table:number-columns-repeated) are handed out that
// many times, except empty rows at the end of a table, which writers add to fill the sheet
// and which are dropped. A sheet is read only as far as the caller reads rows.
#include <deque>

#include "document/workbook.h"
#include "document/zip_xml.h"

namespace qx::detail {
namespace {

constexpr std::size_t kMaxTables = 65536;
// Blanks one text:s element stands for at most. Bounding it bounds the text a chunk of the
// file can turn into, since rows are read a chunk at a time.
constexpr std::uint64_t kMaxSpaces = 256;

constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

bool IsTableNs(std::string_view ns) { return ns == kTableNs; }
bool IsTextNs(std::string_view ns) { return ns == kTextNs; }

bool IsTable(Name n) { return n.ns == kTableNs && n.local == "table"; }

// A repeat count; 1 when absent or unreadable.
std::uint64_t Repeat(const XML_Char** atts, std::string_view local) {
  std::uint64_t v = 1;
  if (const char* s = Attr(atts, local, IsTableNs); s && (!ParseUnsigned(std::string_view(s), v) || v == 0)) v = 1;
  return v;
}

// The names of the tables, in order.
class TableNames : public XmlHandler {
 public:
  std::vector<std::string> names;
  void Start(Name n, const XML_Char** atts) override {
    if (!IsTable(n)) return;
    // A table inside a cell is part of that cell, not a sheet.
    if (depth_in_table_++ > 0) return;
    if (names.size() >= kMaxTables) return FailLimit("more than " + std::to_string(kMaxTables) + " sheets");
    const char* name = Attr(atts, "name", IsTableNs);
    names.push_back(name ? name : "");
  }
  void End(Name n) override {
    if (IsTable(n)) --depth_in_table_;
  }

 private:
  int depth_in_table_ = 0;
};

class OdsSheet final : public SheetRows, public XmlHandler {
 public:
  OdsSheet(std::shared_ptr<const Package> package, std::size_t table, std::size_t columns,
           const WorkbookLimits& limits)
      : package_(std::move(package)), table_(table), columns_(columns), limits_(limits) {}

  WorkbookError Open(zip_int64_t index) {
    return part_.Open(package_->zip, index, limits_.sheet_bytes, "the spreadsheet");
  }
  std::string limit_reached_at_open() const { return part_.limit_reached_at_open(); }

  bool NextRow(std::vector<std::string>& cells) override {
    for (;;) {
      if (!ready_.empty()) {
        Rows& r = ready_.front();
        cells = r.cells;
        if (--r.count == 0) ready_.pop_front();
        return true;
      }
      if (!part_.more()) return false;
      part_.Pump();
      // A sheet index past the last table, or a file that ends inside the table.
      if (part_.done() && tables_seen_ <= table_) part_.Fail(WorkbookError::kDamaged);
    }
  }
  WorkbookError error() const override { return part_.error(); }
  std::string limit_reached() const override { return part_.limit_reached(); }

  void Start(Name n, const XML_Char** atts) override {
    if (skip_ > 0) {
      ++skip_;
      return;
    }
    if (IsTable(n)) {
      if (in_table_) {  // a table inside a cell: not this sheet's rows
        skip_ = 1;
      } else if (table_depth_++ == 0 && tables_seen_++ == table_) {
        in_table_ = true;
      }
      return;
    }
    if (!in_table_) return;
    if (n.ns == kTableNs && n.local == "table-row") {
      in_row_ = true;
      row_repeat_ = Repeat(atts, "number-rows-repeated");
      row_.clear();
      col_ = 0;
    } else if (in_row_ && n.ns == kTableNs && (n.local == "table-cell" || n.local == "covered-table-cell")) {
      in_cell_ = true;
      cell_repeat_ = Repeat(atts, "number-columns-repeated");
      cell_.clear();
      paragraphs_ = 0;
    } else if (!in_cell_) {
    } else if (n.ns == kOfficeNs && n.local == "annotation") {
      skip_ = 1;
    } else if (IsTextNs(n.ns) && (n.local == "p" || n.local == "h")) {
      if (paragraphs_++ > 0) Add("\n");
      ++in_p_;
    } else if (in_p_ > 0 && IsTextNs(n.ns)) {
      if (n.local == "s") {
        std::uint64_t c = 1;
        if (const char* s = Attr(atts, "c", IsTextNs); s && !ParseUnsigned(std::string_view(s), c)) c = 1;
        c = std::min<std::uint64_t>(c, kMaxSpaces);
        Add(std::string(static_cast<std::size_t>(c), ' '));
      } else if (n.local == "tab") {
        Add("\t");
      } else if (n.local == "line-break") {
        Add("\n");
      } else if (n.local == "note" || n.local == "ruby-text") {
        skip_ = 1;  // a footnote or a reading aid: not the cell's text
      }
    }
  }

  void End(Name n) override {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (IsTable(n)) {
      if (--table_depth_ == 0 && in_table_) {
        in_table_ = false;
        Finish();  // the rows after this table belong to other sheets
      }
      return;
    }
    if (!in_table_) return;
    if (n.ns == kTableNs && n.local == "table-row" && in_row_) {
      in_row_ = false;
      EndRow();
    } else if (n.ns == kTableNs && (n.local == "table-cell" || n.local == "covered-table-cell") && in_cell_) {
      in_cell_ = false;
      for (std::uint64_t k = 0; k < cell_repeat_ && col_ < columns_; ++k, ++col_) {
        if (cell_.empty()) continue;
        if (row_.size() <= col_) row_.resize(col_ + 1);
        row_[col_] = cell_;
      }
    } else if (IsTextNs(n.ns) && (n.local == "p" || n.local == "h") && in_p_ > 0) {
      --in_p_;
    }
  }

  void Text(std::string_view s) override {
    if (in_cell_ && in_p_ > 0 && skip_ == 0) Add(s);
  }

 private:
  struct Rows {
    std::uint64_t count;
    std::vector<std::string> cells;
  };

  void Add(std::string_view s) {
    cell_ += s;
    if (cell_.size() > limits_.cell_text_bytes)
      FailLimit("a cell with more than " + SizeText(limits_.cell_text_bytes) + " of text");
  }

  // Empty rows wait until a row with text follows; the sheet ends at its last such row.
  void EndRow() {
    if (delivered_ >= kMaxSheetRows) return;
    if (row_.empty()) {
      pending_empty_ = std::min<std::uint64_t>(pending_empty_ + row_repeat_, kMaxSheetRows);
      return;
    }
    auto push = [&](std::uint64_t count, std::vector<std::string> cells) {
      count = std::min<std::uint64_t>(count, kMaxSheetRows - delivered_);
      if (count == 0) return;
      delivered_ += count;
      ready_.push_back({count, std::move(cells)});
    };
    push(pending_empty_, {});
    pending_empty_ = 0;
    push(row_repeat_, std::move(row_));
    row_ = {};
  }

  // Destroyed last to first: the part before the zip it is read from.
  std::shared_ptr<const Package> package_;
  std::size_t table_;
  std::size_t columns_;
  WorkbookLimits limits_;
  StreamedPart part_{*this, limits_};

  std::deque<Rows> ready_;
  std::uint64_t delivered_ = 0, pending_empty_ = 0;

  std::size_t tables_seen_ = 0;
  int table_depth_ = 0;
  int skip_ = 0, in_p_ = 0;
  bool in_table_ = false, in_row_ = false, in_cell_ = false;
  std::uint64_t row_repeat_ = 1, cell_repeat_ = 1;
  std::size_t col_ = 0, paragraphs_ = 0;
  std::vector<std::string> row_;
  std::string cell_;
};

class OdsWorkbook final : public Workbook {
 public:
  OdsWorkbook(std::shared_ptr<const Package> package, zip_int64_t content, std::vector<std::string> names,
              const WorkbookLimits& limits)
      : package_(std::move(package)), content_(content), names_(std::move(names)), limits_(limits) {}

  SourceKind kind() const override { return SourceKind::kOds; }
  const std::vector<std::string>& sheet_names() const override { return names_; }

  std::unique_ptr<SheetRows> OpenSheet(std::size_t index, std::size_t columns, WorkbookError* error,
                                       std::string* limit) override {
    if (index >= names_.size()) {
      if (error) *error = WorkbookError::kDamaged;
      return nullptr;
    }
    return OpenStreamedSheet(
        std::make_unique<OdsSheet>(package_, index, std::min(columns, kMaxSheetColumns), limits_), content_,
        error, limit);
  }

 private:
  std::shared_ptr<const Package> package_;
  zip_int64_t content_;
  std::vector<std::string> names_;
  WorkbookLimits limits_;
};

}  // namespace

std::unique_ptr<Workbook> OpenOdsPackage(std::unique_ptr<Package> pkg, const WorkbookLimits& limits,
                                         WorkbookError* error, std::string* limit) {
  auto refuse = [&](WorkbookError e) -> std::unique_ptr<Workbook> {
    if (error) *error = e;
    return nullptr;
  };
  const zip_int64_t content = Locate(pkg->zip, "content.xml");
  if (content < 0) return refuse(WorkbookError::kNotWorkbook);
  TableNames names;
  if (WorkbookError e = ParsePart(pkg->zip, content, limits.sheet_bytes, "the spreadsheet", limits, names, limit);
      e != WorkbookError::kNone)
    return refuse(e);
  // A text document or a drawing has no tables to import.
  if (names.names.empty()) return refuse(WorkbookError::kNotWorkbook);
  if (error) *error = WorkbookError::kNone;
  return std::make_unique<OdsWorkbook>(std::shared_ptr<const Package>(std::move(pkg)), content,
                                       std::move(names.names), limits);
}

}  // namespace qx::detail
