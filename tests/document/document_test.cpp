#include "document/document.h"

#include <gtest/gtest.h>

#include "document/document_file.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "document/memory_store.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

// One stored row with the given columns (UTF-8 texts); everything else as in a new Document.
struct TestRow {
  int length_mm = 25;
  const char* size_text = "4 号";
  const char* orientation_text = "横向";
  const char* decoration_text = "取消修饰";
  const char* serial_type_text = "无序号";
  const char* first = "";
  const char* last = "";
  int rep = 1;
};

class DecodeTest : public ::testing::Test {
 protected:
  DecodeTest() : table_(std::make_unique<MemoryRowStore>()) {
    table_.Create();
    table_.Open();
  }
  void Put(const TestRow& r) {
    table_.Append();
    table_.SetInt(kLengthColumn, r.length_mm);
    table_.SetText(kSizeColumn, gbk::Encode(r.size_text));
    table_.SetText(kOrientationColumn, gbk::Encode(r.orientation_text));
    table_.SetText(kDecorationColumn, gbk::Encode(r.decoration_text));
    table_.SetText(kSerialTypeColumn, gbk::Encode(r.serial_type_text));
    table_.SetText(kSerialFirstColumn, r.first);
    table_.SetText(kSerialLastColumn, r.last);
    table_.SetInt(kRepeatColumn, r.rep);
    table_.Store();
  }
  SegmentValues Reload(const TestRow& r) {
    Put(r);
    SegmentValues v;
    ReloadWorkingValues(table_, v);
    return v;
  }
  SegmentTable table_;
};

TEST_F(DecodeTest, CodesAndFallbacks) {
  struct Case {
    TestRow row;
    uint8_t size, vertical, decoration;
  };
  const Case cases[] = {
      {{.size_text = "7 号"}, 7, 0, 0},
      {{.size_text = ""}, 1, 0, 0},
      {{.size_text = "自动", .orientation_text = "纵向"}, 0, 1, 0},
      {{.orientation_text = ""}, 4, 1, 0},
      {{.decoration_text = "加下划线"}, 4, 0, 2},
      {{.decoration_text = ""}, 4, 0, 2},
      {{.decoration_text = "加 边 框"}, 4, 0, 1},
  };
  for (const Case& c : cases) {
    const SegmentValues v = Reload(c.row);
    EXPECT_EQ(v.SizeCode, c.size) << c.row.size_text;
    EXPECT_EQ(v.Vertical, c.vertical) << c.row.orientation_text;
    EXPECT_EQ(v.DecorationCode, c.decoration) << c.row.decoration_text;
  }
}

TEST_F(DecodeTest, SerialRanges) {
  struct Case {
    TestRow row;
    uint8_t type, width;
    uint16_t first, last;
  };
  const Case cases[] = {
      {{.serial_type_text = "序号0-999", .first = "12", .last = "5"}, 1, 2, 5, 12},
      {{.serial_type_text = "序号0-999", .first = "0", .last = "999"}, 1, 3, 0, 999},
      {{.serial_type_text = "序号000-999", .first = "300", .last = "300"}, 2, 3, 300, 300},
      {{.serial_type_text = "序号0-999", .first = "1", .last = "9"}, 1, 1, 1, 9},
      {{.serial_type_text = "序号0-999", .first = "10", .last = "99"}, 1, 2, 10, 99},
      {{.serial_type_text = "序号0-999", .first = "x", .last = ""}, 1, 1, 0, 0},  // never stored by editors
      {{.serial_type_text = "大写字母", .first = "C", .last = "A"}, 3, 1, 65, 67},
      {{.serial_type_text = "小写字母", .first = "a", .last = "z"}, 4, 1, 97, 122},
      {{.serial_type_text = "小写字母", .first = "", .last = "c"}, 4, 1, 99, 99},
      {{.serial_type_text = "大写字母", .first = "", .last = ""}, 3, 1, 65, 65},
  };
  for (const Case& c : cases) {
    const SegmentValues v = Reload(c.row);
    EXPECT_EQ(v.SerialType, c.type) << c.row.first << "-" << c.row.last;
    EXPECT_EQ(v.SerialWidth, c.width) << c.row.first << "-" << c.row.last;
    EXPECT_EQ(v.SerialFirst, c.first) << c.row.first << "-" << c.row.last;
    EXPECT_EQ(v.SerialLast, c.last) << c.row.first << "-" << c.row.last;
  }
}

TEST_F(DecodeTest, NoSerialKeepsThePreviousRange) {
  SegmentValues v = Reload({.serial_type_text = "序号0-999", .first = "3", .last = "8"});
  Put({.serial_type_text = "未知类型", .first = "50", .last = "60"});
  ReloadWorkingValues(table_, v);
  EXPECT_EQ(v.SerialType, 0);
  EXPECT_EQ(v.SerialWidth, 0);
  EXPECT_EQ(v.SerialFirst, 3);
  EXPECT_EQ(v.SerialLast, 8);
}

