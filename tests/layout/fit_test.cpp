#include "layout/fit.h"

#include <gtest/gtest.h>

#include "document/gbk.h"
#include "support/bar_canvas.h"
#include "document/memory_store.h"

namespace qx {
namespace {

using testing::BarCanvas;

const std::string kSup(gbk::kSuperscriptMark);
const std::string kSub(gbk::kSubscriptMark);
const std::string kSerial(gbk::kSerialMark);
const std::string kZhong = "\xD6\xD0";  // 中

class FitTest : public ::testing::Test {
 protected:
  FitTest() : measurer_(canvas_) {
    canvas_.widths = {{'A', 12}, {'B', 10}, {'0', 11}, {'7', 9}, {'p', 22}, {'q', 18},
                      {'r', 17}, {'s', 21}, {'t', 23}, {'w', 21}, {'x', 22}};
  }
  LayoutContext Context(std::string_view serial_text = {}) {
    return {measurer_, values_, para_, serial_text};
  }
  BarCanvas canvas_;
  GlyphMeasurer measurer_;
  SegmentValues values_;
  DocumentFileState para_;
};

TEST_F(FitTest, LineLengthWhileEditing) {
  // Flags: V vertical, T two lines.
  struct Case {
    const char* what;
    std::string text;
    uint8_t size;
    int expected;
    const char* flags = "";
    int d = 0;
    uint8_t spacing = 4;
  };
  const Case cases[] = {
      {"empty line", "", 4, 44},
      {"empty line, spacing 10", "", 4, 38, "", 0, 10},
      {"two characters", "AB", 3, 20 + 4 + 16 + 48},
      {"automatic measures at size 1", "AB", 0, 12 + 4 + 10 + 48},
      {"automatic: marked char full size", "A" + kSup + "B", 0, 12 + 4 + 10 + 48},
      {"size 1: marked char full size", "A" + kSub + "B", 1, 12 + 4 + 10 + 48},
      {"size 2: small at code 0, no gap", "A" + kSup + "B", 2, 16 + 6 + 48},
      {"size 3: small double-byte is 16", "A" + kSup + kZhong, 3, 20 + 16 + 48},
      {"size 4: small at code 1", "A" + kSub + "B", 4, 24 + 10 + 48},
      {"size 7: small double-byte is 24", "A" + kSup + kZhong, 7, 48 + 24 + 48},
      {"small glyph then ordinary", "A" + kSup + "BA", 4, 24 + 10 + 4 + 24 + 48},
      {"marker at the end", "A" + kSup, 4, 24 + 48},
      {"vertical: marker nothing, cells H", "A" + kSup + "B", 4, 48 + 4 + 48 + 48, "V"},
      {"two lines: marked char full size", "A" + kSup + "B", 3, 20 + 4 + 16 + 48, "T"},
      {"serial D=3 horizontal", kSerial, 3, 3 * 20 + 2 * 4 + 48, "", 3},
      {"serial D=3 vertical", kSerial, 3, 3 * 40 + 2 * 4 + 48, "V", 3},
      {"serial D=0 counts nothing", "A" + kSerial, 3, 20 + 48},
      {"serial D=0 first: no gap after it", kSerial + "A", 3, 20 + 48},
      {"double-byte cells", kZhong + kZhong, 4, 48 + 4 + 48 + 48},
      {"space is half a cell", "A B", 1, 12 + 4 + 12 + 4 + 10 + 48},
  };
  for (const Case& c : cases) {
    const std::string_view flags = c.flags;
    values_.SizeCode = c.size;
    values_.Vertical = flags.find('V') != flags.npos;
    para_.CharSpacing = c.spacing;
    EXPECT_EQ(LineLength(Context(), c.text, c.d, flags.find('T') != flags.npos), c.expected)
        << c.what;
  }
}

TEST_F(FitTest, PrintWidthMeasuresTheSerialTextItPrints) {
  values_.SerialWidth = 3;
  // "007" at size 3: 18 + 18 + 15 and two gaps, where editing counts 3 x 20.
  EXPECT_EQ(PrintLineWidth(Context("007"), 3, kSerial, false), 18 + 18 + 15 + 8);
  values_.SizeCode = 3;
  EXPECT_EQ(LineLength(Context("007"), kSerial, 3, false), 60 + 8 + 48);
  // Only the first D characters count; no serial, no characters.
  values_.SerialWidth = 1;
  EXPECT_EQ(PrintLineWidth(Context("007"), 3, kSerial, false), 18);
  values_.SerialWidth = 0;
  EXPECT_EQ(PrintLineWidth(Context(""), 3, "A" + kSerial, false), 20);
  // Nothing drawn takes no spacing, wherever the placeholder stands: a line of nothing but
  // placeholders is no width at all.
  EXPECT_EQ(PrintLineWidth(Context(""), 3, kSerial + "A" + kSerial, false), 20);
  EXPECT_EQ(PrintLineWidth(Context(""), 3, kSerial + kSerial, false), 0);
  // Markers follow the print size: nothing shrinks at size 1.
  EXPECT_EQ(PrintLineWidth(Context(), 1, "A" + kSup + "B", false), 12 + 4 + 10);
  EXPECT_EQ(PrintLineWidth(Context(), 2, "A" + kSup + "B", false), 16 + 6);
}

TEST_F(FitTest, LayoutSegment) {
  struct Case {
    const char* what;
    int length;  // print length in dots, 0 automatic
    uint8_t size;
    uint8_t align;
    uint8_t material;
    std::string text1, text2;
    std::optional<SegmentLayout> expected;
  };
  // Line widths at size 1: pppp 100, qqr 61, ssst 98, wwwwwwwwxxxx 300.
  const std::string w100 = "pppp", w61 = "qqr", w98 = "ssst", w300 = "wwwwwwwwxxxx";
  const Case cases[] = {
      {"empty first line", 275, 1, 0, 5, "", "", std::nullopt},
      {"automatic length and size", 0, 0, 0, 5, "A", "", std::nullopt},
      {"automatic length, one line", 0, 1, 0, 5, w300, "", SegmentLayout{1, 24, 24, 0, 0}},
      {"automatic length 100/61 centred", 0, 1, 0, 5, w100, w61, SegmentLayout{1, 24, 24, 43, 43}},
      {"automatic length 100/61 left", 0, 1, 1, 5, w100, w61, SegmentLayout{1, 24, 24, 24, 63}},
      {"automatic length 61/100: 19.5 -> 20", 0, 1, 0, 5, w61, w100, SegmentLayout{1, 44, 44, 24, 24}},
      {"automatic length 61/98: 18.5 -> 18", 0, 1, 0, 5, w61, w98, SegmentLayout{1, 42, 42, 24, 24}},
      {"automatic length 61/100 left", 0, 1, 1, 5, w61, w100, SegmentLayout{1, 24, 63, 24, 24}},
      {"fixed 560, 300 centred", 560, 1, 0, 5, w300, "", SegmentLayout{1, 130, 130, 0, 0}},
      {"fixed 560, 300 left", 560, 1, 1, 5, w300, "", SegmentLayout{1, 24, 236, 0, 0}},
      {"fixed 561, 300 centred: one short", 561, 1, 0, 5, w300, "", SegmentLayout{1, 130, 130, 0, 0}},
      {"fixed 348 holds 300 exactly", 348, 1, 0, 5, w300, "", SegmentLayout{1, 24, 24, 0, 0}},
      {"fixed size too long", 347, 1, 0, 5, w300, "", SegmentLayout{1, 24, 24, 0, 0}},
      {"fixed size too long, left", 200, 1, 1, 5, w300, "", SegmentLayout{1, 24, 24, 0, 0}},
      {"two lines fit, centred", 200, 1, 0, 3, w100, w61, SegmentLayout{1, 50, 50, 69, 69}},
      {"two lines fit, left", 200, 1, 1, 3, w100, w61, SegmentLayout{1, 24, 76, 24, 115}},
      {"two lines too long, 98 over 61", 100, 1, 0, 3, w98, w61, SegmentLayout{1, 24, 24, 42, 42}},
      {"two lines too long, 61 under 98, left", 100, 1, 1, 3, w61, w98,
       SegmentLayout{1, 24, 61, 24, 24}},
      {"material 4, two lines, automatic size", 275, 0, 0, 4, "A", "B", std::nullopt},
      {"material 5, two lines, automatic size", 275, 0, 0, 5, "A", "B", std::nullopt},
  };
  for (const Case& c : cases) {
    values_.LengthDots = c.length;
    values_.SizeCode = c.size;
    para_.AlignCode = c.align;
    para_.MaterialCode = c.material;
    const auto got = LayoutSegment(Context(), c.text1, c.text2);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.what;
    if (!got) continue;
    EXPECT_EQ(got->PrintSize, c.expected->PrintSize) << c.what;
    EXPECT_EQ(got->Line1Lead, c.expected->Line1Lead) << c.what;
    EXPECT_EQ(got->Line1Trail, c.expected->Line1Trail) << c.what;
    EXPECT_EQ(got->Line2Lead, c.expected->Line2Lead) << c.what;
    EXPECT_EQ(got->Line2Trail, c.expected->Line2Trail) << c.what;
  }
}

TEST_F(FitTest, AutomaticSizeSearchesDownFromTheMaterialStart) {
  // "AAAA" is 60, 76, 92, 108, 140, 172, 204 dots wide at sizes 1 to 7.
  struct Case {
    uint8_t material;
    int length;
    bool two_lines;
    std::optional<uint8_t> size;
  };
  const Case cases[] = {
      {5, 1000, false, 4},             // material 5 starts at 4
      {3, 1000, false, 7},             // material 3 at 7
      {3, 150, false, 3},              // 102 dots of room: 108 at size 4 is too wide
      {6, 130, false, 2},              // from 5 down to 2
      {3, 100, false, std::nullopt},   // 52 dots of room: nothing fits
      {1, 1000, true, 2},              // two lines on material 1 start at 2
      {7, 1000, true, 2},              // material 7 starts at 2, not 3
      {3, 1000, true, 3},
  };
  for (const Case& c : cases) {
    values_.LengthDots = c.length;
    values_.SizeCode = 0;
    para_.MaterialCode = c.material;
    const auto got = LayoutSegment(Context(), "AAAA", c.two_lines ? "A" : "");
    ASSERT_EQ(got.has_value(), c.size.has_value()) << int(c.material) << " " << c.length;
    if (got) {
      EXPECT_EQ(got->PrintSize, *c.size) << int(c.material) << " " << c.length;
    }
  }
}

TEST(MaterialRules, SizeRuleAndAutomaticStart) {
  struct Case {
    uint8_t material;
    std::optional<uint8_t> one, two, start1, start2;
  };
  const Case cases[] = {
      {1, 3, std::nullopt, 3, 2}, {2, 5, 2, 5, 2}, {3, 7, 3, 7, 3},
      {4, 2, std::nullopt, 2, std::nullopt}, {5, 4, std::nullopt, 4, std::nullopt},
      {6, 5, 2, 5, 2}, {7, 7, 3, 7, 2}, {0, 7, 3, 7, std::nullopt}, {9, 7, 3, 7, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MaterialSizeRule(c.material, false), c.one) << int(c.material);
    EXPECT_EQ(MaterialSizeRule(c.material, true), c.two) << int(c.material);
    EXPECT_EQ(AutoSizeStart(c.material, false), c.start1) << int(c.material);
    EXPECT_EQ(AutoSizeStart(c.material, true), c.start2) << int(c.material);
  }
  EXPECT_TRUE(SizeAllowed(7, 7, false));  // "热缩管" allows every size
  EXPECT_TRUE(SizeAllowed(1, 0, false));  // automatic is within every limit
  EXPECT_FALSE(SizeAllowed(1, 0, true));  // but no second line on material 1
  EXPECT_FALSE(SizeAllowed(5, 5, false));
  EXPECT_TRUE(SizeAllowed(2, 2, true));
  EXPECT_FALSE(SizeAllowed(2, 3, true));
}

TEST(SerialText, DecimalPaddedAndLetters) {
  EXPECT_EQ(SerialText(kSerialDecimal, 7, 999), "7");
  EXPECT_EQ(SerialText(kSerialDecimal, 120, 999), "120");
  EXPECT_EQ(SerialText(kSerialDecimalPadded, 7, 999), "007");
  EXPECT_EQ(SerialText(kSerialDecimalPadded, 8, 10), "08");
  EXPECT_EQ(SerialText(kSerialDecimalPadded, 7, 9), "7");
  EXPECT_EQ(SerialText(kSerialCapital, 'C', 'Z'), "C");
  EXPECT_EQ(SerialText(kSerialSmall, 'a', 'c'), "a");
  EXPECT_EQ(SerialText(kNoSerial, 5, 9), "");
}

// The walking checks on a small document.
class FollowingTest : public FitTest {
 protected:
  FollowingTest() : table_(std::make_unique<MemoryRowStore>()) {
    table_.Create();
    table_.Open();
  }
  void Add(const char* upper_text, const char* lower_text, int length_mm, const char* size_text) {
    table_.Append();
    table_.SetText(kUpperLineColumn, upper_text);
    table_.SetText(kLowerLineColumn, lower_text);
    table_.SetInt(kLengthColumn, length_mm);
    table_.SetText(kSizeColumn, gbk::Encode(size_text));
    table_.SetText(kOrientationColumn, OrientationText(0));
    table_.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
    table_.Store();
  }
  SegmentTable table_;
};

TEST_F(FollowingTest, CheckFollowingRefusesALineExactlyAtTheLimit) {
  // "AB" at size 3 needs 20 + 4 + 16 + 48 = 88 dots; PitchLen 8 gives a limit of 88.
  Add("A", "", 25, "3 号");
  Add("AB", "", 8, "3 号");
  Add("A", "", 25, "3 号");
  table_.First();
  EXPECT_FALSE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kRecheck, 0, 0, 0));
  EXPECT_EQ(table_.Position(), 2);  // left on the Segment that fails

