#include "document/excel_import.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "document/gbk.h"
#include "document/memory_store.h"

namespace qx {
namespace {

// Sheet rows from a list, as a reader would give them.
class ListedRows : public SheetRows {
 public:
  explicit ListedRows(std::vector<std::pair<std::string, std::string>> rows, bool fail_at_end = false)
      : rows_(std::move(rows)), fail_(fail_at_end) {}
  bool NextRow(std::vector<std::string>& cells) override {
    if (i_ >= rows_.size()) return false;
    cells = {rows_[i_].first, rows_[i_].second};
    ++i_;
    return true;
  }
  WorkbookError error() const override {
    return fail_ && i_ >= rows_.size() ? WorkbookError::kDamaged : WorkbookError::kNone;
  }
  std::size_t read() const { return i_; }

 private:
  std::vector<std::pair<std::string, std::string>> rows_;
  std::size_t i_ = 0;
  bool fail_;
};

std::string Chinese(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "中";
  return s;
}

TEST(ExcelImport, CellTextsAreTrimmedAndCutAtWholeCharacters) {
  struct Case {
    std::string cell;
    std::string kept;  // UTF-8
  };
  const Case cases[] = {
      {" x ", "x"},
      {"\t\r\n x\x01", "x"},
      {"\u3000x\u3000", "\u3000x\u3000"},  // the ideographic space is not a blank here
      {std::string(60, 'A'), std::string(50, 'A')},
      {Chinese(30), Chinese(25)},
      {"A" + Chinese(30), "A" + Chinese(24)},  // 49 bytes: the 25th character would pass 50
  };
  for (const Case& c : cases) {
    int replaced = 0;
    EXPECT_EQ(gbk::ToUtf8(ImportCellText(c.cell, &replaced)), c.kept) << c.cell;
    EXPECT_EQ(replaced, 0);
  }
  int replaced = 0;
  EXPECT_EQ(ImportCellText("mm² 😀", &replaced), "mm? ?");
  EXPECT_EQ(replaced, 2);
}

TEST(ExcelImport, CutAt) {
  EXPECT_EQ(CutAt(std::string(40, 'A'), 35), std::string(34, 'A'));
  EXPECT_EQ(gbk::ToUtf8(CutAt(gbk::Encode(Chinese(20)), 35)), Chinese(17));
  EXPECT_EQ(CutAt(gbk::Encode("A" + Chinese(20)), 35).size(), 35u);
  EXPECT_EQ(CutAt(std::string(45, 'B'), 40), std::string(39, 'B'));
  EXPECT_EQ(CutAt(std::string(45, 'B'), 39), std::string(38, 'B'));
  EXPECT_EQ(CutAt("\x80\x80\x80", 3), "\x80\x80");  // 0x80 is a single byte here
}

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() : doc_(std::make_unique<MemoryRowStore>()) { NewDocument(doc_, "TL"); }
  ImportResult Import(std::vector<std::pair<std::string, std::string>> rows, bool fail = false) {
    ListedRows sheet(std::move(rows), fail);
    ImportResult r = ImportSheet(doc_.table, sheet);
    read_ = sheet.read();
    doc_.table.First();
    return r;
  }
  std::string F(int col) { return gbk::ToUtf8(doc_.table.Text(col)); }
  DocumentState doc_;
  std::size_t read_ = 0;
};

TEST_F(ImportTest, RowsToSegmentsByTheThresholds) {
  struct Case {
    std::string a, b;
    const char* size;
    int length;
    std::size_t upper_bytes, lower_bytes;
  };
  const Case cases[] = {
      {"A1", "B2", "2 号", 25, 2, 2},
      {"12345678", std::string(9, 'b'), "2 号", 0, 8, 9},
      {"12345678", std::string(45, 'b'), "2 号", 0, 8, 39},
      {std::string(12, 'a'), std::string(45, 'b'), "2 号", 0, 12, 38},
      {std::string(9, 'a'), std::string(39, 'b'), "2 号", 0, 9, 39},
      {std::string(45, 'a'), "b", "2 号", 0, 38, 1},
      {std::string(45, 'a'), std::string(45, 'b'), "2 号", 0, 38, 38},
      {"ABCDEF", "", "4 号", 25, 6, 0},
      {"ABCDEFGHI", "", "4 号", 0, 9, 0},
      {std::string(40, 'a'), "", "4 号", 0, 34, 0},
  };
  for (const Case& c : cases) {
    NewDocument(doc_, "TL");
    const ImportResult r = Import({{c.a, c.b}});
    ASSERT_EQ(r.segments, 1);
    EXPECT_EQ(F(kSizeColumn), c.size) << c.a << "|" << c.b;
    EXPECT_EQ(doc_.table.Int(kLengthColumn), c.length) << c.a << "|" << c.b;
    EXPECT_EQ(doc_.table.Text(kUpperLineColumn).size(), c.upper_bytes) << c.a << "|" << c.b;
    EXPECT_EQ(doc_.table.Text(kLowerLineColumn).size(), c.lower_bytes) << c.a << "|" << c.b;
    EXPECT_EQ(r.two_lines, !c.b.empty());
    EXPECT_EQ(F(kOrientationColumn), "横向");
    EXPECT_EQ(F(kDecorationColumn), "取消修饰");
    EXPECT_EQ(F(kSerialTypeColumn), "无序号");
    EXPECT_EQ(doc_.table.Int(kRepeatColumn), 1);
    EXPECT_EQ(doc_.table.Int(kUpperLengthColumn), 0);
    EXPECT_EQ(doc_.table.Int(kNumberColumn), 1);
  }
}

TEST_F(ImportTest, StopsAtTheFirstEmptyFirstCell) {
  const ImportResult r = Import({{"A1", ""}, {" x ", "y"}, {"  ", "z"}, {"late", ""}});
  EXPECT_EQ(r.segments, 2);
  EXPECT_EQ(read_, 3u);  // the row's own second cell shows text was left out: no need to read on
  EXPECT_EQ(r.stopped_at_row, 3);
  EXPECT_EQ(doc_.table.RowCount(), 2);
  doc_.table.Last();
  EXPECT_EQ(F(kUpperLineColumn), "x");
  EXPECT_EQ(doc_.table.Int(kNumberColumn), 2);
}

// The import stops at an empty first cell and says where only when text was left out:
// in that row's second cell or in any row below. Blank rows at the end of a sheet are
// no loss; neither is a sheet damaged below the stop.
TEST_F(ImportTest, TellsTheRowItStoppedAtWhenTextWasLeftOut) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> rows;
    bool damaged_at_end;
    int segments, stopped_at_row;
    std::size_t read;
  };
  const std::vector<Case> cases = {
      {"text far below", {{"A", ""}, {"", ""}, {"", ""}, {"", " "}, {"", "late"}, {"", ""}},
       false, 1, 2, 5},
      {"text further down column A", {{"A", ""}, {"B", "b"}, {" ", ""}, {"C", ""}}, false, 2, 3, 4},
      {"only blank rows below", {{"A", ""}, {"", ""}, {"\t", " "}, {"", ""}}, false, 1, 0, 4},
      {"nothing below", {{"A", "a"}, {"", ""}}, false, 1, 0, 2},
      {"the first row", {{"", ""}, {"A", ""}}, false, 0, 1, 2},
      {"the sheet's end", {{"A", ""}, {"B", ""}}, false, 2, 0, 2},
      {"damage below the stop", {{"A", ""}, {"", ""}, {"", ""}}, true, 1, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewDocument(doc_, "TL");
    const ImportResult r = Import(c.rows, c.damaged_at_end);
    EXPECT_EQ(r.segments, c.segments);
    EXPECT_EQ(r.stopped_at_row, c.stopped_at_row);
    EXPECT_EQ(read_, c.read);
    EXPECT_EQ(r.error, WorkbookError::kNone);
    EXPECT_EQ(doc_.table.RowCount(), std::max(c.segments, 1));
  }
}

