#include "layout/measure.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "layout/freetype_canvas.h"
#include "layout/sizes.h"

namespace qx {
namespace {

// A canvas that "draws" a character as a fixed set of inked pixels, so the scan rules can
// be checked on shapes chosen for the purpose.
class ScriptedCanvas : public TextCanvas {
 public:
  struct Ink {
    int x, y;
    Rgb colour;
  };
  std::map<char, std::vector<Ink>> glyphs;
  std::vector<bool> bold_requests;
  int draws = 0;

  void SelectFont(std::string_view, int, bool bold) override { bold_requests.push_back(bold); }
  void DrawText(int x, int y, std::string_view text) override {
    ++draws;
    auto it = glyphs.find(text[0]);
    if (it == glyphs.end()) return;
    const Rgb saved = text_color();
    for (const Ink& p : it->second) {
      SetTextColor(p.colour);
      Plot(x + p.x, y + p.y);
    }
    SetTextColor(saved);
  }
  std::string UsedFaceName() const override { return "scripted"; }
};

// Vertical bar of ink in columns [x0, x1) from row y0 to y1.
std::vector<ScriptedCanvas::Ink> Bar(int x0, int x1, int y0 = 2, int y1 = 10, Rgb c = kBlack) {
  std::vector<ScriptedCanvas::Ink> v;
  for (int x = x0; x < x1; ++x)
    for (int y = y0; y < y1; ++y) v.push_back({x, y, c});
  return v;
}

TEST(MeasureGlyph, ScanRules) {
  ScriptedCanvas canvas;
  canvas.glyphs['I'] = Bar(2, 5);                        // a = 2, b = 5
  canvas.glyphs['L'] = Bar(0, 7);                        // ink from column 0
  auto quote = Bar(1, 3);                                // two strokes with a gap
  for (auto p : Bar(4, 6)) quote.push_back(p);
  canvas.glyphs['"'] = quote;
  canvas.glyphs['g'] = Bar(3, 6, 0, 10, 0x808080);       // grey is not ink
  canvas.glyphs['W'] = Bar(5, 40);                       // runs past the 24-dot square
  canvas.glyphs['_'] = Bar(2, 5, 30, 40);                // ink below the 24-dot square
  canvas.glyphs[' '] = Bar(0, 3);                        // space is never scanned

  GlyphMeasurer m(canvas);
  struct Case {
    char ch;
    uint8_t code;
    int width;
  };
  const Case cases[] = {
      {'I', 1, 7},   // 2 + 5
      {'L', 1, 7},   // a = 0: the ink run alone
      {'"', 1, 4},   // 1 + 3: only the first stroke counts
      {'g', 1, 0},   {'\x01', 1, 0},  // no exact black, nothing drawn
      {'W', 1, 29},  // 5 + 24: the run reaches the last column of the 24 x 24 square
      {'W', 7, 45},  // 5 + 40 in the 96 x 96 square
      {'_', 1, 0},   {'_', 5, 7},     // below the square at 24, inside it at 64
      {' ', 0, 8},   {' ', 1, 12},  {' ', 7, 48}, {' ', 9, 12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(m.MeasureGlyphUncached(static_cast<unsigned char>(c.ch), c.code), c.width)
        << "'" << c.ch << "' at size " << int(c.code);
    EXPECT_EQ(m.MeasureGlyph(static_cast<unsigned char>(c.ch), c.code), c.width)
        << "'" << c.ch << "' at size " << int(c.code) << " (remembered)";
  }
  for (bool bold : canvas.bold_requests) EXPECT_TRUE(bold);  // always measured bold
}

TEST(MeasureGlyph, RemembersPerFaceAndSize) {
  ScriptedCanvas canvas;
  canvas.glyphs['I'] = Bar(2, 5);
  GlyphMeasurer m(canvas);
  m.MeasureGlyph('I', 1);
  m.MeasureGlyph('I', 1);
  m.MeasureGlyph('I', 8);  // another code with the same height
  EXPECT_EQ(canvas.draws, 1);
  m.MeasureGlyph('I', 2);
  EXPECT_EQ(canvas.draws, 2);
  m.SetFace("宋体");
  m.MeasureGlyph('I', 1);
  EXPECT_EQ(canvas.draws, 3);
  m.SetFace("黑体");
  m.MeasureGlyph('I', 1);
  EXPECT_EQ(canvas.draws, 3);
  m.ClearCache();
  m.MeasureGlyph('I', 1);
  EXPECT_EQ(canvas.draws, 4);
}

// The same rules on real glyphs of the document's default face.
class RealFontMeasure : public ::testing::Test {
 protected:
  FreeTypeCanvas canvas_;
  GlyphMeasurer m_{canvas_};
};

TEST_F(RealFontMeasure, SpaceIsHalfTheCellAtEverySize) {
  for (uint8_t code = 0; code <= 7; ++code)
    EXPECT_EQ(m_.MeasureGlyph(' ', code), SizeHeight(code) / 2) << int(code);
}

TEST_F(RealFontMeasure, BlankGlyphsMeasureZero) {
  for (unsigned char ch : {'\x01', '\t', '\n', '\x1F', '\x7F'})
    for (uint8_t code : {uint8_t{0}, uint8_t{4}, uint8_t{7}}) EXPECT_EQ(m_.MeasureGlyph(ch, code), 0) << int(ch);
}

TEST_F(RealFontMeasure, DoubleQuoteMeasuresOnlyItsFirstStroke) {
  // The full drawing is wider than the measured width: the second tick lies beyond the
  // gap. Checked at a size where the bold ticks stay apart.
  const uint8_t code = 7;
  const int h = SizeHeight(code);
  const int width = m_.MeasureGlyphUncached('"', code);
  int last_ink = -1;
  for (int x = 0; x < h; ++x)
    for (int y = 0; y < h; ++y)
      if (canvas_.IsBlack(x, y)) last_ink = x;
  EXPECT_GT(width, 0);
  EXPECT_LT(width, last_ink + 1);
}

TEST_F(RealFontMeasure, BoldSwitchChangesNoWidthAndRememberedWidthsMatchFreshOnes) {
  for (uint8_t code = 0; code <= 7; ++code) {
    for (int ch = 0x20; ch < 0x7F; ++ch) {
      const auto c = static_cast<unsigned char>(ch);
      const uint8_t remembered = m_.MeasureGlyph(c, code);
      ASSERT_EQ(remembered, m_.MeasureGlyphUncached(c, code)) << char(ch) << " size " << int(code);
      ASSERT_LE(remembered, 2 * SizeHeight(code));
    }
  }
  // The measurer has no notion of the bold switch at all: it always draws bold. A canvas
  // left in regular style by someone else changes nothing either.
  const uint8_t before = m_.MeasureGlyphUncached('A', 4);
  canvas_.SelectFont("黑体", 48, false);
  EXPECT_EQ(m_.MeasureGlyphUncached('A', 4), before);
}

TEST_F(RealFontMeasure, WiderCharactersMeasureWider) {
  for (uint8_t code : {uint8_t{1}, uint8_t{4}, uint8_t{7}}) {
    EXPECT_LT(m_.MeasureGlyph('i', code), m_.MeasureGlyph('W', code));
    EXPECT_LT(m_.MeasureGlyph('1', code), m_.MeasureGlyph('M', code));
    EXPECT_LT(m_.MeasureGlyph('W', 1), m_.MeasureGlyph('W', 7));
  }
}

}  // namespace
}  // namespace qx
