#include "layout/image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "document/gbk.h"
#include "layout/freetype_canvas.h"
#include "layout/sizes.h"
#include "support/bar_canvas.h"
#include "support/image_text.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ColumnAt;
using testing::Ranges;
using testing::Runs;

const std::string kSup(gbk::kSuperscriptMark);
const std::string kSub(gbk::kSubscriptMark);
const std::string kSerial(gbk::kSerialMark);
const std::string kZhong = "\xD6\xD0";  // a double-byte character: a frame filling its cell

class CountingHooks : public RasterHooks {
 public:
  void ServiceEvents() override { ++calls; }
  int calls = 0;
};

// Items built from bar glyphs: single-byte characters are bars over rows 2..H-3 of their
// cell (A 12, B 10, C 14, 0 11, 7 9 columns at 24 dots, scaled with the cell), double-byte
// characters frames filling the cell.
class ImageTest : public ::testing::Test {
 protected:
  ImageTest() {
    for (BarCanvas* c : {&measure_canvas_, &glyph_canvas_})
      c->widths = {{'A', 12}, {'B', 10}, {'C', 14}, {'0', 11}, {'7', 9}, {'W', 40}};
    builder_.renderer().SetHooks(&hooks_);
  }

  ItemImage Build(std::string_view t1, std::string_view t2, const SegmentLayout& layout,
                  std::string_view serial = {}) {
    ItemImage img;
    const LayoutContext c{measurer_, values_, para_, serial};
    EXPECT_EQ(builder_.Build(c, layout, t1, t2, img), BuildStatus::kOk);
    EXPECT_EQ(img.columns.size(), img.ColumnCount * 12u);
    return img;
  }
  // One line at `size` with 24-dot margins.
  ItemImage One(std::string_view t, uint8_t size, std::string_view serial = {}) {
    return Build(t, "", {size, 24, 24, 0, 0}, serial);
  }
  ItemImage Two(std::string_view t1, std::string_view t2, uint8_t size) {
    return Build(t1, t2, {size, 24, 24, 24, 24});
  }
  void Style(int material, int decoration, bool vertical = false) {
    para_.MaterialCode = static_cast<uint8_t>(material);
    values_.DecorationCode = static_cast<uint8_t>(decoration);
    values_.Vertical = vertical;
  }

  BarCanvas measure_canvas_, glyph_canvas_;
  GlyphMeasurer measurer_{measure_canvas_};
  ImageBuilder builder_{glyph_canvas_, measurer_};
  CountingHooks hooks_;
  SegmentValues values_;
  DocumentFileState para_;
};

// Image row of the top of a one-line glyph: labels centre it on the head, tubes end it at
// row 87, and size 7 fills the head.
int ExpectedTop(uint8_t size, bool tube) {
  const int h = SizeHeight(size);
  if (size == 7) return 0;
  return tube ? 88 - h : 48 - h / 2;
}

TEST_F(ImageTest, OneLineTextRowsBandsAndBarsAtEverySizeAndMaterialClass) {
  for (int material : {3, 5}) {
    const bool tube = material >= 4;
    for (uint8_t size = 1; size <= 7; ++size) {
      SCOPED_TRACE(::testing::Message() << "material " << material << " size " << int(size));
      const int h = SizeHeight(size);
      const int top = ExpectedTop(size, tube), bottom = top + h - 1;
      const ColumnBits frame_side = RowMask(top, bottom);
      const ColumnBits frame_mid = RowMask(top, top) | RowMask(bottom, bottom);
      // Bands of 4 rows, 2 rows clear of the text; at size 7 at the very edges.
      const ColumnBits top_band = size == 7 ? RowMask(0, 3) : RowMask(top - 6, top - 3);
      const ColumnBits bottom_band = size == 7 ? RowMask(92, 95) : RowMask(bottom + 3, bottom + 6);

      Style(material, 0);
      ItemImage img = One(kZhong, size);
      ASSERT_EQ(img.ColumnCount, h);  // a double-byte character is exactly H wide
      EXPECT_EQ(ColumnAt(img, 0), frame_side);
      EXPECT_EQ(ColumnAt(img, 1), frame_mid);

      Style(material, 2);  // underline: the bottom band alone
      img = One(kZhong, size);
      EXPECT_EQ(ColumnAt(img, 1), frame_mid | bottom_band);

      Style(material, 1);  // border: bars, band-only columns, text with both bands
      img = One(kZhong, size);
      ASSERT_EQ(img.ColumnCount, h + 20);
      const ColumnBits bar = RowMask(size == 7 ? 0 : top - 6, size == 7 ? 95 : bottom + 6);
      for (int c : {0, 3, h + 16, h + 19}) EXPECT_EQ(ColumnAt(img, c), bar) << c;
      for (int c : {4, 9, h + 10, h + 15}) EXPECT_EQ(ColumnAt(img, c), top_band | bottom_band) << c;
      EXPECT_EQ(ColumnAt(img, 11), frame_mid | top_band | bottom_band);
    }
  }
}

