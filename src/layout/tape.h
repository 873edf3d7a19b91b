// Pictures of printed items: the tape as the printer lays it down.
//
// The horizontal axis is the feed, column 0 of an item first; the vertical axis is the 96
// dots of the head, row 0 at the top. An item's blank feed before and after its image is
// shown in light grey, the image area in white with its dots in black, and the boundary
// between two items of a strip as a thin red line. The preview, the command-line tool
// and the simulated printers all draw through here.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "layout/image.h"
#include "layout/png.h"

namespace qx {

inline constexpr Rgb kTapeDot = kBlack;
inline constexpr Rgb kTapeImage = kWhite;
inline constexpr Rgb kTapeBlank = 0xE6E6E6;
inline constexpr Rgb kTapeBoundary = 0xE02020;

// A picture of many items wraps them into rows (each row a strip as RenderStrip draws
// it), one under the other with a gap of blank tape between them; right of a shorter row
// is blank too. Four colours: such a picture is written with 2 bits a pixel.
//
// The palette of tape pictures, in the order of these indices.
enum TapeIndex : uint8_t {
  kBlankIndex,
  kImageIndex,
  kDotIndex,
  kBoundaryIndex,
  kGapIndex = kBlankIndex
};
const std::vector<Rgb>& TapePalette();

// Width in dots of an item on the tape: lead blank, columns, trail blank.
int ItemFeedDots(const ItemImage& item);

// Items by position. Most pictures draw items held in one array; a job's preview repeats
// one copy's items for every copy without holding them again.
class ItemSequence {
 public:
  using At = std::function<const ItemImage&(std::size_t)>;
  ItemSequence() = default;
  ItemSequence(std::span<const ItemImage> items)  // NOLINT: an array is a sequence
      : size_(items.size()), at_([items](std::size_t n) -> const ItemImage& { return items[n]; }) {}
  ItemSequence(const std::vector<ItemImage>& items)  // NOLINT
      : ItemSequence(std::span<const ItemImage>(items)) {}
  ItemSequence(std::size_t size, At at) : size_(size), at_(std::move(at)) {}
  std::size_t size() const { return size_; }
  const ItemImage& operator[](std::size_t n) const { return at_(n); }

 private:
  std::size_t size_ = 0;
  At at_;
};

// Items wrapped into rows: where each row starts, and the picture's size in pixels.
struct TapeRows {
  int scale = 1;
  std::vector<std::size_t> first;  // the first item of each row; then the item count
  int width = 0;                   // pixels: the widest row
  int row_height = 0;              // pixels of one row's strip
  int gap = 0;                     // pixels between two rows
  int rows() const { return static_cast<int>(first.size()) - 1; }
  // Height in pixels of `n` rows one under the other.
  int HeightOf(int n) const { return n > 0 ? n * row_height + (n - 1) * gap : 0; }
  // The same rows at one pixel a dot: a picture drawn so and shown `scale` times as large
  // has every pixel of this one.
  TapeRows Unscaled() const {
    TapeRows r = *this;
    r.scale = 1;
    r.width = width / scale;
    r.row_height = row_height / scale;
    r.gap = gap / scale;
    return r;
  }
};

// The widest a picture of rows is made by default, in pixels: wide enough for a few
// items, narrow enough for any viewer to show a row at full size.
inline constexpr int kRowWidthPixels = 4000;

// Whether `next` starts a new row after a row of `in_row` items taking `row_dots` dots:
// a row takes the next item while it stays within `max_width` pixels, and takes at most
// `per_row` items when that is above 0; every row takes at least one item.
bool StartsRow(int64_t row_dots, std::size_t in_row, const ItemImage& next, int scale, int per_row,
               int max_width = kRowWidthPixels);

// Wraps `items` into rows as StartsRow says.
TapeRows WrapRows(const ItemSequence& items, int scale, int per_row = 0,
                  int max_width = kRowWidthPixels);

// Draws rows first_row .. first_row + count - 1 of `rows` into `out` from pixel row
// `top` on; `out` is as wide as the rows and tall enough.
void DrawRows(const ItemSequence& items, const TapeRows& rows, int first_row, int count,
              IndexedImage& out, int top = 0);

// The rows first_row .. first_row + count - 1 as one palette picture.
IndexedImage RenderRows(const ItemSequence& items, const TapeRows& rows, int first_row = 0,
                        int count = -1);

// One item, each dot drawn as a `scale` x `scale` square.
RgbImage RenderItem(const ItemImage& item, int scale = 1);

// Items one after another, with a boundary line (one scaled dot wide) between them.
RgbImage RenderStrip(std::span<const ItemImage> items, int scale = 1);

// Dots of tape `items` take one after another: their feeds and a boundary between each two.
int64_t StripDots(const ItemSequence& items);

// The same strip at one pixel a dot as palette indices into `lines`: kHeadDots rows of
// StripDots(items) indices each, row r at lines + r * StripDots(items). Every index is
// written, so `lines` needs no filling first (a caller drawing strip after strip reuses
// its buffer).
void DrawStripLines(const ItemSequence& items, uint8_t* lines);

}  // namespace qx
