// Small RGB images and PNG files (libpng).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "layout/text_canvas.h"

namespace qx {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row-major, 3 bytes a pixel

  RgbImage() = default;
  RgbImage(int w, int h, Rgb fill);
  void Set(int x, int y, Rgb c);
  Rgb Get(int x, int y) const;
  void FillRect(int x0, int y0, int x1, int y1, Rgb c);  // [x0, x1) x [y0, y1), clipped
};

// Writes `image` as an 8-bit RGB PNG. On failure returns false and says why in `error`.
bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* error);

// Reads an 8-bit PNG (grey, RGB or RGBA, alpha dropped); nullopt when it cannot.
std::optional<RgbImage> ReadPng(const std::filesystem::path& path);

}  // namespace qx
