// A raster page as one marker item, built to the byte layout the editor's items have (12
// bytes a column, byte j bit k is head dot 8 j + k, a set bit prints).
//
// The page is turned a quarter turn onto the tape, never mirrored: its top edge prints
// first and its right edge runs along the tape's upper edge (head dot 0, the top of every
// tape picture). Raster line y becomes column y; pixel x of a page `width` pixels wide
// becomes head dot (width - 1 - x), centred on the head.
//
//     the page (portrait,            the tape (feed to the right,
//     as CUPS sends it)              head dot 0 at the top)
//
//      x=0      x=w-1                 line 0 ...... line h-1
//     +----------+ line 0            +--------------------+ <- x=w-1
//     | #####    |                   | #                  |
//     | #        |                   | #  #               |
//     | ####     |     ------>       | #  #               |
//     | #        |                   | #######            |
//     | #        |                   +--------------------+ <- x=0
//     +----------+ line h-1
//
// A landscape label page, which CUPS turns clockwise onto the portrait medium, thus reads
// upright on the tape, as the editor's own markers do.
#pragma once

#include <cstdint>
#include <span>

#include "layout/image.h"
#include "printer_app/picture.h"

namespace qx::papp {

// A page header's numbers, checked before anything is allocated for the page: its lines
// are as wide as pictures may be (kMaxPictureSide), of 1 or 8 bits a pixel, as many bytes
// as the width needs; and it has no more lines than one marker can take: the printer's
// image store of columns with the longest blank feed before and after it.
inline constexpr uint32_t kMaxRasterWidth = static_cast<uint32_t>(kMaxPictureSide);
inline constexpr uint32_t kMaxRasterLines = static_cast<uint32_t>(kImageStoreColumns) + 2 * 0xFFFF;

enum class RasterPageCheck {
  kFits,
  kBadHeader,  // numbers no page has (or none a 1-bit head prints: 16 bits, colour)
  kTooLong,    // longer than a marker can be
};
RasterPageCheck CheckRasterPage(uint32_t width, uint32_t height, uint32_t bits_per_pixel,
                                uint32_t bytes_per_line);

// Collects the lines of one page. The page is `width` pixels across the tape and centred
// on the head: pixels beyond the head's 96 dots are cut off. A pixel has 1 bit (most
// significant bit first) or 8 bits; `high_is_black` says whether the highest value is
// black, as in a black colour space, or white, as in a grey one. Grey pixels of 8 bits
// are dithered with an 8 x 8 ordered (Bayer) matrix, so that black stays black, white
// stays white and greys keep their tone. Blank lines at the start and the end of the
// page become the item's lead and trail blank feed.
class RasterItemBuilder {
 public:
  // `bits_per_pixel`: 1 or 8; false for any other.
  bool StartPage(int width, bool high_is_black = true, int bits_per_pixel = 1);
  void AddLine(std::span<const uint8_t> line);
  // The finished item; false when the page is longer than an item may be (the printer's
  // image store, or the 16-bit feed counts).
  bool Finish(ItemImage& out);
  // Whether the page has dots beyond the head's 96 (which are not printed).
  bool Cut() const { return cut_; }

 private:
  // Whether the pixel at `x` of `line` prints (line `lines_` of the page).
  bool Prints(std::span<const uint8_t> line, int x) const;

  int width_ = 0;
  bool high_is_black_ = true;
  int bits_ = 1;
  int offset_ = 0;  // head dot of the page's right edge (negative: pixels cut off)
  int lines_ = 0;
  int lead_ = 0;    // blank lines before the first dot
  int blank_run_ = 0;
  bool any_dot_ = false;
  bool cut_ = false;
  std::vector<uint8_t> columns_;
};

}  // namespace qx::papp
