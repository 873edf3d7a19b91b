#include "layout/tape.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qx {

const std::vector<Rgb>& TapePalette() {
  static const std::vector<Rgb> palette{kTapeBlank, kTapeImage, kTapeDot, kTapeBoundary};
  return palette;
}

int ItemFeedDots(const ItemImage& item) {
  return item.LeadBlank + item.ColumnCount + item.TrailBlank;
}

namespace {

// Items begin..end - 1 of a sequence, drawn as one strip.
struct Strip {
  const ItemSequence& items;
  std::size_t begin, end;
  std::size_t size() const { return end - begin; }
  const ItemImage& operator[](std::size_t n) const { return items[begin + n]; }
};

// Dots of a strip: the items' feeds and a boundary between each two.
int64_t StripDots(const Strip& items) {
  int64_t dots = 0;
  for (std::size_t n = 0; n < items.size(); ++n) dots += ItemFeedDots(items[n]);
  return dots + std::max<int64_t>(static_cast<int64_t>(items.size()) - 1, 0);
}

// 8 x 8 bits transposed: bit i of byte j becomes bit j of byte i.
uint64_t Transpose8(uint64_t x) {
  x = (x & 0xAA55AA55AA55AA55ull) | ((x & 0x00AA00AA00AA00AAull) << 7) |
      ((x >> 7) & 0x00AA00AA00AA00AAull);
  x = (x & 0xCCCC3333CCCC3333ull) | ((x & 0x0000CCCC0000CCCCull) << 14) |
      ((x >> 14) & 0x0000CCCC0000CCCCull);
  x = (x & 0xF0F0F0F00F0F0F0Full) | ((x & 0x00000000F0F0F0F0ull) << 28) |
      ((x >> 28) & 0x00000000F0F0F0F0ull);
  return x;
}

// Eight dots of a row, bit j for dot j, as eight indices: image or dot.
struct DotBytes {
  std::array<uint64_t, 256> eight{};
  DotBytes() {
    for (unsigned b = 0; b < 256; ++b) {
      uint8_t bytes[8];
      for (unsigned j = 0; j < 8; ++j)
        bytes[j] = static_cast<uint8_t>(kImageIndex + ((b >> j) & 1));
      std::memcpy(&eight[b], bytes, 8);
    }
  }
};

// The 96 head-dot rows of a strip, one index a dot: row r at lines + r * dots. Columns go
// eight at a time through a bit transpose, since the image holds them column by column.
void StripLines(const Strip& items, int dots, uint8_t* lines) {
  static const DotBytes kDots;
  const std::size_t stride = static_cast<std::size_t>(dots);
  auto fill = [&](std::size_t x, std::size_t n, uint8_t index) {
    for (int r = 0; r < kHeadDots; ++r) std::memset(lines + r * stride + x, index, n);
  };
  std::size_t x = 0;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const ItemImage& it = items[n];
    if (n > 0) fill(x++, 1, kBoundaryIndex);
    fill(x, it.LeadBlank, kBlankIndex);
    x += it.LeadBlank;
    const std::size_t cols =
        std::min<std::size_t>(it.ColumnCount, it.columns.size() / kColumnBytes);
    const uint8_t* col = it.columns.data();
    std::size_t c = 0;
    for (; c + 8 <= cols; c += 8) {
      for (std::size_t k = 0; k < kColumnBytes; ++k) {
        uint64_t v = 0;
        for (std::size_t j = 0; j < 8; ++j)
          v |= static_cast<uint64_t>(col[(c + j) * kColumnBytes + k]) << (8 * j);
        v = Transpose8(v);
        for (std::size_t i = 0; i < 8; ++i)
          std::memcpy(lines + (8 * k + i) * stride + x + c, &kDots.eight[(v >> (8 * i)) & 0xFF], 8);
      }
    }
    for (; c < cols; ++c)
      for (int r = 0; r < kHeadDots; ++r)
        lines[static_cast<std::size_t>(r) * stride + x + c] = static_cast<uint8_t>(
            kImageIndex +
            ((col[c * kColumnBytes + static_cast<std::size_t>(r / 8)] >> (r % 8)) & 1));
    fill(x + cols, it.ColumnCount - cols, kImageIndex);
    x += it.ColumnCount;
    fill(x, it.TrailBlank, kBlankIndex);
    x += it.TrailBlank;
  }
}