TEST_F(DecodeTest, EditingLengthIsTheLimitAndPrintingLengthIsCalibrated) {
  struct Case {
    int length_mm;
    uint8_t material;
    Calibration cal;
    int32_t editing, printing;
  };
  const Case cases[] = {
      {0, 5, {}, 1100, 0},
      {25, 2, {.LabelCalibration = 118, .TubeCalibration = 100}, 275, 295},
      {25, 2, {.LabelCalibration = 117, .TubeCalibration = 100}, 275, 292},  // 292.5 toward zero
      {25, 4, {.LabelCalibration = 117, .TubeCalibration = 100}, 275, 250},  // tubes
      {25, 3, {.LabelCalibration = 117, .TubeCalibration = 100}, 275, 292},
      {-3, 1, {.LabelCalibration = 117, .TubeCalibration = 100}, -33, -35},  // toward zero
      {200, 7, {.LabelCalibration = 117, .TubeCalibration = 255}, 2200, 5100},  // not range-checked
      // What a damaged file may store stays far from overflow in the layout's sums.
      {INT32_MIN, 1, {.LabelCalibration = 117, .TubeCalibration = 100}, INT32_MIN, -(1 << 24)},
      {INT32_MAX, 1, {.LabelCalibration = 255, .TubeCalibration = 100}, INT32_MAX, 1 << 24},
  };
  for (const Case& c : cases) {
    SegmentValues v = Reload({.length_mm = c.length_mm, .rep = 3});
    EXPECT_EQ(v.LengthDots, c.editing) << c.length_mm;
    EXPECT_EQ(v.RepeatCount, 3);
    table_.Store();
    DecodePrintValues(table_, c.material, c.cal, v);
    EXPECT_EQ(v.LengthDots, c.printing) << c.length_mm << " on material " << int(c.material);
    EXPECT_FALSE(table_.InEditMode());  // the printing decode does not edit the row
  }
}

TEST_F(DecodeTest, PrintingDecodeNumbersTheRowByItsPositionLowByte) {
  for (int i = 0; i < 258; ++i) Put({});
  SegmentValues v;
  const std::pair<int, uint8_t> cases[] = {{1, 1}, {255, 255}, {256, 0}, {258, 2}};
  for (auto [position, expected] : cases) {
    table_.First();
    for (int i = 1; i < position; ++i) table_.Next();
    DecodePrintValues(table_, 5, {}, v);
    EXPECT_EQ(v.RowNumber, expected) << position;
  }
}

TEST(NewDocument, StartsWithOneUnstoredDefaultSegment) {
  testing::TempDir dir;
  const auto path = dir / "TL.$$$";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");  // a stale file of that name is replaced
    std::fputs("stale", f);
    std::fclose(f);
  }
  DocumentState doc(std::make_unique<SqliteRowStore>());
  doc.file_state.DocPath = "/somewhere/old.kel";
  doc.file_state.HasFile = doc.file_state.DocModified = doc.file_state.UserEditing = doc.file_state.DocBusy = true;
  doc.file_state.ActiveLine = 1;
  doc.settings = {.material_index = 0, .cut_index = 2, .alignment_index = 1, .spacing_index = 9, .density_index = 6,
                  .font_face = "宋体", .bold = true, .editor_bold = true};
  doc.values.SerialType = 3;
  doc.values.SerialWidth = 1;

  NewDocument(doc, path);

  SegmentTable& t = doc.table;
  EXPECT_EQ(t.RowCount(), 1);
  EXPECT_TRUE(t.CurrentIsNew());
  EXPECT_TRUE(t.InEditMode());
  EXPECT_TRUE(t.IsNull(kNumberColumn));
  EXPECT_EQ(t.Text(kUpperLineColumn), "");
  EXPECT_EQ(t.Text(kLowerLineColumn), "");
  EXPECT_EQ(t.Int(kLengthColumn), 25);
  EXPECT_EQ(t.Int(kRepeatColumn), 1);
  EXPECT_EQ(gbk::ToUtf8(t.Text(kSizeColumn)), "4 号");
  EXPECT_EQ(gbk::ToUtf8(t.Text(kOrientationColumn)), "横向");
  EXPECT_EQ(gbk::ToUtf8(t.Text(kDecorationColumn)), "取消修饰");
  EXPECT_EQ(gbk::ToUtf8(t.Text(kSerialTypeColumn)), "无序号");
  EXPECT_EQ(t.Int(kUpperLengthColumn), 48);
  EXPECT_EQ(t.Int(kLowerLengthColumn), 0);
  EXPECT_EQ(SqliteRowStore::StoredRowCount(path), 0);  // not stored yet

  EXPECT_EQ(doc.values.LengthDots, 275);
  EXPECT_EQ(doc.values.SizeCode, 4);
  EXPECT_EQ(doc.values.RepeatCount, 1);
  EXPECT_EQ(doc.values.SerialType, 0);
  EXPECT_EQ(doc.values.SerialWidth, 0);

  EXPECT_EQ(doc.settings.material_index, 4);
  EXPECT_EQ(doc.settings.cut_index, 1);
  EXPECT_EQ(doc.settings.alignment_index, 0);
  EXPECT_EQ(doc.settings.spacing_index, 3);
  EXPECT_EQ(doc.settings.density_index, 6);           // density is not part of a Document
  EXPECT_EQ(doc.settings.font_face, "宋体");    // the editors' face stays
  EXPECT_TRUE(doc.settings.bold);          // the switch keeps its state...
  EXPECT_FALSE(doc.settings.editor_bold);  // ...the editors' font loses bold

  const DocumentFileState& p = doc.file_state;
  EXPECT_EQ(p.MaterialCode, 5);
  EXPECT_EQ(p.CutCode, 1);
  EXPECT_EQ(p.AlignCode, 0);
  EXPECT_EQ(p.CharSpacing, 4);
  EXPECT_EQ(p.TempPath, path);
  EXPECT_TRUE(p.DocPath.empty());
  EXPECT_FALSE(p.HasFile || p.DocModified || p.UserEditing || p.DocBusy);
  EXPECT_EQ(p.ActiveLine, 0);

  // The decode agrees with the values NewDocument set directly.
  SegmentValues decoded;
  ReloadWorkingValues(t, decoded);
  EXPECT_EQ(decoded.LengthDots, doc.values.LengthDots);
  EXPECT_EQ(decoded.SizeCode, doc.values.SizeCode);
}

