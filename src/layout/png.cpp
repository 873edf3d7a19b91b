#include "layout/png.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "document/atomic_file.h"

namespace qx {

RgbImage::RgbImage(int w, int h, Rgb fill) : width(w), height(h) {
  rgb.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  FillRect(0, 0, w, h, fill);
}

void RgbImage::Set(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)) * 3;
  p[0] = static_cast<uint8_t>(c >> 16);
  p[1] = static_cast<uint8_t>(c >> 8);
  p[2] = static_cast<uint8_t>(c);
}

Rgb RgbImage::Get(int x, int y) const {
  const uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x)) * 3;
  return static_cast<Rgb>(p[0] << 16 | p[1] << 8 | p[2]);
}

void RgbImage::FillRect(int x0, int y0, int x1, int y1, Rgb c) {
  for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) Set(x, y, c);
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void OnPngError(png_structp png, png_const_charp msg) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  if (error) *error = msg;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

namespace {

// Encodes into an open file; nothing in this frame changes after setjmp.
bool EncodeInto(std::FILE* f, const RgbImage& image, std::string* err) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, err, OnPngError, OnPngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    *err = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, image.rgb.data() + static_cast<std::size_t>(y) *
                                               static_cast<std::size_t>(image.width) * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* error) {
  std::string local_error;
  std::string* err = error ? error : &local_error;
  if (image.width <= 0 || image.height <= 0) {
    *err = "empty image";
    return false;
  }
  // Written through a temporary file renamed over the target, so a failed write never
  // leaves a damaged file under the name asked for, nor a temporary behind.
  return WriteFileAtomically(
      path, [&](std::FILE* f, std::string* fill_error) { return EncodeInto(f, image, fill_error); },
      err);
}

namespace {

// Decodes into *out. Kept apart so that nothing in this frame changes between setjmp and
// a longjmp from libpng except through the pointers it was given.
bool ReadInto(std::FILE* f, RgbImage* out) {
  std::string err;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, OnPngError, OnPngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_palette_to_rgb(png);
  png_set_expand_gray_1_2_4_to_8(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  const auto w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (w == 0 || h == 0 || w > 1u << 16 || h > 1u << 16 || png_get_rowbytes(png, info) != w * 3) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  *out = RgbImage(static_cast<int>(w), static_cast<int>(h), kWhite);
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out->rgb.data() + y * w * 3, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

std::optional<RgbImage> ReadPng(const std::filesystem::path& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  RgbImage out;
  if (!ReadInto(f.get(), &out)) return std::nullopt;
  return out;
}

}  // namespace qx
