// Typical Segments drawn with the document's default face, compared with stored drawings:
// any change to a row table, the glyph placement or the font handling shows up here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "document/gbk.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"
#include "layout/image.h"
#include "support/image_text.h"

namespace qx {
namespace {

struct SegmentCase {
  const char* name;
  const char* text1;  // UTF-8; № is the serial placeholder, ↖ / ↙ mark superscript / subscript
  const char* text2;
  uint8_t material, size, decoration, cut;
  bool vertical;
  int length;  // print length in dots, 0 automatic
  const char* serial;
};

const SegmentCase kCases[] = {
    {"wire number on a 4 mm² sleeve", "L1-A", "", 5, 4, 0, 1, false, 275, ""},
    {"terminal on a 12 mm label with a border", "X1:12", "", 3, 3, 1, 1, false, 330, ""},
    {"two lines with a rule between them", "QF1", "3x2.5", 3, 2, 2, 1, false, 0, ""},
    {"vertical Chinese on a 6 mm² sleeve", "中文", "", 6, 3, 0, 1, true, 0, ""},
    {"superscript on heat-shrink tube", "m↖2", "", 7, 5, 0, 1, false, 0, ""},
    {"padded serial with a separator line", "K№", "", 5, 3, 0, 2, false, 275, "007"},
};

std::string Draw(const SegmentCase& s, ImageBuilder& b, GlyphMeasurer& m) {
  SegmentValues v;
  v.SizeCode = s.size;
  v.Vertical = s.vertical;
  v.DecorationCode = s.decoration;
  v.LengthDots = s.length;
  v.SerialWidth = static_cast<uint8_t>(std::string_view(s.serial).size());
  DocumentFileState p;
  p.MaterialCode = s.material;
  p.CutCode = s.cut;
  const LayoutContext c{m, v, p, s.serial};
  ItemImage img;
  const std::string t1 = gbk::Encode(s.text1), t2 = gbk::Encode(s.text2);
  if (MakeItem(b, c, t1, t2, img) != ItemResult::kBuilt) return std::string("== ") + s.name + ": not built\n";
  std::ostringstream out;
  out << "== " << s.name << ": lead " << img.LeadBlank << " trail " << img.TrailBlank << " columns "
      << img.ColumnCount << " separator " << testing::Ranges(ColumnFromBytes(img.SeparatorColumn.data()))
      << "\n";
  for (int r = 0; r < kHeadDots; ++r) {
    for (int col = 0; col < img.ColumnCount; ++col)
      out << (((testing::ColumnAt(img, col) >> r) & 1) ? '#' : '.');
    out << "\n";
  }
  return out.str();
}

TEST(SegmentGolden, TypicalSegmentsMatchTheStoredDrawings) {
  if (FontResolver::Shared().Resolve("黑体", false).family != "WenQuanYi Micro Hei")
    GTEST_SKIP() << "黑体 is not drawn with WenQuanYi Micro Hei here";
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  GlyphMeasurer m(measure_canvas);
  ImageBuilder b(glyph_canvas, m);
  b.renderer().SelectFont("黑体", false);
  std::string all;
  for (const SegmentCase& s : kCases) all += Draw(s, b, m);

  const std::string path = std::string(QX_TEST_DATA_DIR) + "/golden/segments.txt";
  if (std::getenv("QX_UPDATE_GOLDEN")) {
    std::ofstream(path) << all;
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "missing " << path << " (create it with QX_UPDATE_GOLDEN=1)";
  std::stringstream stored;
  stored << in.rdbuf();
  std::istringstream want(stored.str()), got(all);
  std::string w, g, section;
  int line = 0;
  while (std::getline(want, w)) {
    ++line;
    if (w.rfind("== ", 0) == 0) section = w;
    ASSERT_TRUE(std::getline(got, g)) << "drawing ends early at line " << line;
    ASSERT_EQ(g, w) << "line " << line << " in " << section;
  }
  EXPECT_FALSE(std::getline(got, g)) << "more drawing than stored";
}

}  // namespace
}  // namespace qx
