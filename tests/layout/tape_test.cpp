#include "layout/tape.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qx
