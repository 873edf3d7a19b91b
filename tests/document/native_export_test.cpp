#include "document/native_export.h"

#include <gtest/gtest.h>

#include "document/gbk.h"
#include "document/memory_store.h"

namespace qx {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  return std::vector<uint8_t>(v.begin(), v.end());
}

class ExportTest : public ::testing::Test {
 protected:
  ExportTest() : t_(std::make_unique<MemoryRowStore>()) {
    t_.Create();
    t_.Open();
  }
  // A Segment as a new Document has it, with the given lines.
  void Add(const std::string& upper_text, const std::string& lower_text = "") {
    t_.Append();
    FillNewSegment(t_);
    t_.SetText(kUpperLineColumn, upper_text);
    t_.SetText(kLowerLineColumn, lower_text);
    t_.Store();
  }
  void Set(int col, const char* utf8) {
    t_.Edit();
    t_.SetText(col, gbk::Encode(utf8));
    t_.Store();
  }
  std::vector<uint8_t> Export() {
    NativeFile f = BuildNativeFile(t_, settings_);
    EXPECT_TRUE(f.ok());
    EXPECT_EQ(f.text_bytes, f.bytes.size() - 42 - 8 * f.bytes.at(36));
    return std::move(f.bytes);
  }
  // Entry i and the text area of a built file.
  static std::vector<uint8_t> Entry(const std::vector<uint8_t>& f, int i) {
    return {f.begin() + 42 + 8 * i, f.begin() + 42 + 8 * i + 8};
  }
  static std::vector<uint8_t> Text(const std::vector<uint8_t>& f) {
    return {f.begin() + 42 + 8 * f[36], f.end()};
  }

  SegmentTable t_;
  DocumentSettings settings_;
};

TEST_F(ExportTest, OneSegmentIsFiftyFourBytes) {
  Add("AB");
  const std::vector<uint8_t> f = Export();
  ASSERT_EQ(f.size(), 54u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 29), "Qx series printer files v1.00");
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 29, f.begin() + 42),
            Bytes({0, 0, 0, 0x05, 0x01, 0x00, 0x03, 0x01, 0, 0, 0, 0x04, 0x00}));
  EXPECT_EQ(Entry(f, 0), Bytes({0x00, 0x00, 0x00, 0x19, 0x40, 0x00, 0x01, 0x02}));
  EXPECT_EQ(Text(f), Bytes({0x41, 0x42, 0x0A, 0x00}));
}

TEST_F(ExportTest, TwoLineEntry) {
  Add("AB", "C");
  const std::vector<uint8_t> f = Export();
  EXPECT_EQ(Entry(f, 0)[4], 0x48);
  EXPECT_EQ(Entry(f, 0)[7], 4);
  EXPECT_EQ(Text(f), Bytes({0x41, 0x42, 0x0D, 0x43, 0x0A, 0x00}));
  EXPECT_EQ(f[40], 6);
  EXPECT_EQ(f[41], 0);
}

TEST_F(ExportTest, SerialCodesAndMarkers) {
  struct Case {
    const char* serial_type_text;
    const char* first;
    const char* last;
    std::vector<uint8_t> code;
  };
  const Case cases[] = {
      {"序号0-999", "12", "300", Bytes({0x97, 0x00, 0x0C, 0x01, 0x2C, 0x97})},
      {"序号000-999", "300", "12", Bytes({0x98, 0x00, 0x0C, 0x01, 0x2C, 0x98})},
      {"大写字母", "D", "B", Bytes({0x99, 0x42, 0x44, 0x99})},
      {"小写字母", "a", "c", Bytes({0x9A, 0x61, 0x63, 0x9A})},
      {"无序号", "1", "9", {}},
  };
  for (const Case& c : cases) {
    t_.Close();
    t_.Create();
    t_.Open();
    Add("1" + std::string(gbk::kSerialMark));
    Set(kSerialTypeColumn, c.serial_type_text);
    Set(kSerialFirstColumn, c.first);
    Set(kSerialLastColumn, c.last);
    EXPECT_EQ(SerialCode(t_), std::string(c.code.begin(), c.code.end())) << c.serial_type_text;
    const std::vector<uint8_t> f = Export();
    std::vector<uint8_t> text = {0x31};
    text.insert(text.end(), c.code.begin(), c.code.end());
    text.push_back(0x0A);
    text.push_back(0x00);
    EXPECT_EQ(Text(f), text) << c.serial_type_text;
    EXPECT_EQ(Entry(f, 0)[7], 1 + c.code.size()) << c.serial_type_text;
  }
  // Markers become one byte; the test runs at every byte position.
  t_.Close();
  t_.Create();
  t_.Open();
  Add(std::string(gbk::kSuperscriptMark) + "2" + std::string(gbk::kSubscriptMark) + "x\xD6\xA8\x49");
  EXPECT_EQ(Text(Export()), Bytes({0x95, 0x32, 0x96, 0x78, 0xD6, 0x95, 0x0A, 0x00}));
}

