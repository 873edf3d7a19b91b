#include "layout/freetype_canvas.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "document/gbk.h"
#include "layout/font_resolver.h"

namespace qx {
namespace {

constexpr const char* kMicroHei = "WenQuanYi Micro Hei";
constexpr const char* kUMing = "AR PL UMing CN";
constexpr const char* kLiberationSans = "Liberation Sans";

// Ink of a canvas region: bounding box and pixel count.
struct Ink {
  int left = -1, right = -1, top = -1, bottom = -1;  // inclusive; -1 when no ink
  int count = 0;
  bool empty() const { return count == 0; }
  int width() const { return empty() ? 0 : right - left + 1; }
};

Ink InkOf(const TextCanvas& c, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = c.width();
  if (y1 < 0) y1 = c.height();
  Ink ink;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!c.IsBlack(x, y)) continue;
      if (ink.count++ == 0) {
        ink.left = ink.right = x;
        ink.top = ink.bottom = y;
      }
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  return ink;
}

// Draws `utf8` in black on aqua with the cell's top-left at (x, y).
void Draw(FreeTypeCanvas& c, std::string_view face, int h, bool bold, std::string_view utf8,
          int x = 0, int y = 0) {
  c.Fill(0, 0, c.width(), c.height(), kAqua);
  c.SetTextColor(kBlack);
  c.SelectFont(face, h, bold);
  c.DrawText(x, y, gbk::Encode(utf8));
}

bool SamePixels(const TextCanvas& a, const TextCanvas& b) {
  for (int y = 0; y < a.height(); ++y)
    if (!std::equal(a.Row(y), a.Row(y) + a.width(), b.Row(y))) return false;
  return true;
}

// Whether the face file has a glyph for cp, asked of FreeType directly.
bool FaceHasChar(const FontFace& f, char32_t cp) {
  FT_Library lib;
  if (FT_Init_FreeType(&lib) != 0) return false;
  FT_Face face;
  bool has = false;
  if (FT_New_Face(lib, f.path.c_str(), f.index, &face) == 0) {
    has = FT_Get_Char_Index(face, cp) != 0;
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return has;
}

// Family name stored in the face file.
std::string FamilyOf(const FontFace& f) {
  FT_Library lib;
  if (FT_Init_FreeType(&lib) != 0) return {};
  FT_Face face;
  std::string family;
  if (FT_New_Face(lib, f.path.c_str(), f.index, &face) == 0) {
    if (face->family_name != nullptr) family = face->family_name;
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return family;
}

// The ink cut to its bounding box, as '#' and '.' rows.
std::string Shape(const TextCanvas& c) {
  const Ink ink = InkOf(c);
  std::string s;
  for (int y = ink.top; y <= ink.bottom && !ink.empty(); ++y) {
    for (int x = ink.left; x <= ink.right; ++x) s += c.IsBlack(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

// Skips the calling test when `face` is not drawn with `family` on this machine.
#define REQUIRE_FAMILY(face_name, want_bold, expected)                                      \
  do {                                                                                      \
    const FontResolution& r_ = FontResolver::Shared().Resolve(face_name, want_bold);        \
    if (r_.family != (expected))                                                            \
      GTEST_SKIP() << (face_name) << " resolves to '" << r_.family << "', this test expects " \
                   << (expected) << " (install the Debian font package)";                   \
  } while (0)

TEST(FontResolverTest, ChineseNamesResolveToStandInsThatFillTheEm) {
  struct Case {
    const char* name;
    const char* stand_in;
  };
  const Case cases[] = {{"黑体", kMicroHei}, {"SimHei", kMicroHei}, {"宋体", kUMing},
                        {"SimSun", kUMing},   {"仿宋", kUMing},      {"simhei", kMicroHei}};
  int checked = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FontResolution& regular = FontResolver::Shared().Resolve(c.name, false);
    if (regular.family != c.stand_in) continue;  // that font is not installed here
    ++checked;
    EXPECT_FALSE(regular.exact);
    EXPECT_EQ(regular.sizing, FontSizing::kEmFilling);
    EXPECT_FALSE(regular.synthesize_bold);

    // SimHei and SimSun have no bold face: bold always widens the regular stand-in.
    const FontResolution& bold = FontResolver::Shared().Resolve(c.name, true);
    ASSERT_TRUE(bold.ok());
    EXPECT_EQ(bold.family, c.stand_in);
    EXPECT_EQ(bold.faces.front().path, regular.faces.front().path);
    EXPECT_TRUE(bold.synthesize_bold);
    for (const FontFace& f : bold.faces) EXPECT_TRUE(f.synthesize_bold) << f.path;
  }
  if (checked == 0) GTEST_SKIP() << "neither " << kMicroHei << " nor " << kUMing << " installed";

  FreeTypeCanvas canvas;
  canvas.SelectFont("黑体", 24, false);
  if (FontResolver::Shared().Resolve("黑体", false).family == kMicroHei) {
    EXPECT_EQ(canvas.UsedFaceName(), kMicroHei);
  }
}

// Microsoft YaHei is not em-sized on Windows: its stand-in keeps the Windows sizing rule.
TEST(FontResolverTest, YaHeiStandInKeepsGdiSizing) {
  for (const char* name : {"微软雅黑", "Microsoft YaHei"}) {
    const FontResolution& r = FontResolver::Shared().Resolve(name, false);
    if (r.family != kMicroHei) GTEST_SKIP() << kMicroHei << " not installed";
    EXPECT_FALSE(r.exact);
    EXPECT_EQ(r.sizing, FontSizing::kGdi) << name;
  }
}

TEST(FontResolverTest, InstalledFamiliesResolveExactlyWithGdiSizing) {
  REQUIRE_FAMILY(kLiberationSans, false, kLiberationSans);
  // Family names compare ignoring ASCII case and spaces, as fontconfig compares them.
  for (const char* name : {"Liberation Sans", "liberation sans", "LiberationSans"}) {
    SCOPED_TRACE(name);
    const FontResolution& r = FontResolver::Shared().Resolve(name, false);
    EXPECT_TRUE(r.exact);
    EXPECT_EQ(r.family, kLiberationSans);
    EXPECT_EQ(r.sizing, FontSizing::kGdi);
  }
  // A real bold face is used as it is.
  const FontResolution& bold = FontResolver::Shared().Resolve(kLiberationSans, true);
  ASSERT_TRUE(bold.ok());
  EXPECT_NE(bold.faces.front().path.find("Bold"), std::string::npos) << bold.faces.front().path;
  EXPECT_FALSE(bold.synthesize_bold);

  // Arial gets its metric-compatible stand-in, still sized the GDI way.
  const FontResolution& arial = FontResolver::Shared().Resolve("Arial", false);
  if (arial.family == kLiberationSans) {
    EXPECT_FALSE(arial.exact);
    EXPECT_EQ(arial.sizing, FontSizing::kGdi);
  }
}

TEST(FontResolverTest, LocalizedFamilyNameIsExactAndWidenedWhenBold) {
  REQUIRE_FAMILY("文泉驿微米黑", false, "文泉驿微米黑");
  const FontResolution& r = FontResolver::Shared().Resolve("文泉驿微米黑", true);
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(r.sizing, FontSizing::kGdi);
  // Micro Hei only has a regular (400) face: 300 short of bold, so it is widened.
  EXPECT_TRUE(r.synthesize_bold);
}

TEST(FontResolverTest, InstalledFaceNamesOfferChineseNames) {
  const std::vector<std::string> names = FontResolver::Shared().InstalledFaceNames();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "黑体");
  EXPECT_EQ(names[1], "宋体");
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size())
      << "duplicate names";
  if (std::find(names.begin(), names.end(), kMicroHei) == names.end())
    GTEST_SKIP() << kMicroHei << " not installed";
  EXPECT_NE(std::find(names.begin(), names.end(), "文泉驿微米黑"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "文泉驛微米黑"), names.end())
      << "traditional-Chinese names are left out";
}

TEST(FreeTypeCanvasTest, SizingFollowsTheGdiRuleOrFillsTheEm) {
  struct Case {
    const char* face;
    const char* family;
    int h, ppem, baseline;
  };
  // GDI rule worked by hand from the fonts' OS/2 tables: Liberation Sans upem 2048,
  // win 1854 + 434; Micro Hei upem 2048, win 1918 + 483. Em-filling: ppem H,
  // baseline round(H * 220 / 256).
  const Case cases[] = {
      {kLiberationSans, kLiberationSans, 16, 14, 13}, {kLiberationSans, kLiberationSans, 24, 21, 19},
      {kLiberationSans, kLiberationSans, 48, 43, 39}, {kLiberationSans, kLiberationSans, 96, 86, 78},
      {kMicroHei, kMicroHei, 16, 14, 13},             {kMicroHei, kMicroHei, 24, 20, 19},
      {kMicroHei, kMicroHei, 32, 27, 25},             {kMicroHei, kMicroHei, 96, 82, 77},
      {"黑体", kMicroHei, 16, 16, 14},                {"黑体", kMicroHei, 24, 24, 21},
      {"黑体", kMicroHei, 40, 40, 34},                {"黑体", kMicroHei, 80, 80, 69},
      {"宋体", kUMing, 96, 96, 83},
  };
  FreeTypeCanvas canvas;
  int checked = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.face << " H=" << c.h);
    if (FontResolver::Shared().Resolve(c.face, false).family != c.family) continue;
    ++checked;
    canvas.SelectFont(c.face, c.h, false);
    EXPECT_EQ(canvas.ppem(), c.ppem);
    EXPECT_EQ(canvas.baseline(), c.baseline);
  }
  if (checked == 0) GTEST_SKIP() << "none of the expected fonts installed";
}

TEST(FreeTypeCanvasTest, ChineseStandInFillsTheCell) {
  REQUIRE_FAMILY("黑体", false, kMicroHei);
  REQUIRE_FAMILY(kMicroHei, false, kMicroHei);
  // Ink width of 中: em-filled 黑体 against the same face sized by the GDI rule.
  struct Case {
    int h, em_width, gdi_width;
  };
  const Case cases[] = {{16, 12, 11}, {24, 18, 16}, {48, 38, 33}, {96, 76, 64}};
  FreeTypeCanvas canvas;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "H=" << c.h);
    Draw(canvas, "黑体", c.h, false, "中");
    const Ink em = InkOf(canvas);
    Draw(canvas, kMicroHei, c.h, false, "中");
    const Ink gdi = InkOf(canvas);
    EXPECT_EQ(em.width(), c.em_width);
    EXPECT_EQ(gdi.width(), c.gdi_width);
    EXPECT_LE(em.right, c.h - 1);
    EXPECT_LE(em.bottom, c.h - 1);
  }
}

