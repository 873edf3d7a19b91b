// Pictures a client sends to the printer application (PNG, JPEG), decoded here rather than
// by PAPPL 1.3.1, whose decoding prints a 1-bit PNG as a black marker: every depth and
// colour type becomes 8-bit grey, transparent parts white.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "layout/image.h"

namespace qx::papp {

struct GreyPicture {
  int width = 0, height = 0;
  double dpi_x = 0, dpi_y = 0;  // 0: the file does not say
  std::vector<uint8_t> grey;    // width x height, 0 black .. 255 white, line by line
};

// Largest picture decoded: beyond it a picture is refused before its pixels are read (a
// few kilobytes of PNG can claim billions of pixels).
inline constexpr int kMaxPictureSide = 20000;
inline constexpr int64_t kMaxPicturePixels = 16'000'000;

// Decodes `path` as a PNG or a JPEG (by its first bytes). False with `error` set and `out`
// empty when it is neither, damaged, or too large.
bool ReadPicture(const std::filesystem::path& path, GreyPicture& out, std::string& error);

// The picture as a marker: scaled to the printer's resolution (by its own resolution, or,
// when it gives none, to the width of a medium `medium_dots` wide), then turned onto the
// tape as a raster page is (see raster_item.h) and dithered. False when the marker would be
// longer than an item may be. `cut`, when given, tells whether dark pixels fell beyond the
// head's 96 dots.
bool PictureItem(const GreyPicture& picture, int medium_dots, ItemImage& out,
                 bool* cut = nullptr);

}  // namespace qx::papp
