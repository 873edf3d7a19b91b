// A canvas whose characters are solid bars of known widths, so that measured widths and
// drawn columns are exact numbers a test can state.
//
// A single-byte character c with a base width b (from `widths`, default 12) draws a bar
// b x H / 24 columns wide from column `lead` (default 0) over rows 2 .. H-3 of its cell,
// so it measures lead + lead + width at cell height H. A double-byte character draws a
// frame filling its whole H x H cell. Unknown bytes and control characters draw nothing.
#pragma once

#include <map>
#include <string>

#include "layout/text_canvas.h"

namespace qx::testing {

class BarCanvas : public TextCanvas {
 public:
  BarCanvas(int width = 192, int height = 96) : TextCanvas(width, height) {}

  std::map<char, int> widths;
  int lead = 0;
  int draws = 0;
  // When set, a bold font draws single-byte bars one row taller at each end, so that a
  // test can tell bold drawing from regular.
  bool bold_is_taller = false;

  // The measured width of c at cell height h, by the rule above.
  int Measured(char c, int h) const { return 2 * lead + Base(c) * h / 24; }

  void SelectFont(std::string_view, int cell_height, bool bold) override {
    h_ = cell_height;
    bold_ = bold;
  }
  void DrawText(int x, int y, std::string_view text) override {
    ++draws;
    const auto b = static_cast<unsigned char>(text[0]);
    if (b >= 0x80) {
      for (int i = 0; i < h_; ++i) {
        Plot(x + i, y);
        Plot(x + i, y + h_ - 1);
        Plot(x, y + i);
        Plot(x + h_ - 1, y + i);
      }
      return;
    }
    if (b <= 0x20 || b == 0x7F) return;
    const int w = Base(static_cast<char>(b)) * h_ / 24;
    const int margin = bold_ && bold_is_taller ? 1 : 2;
    for (int dx = 0; dx < w; ++dx)
      for (int dy = margin; dy < h_ - margin; ++dy) Plot(x + lead + dx, y + dy);
  }
  std::string UsedFaceName() const override { return "bars"; }

 private:
  int Base(char c) const {
    auto it = widths.find(c);
    return it == widths.end() ? 12 : it->second;
  }
  int h_ = 24;
  bool bold_ = false;
};

}  // namespace qx::testing
