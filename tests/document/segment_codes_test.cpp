#include <gtest/gtest.h>

#include "document/gbk.h"
#include "document/segment.h"

namespace qx {
namespace {

struct CodeCase {
  uint8_t (*decode)(std::string_view);
  const char* text;  // UTF-8
  uint8_t code;
};

TEST(SegmentCodes, EveryCodedTextAndItsFallback) {
  const CodeCase cases[] = {
      {SizeCodeOf, "自动", 0},       {SizeCodeOf, "1 号", 1},      {SizeCodeOf, "2 号", 2},
      {SizeCodeOf, "3 号", 3},       {SizeCodeOf, "4 号", 4},      {SizeCodeOf, "5 号", 5},
      {SizeCodeOf, "6 号", 6},       {SizeCodeOf, "7 号", 7},      {SizeCodeOf, "", 1},
      {SizeCodeOf, "8 号", 1},       {SizeCodeOf, "4号", 1},       {SizeCodeOf, "4 号 ", 1},
      {OrientationCodeOf, "横向", 0}, {OrientationCodeOf, "纵向", 1}, {OrientationCodeOf, "", 1},
      {OrientationCodeOf, "横", 1},
      {DecorationCodeOf, "取消修饰", 0}, {DecorationCodeOf, "加 边 框", 1},
      {DecorationCodeOf, "加边框", 2},   {DecorationCodeOf, "加下划线", 2},
      {DecorationCodeOf, "", 2},
      {SerialTypeOf, "无序号", 0},     {SerialTypeOf, "序号0-999", 1},
      {SerialTypeOf, "序号000-999", 2}, {SerialTypeOf, "大写字母", 3},
      {SerialTypeOf, "小写字母", 4},   {SerialTypeOf, "", 0},        {SerialTypeOf, "序号", 0},
  };
  for (const CodeCase& c : cases) EXPECT_EQ(c.decode(gbk::Encode(c.text)), c.code) << c.text;
}

TEST(SegmentCodes, StoredTextsAreGbkAndFitTheirColumns) {
  struct Table {
    std::span<const CodedText> (*texts)();
    int column;
    std::string_view (*text_of)(uint8_t);
    std::size_t count;
  };
  for (const Table& t : {Table{SizeTexts, kSizeColumn, SizeText, 8},
                         Table{OrientationTexts, kOrientationColumn, OrientationText, 2},
                         Table{DecorationTexts, kDecorationColumn, DecorationText, 3},
                         Table{SerialTypeTexts, kSerialTypeColumn, SerialTypeText, 5}}) {
    ASSERT_EQ(t.texts().size(), t.count);
    for (const CodedText& e : t.texts()) {
      EXPECT_LE(e.text.size(), static_cast<std::size_t>(kColumns[t.column].max_bytes));
      EXPECT_EQ(t.text_of(e.code), e.text);
    }
  }
  EXPECT_EQ(gbk::ToUtf8(SizeText(4)), "4 号");
  EXPECT_EQ(gbk::ToUtf8(DecorationText(1)), "加 边 框");
  EXPECT_EQ(SizeText(4).size(), 4u);
}

TEST(SegmentCodes, LengthLimit) {
  EXPECT_EQ(LengthLimit(0), 1100);
  EXPECT_EQ(LengthLimit(25), 275);
  EXPECT_EQ(LengthLimit(100), 1100);
  EXPECT_EQ(LengthLimit(int64_t{1} << 40), INT32_MAX);  // a damaged file cannot overflow it
}

TEST(SegmentCodes, ColumnsInTableOrder) {
  const char* names[] = {"Num",     "Flin",  "Slin",    "PitchLen", "Zihao", "HengShu", "XiuShi",
                         "PitchRep", "XuLei", "XuFirst", "XuEnd",    "UpLen", "DnLen"};
  for (int i = 0; i < kColumnCount; ++i) EXPECT_EQ(kColumns[i].name, names[i]);
}

}  // namespace
}  // namespace qx
