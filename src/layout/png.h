// Small RGB images, palette images and PNG files (libpng).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
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

// A picture of palette indices, one byte a pixel, and its palette (at most 256 colours).
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> palette;
  std::vector<uint8_t> pixels;  // row-major palette indices

  IndexedImage() = default;
  IndexedImage(int w, int h, std::vector<Rgb> colours, uint8_t fill);
  uint8_t* Row(int y) {
    return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  }
  const uint8_t* Row(int y) const {
    return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  }
  RgbImage ToRgb() const;
};

// Writes `image` as a PNG with the same pixels: a palette image (1, 2, 4 or 8 bits a
// pixel, as few as its colours need) when it has at most 256 colours, else 8-bit RGB. On
// failure returns false and says why in `error`.
bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* error);
bool WritePng(const std::filesystem::path& path, const IndexedImage& image, std::string* error);
// The same PNG into an open file, at its position, for a writer that makes many pictures
// and sees to their names itself (WritePng by path goes through a temporary file flushed
// to disk, which takes a while).
bool WritePng(std::FILE* file, const IndexedImage& image, std::string* error);

// Writes a palette PNG of `columns` x `rows` blocks of `scale` x `scale` pixels each,
// whose rows of blocks `fill` hands over in bands: fill(y, band) draws the block rows
// from y on into `band` (`columns` indices a row, the band sized by fill) and returns how
// many it drew (at least 1). Only one band is held, so a picture far bigger than memory
// can be written. Compression favours speed: the pictures are large runs of few colours.
using FillBand = std::function<int(int y, IndexedImage& band)>;
bool WriteIndexedPng(const std::filesystem::path& path, int columns, int rows, int scale,
                     const std::vector<Rgb>& palette, const FillBand& fill, std::string* error);

// Reads an 8-bit PNG (grey, RGB or RGBA, alpha dropped); nullopt when it cannot.
std::optional<RgbImage> ReadPng(const std::filesystem::path& path);

}  // namespace qx