// Every row table through built images: one and two lines, each size, material class and
// decoration. A change to any row shows up as a difference in this file.
TEST_F(ImageTest, RowTablesMatchTheStoredImages) {
  std::ostringstream all;
  for (int material : {3, 5}) {
    for (uint8_t size = 1; size <= 7; ++size) {
      for (int decoration : {0, 1, 2}) {
        for (int cut : {0, 2}) {
          Style(material, decoration);
          para_.CutCode = static_cast<uint8_t>(cut);
          const char* cls = material >= 4 ? "tube" : "label";
          ItemImage one = One(kZhong + "A" + kSup + "B" + kSub + kZhong, size);
          ItemImage two = Two(kZhong + "A", "B" + kZhong, size);
          all << cls << " size " << int(size) << " decoration " << decoration << " cut "
              << cut << "\n  one: " << Runs(one) << "\n  sep " << Ranges(ColumnFromBytes(one.SeparatorColumn.data()))
              << "\n  two: " << Runs(two) << "\n  sep " << Ranges(ColumnFromBytes(two.SeparatorColumn.data()))
              << "\n";
        }
      }
    }
  }
  const std::string path = std::string(QX_TEST_DATA_DIR) + "/golden/item_rows.txt";
  if (std::getenv("QX_UPDATE_GOLDEN")) {
    std::ofstream(path) << all.str();
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "missing " << path << " (create it with QX_UPDATE_GOLDEN=1)";
  std::stringstream stored;
  stored << in.rdbuf();
  std::istringstream want(stored.str()), got(all.str());
  std::string w, g;
  int line = 0;
  while (std::getline(want, w)) {
    ++line;
    ASSERT_TRUE(std::getline(got, g)) << "image rows end early at line " << line;
    ASSERT_EQ(g, w) << "line " << line << " of " << path;
  }
  EXPECT_FALSE(std::getline(got, g)) << "more image rows than stored";
}

TEST_F(ImageTest, TwoLineDecorations) {
  // Underline on two lines: one rule between the lines, 46-49 on a label (seen in the
  // spacing column after the first A).
  for (uint8_t size = 1; size <= 3; ++size) {
    Style(3, 2);
    const ItemImage img = Two("AA", "AA", size);
    EXPECT_EQ(Ranges(ColumnAt(img, measurer_.MeasureGlyph('A', size))), "46-49") << int(size);
  }
  // Border, size 2, label: top band 6-9 over the upper line, bottom band 86-89 under the
  // lower line, end bars 6-89.
  Style(3, 1);
  const ItemImage img = Two("A", "A", 2);
  EXPECT_EQ(Ranges(ColumnAt(img, 0)), "6-89");
  EXPECT_EQ(Ranges(ColumnAt(img, 4)), "6-9,86-89");
  EXPECT_EQ(Ranges(ColumnAt(img, 10)), "6-9,14-41,54-81,86-89");
}

TEST_F(ImageTest, SmallGlyphsAtSizeSeven) {
  Style(3, 0);
  const ItemImage img = One(kZhong + kSup + kZhong + kSub + kZhong, 7);
  ASSERT_EQ(img.ColumnCount, 96 + 24 + 24);
  EXPECT_EQ(Ranges(ColumnAt(img, 0)), "0-95");
  EXPECT_EQ(Ranges(ColumnAt(img, 96)), "8-31");   // superscript, touching the character
  EXPECT_EQ(Ranges(ColumnAt(img, 120)), "64-87");  // subscript
}

TEST_F(ImageTest, BuilderCases) {
  struct Case {
    const char* what;
    uint8_t decoration;
    std::string text1, text2;
    std::string serial;
    std::string runs;
  };
  // At size 3 on a label: bars 30-65 (A 20, B 16, C 23 columns), small B 34-45 (6 columns).
  const Case cases[] = {
      {"A B with spacing", 0, "AB", "", "", "20x[30-65] 4x[-] 16x[30-65]"},
      {"A B with a border", 1, "AB", "", "",
       "4x[22-73] 6x[22-25,70-73] 20x[22-25,30-65,70-73] 4x[22-25,70-73] "
       "16x[22-25,30-65,70-73] 6x[22-25,70-73] 4x[22-73]"},
      {"superscript touches A, C gets spacing", 0, "A" + kSup + "BC", "", "",
       "20x[30-65] 6x[34-45] 4x[-] 23x[30-65]"},
      {"subscript first: C gets no spacing", 0, kSub + "BC", "", "", "6x[50-61] 23x[30-65]"},
      {"marker at the end", 0, "A" + kSup, "", "", "20x[30-65]"},
      {"serial 007", 0, "A" + kSerial, "", "007",
       "20x[30-65] 4x[-] 18x[30-65] 4x[-] 18x[30-65] 4x[-] 15x[30-65]"},
      // Without a serial the placeholder draws nothing and adds no spacing, as it is
      // measured: A starts the image.
      {"serial placeholder with no serial", 0, kSerial + "A", "", "", "20x[30-65]"},
      {"two lines: markers dropped, full size", 0, "A" + kSup + "B", "AB" + kSub, "",
       "20x[10-45,50-85] 4x[-] 16x[10-45,50-85]"},
  };
  for (const Case& c : cases) {
    Style(3, c.decoration);
    values_.SerialWidth = static_cast<uint8_t>(c.serial.size());
    const ItemImage img = Build(c.text1, c.text2, {3, 24, 24, 24, 24}, c.serial);
    EXPECT_EQ(Runs(img), c.runs) << c.what;
    EXPECT_EQ(img.LeadBlank, c.decoration == 1 ? 14 : 24) << c.what;
    EXPECT_EQ(img.TrailBlank, c.decoration == 1 ? 14 : 24) << c.what;
  }
}

// Wherever the serial placeholder stands, with or without a serial, the print measure, the
// layout and the image agree: each line's image is exactly as wide as its measure, and its
// margins and image make up the Segment's length (one dot less when centring leaves an
// odd remainder). A wide spacing makes any unmeasured gap show.
TEST_F(ImageTest, ThePlaceholderIsMeasuredLaidOutAndDrawnAlike) {
  struct Serial {
    const char* what;
    uint8_t type;
    std::string text;  // the item's serial text; D is its length
  };
  const Serial serials[] = {
      {"no serial", kNoSerial, ""},
      {"one digit", kSerialDecimal, "7"},
      {"zero-padded", kSerialDecimalPadded, "007"},
      {"capital letter", kSerialCapital, "B"},
  };
  struct Placement {
    const char* what;
    std::string text1, text2;
    bool vertical = false;
  };
  const Placement placements[] = {
      {"start", kSerial + "B", ""},
      {"middle", "A" + kSerial + "B", ""},
      {"end", "AB" + kSerial, ""},
      {"alone", kSerial, ""},
      {"twice", kSerial + kSerial, ""},
      {"before a superscript", kSerial + kSup + "B", ""},
      {"vertical, start", kSerial + "A", "", true},
      {"both lines", "A" + kSerial, kSerial + "B"},
      {"both lines, lower only", "AB", kSerial + "A"},
      {"both lines, after a dropped marker", kSup + kSerial + "A", "B" + kSerial},
      {"both lines, alone below", "A", kSerial},
  };
  const int length = 275;  // 25 mm at 11 dots per mm
  Style(3, 0);
  para_.CharSpacing = 20;
  values_.LengthDots = length;
  values_.SizeCode = 3;
  for (const uint8_t align : {0, 1}) {
    para_.AlignCode = align;
    for (const Serial& s : serials) {
      for (const Placement& p : placements) {
        SCOPED_TRACE(std::string(p.what) + ", " + s.what + (align ? ", left" : ", centred"));
        values_.SerialType = s.type;
        values_.SerialWidth = static_cast<uint8_t>(s.text.size());
        values_.Vertical = p.vertical;
        const LayoutContext c{measurer_, values_, para_, s.text};
        const bool two = !p.text2.empty();
        // A line's margins and measure make up the length.
        auto whole = [&](int lead, int w, int trail) {
          EXPECT_GE(w, 0);
          EXPECT_EQ(lead + w + trail, align == 0 ? length - (length - w) % 2 : length);
        };
        const std::optional<SegmentLayout> layout = LayoutSegment(c, p.text1, p.text2);
        ASSERT_TRUE(layout);
        const int w1 = PrintLineWidth(c, layout->PrintSize, p.text1, two);
        whole(layout->Line1Lead, w1, layout->Line1Trail);
        if (!two) {
          const ItemImage img = Build(p.text1, "", *layout, s.text);
          EXPECT_EQ(img.ColumnCount, w1);
          EXPECT_EQ(img.LeadBlank, layout->Line1Lead);
          EXPECT_EQ(img.TrailBlank, layout->Line1Trail);
          continue;
        }
        const int w2 = PrintLineWidth(c, layout->PrintSize, p.text2, two);
        whole(layout->Line2Lead, w2, layout->Line2Trail);
        // The image is as long as its lower line's run: built in both orders, each line's
        // columns are once the lower line's, and exactly as wide as it measures.
        for (const bool swapped : {false, true}) {
          SegmentLayout l = *layout;
          std::string_view upper = p.text1, lower = p.text2;
          int w = w2;
          if (swapped) {
            std::swap(l.Line1Lead, l.Line2Lead);
            std::swap(l.Line1Trail, l.Line2Trail);
            std::swap(upper, lower);
            w = w1;
          }
          const ItemImage img = Build(upper, lower, l, s.text);
          EXPECT_EQ(img.ColumnCount - (l.Line2Lead - img.LeadBlank) -
                        (l.Line2Trail - img.TrailBlank),
                    w)
              << (swapped ? "upper line" : "lower line");
        }
      }
    }
  }
}

TEST_F(ImageTest, TwoLinesMeetColumnForColumn) {
  Style(3, 0);
  // Line 1 has 6 more dots of margin in front and 4 more behind than line 2.
  const ItemImage img = Build("A", "BB", {3, 30, 28, 24, 24});
  EXPECT_EQ(img.LeadBlank, 24);
  EXPECT_EQ(img.TrailBlank, 24);
  // Lower: B 16, spacing 4, B 16 = 36 columns; upper: 6 blank, A 20, 4 blank = 30.
  EXPECT_EQ(Runs(img), "6x[50-85] 10x[10-45,50-85] 4x[10-45] 6x[10-45,50-85] 10x[50-85]");
}

TEST_F(ImageTest, SeparatorAndHeaderBytes) {
  Style(3, 0);
  para_.CutCode = 2;
  ItemImage img = Two("A", "B", 1);
  const auto header = img.HeaderBytes("Kelmor QB20");
  const std::array<uint8_t, 12> separator = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                              0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_TRUE(std::equal(separator.begin(), separator.end(), header.begin() + 6));
  EXPECT_EQ(img.LeadBlank, 22);
  EXPECT_EQ(img.TrailBlank, 22);
  Style(3, 1);
  img = Two("A", "B", 1);
  EXPECT_EQ(img.LeadBlank, 12);
  EXPECT_EQ(img.TrailBlank, 12);

  // The header fields of the first-generation printer go high byte first.
  ItemImage h;
  h.LeadBlank = 24;
  h.TrailBlank = 0x0102;
  h.ColumnCount = 300;
  const auto qa = h.HeaderBytes("Kelmor QA11");
  const auto qb = h.HeaderBytes("Kelmor QB16i");
  EXPECT_EQ(std::vector<uint8_t>(qa.begin(), qa.begin() + 6),
            (std::vector<uint8_t>{0x00, 0x18, 0x01, 0x02, 0x01, 0x2C}));
  EXPECT_EQ(std::vector<uint8_t>(qb.begin(), qb.begin() + 6),
            (std::vector<uint8_t>{0x18, 0x00, 0x02, 0x01, 0x2C, 0x01}));

  // Without the separator cut mode the last separator pattern stays in the header.
  para_.CutCode = 1;
  Style(3, 0);
  img = One("A", 1);
  EXPECT_EQ(img.LeadBlank, 24);
  EXPECT_EQ(img.SeparatorColumn, separator);
}

TEST_F(ImageTest, VerticalCharactersAreSquareAndCentred) {
  Style(3, 0, true);
  // A at size 4 is 24 wide, centred in the 48-dot cell: glyph rows 12..35 at rows 24 + r.
  ItemImage img = One("A" + kZhong, 4);
  ASSERT_EQ(img.ColumnCount, 48 + 4 + 48);
  EXPECT_EQ(Runs(img).substr(0, 22), "2x[-] 44x[36-59] 6x[-]");
  // A character wider than its cell (40 dots at 24) is clipped to the cell.
  img = One("W", 1);
  ASSERT_EQ(img.ColumnCount, 24);
  EXPECT_EQ(Ranges(ColumnAt(img, 10)), "36-59");
  EXPECT_EQ(hooks_.calls, 0);  // vertical glyphs do not service the window
}

TEST_F(ImageTest, WindowIsServicedOncePerHorizontalGlyph) {
  Style(3, 0);
  One("AB" + kZhong, 3);
  EXPECT_EQ(hooks_.calls, 3);
}

TEST_F(ImageTest, ItemsTooLongForTheHeaderAreRefused) {
  Style(3, 0);
  ItemImage img;
  img.ColumnCount = 7;
  const LayoutContext c{measurer_, values_, para_};
  EXPECT_EQ(builder_.Build(c, {3, 70000, 70000, 0, 0}, "A", "", img), BuildStatus::kTooLong);
  EXPECT_EQ(img.ColumnCount, 7);  // left as it was

  GlyphRenderer renderer(glyph_canvas_, measurer_);
  ColumnWriter w(renderer);
  w.Reset({});
  for (int i = 0; i <= ColumnWriter::kMaxColumns; ++i) w.BlankColumn(LinePosition::kSingle);
  EXPECT_TRUE(w.overflowed());
  EXPECT_EQ(w.columns().size(), static_cast<std::size_t>(ColumnWriter::kMaxColumns));
}

// The printer's image store holds 20000 bytes: 1666 columns make an item, 1667 make one
// that will not print (its image is still built, for a preview to measure).
TEST_F(ImageTest, AnItemPastTheImageStoreIsTooLong) {
  Style(3, 0);
  para_.CharSpacing = 20;
  values_.LengthDots = 0;  // automatic length: the item is as long as its text
  values_.SizeCode = 1;
  std::string text;
  for (int i = 0; i < 37; ++i) text += kZhong;
  const LayoutContext c{measurer_, values_, para_};
  ItemImage img;
  // 37 cells of 24, "7" and "7" of 9, 38 gaps of 20.
  EXPECT_EQ(MakeItem(builder_, c, text + "77", "", img), ItemResult::kBuilt);
  EXPECT_EQ(img.ColumnCount, kImageStoreColumns);
  EXPECT_EQ(kImageStoreColumns, 1666);
  EXPECT_EQ(MakeItem(builder_, c, text + "7B", "", img), ItemResult::kTooLong);  // B is 10
  EXPECT_EQ(img.ColumnCount, 1667);
}

// A long vertical line at size 7 needs thousands of columns: far more than a fixed image
// store of 20000 bytes would hold.
TEST_F(ImageTest, LongLinesGetAllTheirColumns) {
  Style(7, 0, true);
  std::string text;
  for (int i = 0; i < 50; ++i) text += kZhong;
  const ItemImage img = One(text, 7);
  EXPECT_EQ(img.ColumnCount, 50 * 96 + 49 * 4);
  EXPECT_EQ(Ranges(ColumnAt(img, img.ColumnCount - 1)), "0-95");
}

// Real glyphs: widths in the image are exactly the measured and cell widths.
TEST(ImageRealFont, ColumnsAreTheMeasuredWidths) {
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer m(measure_canvas);
  ImageBuilder b(glyph_canvas, m);
  b.renderer().SelectFont("黑体", false);
  SegmentValues v;
  DocumentFileState p;
  p.MaterialCode = 3;
  const LayoutContext c{m, v, p};
  for (uint8_t size = 1; size <= 7; ++size) {
    ItemImage img;
    ASSERT_EQ(b.Build(c, {size, 24, 24, 0, 0}, "\"", "", img), BuildStatus::kOk);
    EXPECT_EQ(img.ColumnCount, m.MeasureGlyph('"', size)) << int(size);
    ASSERT_EQ(b.Build(c, {size, 24, 24, 0, 0}, gbk::Encode("中"), "", img), BuildStatus::kOk);
    EXPECT_EQ(img.ColumnCount, SizeHeight(size)) << int(size);
  }
}

TEST(ImageRealFont, RenderingAfreshGivesTheSameImage) {
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer m(measure_canvas);
  ImageBuilder b(glyph_canvas, m);
  SegmentValues v;
  DocumentFileState p;
  const LayoutContext c{m, v, p, "42"};
  v.SerialWidth = 2;
  const std::string text = gbk::Encode("L1-A") + kSerial + gbk::Encode("端子") + kSup + "2";
  for (bool bold : {false, true}) {
    b.renderer().SelectFont("黑体", bold);
    ItemImage cached, fresh;
    b.renderer().SetCaching(true);
    ASSERT_EQ(b.Build(c, {4, 24, 24, 0, 0}, text, "", cached), BuildStatus::kOk);
    ASSERT_EQ(b.Build(c, {4, 24, 24, 0, 0}, text, "", cached), BuildStatus::kOk);
    b.renderer().SetCaching(false);
    ASSERT_EQ(b.Build(c, {4, 24, 24, 0, 0}, text, "", fresh), BuildStatus::kOk);
    EXPECT_EQ(cached.columns, fresh.columns);
    EXPECT_GT(cached.ColumnCount, 100);
  }
}

}  // namespace
}  // namespace qx
