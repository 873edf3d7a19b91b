// The sources the import reads: every kind of file, sheets in tab order, rows of several
// columns, text tables in their encodings and separators, and .ods details.
#include <zip.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "document/gbk.h"
#include "document/workbook.h"

namespace qx {
namespace {

const std::filesystem::path kDir = std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "import";

using Table = std::vector<std::vector<std::string>>;

// Every row of a sheet, without empty cells at the end of a row (readers may leave them
// out or not).
Table ReadAll(SheetRows& sheet) {
  Table rows;
  std::vector<std::string> cells;
  while (sheet.NextRow(cells)) {
    while (!cells.empty() && cells.back().empty()) cells.pop_back();
    rows.push_back(cells);
  }
  return rows;
}

Table ReadSheet(Workbook& book, std::size_t index, std::size_t columns = kMaxSheetColumns) {
  WorkbookError error = WorkbookError::kCannotRead;
  auto sheet = book.OpenSheet(index, columns, &error);
  EXPECT_EQ(error, WorkbookError::kNone);
  if (!sheet) return {};
  Table rows = ReadAll(*sheet);
  EXPECT_EQ(sheet->error(), WorkbookError::kNone);
  return rows;
}

// The first sheet of the fixtures, as LibreOffice shows it (tests/fixtures/import/README.md).
Table WiresSheet() {
  return {
      {"线号", "去向", "截面"},
      {"W-001", "X1:1", "1.5 m²"},
      {"W-002", "X1:2, X2:1", "2.50"},
      {"007", "第一行\n第二行"},
      {"H₂O", "", "say \"hi\""},
      {"", "only lower"},
      {"m²", "merged  two"},
      {"same"},
      {"same"},
  };
}

TEST(ImportSources, EveryKindOfFileGivesTheSameRows) {
  struct Case {
    const char* file;
    SourceKind kind;
    std::vector<std::string> sheets;
  };
  const std::vector<std::string> two = {"线号", "Second"};
  const Case cases[] = {
      {"wires.ods", SourceKind::kOds, two},
      {"wires.xlsx", SourceKind::kXlsx, two},
      {"wires.xls", SourceKind::kXls, two},
      {"wires.csv", SourceKind::kText, {"wires"}},
      {"wires-bom.csv", SourceKind::kText, {"wires-bom"}},
      {"wires-semicolon.csv", SourceKind::kText, {"wires-semicolon"}},
      {"wires.tsv", SourceKind::kText, {"wires"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WorkbookError error = WorkbookError::kCannotRead;
    auto book = OpenWorkbook(kDir / c.file, &error);
    ASSERT_TRUE(book) << static_cast<int>(error);
    EXPECT_EQ(book->kind(), c.kind);
    EXPECT_EQ(book->sheet_names(), c.sheets);
    EXPECT_EQ(ReadSheet(*book, 0), WiresSheet());
    if (c.sheets.size() > 1) {
      EXPECT_EQ(ReadSheet(*book, 1), (Table{{"S-1", "second sheet"}, {"S-2"}}));
    }
    // Fewer columns asked for, fewer handed out.
    const Table narrow = ReadSheet(*book, 0, 1);
    ASSERT_EQ(narrow.size(), WiresSheet().size());
    EXPECT_EQ(narrow[1], std::vector<std::string>{"W-001"});
    EXPECT_TRUE(narrow[5].empty());
  }
}

TEST(ImportSources, AGbkTableIsToldFromUtf8) {
  WorkbookError error = WorkbookError::kCannotRead;
  auto book = OpenWorkbook(kDir / "wires-gbk.csv", &error);
  ASSERT_TRUE(book);
  Table expected = WiresSheet();
  expected[1][2] = "1.5 m2";  // GBK has no ² or ₂: iconv wrote them as plain digits
  expected[4][0] = "H2O";
  expected[6][0] = "m2";
  EXPECT_EQ(ReadSheet(*book, 0), expected);
}

TEST(ImportSources, SheetsOpenIndependently) {
  WorkbookError error = WorkbookError::kNone;
  for (const char* file : {"wires.ods", "wires.xlsx", "wires.xls"}) {
    SCOPED_TRACE(file);
    auto book = OpenWorkbook(kDir / file, &error);
    ASSERT_TRUE(book);
    auto first = book->OpenSheet(0, 2, &error);
    auto second = book->OpenSheet(1, 2, &error);
    book.reset();  // the sheets keep what they need
    ASSERT_TRUE(first && second);
    std::vector<std::string> cells;
    ASSERT_TRUE(second->NextRow(cells));
    EXPECT_EQ(cells[0], "S-1");
    ASSERT_TRUE(first->NextRow(cells));
    EXPECT_EQ(cells[0], "线号");
    EXPECT_FALSE(OpenWorkbook(kDir / file, &error)->OpenSheet(2, 2, &error));
    EXPECT_EQ(error, WorkbookError::kDamaged);
  }
}

// Bytes as a text table named `name`.
Table TextRows(std::string_view bytes, const char* name = "list.csv", std::size_t columns = kMaxSheetColumns) {
  WorkbookError error = WorkbookError::kCannotRead;
  const std::span<const unsigned char> span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  auto book = OpenWorkbook(span, &error, {}, nullptr, name);
  EXPECT_TRUE(book) << static_cast<int>(error);
  if (!book) return {};
  EXPECT_EQ(book->kind(), SourceKind::kText);
  return ReadSheet(*book, 0, columns);
}

TEST(ImportSources, TextTablesSplitFieldsAsSpreadsheetProgramsWriteThem) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* file;
    Table rows;
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Case cases[] = {
      {"CR LF", "a,b\r\nc,d\r\n", "x.csv", {{"a", "b"}, {"c", "d"}}},
      {"CR alone, no line end at the end", "a,b\rc,d", "x.csv", {{"a", "b"}, {"c", "d"}}},
      {"quoted separator and doubled quotes", "\"a,1\",\"say \"\"x\"\"\"\n", "x.csv", {{"a,1", "say \"x\""}}},
      {"line break inside quotes", "\"one\r\ntwo\",b\r\nc\n", "x.csv", {{"one\r\ntwo", "b"}, {"c"}}},
      {"empty line and empty fields", "a\n\n,b,\n", "x.csv", {{"a"}, {}, {"", "b"}}},
      {"semicolons", "a;b,c;d\ne;f\n", "x.csv", {{"a", "b,c", "d"}, {"e", "f"}}},
      {"tabs", "a\tb,c\n\"d\te\"\tf\n", "x.txt", {{"a", "b,c"}, {"d\te", "f"}}},
      {".tsv is split at tabs only", "a,b,c\n", "x.tsv", {{"a,b,c"}}},
      {"a quote inside a field stays", "5\" cable,b\n", "x.csv", {{"5\" cable", "b"}}},
      {"unclosed quote runs to the end", "a,\"b\nc", "x.csv", {{"a", "b\nc"}}},
      {"byte-order mark", bom + "线,号\n", "x.csv", {{"线", "号"}}},
      {"GBK", gbk::Encode("线号,截面\n"), "x.csv", {{"线号", "截面"}}},
      {"UTF-16 with its mark", std::string("\xFF\xFE" "a\0,\0\x3F\x7E\n\0", 10), "x.txt", {{"a", "\xE7\xB8\xBF"}}},
      {"empty file", "", "x.csv", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextRows(c.bytes, c.file), c.rows);
  }
  EXPECT_EQ(TextRows("a,b,c\n", "x.csv", 2), (Table{{"a", "b"}}));
}

TEST(ImportSources, TheKindIsToldByContentThenByName) {
  struct Case {
    std::string bytes;
    const char* name;
    bool opens;
  };
  const Case cases[] = {
      {"W-001,Line one\n", "list.xls", true},  // text under a spreadsheet's name
      {"W-001,Line one\n", "", true},
      {"<html><body><table></table></body></html>", "list.xls", false},
      {"<html>", "list.csv", true},  // named a table: read as one
      {std::string("\x01\x02\x03binary", 9), "list.xlsx", false},
      {"", "list.xlsx", false},
      {"", "list.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes + " as " + c.name);
    WorkbookError error = WorkbookError::kNone;
    const std::span<const unsigned char> span(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(OpenWorkbook(span, &error, {}, nullptr, c.name) != nullptr, c.opens);
    EXPECT_EQ(error, c.opens ? WorkbookError::kNone : WorkbookError::kNotWorkbook);
  }
  // The old test file of a CSV saved as .xls is read as the table it is.
  WorkbookError error = WorkbookError::kNone;
  auto sheet = OpenFirstSheet(std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures/excel/bad/csv.xls", &error);
  ASSERT_TRUE(sheet);
  std::string a, b;
  ASSERT_TRUE(sheet->Next(a, b));
  EXPECT_EQ(a + "|" + b, "W-001|Line one");
}

TEST(ImportSources, TextTablesKeepTheirLimits) {
  WorkbookLimits limits;
  limits.text_file_bytes = 10;
  limits.cell_text_bytes = 4;
  const std::string big(11, 'a');
  WorkbookError error = WorkbookError::kNone;
  std::string limit;
  EXPECT_FALSE(OpenWorkbook(std::span(reinterpret_cast<const unsigned char*>(big.data()), big.size()), &error,
                            limits, &limit, "x.csv"));
  EXPECT_EQ(error, WorkbookError::kTooLarge);
  EXPECT_EQ(limit, "the file: larger than 10 bytes");
  const std::string rows = "ab\nabcde\n";
  auto book = OpenWorkbook(std::span(reinterpret_cast<const unsigned char*>(rows.data()), rows.size()), &error,
                           limits, &limit, "x.csv");
  ASSERT_TRUE(book);
  auto sheet = book->OpenSheet(0, 2, &error);
  std::vector<std::string> cells;
  EXPECT_TRUE(sheet->NextRow(cells));
  EXPECT_FALSE(sheet->NextRow(cells));
  EXPECT_EQ(sheet->error(), WorkbookError::kTooLarge);
  EXPECT_EQ(sheet->limit_reached(), "a field with more than 4 bytes of text");
}

// An .ods package holding `content` as its content.xml.
std::vector<unsigned char> Ods(const std::string& body) {
  const std::string content =
      "<?xml version=\"1.0\"?><office:document-content "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>" +
      body + "</office:spreadsheet></office:body></office:document-content>";
  const std::string mimetype = "application/vnd.oasis.opendocument.spreadsheet";
  std::vector<unsigned char> out;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &ze);
  zip_source_keep(buf);
  zip_t* z = zip_open_from_source(buf, ZIP_TRUNCATE, &ze);
  zip_file_add(z, "mimetype", zip_source_buffer(z, mimetype.data(), mimetype.size(), 0), 0);
  zip_file_add(z, "content.xml", zip_source_buffer(z, content.data(), content.size(), 0), 0);
  zip_close(z);
  zip_source_open(buf);
  zip_source_seek(buf, 0, SEEK_END);
  out.resize(static_cast<std::size_t>(zip_source_tell(buf)));
  zip_source_seek(buf, 0, SEEK_SET);
  zip_source_read(buf, out.data(), out.size());
  zip_source_close(buf);
  zip_source_free(buf);
  zip_error_fini(&ze);
  return out;
}

TEST(ImportSources, OdsRowsCellsAndTexts) {
  const std::string cell = "<table:table-cell><text:p>";
  const std::string end = "</text:p></table:table-cell>";
  struct Case {
    const char* name;
    std::string rows;
    Table expected;
  };
  const Case cases[] = {
      {"repeated rows and cells",
       "<table:table-row table:number-rows-repeated=\"2\">" + cell + "r" + end +
           "<table:table-cell table:number-columns-repeated=\"2\"><text:p>c</text:p></table:table-cell>"
           "</table:table-row>",
       {{"r", "c", "c"}, {"r", "c", "c"}}},
      {"empty rows between are kept, those at the end dropped",
       "<table:table-row>" + cell + "a" + end + "</table:table-row>"
       "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/></table:table-row>"
       "<table:table-row>" + cell + "b" + end + "</table:table-row>"
       "<table:table-row table:number-rows-repeated=\"1048570\">"
       "<table:table-cell table:number-columns-repeated=\"1024\"/></table:table-row>",
       {{"a"}, {}, {}, {"b"}}},
      {"spaces, tabs, line breaks, paragraphs, spans",
       "<table:table-row><table:table-cell><text:p>a<text:s text:c=\"3\"/>b<text:tab/>c<text:line-break/>"
       "<text:span>d</text:span></text:p><text:p>e<text:s/></text:p></table:table-cell></table:table-row>",
       {{"a   b\tc\nd\ne "}}},
      {"notes and covered cells",
       "<table:table-row><table:table-cell><office:annotation><text:p>note</text:p></office:annotation>"
       "<text:p>x</text:p></table:table-cell><table:covered-table-cell/>" + cell + "y" + end +
           "</table:table-row>",
       {{"x", "", "y"}}},
      {"a table in a cell is not the sheet's",
       "<table:table-row><table:table-cell><table:table><table:table-row>" + cell + "inner" + end +
           "</table:table-row></table:table><text:p>outer</text:p></table:table-cell></table:table-row>",
       {{"outer"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Ods("<table:table table:name=\"T\">" + c.rows + "</table:table><table:table table:name=\"U\"/>");
    WorkbookError error = WorkbookError::kCannotRead;
    auto book = OpenWorkbook(bytes, &error);
    ASSERT_TRUE(book) << static_cast<int>(error);
    EXPECT_EQ(book->sheet_names(), (std::vector<std::string>{"T", "U"}));
    EXPECT_EQ(ReadSheet(*book, 0, 3), c.expected);
    EXPECT_EQ(ReadSheet(*book, 1), Table{});
  }
  // A package of another kind of OpenDocument (no tables) is not a spreadsheet.
  WorkbookError error = WorkbookError::kNone;
  EXPECT_FALSE(OpenWorkbook(Ods(""), &error));
  EXPECT_EQ(error, WorkbookError::kNotWorkbook);
}

TEST(ImportSources, ColumnLettersBothWays) {
  EXPECT_EQ(ColumnLetters(0), "A");
  EXPECT_EQ(ColumnLetters(25), "Z");
  EXPECT_EQ(ColumnLetters(26), "AA");
  EXPECT_EQ(ColumnIndex("a"), 0u);
  EXPECT_EQ(ColumnIndex("Z"), 25u);
  EXPECT_EQ(ColumnIndex("AA"), 26u);
  EXPECT_EQ(ColumnIndex(""), std::nullopt);
  EXPECT_EQ(ColumnIndex("A1"), std::nullopt);
}

}  // namespace
}  // namespace qx