TEST_F(ImportTest, OnlyImportedRowsCountTheirReplacedCharacters) {
  EXPECT_EQ(Import({{"A²", "²"}, {"", "²"}, {"", "²"}}).replaced, 2);
}

TEST_F(ImportTest, AnEmptySheetLeavesTheDefaultSegment) {
  const ImportResult r = Import({{"", "B"}});
  EXPECT_EQ(r.segments, 0);
  EXPECT_EQ(doc_.table.RowCount(), 1);
  EXPECT_EQ(F(kSizeColumn), "4 号");
}

TEST_F(ImportTest, AReadErrorIsReportedWithTheRowsSoFar) {
  const ImportResult r = Import({{"A", ""}, {"B", ""}}, /*fail=*/true);
  EXPECT_EQ(r.segments, 2);
  EXPECT_EQ(r.error, WorkbookError::kDamaged);
}

// ---- Sources and options ------------------------------------------------------------

const std::filesystem::path kFixtures = std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures";

// The import of a file with `options` into `doc` (a new Document unless it is given).
ImportResult ImportFile(DocumentState& doc, const std::filesystem::path& file, const ImportOptions& options) {
  WorkbookError error = WorkbookError::kNone;
  auto book = OpenWorkbook(file, &error);
  EXPECT_TRUE(book) << file << " " << static_cast<int>(error);
  if (!book) return {};
  auto rows = book->OpenSheet(options.sheet, options.columns(), &error);
  EXPECT_TRUE(rows) << static_cast<int>(error);
  if (!rows) return {};
  return ImportSheet(doc.table, *rows, options);
}

