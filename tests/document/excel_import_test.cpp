#include "document/excel_import.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qx