TEST_F(ExportTest, AttributeBits) {
  struct Case {
    const char* size_text;
    const char* orientation_text;
    const char* decoration_text;
    uint8_t attr;
  };
  const Case cases[] = {
      {"7 号", "横向", "取消修饰", 0x10}, {"自动", "横向", "取消修饰", 0x00},
      {"6 号", "纵向", "加 边 框", 0x65}, {"3 号", "横向", "加下划线", 0x32},
      {"", "", "", 0x10},  // unknown texts: size 1 and nothing else (exact texts only)
  };
  for (const Case& c : cases) {
    t_.Close();
    t_.Create();
    t_.Open();
    Add("A");
    Set(kSizeColumn, c.size_text);
    Set(kOrientationColumn, c.orientation_text);
    Set(kDecorationColumn, c.decoration_text);
    EXPECT_EQ(Entry(Export(), 0)[4], c.attr) << c.size_text << c.orientation_text << c.decoration_text;
  }
}

TEST_F(ExportTest, AtMostTwoHundredSegmentsButAllNumbered) {
  for (int i = 0; i < 250; ++i) Add("S" + std::to_string(i));
  settings_ = {.material_index = 6, .cut_index = 2, .alignment_index = 1, .spacing_index = 19};
  const std::vector<uint8_t> f = Export();
  EXPECT_EQ(f[32], 7);
  EXPECT_EQ(f[33], 2);
  EXPECT_EQ(f[34], 1);
  EXPECT_EQ(f[35], 19);
  EXPECT_EQ(f[36], 200);
  EXPECT_EQ(Entry(f, 199)[2], 199);
  const std::vector<uint8_t> text = Text(f);
  EXPECT_EQ(std::string(text.end() - 6, text.end()), std::string("S199\x0A\x00", 6));
  EXPECT_EQ(t_.Position(), 201);  // the row after the last exported one
  std::vector<int64_t> nums;
  for (t_.First(); !t_.Eof(); t_.Next()) nums.push_back(t_.Int(kNumberColumn));
  EXPECT_EQ(nums.size(), 250u);
  EXPECT_EQ(nums.back(), 250);
}

// The text area's length and the Segments' offsets into it are 16-bit fields: a text area
// of 65535 bytes is written, one byte more makes no file at all rather than wrapped fields.
TEST_F(ExportTest, ATextAreaPastSixteenBitsIsRefused) {
  std::string placeholders;  // 50 placeholders: 300 bytes once written as serial codes
  for (int i = 0; i < 50; ++i) placeholders += gbk::kSerialMark;
  auto build = [&](const std::string& last_lower_text) {
    t_.Close();
    t_.Create();
    t_.Open();
    // 108 Segments of 300 + 1 + 300 + 1 bytes, then one of 300 + 1 + 216 + 1: with the
    // final zero byte 108 x 602 + 518 + 1 = 65535.
    for (int i = 0; i < 109; ++i) {
      std::string lower_text = placeholders;
      if (i == 108) lower_text = placeholders.substr(0, 2 * 36) + last_lower_text;
      Add(placeholders, lower_text);
      Set(kSerialTypeColumn, "序号0-999");
      Set(kSerialFirstColumn, "1");
      Set(kSerialLastColumn, "300");
    }
    return BuildNativeFile(t_, settings_);
  };
  const NativeFile fits = build("");
  EXPECT_TRUE(fits.ok());
  EXPECT_EQ(fits.text_bytes, 65535u);
  ASSERT_EQ(fits.bytes.size(), 42u + 8 * 109 + 65535);
  EXPECT_EQ(fits.bytes[40], 0xFF);
  EXPECT_EQ(fits.bytes[41], 0xFF);
  const std::vector<uint8_t> last_entry = Entry(fits.bytes, 108);
  EXPECT_EQ(last_entry[0] | last_entry[1] << 8, 108 * 602);

  const NativeFile over = build("x");
  EXPECT_FALSE(over.ok());
  EXPECT_EQ(over.text_bytes, 65536u);
  EXPECT_TRUE(over.bytes.empty());
}

TEST_F(ExportTest, TrailingEmptySegmentsDropButNeverTheFirst) {
  for (const char* upper_text : {"A", "", "B", "", ""}) Add(upper_text);
  t_.First();
  RenumberToEnd(t_);
  DropTrailingEmptySegments(t_);
  EXPECT_EQ(t_.RowCount(), 3);  // the empty Segment inside the list stays
  EXPECT_EQ(t_.Text(kUpperLineColumn), "B");

  t_.Close();
  t_.Create();
  t_.Open();
  Add("");
  t_.First();
  RenumberToEnd(t_);
  DropTrailingEmptySegments(t_);
  EXPECT_EQ(t_.RowCount(), 1);  // Segment 1 is never dropped

  // Segments appended after it and never stored with a number drop as well.
  Set(kUpperLineColumn, "A");
  Add("");
  Add("", "lower only");
  DropTrailingEmptySegments(t_);
  EXPECT_EQ(t_.RowCount(), 1);
  EXPECT_EQ(t_.Text(kUpperLineColumn), "A");
}

}  // namespace
}  // namespace qx