// Each of `dots` indices `s` times, s > 1.
void ScaleLine(const uint8_t* line, int dots, int s, uint8_t* dst) {
  if (s == 2) {
    for (int d = 0; d < dots; ++d) {
      const auto pair = static_cast<uint16_t>(line[d] * 0x0101);
      std::memcpy(dst + 2 * d, &pair, 2);
    }
    return;
  }
  for (int d = 0; d < dots; ++d, dst += s) std::memset(dst, line[d], static_cast<std::size_t>(s));
}

}  // namespace

bool StartsRow(int64_t row_dots, std::size_t in_row, const ItemImage& next, int scale, int per_row,
               int max_width) {
  if (in_row == 0) return true;
  if (per_row > 0 && in_row >= static_cast<std::size_t>(per_row)) return true;
  return (row_dots + 1 + ItemFeedDots(next)) * std::max(scale, 1) > max_width;
}

TapeRows WrapRows(const ItemSequence& items, int scale, int per_row, int max_width) {
  TapeRows rows;
  rows.scale = std::max(scale, 1);
  rows.row_height = kHeadDots * rows.scale;
  rows.gap = 4 * rows.scale;
  int64_t widest = 1, dots = 0;
  std::size_t in_row = 0;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const ItemImage& item = items[n];
    const int64_t feed = ItemFeedDots(item);
    if (StartsRow(dots, in_row, item, rows.scale, per_row, max_width)) {
      rows.first.push_back(n);
      dots = feed;
      in_row = 1;
    } else {
      dots += 1 + feed;
      ++in_row;
    }
    widest = std::max(widest, dots);
  }
  if (rows.first.empty()) rows.first.push_back(0);
  rows.first.push_back(items.size());
  rows.width = static_cast<int>(widest * rows.scale);
  return rows;
}

void DrawRows(const ItemSequence& items, const TapeRows& rows, int first_row, int count,
              IndexedImage& out, int top) {
  const int s = rows.scale;
  std::vector<uint8_t> lines;
  for (int k = 0; k < count; ++k) {
    const int row = first_row + k;
    const Strip strip{items, rows.first[static_cast<std::size_t>(row)],
                      rows.first[static_cast<std::size_t>(row) + 1]};
    const int y0 = top + k * (rows.row_height + rows.gap);
    if (k > 0)
      std::memset(out.Row(y0 - rows.gap), kGapIndex,
                  static_cast<std::size_t>(rows.gap) * static_cast<std::size_t>(out.width));
    const int dots = static_cast<int>(std::max<int64_t>(StripDots(strip), 1));
    lines.assign(static_cast<std::size_t>(dots) * kHeadDots, kBlankIndex);
    StripLines(strip, dots, lines.data());
    const int strip_px = std::min(dots * s, out.width);
    for (int r = 0; r < kHeadDots; ++r) {
      const uint8_t* line =
          lines.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(dots);
      uint8_t* dst = out.Row(y0 + r * s);
      if (s == 1) {
        std::memcpy(dst, line, static_cast<std::size_t>(strip_px));
      } else {
        ScaleLine(line, strip_px / s, s, dst);
      }
      std::memset(dst + strip_px, kGapIndex, static_cast<std::size_t>(out.width - strip_px));
      for (int i = 1; i < s; ++i)
        std::memcpy(out.Row(y0 + r * s + i), dst, static_cast<std::size_t>(out.width));
    }
  }
}

IndexedImage RenderRows(const ItemSequence& items, const TapeRows& rows, int first_row,
                        int count) {
  if (count < 0) count = rows.rows() - first_row;
  IndexedImage img(rows.width, std::max(rows.HeightOf(count), 1), TapePalette(), kBlankIndex);
  DrawRows(items, rows, first_row, count, img);
  return img;
}

RgbImage RenderItem(const ItemImage& item, int scale) {
  return RenderStrip(std::span<const ItemImage>(&item, 1), scale);
}

int64_t StripDots(const ItemSequence& items) { return StripDots(Strip{items, 0, items.size()}); }

void DrawStripLines(const ItemSequence& items, uint8_t* lines) {
  const Strip strip{items, 0, items.size()};
  StripLines(strip, static_cast<int>(StripDots(strip)), lines);
}

RgbImage RenderStrip(std::span<const ItemImage> items, int scale) {
  TapeRows one = WrapRows(items, scale);
  one.first = {0, items.size()};  // one row, however long
  int64_t dots = std::max<int64_t>(StripDots(Strip{ItemSequence(items), 0, items.size()}), 1);
  one.width = static_cast<int>(dots * one.scale);
  return RenderRows(items, one).ToRgb();
}

}  // namespace qx