TEST(FreeTypeCanvasTest, InkStaysInsideTheCellRows) {
  // Box drawing, integrals and accented capitals reach beyond the em-filled cell in the
  // stand-ins; they must be cut at the cell's edges, not drawn over the neighbours.
  const char* const faces[] = {"黑体", "宋体", kLiberationSans};
  const char* const text = "╚╔∫∑Ёg中j";
  const int y = 20;
  FreeTypeCanvas canvas(400, 160);
  bool touched_edge = false;
  for (const char* face : faces) {
    for (int h : {16, 24, 48, 96}) {
      for (bool bold : {false, true}) {
        SCOPED_TRACE(testing::Message() << face << " H=" << h << " bold=" << bold);
        Draw(canvas, face, h, bold, text, 3, y);
        const Ink ink = InkOf(canvas);
        ASSERT_FALSE(ink.empty());
        EXPECT_GE(ink.top, y);
        EXPECT_LT(ink.bottom, y + h);
        touched_edge |= ink.top == y || ink.bottom == y + h - 1;
      }
    }
  }
  EXPECT_TRUE(touched_edge) << "no glyph reached the cell edge: clipping went untested";
}

TEST(FreeTypeCanvasTest, SymbolsAFaceLeavesEmptyComeFromTheNextFace) {
  // WenQuanYi Micro Hei (黑体's stand-in) has an empty glyph for ℃; the marker must still
  // show it. Every symbol here must leave ink in both document faces.
  FreeTypeCanvas canvas;
  for (const char* face : {"黑体", "宋体"}) {
    for (const char* symbol : {"℃", "°", "±", "Ω", "‰", "→", "§", "①"}) {
      canvas.Fill(0, 0, canvas.width(), canvas.height(), kAqua);
      canvas.SetTextColor(kBlack);
      canvas.SelectFont(face, 48, false);
      canvas.DrawText(0, 0, gbk::Encode(symbol));
      int ink = 0;
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) ink += canvas.Pixel(x, y) == kBlack;
      EXPECT_GT(ink, 20) << face << " " << symbol;
    }
  }
}

