// Reading the worksheets of a source the import takes rows from: an Excel workbook (.xlsx,
// .xls), a LibreOffice spreadsheet (.ods) or a text table (.csv, .tsv, .txt).
//
// A reader hands out the texts of the first cells of each row, as the operator sees them in
// the program that wrote the file: a formula gives its stored result, a number is shown
// through its cell's number format, text comes verbatim. The kind of file is told by its
// content (a zip package or an OLE compound file); a file that is neither is read as a text
// table when its name says so (.csv, .tsv, .txt) or its content looks like one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

enum class WorkbookError {
  kNone,
  kNotWorkbook,  // no spreadsheet and no text table (HTML, a program, an image, ...)
  kDamaged,      // the right kind of file, but its contents cannot be read
  kProtected,    // encrypted with a password
  kUnsupported,  // a workbook kind this reader does not read (.xlsb, Excel 95 and older)
  kTooLarge,     // a part of the file is above the safety limits below
  kCannotRead,   // the file cannot be opened or read at all
};

// Safety limits. A workbook that needs more than these is refused as kTooLarge, so a
// damaged or hostile file cannot make the program inflate or keep unbounded data: with
// the defaults, reading any workbook takes well under 200 MB of memory. The unpacked size
// of each .xlsx part is checked against its limit before it is read (the size the zip
// states) and again while it is read (the bytes that come out).
struct WorkbookLimits {
  std::uint64_t xls_file_bytes = 64u << 20;         // an .xls file is read whole
  std::uint64_t xlsx_part_bytes = 16u << 20;        // workbook, relationships, styles (inflated)
  std::uint64_t shared_strings_bytes = 512u << 20;  // the shared strings part (inflated XML)
  std::uint64_t shared_text_bytes = 32u << 20;      // the text kept from all shared strings
  std::size_t shared_string_count = 1'000'000;      // strings in a shared string table
  std::uint64_t sheet_bytes = 512u << 20;           // the worksheet part (inflated XML)
  std::size_t cell_text_bytes = 1u << 20;           // one cell's text
  std::size_t xml_depth = 100;                      // elements nested in an XML part
  std::uint64_t xml_parser_bytes = 32u << 20;       // the XML parser's memory for one part
  std::uint64_t text_file_bytes = 64u << 20;        // a text table (.csv ...) is read whole
};

// Columns a reader hands out at most: A to Z.
inline constexpr std::size_t kMaxSheetColumns = 26;

// Rows a reader hands out at most: Excel's last row.
inline constexpr std::uint32_t kMaxSheetRows = 1048576;

class SheetRows {
 public:
  virtual ~SheetRows();

  // The next row of the sheet, from row 1: the texts of its cells from column A (UTF-8,
  // verbatim, as displayed), at most as many as the sheet was opened with. Trailing empty
  // cells may be left out, so `cells` can be shorter than that, or empty; rows absent from
  // the file come as empty rows. Returns false at the end of the sheet's rows, or on an
  // error (then error() says which). Rows before the damaged place are delivered before
  // the error shows.
  virtual bool NextRow(std::vector<std::string>& cells) = 0;
  // The same, for the texts of cells A and B only (empty when the row has none).
  bool Next(std::string& a, std::string& b);
  virtual WorkbookError error() const = 0;
  // For a kTooLarge error: the limit reached, in words ("the worksheet is larger than
  // 512 MB unpacked"); empty otherwise.
  virtual std::string limit_reached() const { return {}; }

 private:
  std::vector<std::string> row_;
};

enum class SourceKind { kXlsx, kXls, kOds, kText };

// An opened source: the list of its worksheets, each of which can be opened for its rows
// (also several at once, also after the Workbook itself is gone).
class Workbook {
 public:
  virtual ~Workbook();
  virtual SourceKind kind() const = 0;
  // The worksheets' names, in tab order (chart sheets are left out, hidden worksheets
  // count). A text table has one sheet, named after the file.
  virtual const std::vector<std::string>& sheet_names() const = 0;
  // The rows of worksheet `index` (0-based, tab order), with the cells of the first
  // `columns` columns (at most kMaxSheetColumns). nullptr and *error set when it cannot
  // be opened; for kTooLarge, *limit_reached says which limit it was.
  virtual std::unique_ptr<SheetRows> OpenSheet(std::size_t index, std::size_t columns, WorkbookError* error,
                                               std::string* limit_reached = nullptr) = 0;
};