  table_.First();
  EXPECT_TRUE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kLength, 89, 0, 0));
  EXPECT_TRUE(table_.Eof());

  table_.First();  // size 2 makes "AB" 16 + 4 + 13 + 48 = 81 < 88
  EXPECT_TRUE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kSize, 0, 2, 0));
  table_.First();  // vertical: 40 + 4 + 40 + 48 = 132
  EXPECT_FALSE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kOrientation, 0, 0, 1));
  EXPECT_EQ(table_.Position(), 2);

  // The walk starts on the current row, even right after the end of the table was hit.
  table_.Last();
  table_.Next();
  ASSERT_TRUE(table_.Eof());
  EXPECT_TRUE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kRecheck, 0, 0, 0));
}

TEST_F(FollowingTest, CheckFollowingMeasuresTheSecondLine) {
  Add("A", "AB", 8, "3 号");
  table_.First();
  EXPECT_FALSE(CheckFollowing(table_, values_, measurer_, para_, FollowingChange::kRecheck, 0, 0, 0));
}

TEST_F(FollowingTest, MaterialAndSizeWalks) {
  Add("A", "", 25, "3 号");
  Add("A", "B", 25, "2 号");
  Add("A", "", 25, "5 号");
  struct Case {
    uint8_t material;
    bool ok;
    int stops_at;
  };
  for (const Case& c : {Case{7, true, 3}, Case{6, true, 3}, Case{2, true, 3}, Case{5, false, 2},
                        Case{1, false, 2}, Case{3, true, 3}, Case{4, false, 1}}) {
    table_.First();
    EXPECT_EQ(MaterialAllowed(table_, values_, c.material), c.ok) << int(c.material);
    EXPECT_EQ(table_.Position(), c.stops_at) << int(c.material);
  }
  table_.First();
  EXPECT_FALSE(SizeAllowedFollowing(table_, 2, 3));  // the two-line Segment refuses 3
  EXPECT_EQ(table_.Position(), 2);
  table_.First();
  EXPECT_TRUE(SizeAllowedFollowing(table_, 2, 2));
  table_.Last();
  EXPECT_TRUE(SizeAllowedFollowing(table_, 2, 5));  // only the last Segment is walked
}

}  // namespace
}  // namespace qx