TEST(FreeTypeCanvasTest, InkIsExactlyTheTextColour) {
  FreeTypeCanvas canvas;
  for (Rgb colour : {kBlack, Rgb{0xFF0000}}) {
    canvas.Fill(0, 0, canvas.width(), canvas.height(), kAqua);
    canvas.SetTextColor(colour);
    canvas.SelectFont("黑体", 48, true);
    canvas.DrawText(0, 0, gbk::Encode("中A"));
    int ink = 0;
    for (int y = 0; y < canvas.height(); ++y) {
      for (int x = 0; x < canvas.width(); ++x) {
        const Rgb p = canvas.Pixel(x, y);
        ASSERT_TRUE(p == kAqua || p == colour) << std::hex << p << " at " << x << "," << y;
        ink += p == colour;
      }
    }
    EXPECT_GT(ink, 100);
  }
}

TEST(FreeTypeCanvasTest, PenAdvancesByTheRoundedAdvancePlusOneForSyntheticBold) {
  REQUIRE_FAMILY(kLiberationSans, false, kLiberationSans);
  REQUIRE_FAMILY("黑体", true, kMicroHei);
  // "AA" must equal "A" drawn twice, the second time one advance further right.
  auto advance_of_a = [](std::string_view face, int h, bool bold) {
    FreeTypeCanvas pair(200, 100), twice(200, 100);
    Draw(pair, face, h, bold, "AA");
    for (int d = 1; d < 100; ++d) {
      Draw(twice, face, h, bold, "A");
      twice.DrawText(d, 0, "A");
      if (SamePixels(pair, twice)) return d;
    }
    return -1;
  };
  // Liberation Sans 'A' is 1366 units of 2048: 14.0 px at ppem 21 (H=24).
  EXPECT_EQ(advance_of_a(kLiberationSans, 24, false), 14);
  const int regular = advance_of_a("黑体", 24, false);
  ASSERT_GT(regular, 0);
  EXPECT_EQ(advance_of_a("黑体", 24, true), regular + 1);
}

