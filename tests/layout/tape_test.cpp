#include "layout/tape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <span>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace qx {
namespace {

ItemImage Item(uint16_t lead, uint16_t trail, std::vector<ColumnBits> cols) {
  ItemImage it;
  it.LeadBlank = lead;
  it.TrailBlank = trail;
  it.ColumnCount = static_cast<uint16_t>(cols.size());
  it.columns.resize(cols.size() * kColumnBytes);
  for (std::size_t c = 0; c < cols.size(); ++c) ColumnToBytes(cols[c], it.columns.data() + c * kColumnBytes);
  return it;
}

TEST(Tape, ItemAsThePrinterLaysItDown) {
  const ItemImage it = Item(3, 2, {RowMask(0, 0), RowMask(95, 95) | RowMask(10, 11)});
  const RgbImage img = RenderItem(it);
  ASSERT_EQ(img.width, 3 + 2 + 2);
  ASSERT_EQ(img.height, 96);
  EXPECT_EQ(img.Get(0, 0), kTapeBlank);
  EXPECT_EQ(img.Get(2, 50), kTapeBlank);
  EXPECT_EQ(img.Get(3, 0), kTapeDot);     // column 0, row 0 at the top
  EXPECT_EQ(img.Get(3, 1), kTapeImage);
  EXPECT_EQ(img.Get(4, 95), kTapeDot);
  EXPECT_EQ(img.Get(4, 11), kTapeDot);
  EXPECT_EQ(img.Get(4, 12), kTapeImage);
  EXPECT_EQ(img.Get(5, 95), kTapeBlank);
  EXPECT_EQ(img.Get(6, 0), kTapeBlank);
}

TEST(Tape, StripWithBoundariesAndScale) {
  const ItemImage a = Item(1, 1, {RowMask(5, 5)});
  const ItemImage b = Item(2, 0, {RowMask(6, 6), 0});
  const ItemImage items[] = {a, b};
  const RgbImage img = RenderStrip(items, 2);
  ASSERT_EQ(img.width, (3 + 1 + 4) * 2);
  ASSERT_EQ(img.height, 192);
  EXPECT_EQ(img.Get(2, 10), kTapeDot);
  EXPECT_EQ(img.Get(3, 11), kTapeDot);
  EXPECT_EQ(img.Get(6, 0), kTapeBoundary);
  EXPECT_EQ(img.Get(7, 191), kTapeBoundary);
  EXPECT_EQ(img.Get(12, 12), kTapeDot);   // b's column 0 after its 2-dot lead
  EXPECT_EQ(img.Get(14, 12), kTapeImage);  // b's blank column 1
}

TEST(Tape, PngRoundTripAndFailures) {
  testing::TempDir dir;
  const ItemImage it = Item(4, 4, {RowMask(0, 95), RowMask(40, 50)});
  const RgbImage img = RenderItem(it, 3);
  const auto path = dir / "item.png";
  std::string error;
  ASSERT_TRUE(WritePng(path, img, &error)) << error;
  const auto back = ReadPng(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, img.width);
  EXPECT_EQ(back->rgb, img.rgb);
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".part"));

  EXPECT_FALSE(WritePng(dir / "missing" / "x.png", img, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WritePng(dir / "empty.png", RgbImage(), &error));
  EXPECT_FALSE(ReadPng(dir / "missing.png"));
  {
    std::FILE* f = std::fopen((dir / "bad.png").c_str(), "wb");
    std::fputs("\x89PNG\r\n\x1a\n garbage", f);
    std::fclose(f);
  }
  EXPECT_FALSE(ReadPng(dir / "bad.png"));
}

// The tape drawn dot by dot, as its definition says: the reference the faster drawing
// must match pixel for pixel.
RgbImage ReferenceStrip(std::span<const ItemImage> items, int scale) {
  int dots = 0;
  for (const ItemImage& it : items) dots += ItemFeedDots(it);
  dots += std::max<int>(static_cast<int>(items.size()) - 1, 0);
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
    for (int c = 0; c < it.ColumnCount; ++c)
      for (int r = 0; r < kHeadDots; ++r)
        if (it.columns[static_cast<std::size_t>(c) * kColumnBytes + static_cast<std::size_t>(r / 8)] &
            (1u << (r % 8)))
          img.FillRect((x + c) * scale, r * scale, (x + c + 1) * scale, (r + 1) * scale, kTapeDot);
    x += it.ColumnCount + it.TrailBlank;
  }
  return img;
}

// Items of every column count around the eight columns drawn at once, with random dots.
std::vector<ItemImage> RandomItems() {
  std::vector<ItemImage> items;
  uint32_t seed = 12345;
  for (const int columns : {1, 7, 8, 9, 16, 23, 40}) {
    std::vector<ColumnBits> cols;
    for (int c = 0; c < columns; ++c) {
      ColumnBits bits = 0;
      for (int r = 0; r < kHeadDots; ++r) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 3 == 0) bits |= RowMask(r, r);
      }
      cols.push_back(bits);
    }
    items.push_back(Item(static_cast<uint16_t>(columns % 5), static_cast<uint16_t>(columns % 3), cols));
  }
  return items;
}