// Opens a source file: a workbook or spreadsheet by its content, a text table by its name
// or content (see above). nullptr and *error set when it cannot be opened; for kTooLarge,
// *limit_reached says which limit it was.
std::unique_ptr<Workbook> OpenWorkbook(const std::filesystem::path& file, WorkbookError* error,
                                       const WorkbookLimits& limits = {}, std::string* limit_reached = nullptr);

// The same for a source held in memory (the bytes are copied); `file_name` stands for the
// name a file would have (it tells a text table, and names its sheet).
std::unique_ptr<Workbook> OpenWorkbook(std::span<const unsigned char> bytes, WorkbookError* error,
                                       const WorkbookLimits& limits = {}, std::string* limit_reached = nullptr,
                                       const std::filesystem::path& file_name = {});

// The first worksheet in tab order (whatever its name), columns A and B: OpenWorkbook,
// then OpenSheet(0, 2).
std::unique_ptr<SheetRows> OpenFirstSheet(const std::filesystem::path& file, WorkbookError* error,
                                          const WorkbookLimits& limits = {},
                                          std::string* limit_reached = nullptr);
std::unique_ptr<SheetRows> OpenFirstSheet(std::span<const unsigned char> bytes, WorkbookError* error,
                                          const WorkbookLimits& limits = {},
                                          std::string* limit_reached = nullptr);

// A column's letter from its index (0 -> "A", 25 -> "Z", 26 -> "AA"), and back (nullopt
// for anything but letters A to Z, either case).
std::string ColumnLetters(std::size_t index);
std::optional<std::size_t> ColumnIndex(std::string_view letters);

// A size for a message: "512 MB", "64 KB", "100 bytes".
std::string SizeText(std::uint64_t bytes);

// Number to text in Excel's General format, independent of column width: at most 15
// significant digits; plain notation for 1e-5 <= |v| < 1e15, otherwise "1.5E-07" style.
std::string GeneralNumberText(double v);

// A number as Excel shows it through the number format `code` (e.g. "000", "0.00",
// "#,##0", "0%", "yyyy-mm-dd hh:mm"). `date1904` selects the workbook's 1904 date system.
// Parts of a code this does not render (fractions, exponents, conditions) give General.
std::string FormatNumber(double v, std::string_view code, bool date1904);

// The code of a built-in number format id, as a Chinese (zh-CN) Excel shows it; the
// locale's short date (14) and date-time (22) are written as ISO dates. "General" for ids
// that have no code of their own.
std::string_view BuiltinNumberFormat(int id);

namespace detail {

// Strings kept in one buffer: shared string tables can hold millions of them.
class StringPool {
 public:
  std::size_t size() const { return ends_.size(); }
  std::size_t text_bytes() const { return text_.size(); }
  std::string_view Get(std::size_t i) const {
    const std::size_t b = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(b, ends_[i] - b);
  }
  void Add(std::string_view s) {
    text_ += s;
    ends_.push_back(text_.size());
  }

 private:
  std::string text_;
  std::vector<std::size_t> ends_;
};

// The readers; `bytes` start with the format's signature. `limit` receives the limit
// reached when they refuse with kTooLarge. A zip package is an .xlsx or an .ods workbook.
std::unique_ptr<Workbook> OpenZipWorkbook(const std::filesystem::path& file, const WorkbookLimits& limits,
                                          WorkbookError* error, std::string* limit);
std::unique_ptr<Workbook> OpenZipWorkbook(std::vector<unsigned char> bytes, const WorkbookLimits& limits,
                                          WorkbookError* error, std::string* limit);
std::unique_ptr<Workbook> OpenXls(std::vector<unsigned char> bytes, const WorkbookLimits& limits,
                                  WorkbookError* error, std::string* limit);
// A text table; `sheet_name` names its one sheet, `tabs` says the separator is a tab.
std::unique_ptr<Workbook> OpenTextTable(std::vector<unsigned char> bytes, std::string sheet_name, bool tabs,
                                        const WorkbookLimits& limits, WorkbookError* error, std::string* limit);

}  // namespace detail
}  // namespace qx