TEST(FreeTypeCanvasTest, SyntheticBoldWidensStemsButKeepsRows) {
  REQUIRE_FAMILY("黑体", true, kMicroHei);
  FreeTypeCanvas canvas;
  for (int h : {16, 24, 48, 96}) {
    SCOPED_TRACE(testing::Message() << "H=" << h);
    Draw(canvas, "黑体", h, false, "中");
    const Ink regular = InkOf(canvas);
    Draw(canvas, "黑体", h, true, "中");
    const Ink bold = InkOf(canvas);
    EXPECT_EQ(bold.top, regular.top);
    EXPECT_EQ(bold.bottom, regular.bottom);
    EXPECT_GE(bold.width(), regular.width() + 1);
    EXPECT_LE(bold.width(), regular.width() + std::max(2, h / 24 + 1));
    EXPECT_GT(bold.count, regular.count);
  }
}

TEST(FreeTypeCanvasTest, CharacterMissingFromThePrimaryFaceComesFromTheNext) {
  struct Case {
    const char* face;
    const char* utf8;
    char32_t cp;
  };
  // ☉ is GBK A891; WenQuanYi Micro Hei has no glyph for it. 刏 is a GBK extension
  // ideograph that AR PL UMing lacks.
  const Case cases[] = {{"黑体", "☉", 0x2609}, {"宋体", "刏", 0x520F}};
  const int h = 24;
  FreeTypeCanvas canvas, direct;
  int checked = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    const FontResolution& r = FontResolver::Shared().Resolve(c.face, false);
    if (!r.ok() || FaceHasChar(r.faces.front(), c.cp)) continue;  // nothing to fall back from
    auto next = std::find_if(r.faces.begin(), r.faces.end(),
                             [&](const FontFace& f) { return FaceHasChar(f, c.cp); });
    ASSERT_NE(next, r.faces.end()) << "no face has the character";
    const std::string family = FamilyOf(*next);
    ASSERT_FALSE(family.empty());
    Draw(canvas, c.face, h, false, c.utf8);
    const Ink ink = InkOf(canvas);
    ASSERT_FALSE(ink.empty());
    EXPECT_LT(ink.bottom, h);

    // The same glyph drawn from the fallback face by name, at the cell height that gives
    // it the same pixel size, has the same shape and the same left edge.
    bool compared = false;
    for (int cell = h / 2; cell <= 2 * h && !compared; ++cell) {
      direct.SelectFont(family, cell, false);
      if (direct.resolution()->faces.front().path != next->path || direct.ppem() != canvas.ppem())
        continue;
      Draw(direct, family, cell, false, c.utf8);
      EXPECT_EQ(Shape(direct), Shape(canvas));
      EXPECT_EQ(InkOf(direct).left, ink.left);
      compared = true;
    }
    EXPECT_TRUE(compared) << "no cell height draws " << family << " at ppem " << canvas.ppem();
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "every primary face here has the test characters";
}