std::uint64_t Fnv1a(std::string_view s) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

// The import with the default options gives, on every workbook fixture, exactly the
// Segments the import gave before it had options: the counts and a digest of every column
// of every row, recorded from that import in fixtures/import/default-import.txt.
TEST(ImportOptionsTest, DefaultsGiveTheSameDocumentAsBeforeOnEveryWorkbookFixture) {
  std::ifstream in(kFixtures / "import" / "default-import.txt");
  std::string line;
  int files = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string file, summary, digest;
    std::getline(fields, file, '\t');
    std::getline(fields, summary, '\t');
    std::getline(fields, digest, '\t');
    SCOPED_TRACE(file);
    DocumentState doc(std::make_unique<MemoryRowStore>());
    NewDocument(doc, "TL");
    const ImportResult r = ImportFile(doc, kFixtures / "excel" / file, ImportOptions{});
    EXPECT_EQ("segments " + std::to_string(r.segments) + " two_lines " + std::to_string(r.two_lines) +
                  " replaced " + std::to_string(r.replaced) + " truncated " + std::to_string(r.truncated) +
                  " stopped_at_row " + std::to_string(r.stopped_at_row) + " error " +
                  std::to_string(static_cast<int>(r.error)),
              summary);
    std::string rows;
    SegmentTable& t = doc.table;
    for (t.First(); !t.Eof(); t.Next()) {
      for (int c = 0; c < kColumnCount; ++c) {
        if (c) rows += '\t';
        rows += kColumns[c].type == ColumnType::kText ? t.Text(c) : std::to_string(t.Int(c));
      }
      rows += '\n';
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(rows)));
    EXPECT_EQ(hex, digest);
    ++files;
  }
  EXPECT_EQ(files, 26);
}

// Segments as "upper|lower" in UTF-8 (marks shown as ↖ and ↙).
std::vector<std::string> Segments(SegmentTable& t) {
  std::vector<std::string> out;
  for (t.First(); !t.Eof(); t.Next())
    out.push_back(gbk::ToUtf8(t.Text(kUpperLineColumn)) + "|" + gbk::ToUtf8(t.Text(kLowerLineColumn)));
  return out;
}

ImportOptions Options(std::function<void(ImportOptions&)> change) {
  ImportOptions o;
  change(o);
  return o;
}

