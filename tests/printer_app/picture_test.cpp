// Pictures as a client sends them: every PNG depth and colour type, with and without
// transparency, and JPEG, grey and colour, become the same marker as the picture drawn
// directly; damaged and oversized pictures are refused before their pixels are read.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "printer_app/media.h"
#include "printer_app/picture.h"
#include "printer_app/raster_item.h"
#include "support/temp_dir.h"

namespace qx::papp {
namespace {

// An "F" with an arrow under it: neither a mirror nor a turn of it is the same picture.
const std::vector<std::string> kArt = {
    "######..", "#.......", "#.......", "#####...", "#.......", "#.......",
    "#.......", "........", "..#.....", ".###....", "#.#.#...", "..#.....",
};
constexpr int kScale = 4;  // pixels a character of the art
constexpr int kWidth = 8 * kScale, kHeight = 12 * kScale;

bool Ink(int x, int y) { return kArt[static_cast<std::size_t>(y / kScale)][static_cast<std::size_t>(x / kScale)] == '#'; }

struct PngKind {
  const char* name;
  int color_type;
  int depth;
};

// Writes the art as a PNG of `kind` at 280 dpi; with alpha, the white is transparent black.
void WritePng(const std::filesystem::path& path, const PngKind& kind) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth, kHeight, kind.depth, kind.color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const png_uint_32 ppm = static_cast<png_uint_32>(280 / 0.0254 + 0.5);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  png_color palette[2] = {{255, 255, 255}, {0, 0, 0}};
  if (kind.color_type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 2);
  png_write_info(png, info);
  if (kind.depth < 8) png_set_packing(png);
  const int channels = kind.color_type == PNG_COLOR_TYPE_RGB         ? 3
                       : kind.color_type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                       : kind.color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                      : 1;
  const int bytes = kind.depth == 16 ? 2 : 1;
  const int max = (1 << kind.depth) - 1;
  std::vector<png_byte> row(static_cast<std::size_t>(kWidth * channels * bytes));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool ink = Ink(x, y);
      int values[4] = {ink ? 0 : max, ink ? 0 : max, ink ? 0 : max, max};
      if (kind.color_type == PNG_COLOR_TYPE_PALETTE) values[0] = ink ? 1 : 0;
      if (kind.color_type == PNG_COLOR_TYPE_GRAY_ALPHA) values[1] = ink ? max : 0;
      if (kind.color_type == PNG_COLOR_TYPE_RGB_ALPHA) {
        values[0] = values[1] = values[2] = 0;  // black everywhere, the white transparent
        values[3] = ink ? max : 0;
      }
      if (kind.color_type == PNG_COLOR_TYPE_GRAY_ALPHA && !ink) values[0] = 0;
      for (int c = 0; c < channels; ++c) {
        const std::size_t at = static_cast<std::size_t>((x * channels + c) * bytes);
        if (bytes == 2) {
          row[at] = static_cast<png_byte>(values[c] >> 8);
          row[at + 1] = static_cast<png_byte>(values[c] & 0xFF);
        } else {
          row[at] = static_cast<png_byte>(values[c]);
        }
      }
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void WriteJpeg(const std::filesystem::path& path, bool colour) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, f);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = colour ? 3 : 1;
  info.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  info.density_unit = 1;
  info.X_density = info.Y_density = 280;
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(kWidth * info.input_components));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < info.input_components; ++c)
        row[static_cast<std::size_t>(x * info.input_components + c)] = Ink(x, y) ? 0 : 255;
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(f);
}