TEST(FreeTypeCanvasTest, BytesThatAreNotGbkDrawNothingAndDoNotAdvance) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string same_as;  // valid text that must give the same picture
  };
  // Any byte of 0x80 or above starts a two-byte character, whatever follows it.
  const Case cases[] = {
      {"0xFF alone", "\xFF", ""},
      {"lead byte at the end", "AB\x81", "AB"},
      {"0xFF takes the next byte as its pair", "A\xFF" "BC", "AC"},
      {"trail byte below 0x40", "A\x81\x30" "B", "AB"},
      {"user-defined area", "A\xAA\xA1" "B", "AB"},
      {"GB18030-only code", "A\xA6\xD9" "B", "AB"},
  };
  FreeTypeCanvas canvas(200, 60), reference(200, 60);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    canvas.Fill(0, 0, 200, 60, kAqua);
    canvas.SelectFont("黑体", 24, true);
    canvas.DrawText(0, 0, c.bytes);
    Draw(reference, "黑体", 24, true, c.same_as);
    EXPECT_TRUE(SamePixels(canvas, reference));
    EXPECT_EQ(InkOf(canvas).empty(), c.same_as.empty());
  }
}

TEST(FreeTypeCanvasTest, FontsThatCannotBeFoundOrOpenedDrawNothing) {
  // A configuration with no fonts at all: nothing resolves.
  FcConfig* empty = FcConfigCreate();
  ASSERT_NE(empty, nullptr);
  {
    FontResolver resolver(empty);
    FreeTypeCanvas canvas(resolver, 96, 96);
    canvas.SelectFont("黑体", 24, true);
    canvas.DrawText(0, 0, gbk::Encode("中A"));
    EXPECT_TRUE(InkOf(canvas).empty());
    EXPECT_EQ(canvas.UsedFaceName(), "");
    EXPECT_FALSE(resolver.Resolve("黑体", true).ok());
  }
  FcConfigDestroy(empty);

  // A font that fontconfig knows but whose file has gone.
  const FontResolution& lib = FontResolver::Shared().Resolve(kLiberationSans, false);
  if (!lib.ok()) GTEST_SKIP() << "no font to copy";
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(testing::TempDir()) / "qx_vanished_font";
  fs::create_directories(dir);
  const fs::path copy = dir / "Vanished.ttf";
  fs::copy_file(lib.faces.front().path, copy, fs::copy_options::overwrite_existing);
  FcConfig* config = FcConfigCreate();
  ASSERT_TRUE(FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(copy.c_str())));
  fs::remove(copy);
  {
    FontResolver resolver(config);
    const FontResolution& r = resolver.Resolve(lib.family, false);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.faces.front().path, copy.string());
    FreeTypeCanvas canvas(resolver, 96, 96);
    canvas.SelectFont(lib.family, 24, false);
    canvas.DrawText(0, 0, "A");
    EXPECT_TRUE(InkOf(canvas).empty());
    EXPECT_EQ(canvas.UsedFaceName(), "");
  }
  FcConfigDestroy(config);
  fs::remove_all(dir);
}