// The options over the same sheet written by LibreOffice as .ods, .xlsx, .xls and .csv
// (fixtures/import/README.md).
TEST(ImportOptionsTest, HeaderColumnsSheetAndEmptyRows) {
  // A line break inside a cell becomes a blank: a line holds no control characters.
  const std::string two_lines = "第一行 第二行";
  struct Case {
    const char* name;
    ImportOptions options;
    std::vector<std::string> segments;
    std::vector<RowReport> reports;
    bool needs_second_sheet = false;
  };
  const std::vector<Case> cases = {
      {"defaults", {},
       {"线号|去向", "W-001|X1:1", "W-002|X1:2, X2:1", "007|" + two_lines, "H↙2O|"},
       {{5, RowNote::kMarked}, {6, RowNote::kEndedList}}},
      {"header", Options([](ImportOptions& o) { o.header = true; }),
       {"W-001|X1:1", "W-002|X1:2, X2:1", "007|" + two_lines, "H↙2O|"},
       {{5, RowNote::kMarked}, {6, RowNote::kEndedList}}},
      {"columns A and C", Options([](ImportOptions& o) { o.lower_column = 2; }),
       {"线号|截面", "W-001|1.5 m?", "W-002|2.50", "007|", "H?O|say \"hi\""},
       {{2, RowNote::kReplaced}, {5, RowNote::kReplaced}, {6, RowNote::kEndedList}}},
      {"column C alone", Options([](ImportOptions& o) { o.upper_column = 2; o.lower_column = kNoColumn; }),
       {"截面|", "1.5 m↖2|", "2.50|"},
       {{2, RowNote::kMarked}, {4, RowNote::kEndedList}}},
      {"column B to the upper line", Options([](ImportOptions& o) { o.upper_column = 1; o.lower_column = 0; }),
       {"去向|线号", "X1:1|W-001", "X1:2, X2:1|W-002", two_lines + "|007"},
       {{5, RowNote::kEndedList}}},
      {"skip empty rows", Options([](ImportOptions& o) { o.skip_empty_rows = true; }),
       {"线号|去向", "W-001|X1:1", "W-002|X1:2, X2:1", "007|" + two_lines, "H↙2O|", "m?|merged  two", "same|",
        "same|"},
       {{5, RowNote::kMarked}, {6, RowNote::kSkipped}, {7, RowNote::kReplaced}}},
      {"second sheet", Options([](ImportOptions& o) { o.sheet = 1; }), {"S-1|second sheet", "S-2|"}, {}, true},
  };
  for (const char* file : {"wires.ods", "wires.xlsx", "wires.xls", "wires.csv"}) {
    for (const Case& c : cases) {
      if (c.needs_second_sheet && std::string_view(file) == "wires.csv") continue;
      SCOPED_TRACE(std::string(file) + ": " + c.name);
      DocumentState doc(std::make_unique<MemoryRowStore>());
      NewDocument(doc, "TL");
      const ImportResult r = ImportFile(doc, kFixtures / "import" / file, c.options);
      EXPECT_EQ(Segments(doc.table), c.segments);
      EXPECT_EQ(r.reports, c.reports);
      EXPECT_EQ(r.segments, static_cast<int>(c.segments.size()));
    }
  }
}