// The marker the art makes when drawn directly, as a 1-bit black page.
ItemImage Drawn() {
  RasterItemBuilder b;
  b.StartPage(kWidth);
  for (int y = 0; y < kHeight; ++y) {
    std::vector<uint8_t> line(kWidth / 8, 0);
    for (int x = 0; x < kWidth; ++x)
      if (Ink(x, y)) line[static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    b.AddLine(line);
  }
  ItemImage item;
  EXPECT_TRUE(b.Finish(item));
  return item;
}

int DifferingDots(const ItemImage& a, const ItemImage& b) {
  if (a.columns.size() != b.columns.size()) return 1 << 30;
  int n = 0;
  for (std::size_t i = 0; i < a.columns.size(); ++i)
    n += __builtin_popcount(static_cast<unsigned>(a.columns[i] ^ b.columns[i]));
  return n;
}

TEST(PrinterAppPicture, EveryPngKindPrintsAsTheDrawnPicture) {
  const PngKind kinds[] = {
      {"grey 1 bit", PNG_COLOR_TYPE_GRAY, 1},      {"grey 2 bits", PNG_COLOR_TYPE_GRAY, 2},
      {"grey 4 bits", PNG_COLOR_TYPE_GRAY, 4},     {"grey 8 bits", PNG_COLOR_TYPE_GRAY, 8},
      {"grey 16 bits", PNG_COLOR_TYPE_GRAY, 16},   {"palette 1 bit", PNG_COLOR_TYPE_PALETTE, 1},
      {"palette 8 bits", PNG_COLOR_TYPE_PALETTE, 8}, {"RGB 8 bits", PNG_COLOR_TYPE_RGB, 8},
      {"RGB 16 bits", PNG_COLOR_TYPE_RGB, 16},     {"grey and alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
      {"RGBA, white transparent", PNG_COLOR_TYPE_RGB_ALPHA, 8},
  };
  testing::TempDir dir;
  const ItemImage drawn = Drawn();
  ASSERT_GT(drawn.ColumnCount, 0);
  for (const PngKind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const auto path = dir / "picture.png";
    WritePng(path, kind);
    GreyPicture picture;
    std::string error;
    ASSERT_TRUE(ReadPicture(path, picture, error)) << error;
    EXPECT_EQ(picture.width, kWidth);
    EXPECT_NEAR(picture.dpi_x, 280, 0.5);
    ItemImage item;
    ASSERT_TRUE(PictureItem(picture, 132, item));
    EXPECT_EQ(item.LeadBlank, drawn.LeadBlank);
    EXPECT_EQ(DifferingDots(item, drawn), 0);
  }
}

TEST(PrinterAppPicture, JpegGreyAndColourPrintAsTheDrawnPicture) {
  testing::TempDir dir;
  const ItemImage drawn = Drawn();
  for (bool colour : {false, true}) {
    SCOPED_TRACE(colour ? "colour" : "grey");
    const auto path = dir / "picture.jpg";
    WriteJpeg(path, colour);
    GreyPicture picture;
    std::string error;
    ASSERT_TRUE(ReadPicture(path, picture, error)) << error;
    EXPECT_NEAR(picture.dpi_x, 280, 0.5);
    ItemImage item;
    ASSERT_TRUE(PictureItem(picture, 132, item));
    // JPEG is lossy: a few dots at the edges may differ, never the shape.
    EXPECT_LE(DifferingDots(item, drawn), 12);
  }
}

// Without a resolution a picture is scaled to the medium's width: a 64-pixel-wide picture on
// a 132-dot medium is 132 dots wide, its lines twice as many.
TEST(PrinterAppPicture, APictureWithoutResolutionFillsTheMediumWidth) {
  GreyPicture p;
  p.width = 64;
  p.height = 10;
  p.grey.assign(64 * 10, 0);
  ItemImage item;
  ASSERT_TRUE(PictureItem(p, 132, item));
  EXPECT_EQ(item.LeadBlank + item.ColumnCount + item.TrailBlank, 21);
}

// A tiny picture claiming 1 dpi would be blown up to 6720 x 11200 dots: refused, at once.
TEST(PrinterAppPicture, ATinyPictureAtATinyResolutionIsNotBlownUp) {
  GreyPicture p;
  p.width = 24;
  p.height = 40;
  p.dpi_x = p.dpi_y = 1;
  p.grey.assign(24 * 40, 0);
  ItemImage item;
  EXPECT_FALSE(PictureItem(p, 132, item));
  p.dpi_x = p.dpi_y = 140;  // twice the printer's dots: fine
  EXPECT_TRUE(PictureItem(p, 132, item));
  EXPECT_EQ(item.LeadBlank + item.ColumnCount + item.TrailBlank, 80);
}

TEST(PrinterAppPicture, DamagedAndHugePicturesAreRefusedUnread) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    const char* says = "";  // in the error
  };
  // A PNG claiming 60000 x 60000 pixels: its header and a few bytes of image data.
  auto chunk = [](const char* type, const std::string& data) {
    std::string c;
    for (int i = 3; i >= 0; --i) c += static_cast<char>((data.size() >> (8 * i)) & 0xFF);
    const std::string body = type + data;
    c += body;
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const unsigned char*>(body.data()), static_cast<uInt>(body.size())));
    for (int i = 3; i >= 0; --i) c += static_cast<char>((crc >> (8 * i)) & 0xFF);
    return c;
  };
  const std::string huge = std::string("\x89PNG\r\n\x1a\n", 8) +
                           chunk("IHDR", std::string("\0\0\xea\x60\0\0\xea\x60\x01\0\0\0\0", 13)) +
                           chunk("IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9)) +
                           chunk("IEND", "");
  const Case cases[] = {
      {"empty", ""},
      {"text", "hello"},
      {"60000 x 60000 PNG", huge, "60000 x 60000 pixels: too large"},
      {"truncated PNG", huge.substr(0, 20)},
      {"truncated JPEG", std::string("\xff\xd8\xff\xe0\0\x10JFIF", 10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir / "bad";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
    std::fclose(f);
    GreyPicture picture;
    std::string error;
    EXPECT_FALSE(ReadPicture(path, picture, error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_TRUE(picture.grey.empty());
  }
}

}  // namespace
}  // namespace qx::papp