TEST(DocumentSettings, ReadFromTheSelectors) {
  DocumentFileState p;
  ReadDocumentSettings({.material_index = 6, .cut_index = 2, .alignment_index = 1, .spacing_index = 19}, p);
  EXPECT_EQ(p.MaterialCode, 7);
  EXPECT_EQ(p.CutCode, 2);
  EXPECT_EQ(p.AlignCode, 1);
  EXPECT_EQ(p.CharSpacing, 20);
  EXPECT_EQ(MaterialItems()[4], "套管 4.0平方");
  EXPECT_EQ(MaterialItems().size(), 7u);
  EXPECT_EQ(SpacingItems().size(), 20u);
  EXPECT_EQ(DensityItems().size(), 7u);
  EXPECT_TRUE(IsLabelMaterial(3));
  EXPECT_FALSE(IsLabelMaterial(4));
}

TEST(Numbering, StoreNumberedAndRenumberToEnd) {
  SegmentTable t(std::make_unique<MemoryRowStore>());
  t.Create();
  t.Open();
  for (int i = 0; i < 4; ++i) {
    t.Append();
    t.SetText(kUpperLineColumn, std::to_string(i));
  }
  StoreNumbered(t);
  EXPECT_EQ(t.Int(kNumberColumn), 4);
  EXPECT_FALSE(t.CurrentIsNew());

  t.First();
  t.Insert();  // numbers after the insert point are stale until renumbered
  t.SetText(kUpperLineColumn, "new");
  t.Store();
  RenumberToEnd(t);
  EXPECT_TRUE(t.Eof());
  std::vector<int64_t> nums;
  for (t.First(); !t.Eof(); t.Next()) nums.push_back(t.Int(kNumberColumn));
  EXPECT_EQ(nums, (std::vector<int64_t>{1, 2, 3, 4, 5}));
}

// A document file never holds more than kMaxSegments Segments: a working table of more is
// not written (the old file stays), though one whose extra rows are empty is, when only the
// rows with an upper line go into the file.
TEST(DocumentFileLimit, MoreSegmentsThanADocumentHoldsAreNotWritten) {
  testing::TempDir dir;
  SegmentTable t(std::make_unique<MemoryRowStore>());
  t.Create();
  t.Open();
  {
    SegmentTable::Batch batch(t);
    for (int n = 1; n <= kMaxSegments + 1; ++n) {
      t.Append();
      t.SetInt(kNumberColumn, n);
      t.SetText(kUpperLineColumn, n == 2 ? "" : "S" + std::to_string(n));
      t.Store();
    }
    batch.Commit();
  }
  const std::filesystem::path file = dir / "doc.kel";
  const DocumentSettings settings;
  try {
    WriteDocumentFile(t, settings, file, DocumentRows::kAll);
    ADD_FAILURE() << "written";
  } catch (const TooManySegmentsError& e) {
    EXPECT_EQ(e.segments(), kMaxSegments + 1);
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  WriteDocumentFile(t, settings, file, DocumentRows::kWithUpperLine);
  SegmentTable back(std::make_unique<MemoryRowStore>());
  back.Bind("working table");
  DocumentSettings read;
  ASSERT_TRUE(ReadDocumentFile(file, back, read));
  EXPECT_EQ(back.RowCount(), kMaxSegments);
  EXPECT_EQ(back.TextAt(1, kUpperLineColumn), "S3");
}

}  // namespace
}  // namespace qx