TEST(ImportOptionsTest, AppendAddsAfterTheLastSegment) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> existing;
    std::vector<std::string> segments;
  };
  const Case cases[] = {
      {"after the Document's Segments", {{"X", ""}, {"Y", "y"}}, {"X|", "Y|y", "S-1|second sheet", "S-2|"}},
      {"a new Document's empty Segment is filled", {}, {"S-1|second sheet", "S-2|"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DocumentState doc(std::make_unique<MemoryRowStore>());
    NewDocument(doc, "TL");
    if (!c.existing.empty()) {
      ListedRows rows(c.existing);
      ImportSheet(doc.table, rows);
    }
    const ImportResult r =
        ImportFile(doc, kFixtures / "import" / "wires.ods", Options([](ImportOptions& o) {
                     o.sheet = 1;
                     o.append = true;
                   }));
    EXPECT_EQ(r.segments, 2);
    EXPECT_EQ(Segments(doc.table), c.segments);
    doc.table.Last();
    EXPECT_EQ(doc.table.Int(kNumberColumn), static_cast<int>(c.segments.size()));
  }
}

TEST(ImportRowTest, ScriptDigitsBecomeMarksWhereTheMarkRuleAllows) {
  struct Case {
    const char* name;
    std::string upper, lower;
    std::string kept;  // upper line, UTF-8
    int marked, replaced;
    bool upper_cut = false;
  };
  const std::string a33(33, 'a');
  const Case cases[] = {
      {"superscript", "m²", "", "m↖2", 1, 0},
      {"subscript", "H₂O", "", "H↙2O", 1, 0},
      {"every script digit", "x¹⁰⁹₀₉", "", "x↖1↖0↖9↙0↙9", 5, 0},
      {"two after each other", "x²³", "", "x↖2↖3", 2, 0},
      {"refused at the start of the line", "²x", "", "?x", 0, 1},
      {"refused after blanks that are trimmed", "  ²x", "", "?x", 0, 1},
      {"refused in a two-line Segment", "m²", "B", "m?", 0, 1},
      {"other characters GBK lacks", "m² 😀", "", "m↖2 ?", 1, 1},
      {"a mark cut off from its digit is dropped", a33 + "²", "", a33, 0, 0, true},
      {"the same at the 50-byte cell limit", std::string(48, 'a') + "²", "", std::string(34, 'a'), 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ImportedRow r = ImportRow(c.upper, c.lower);
    EXPECT_EQ(gbk::ToUtf8(r.upper), c.kept);
    EXPECT_EQ(r.marked, c.marked);
    EXPECT_EQ(r.replaced, c.replaced);
    EXPECT_EQ(r.upper_cut, c.upper_cut);
  }
  // The lower line never takes marks.
  EXPECT_EQ(gbk::ToUtf8(ImportRow("A", "m²").lower), "m?");
}

TEST(ImportPreviewTest, EachRowSaysWhatItBecomes) {
  struct Case {
    const char* name;
    ImportOptions options;
    int max_rows;
    std::vector<RowFate> fates;
    bool more;
  };
  using F = RowFate;
  const Case cases[] = {
      {"defaults", {}, 20,
       {F::kSegment, F::kSegment, F::kSegment, F::kSegment, F::kSegment, F::kEndsList, F::kAfterEnd, F::kAfterEnd,
        F::kAfterEnd},
       false},
      {"header, skipping empty rows", Options([](ImportOptions& o) { o.header = true; o.skip_empty_rows = true; }), 20,
       {F::kHeader, F::kSegment, F::kSegment, F::kSegment, F::kSegment, F::kSkipped, F::kSegment, F::kSegment,
        F::kSegment},
       false},
      {"the first rows only", {}, 3, {F::kSegment, F::kSegment, F::kSegment}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkbookError error = WorkbookError::kNone;
    auto book = OpenWorkbook(kFixtures / "import" / "wires.csv", &error);
    ASSERT_TRUE(book);
    auto rows = book->OpenSheet(0, kMaxSheetColumns, &error);
    const ImportPreview p = PreviewImport(*rows, c.options, c.max_rows);
    std::vector<RowFate> fates;
    for (const PreviewRow& r : p.rows) fates.push_back(r.fate);
    EXPECT_EQ(fates, c.fates);
    EXPECT_EQ(p.more, c.more);
    EXPECT_EQ(p.rows[1].row, 2);
    EXPECT_EQ(p.rows[1].cells, (std::vector<std::string>{"W-001", "X1:1", "1.5 m²"}));
  }
  // The Segment a row becomes is the one the import makes.
  WorkbookError error = WorkbookError::kNone;
  auto rows = OpenWorkbook(kFixtures / "import" / "wires.csv", &error)->OpenSheet(0, 3, &error);
  const ImportPreview p = PreviewImport(*rows, {}, 5);
  const PreviewRow& water = p.rows[4];
  EXPECT_EQ(gbk::ToUtf8(water.segment.upper), "H↙2O");
  EXPECT_EQ(water.segment.size, 4);
  EXPECT_EQ(water.segment.length_mm, 25);
  EXPECT_TRUE(water.changed());
  EXPECT_FALSE(p.rows[1].changed());
}

}  // namespace
}  // namespace qx
