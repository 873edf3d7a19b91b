// TextCanvas drawn with FreeType, fonts found through fontconfig (FontResolver).
//
// Sizing. The cell height H is a Windows GDI positive font height: the whole character
// cell, internal leading included. Two rules turn it into a pixel size (ppem) and a
// baseline (rows from the top of the cell):
//
//  * GDI rule, for every face that resolved exactly or to a Latin stand-in:
//      units = usWinAscent + |int16 usWinDescent|   (hhea ascender - descender if 0)
//      ppem  = round(upem * H / units); if round(units * ppem / upem) > H: ppem -= 1
//      baseline = round(usWinAscent * ppem / upem)
//    This is what GDI does with a TrueType face, so fonts that exist on both systems
//    (Arial = Liberation Sans metrics) come out the same size.
//
//  * Em-filling, when a Windows Chinese name (黑体, SimHei, 宋体, SimSun, ...) resolved
//    to a stand-in:  ppem = H, baseline = round(H * 220 / 256).
//    SimHei and SimSun have win ascent + descent equal to the em (220/256 above the
//    baseline, 36/256 below), so on Windows a Chinese character fills its H x H cell.
//    The stand-ins have taller win metrics (WenQuanYi Micro Hei 1.17 em); sized by the
//    GDI rule their ideographs would be 15 % smaller than the documents expect.
//
// Every fallback face of a font is sized by the same rule, with its own metrics.
//
// Drawing is bi-level and unhinted (FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP, smart
// dropout control on), which is deterministic and keeps thin strokes. Synthetic bold
// widens outlines horizontally only, by max(1, ppem / 24) px, and adds 1 px to the
// advance. Ink is clipped to the cell rows [y, y + H) and to the bitmap.
//
// FreeType faces and the caches here are shared by all canvases and are not
// thread-safe: the program draws text from one thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "layout/font_resolver.h"
#include "layout/text_canvas.h"

namespace qx {

class FreeTypeCanvas : public TextCanvas {
 public:
  // Fonts come from FontResolver::Shared().
  explicit FreeTypeCanvas(int width = kDefaultSize, int height = kDefaultSize);
  // Fonts come from `resolver`, which must outlive the canvas.
  FreeTypeCanvas(FontResolver& resolver, int width, int height);
  ~FreeTypeCanvas() override;

  void SelectFont(std::string_view face, int cell_height, bool bold) override;
  void DrawText(int x, int y, std::string_view gbk) override;
  // Family of the primary face of the selected font; empty when nothing could be loaded.
  std::string UsedFaceName() const override;

  // The resolution behind the selected font (nullptr before the first SelectFont).
  const FontResolution* resolution() const { return resolution_; }
  // Pixel size and baseline of the selected font's primary face; 0 when none loaded.
  int ppem() const;
  int baseline() const;

  // With the cache off every glyph is rendered afresh (output is identical either way).
  void SetGlyphCacheEnabled(bool on) { glyph_cache_enabled_ = on; }
  // Forgets every rendered glyph, in all canvases.
  static void ClearGlyphCache();

  struct SizedFont;  // a resolved font at one cell height; defined in the .cpp

 private:
  FontResolver& resolver_;
  const FontResolution* resolution_ = nullptr;
  SizedFont* font_ = nullptr;
  int cell_height_ = 0;
  bool glyph_cache_enabled_ = true;
};

}  // namespace qx
