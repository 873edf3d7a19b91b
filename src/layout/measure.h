// Width of single-byte characters in printer dots, measured from their drawing in the
// document font. Double-byte characters need no measuring: each is a square cell.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "layout/text_canvas.h"

namespace qx {

class GlyphMeasurer {
 public:
  // `canvas` is the measuring bitmap; it is used for nothing else while measuring.
  explicit GlyphMeasurer(TextCanvas& canvas);

  // The document's font face (the text of the font-face selector).
  void SetFace(std::string face) { face_ = std::move(face); }
  const std::string& face() const { return face_; }

  // Width in dots of the single-byte character `ch` at size `code`: the character is drawn
  // in bold black on aqua with its cell (height H = SizeHeight(code)) at the origin; a
  // space is H / 2; otherwise a + b, where a is the first column of the H x H square that
  // holds an exactly black pixel and b the first column after it without one (H when the
  // ink runs on to the last column). No ink gives 0.
  //
  // Measurement is always bold, so the document's bold switch never changes a width.
  // Results are remembered per face, height and character; a remembered width is the one
  // a fresh drawing gives, because the bitmap is refilled and the font chosen anew each time.
  uint8_t MeasureGlyph(unsigned char ch, uint8_t code);

  // The same measurement, always drawn afresh.
  uint8_t MeasureGlyphUncached(unsigned char ch, uint8_t code);

  // With remembering off, MeasureGlyph draws afresh every time (for comparisons).
  void SetRemembering(bool on) { remembering_ = on; }

  void ClearCache() {
    cache_.clear();
    current_ = nullptr;
  }

 private:
  // One slot per possible cell height (multiples of 8 up to 96) and byte value; -1 = unknown.
  using Widths = std::array<int16_t, 13 * 256>;

  TextCanvas& canvas_;
  std::string face_ = "黑体";
  std::unordered_map<std::string, Widths> cache_;
  std::string cached_face_;
  Widths* current_ = nullptr;
  bool remembering_ = true;
};

}  // namespace qx
