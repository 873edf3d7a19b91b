#include "layout/tape.h"

#include <algorithm>

namespace qx {

int ItemFeedDots(const ItemImage& item) {
  return item.LeadBlank + item.ColumnCount + item.TrailBlank;
}

RgbImage RenderItem(const ItemImage& item, int scale) {
  return RenderStrip(std::span<const ItemImage>(&item, 1), scale);
}

RgbImage RenderStrip(std::span<const ItemImage> items, int scale) {
  scale = std::max(scale, 1);
  int dots = 0;
  for (const ItemImage& it : items) dots += ItemFeedDots(it);
  dots += std::max<int>(static_cast<int>(items.size()) - 1, 0);  // boundaries
  RgbImage img(std::max(dots, 1) * scale, kHeadDots * scale, kTapeBlank);

  int x = 0;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const ItemImage& it = items[n];
    if (n > 0) {
      img.FillRect(x * scale, 0, (x + 1) * scale, img.height, kTapeBoundary);
      ++x;
    }
    x += it.LeadBlank;
    img.FillRect(x * scale, 0, (x + it.ColumnCount) * scale, img.height, kTapeImage);
    const std::size_t cols = std::min<std::size_t>(it.ColumnCount, it.columns.size() / kColumnBytes);
    for (std::size_t c = 0; c < cols; ++c) {
      const uint8_t* col = it.columns.data() + c * kColumnBytes;
      for (int r = 0; r < kHeadDots; ++r) {
        if (!(col[r / 8] & (1u << (r % 8)))) continue;
        const int px = (x + static_cast<int>(c)) * scale, py = r * scale;
        img.FillRect(px, py, px + scale, py + scale, kTapeDot);
      }
    }
    x += it.ColumnCount + it.TrailBlank;
  }
  return img;
}

}  // namespace qx