TEST(Tape, StripsKeepEveryPixelAtEveryScale) {
  const std::vector<ItemImage> items = RandomItems();
  for (const int scale : {1, 2, 3}) {
    SCOPED_TRACE(scale);
    const RgbImage strip = RenderStrip(items, scale), want = ReferenceStrip(items, scale);
    ASSERT_EQ(strip.width, want.width);
    ASSERT_EQ(strip.height, want.height);
    EXPECT_TRUE(strip.rgb == want.rgb);
  }
}

// Rows: each row is the strip of its items; a gap of blank tape between rows and right
// of a shorter row. A row takes items up to the width, or the number asked for.
TEST(Tape, RowsAreStripsOneUnderTheOther) {
  const std::vector<ItemImage> items = RandomItems();
  const std::span<const ItemImage> all(items);
  struct Case {
    int per_row, max_width;
    std::vector<std::size_t> first;
  } cases[] = {
      {3, kRowWidthPixels, {0, 3, 6, 7}},
      {0, 40, {0, 2, 3, 4, 5, 6, 7}},  // at scale 2 only the first two items fit together
      {0, 1, {0, 1, 2, 3, 4, 5, 6, 7}},                         // one item a row at least
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.per_row);
    const TapeRows rows = WrapRows(items, 2, c.per_row, c.max_width);
    ASSERT_EQ(rows.first, c.first);
    const RgbImage img = RenderRows(items, rows).ToRgb();
    ASSERT_EQ(img.height, rows.rows() * 192 + (rows.rows() - 1) * 8);
    int widest = 0;
    for (int k = 0; k < rows.rows(); ++k) {
      const RgbImage want = ReferenceStrip(all.subspan(c.first[k], c.first[k + 1] - c.first[k]), 2);
      widest = std::max(widest, want.width);
      const int top = k * 200;
      for (int y = 0; y < 192; ++y)
        for (int x = 0; x < img.width; ++x)
          ASSERT_EQ(img.Get(x, top + y), x < want.width ? want.Get(x, y) : kTapeBlank)
              << "row " << k << " at " << x << "," << y;
      if (k > 0) {
        for (int x = 0; x < img.width; ++x) ASSERT_EQ(img.Get(x, top - 1), kTapeBlank);
      }
    }
    EXPECT_EQ(img.width, widest);
    EXPECT_EQ(rows.width, widest);
  }
}

// A palette picture written band by band, each dot a scale x scale block, reads back as
// the same rows drawn at that scale; tape pictures go as 2-bit palette PNGs, and a
// picture of more than 256 colours stays RGB.
TEST(Tape, PalettePicturesKeepTheirPixels) {
  testing::TempDir dir;
  const std::vector<ItemImage> items = RandomItems();
  const TapeRows rows = WrapRows(items, 3, 2);
  const TapeRows dots = rows.Unscaled();
  const FillBand one_row_at_a_time = [&](int y, IndexedImage& band) {
    band = IndexedImage(dots.width, 1, TapePalette(), kBlankIndex);
    const IndexedImage whole = RenderRows(items, dots);
    std::copy_n(whole.Row(y), dots.width, band.Row(0));
    return 1;
  };
  std::string error;
  ASSERT_TRUE(WriteIndexedPng(dir / "rows.png", dots.width, dots.HeightOf(dots.rows()), 3,
                              TapePalette(), one_row_at_a_time, &error))
      << error;
  const auto back = ReadPng(dir / "rows.png");
  ASSERT_TRUE(back);
  const RgbImage want = RenderRows(items, rows).ToRgb();
  ASSERT_EQ(back->width, want.width);
  ASSERT_EQ(back->height, want.height);
  EXPECT_TRUE(back->rgb == want.rgb);

  auto header = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    char h[26] = {};
    in.read(h, sizeof h);
    return std::pair<int, int>(h[24], h[25]);  // bit depth, colour type
  };
  EXPECT_EQ(header(dir / "rows.png"), std::make_pair(2, 3));
  const RgbImage strip = RenderStrip(items, 1);
  ASSERT_TRUE(WritePng(dir / "strip.png", strip, &error)) << error;
  EXPECT_EQ(header(dir / "strip.png"), std::make_pair(2, 3));
  RgbImage many(20, 20, kWhite);
  for (int i = 0; i < 400; ++i) many.Set(i % 20, i / 20, static_cast<Rgb>(i * 997));
  ASSERT_TRUE(WritePng(dir / "many.png", many, &error)) << error;
  EXPECT_EQ(header(dir / "many.png"), std::make_pair(8, 2));
  const auto many_back = ReadPng(dir / "many.png");
  ASSERT_TRUE(many_back);
  EXPECT_TRUE(many_back->rgb == many.rgb);
}

}  // namespace
}  // namespace qx