TEST(FreeTypeCanvasTest, CachedGlyphsDrawExactlyAsFreshOnes) {
  const std::string text = gbk::Encode("中A\"1№☉刏gW ↖");
  FreeTypeCanvas cached(400, 100), fresh(400, 100);
  fresh.SetGlyphCacheEnabled(false);
  for (const char* face : {"黑体", "宋体", kLiberationSans}) {
    for (int h : {16, 24, 48, 96}) {
      for (bool bold : {false, true}) {
        SCOPED_TRACE(testing::Message() << face << " H=" << h << " bold=" << bold);
        // Twice through the cache (the second time every glyph is a hit), once afresh,
        // at an offset that puts ink off both the left and the bottom edge.
        for (int pass = 0; pass < 2; ++pass) {
          cached.Fill(0, 0, 400, 100, kAqua);
          cached.SelectFont(face, h, bold);
          cached.DrawText(-3, 100 - h / 2, text);
        }
        fresh.Fill(0, 0, 400, 100, kAqua);
        fresh.SelectFont(face, h, bold);
        fresh.DrawText(-3, 100 - h / 2, text);
        EXPECT_TRUE(SamePixels(cached, fresh));
        EXPECT_FALSE(InkOf(fresh).empty());
      }
    }
  }
}

TEST(FontResolverTest, TheInstalledAliasFileIsTheBuiltInTable) {
  // data/fonts/qx-font-aliases.conf is installed with the program; it must say what the
  // built-in table says (QX_UPDATE_GOLDEN=1 rewrites it).
  const std::filesystem::path file =
      std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "fonts" / "qx-font-aliases.conf";
  if (std::getenv("QX_UPDATE_GOLDEN")) std::ofstream(file, std::ios::binary) << FontResolver::AliasXml();
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, FontResolver::AliasXml());
  // A resolver reading the file finds the same stand-ins.
  FontResolver::SetAliasFile(file);
  FcConfig* config = FcInitLoadConfigAndFonts();
  {
    FontResolver from_file(config);
    EXPECT_EQ(from_file.Resolve("黑体", false).family, FontResolver::Shared().Resolve("黑体", false).family);
  }
  FcConfigDestroy(config);
  FontResolver::SetAliasFile({});
}

}  // namespace
}  // namespace qx
