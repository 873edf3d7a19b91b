// A raster page as one marker item: every raster line across the tape becomes one image
// column of the item, built to the byte layout the editor's items have (12 bytes a
// column, byte j bit k is head dot 8 j + k, a set bit prints).
#pragma once

#include <cstdint>
#include <span>

#include "layout/image.h"

namespace qx::papp {

// Collects the lines of one page. The page is `width` pixels across the tape (1 bit a
// pixel, most significant bit first; a set bit is black when `set_is_black`, as in a
// black colour space, else white, as in a grey one) and centred on the head: pixels beyond the head's 96 dots are cut off. Blank lines at
// the start and the end of the page become the item's lead and trail blank feed.
class RasterItemBuilder {
 public:
  void StartPage(int width, bool set_is_black = true);
  void AddLine(std::span<const uint8_t> line);
  // The finished item; false when the page is longer than an item may be (the printer's
  // image store, or the 16-bit feed counts).
  bool Finish(ItemImage& out);

 private:
  int width_ = 0;
  bool set_is_black_ = true;
  int offset_ = 0;  // head dot of pixel 0 (negative: pixels cut off on the left)
  int lines_ = 0;
  int lead_ = 0;    // blank lines before the first dot
  int blank_run_ = 0;
  bool any_dot_ = false;
  std::vector<uint8_t> columns_;
};

}  // namespace qx::papp
