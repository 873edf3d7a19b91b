// Pixel-exact drawings of a few glyphs in 黑体, kept as text art in tests/golden/.
//
// Any change to sizing, baseline, synthetic bold, dropout control or clipping shows up
// here as a changed picture. After an intended change, rewrite the files with
//   QX_UPDATE_GOLDEN=1 ctest -R GlyphGolden
// and review the diff. The files hold WenQuanYi Micro Hei drawings (FreeType 2.12).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "document/gbk.h"
#include "layout/freetype_canvas.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

std::string TestDataDir() {
  if (const char* env = std::getenv("QX_TEST_DATA"); env != nullptr && *env != '\0') return env;
#ifdef QX_TEST_DATA_DIR
  return QX_TEST_DATA_DIR;
#else
  return {};
#endif
}

struct Glyph {
  const char* utf8;
  const char* label;
};
constexpr Glyph kGlyphs[] = {
    {"中", "U+4E2D"}, {"A", "U+0041"}, {"\"", "U+0022"}, {"1", "U+0031"}, {"№", "U+2116"}};

// The drawing of every glyph at cell height h, regular then bold: a header line, then
// the H cell rows as '#' (ink) and '.', at least H columns wide and wider where ink
// runs on to the right.
std::string Render(int h) {
  FreeTypeCanvas canvas(3 * h, h);
  std::ostringstream out;
  for (bool bold : {false, true}) {
    for (const Glyph& g : kGlyphs) {
      canvas.Fill(0, 0, canvas.width(), canvas.height(), kWhite);
      canvas.SetTextColor(kBlack);
      canvas.SelectFont("黑体", h, bold);
      canvas.DrawText(0, 0, gbk::Encode(g.utf8));
      int width = h;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < canvas.width(); ++x)
          if (canvas.IsBlack(x, y)) width = std::max(width, x + 1);
      out << "== " << g.utf8 << ' ' << g.label << (bold ? " bold" : " regular") << " H=" << h
          << " ppem=" << canvas.ppem() << " baseline=" << canvas.baseline() << '\n';
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < width; ++x) out << (canvas.IsBlack(x, y) ? '#' : '.');
        out << '\n';
      }
    }
  }
  return out.str();
}

// The first differing glyph block of two renderings, for the failure message.
std::string FirstDifference(const std::string& want, const std::string& got) {
  auto blocks = [](const std::string& s) {
    std::vector<std::string> v;
    std::size_t pos = 0;
    while (pos < s.size()) {
      std::size_t next = s.find("\n== ", pos);
      next = next == std::string::npos ? s.size() : next + 1;
      v.push_back(s.substr(pos, next - pos));
      pos = next;
    }
    return v;
  };
  const auto a = blocks(want), b = blocks(got);
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string x = i < a.size() ? a[i] : "(missing)\n";
    const std::string y = i < b.size() ? b[i] : "(missing)\n";
    if (x != y) return "expected:\n" + x + "drawn:\n" + y;
  }
  return {};
}

class GlyphGoldenTest : public testing::TestWithParam<int> {};

TEST_P(GlyphGoldenTest, HeitiMatchesTheStoredDrawing) {
  const std::string family = FontResolver::Shared().Resolve("黑体", false).family;
  if (family != "WenQuanYi Micro Hei")
    GTEST_SKIP() << "黑体 is drawn with '" << family
                 << "' here; the stored drawings are WenQuanYi Micro Hei (fonts-wqy-microhei)";
  const std::string dir = TestDataDir();
  ASSERT_FALSE(dir.empty()) << "set QX_TEST_DATA to the tests folder";

  const int h = GetParam();
  const fs::path file = fs::path(dir) / "golden" / ("heiti_" + std::to_string(h) + ".txt");
  const std::string got = Render(h);

  const char* update = std::getenv("QX_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(file, std::ios::binary) << got;
    GTEST_SKIP() << "rewrote " << file;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << file << " (create it with QX_UPDATE_GOLDEN=1)";
  const std::string want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(want == got) << file << "\n" << FirstDifference(want, got);
}

INSTANTIATE_TEST_SUITE_P(CellHeights, GlyphGoldenTest, testing::Values(16, 24, 48, 96),
                         [](const testing::TestParamInfo<int>& p) {
                           std::string name = "H";  // in steps: GCC 12 warns falsely on "H" + string
                           name += std::to_string(p.param);
                           return name;
                         });

}  // namespace
}  // namespace qx
