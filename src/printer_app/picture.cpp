#include "printer_app/picture.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "printer_app/media.h"
#include "printer_app/raster_item.h"

namespace qx::papp {
namespace {

bool SizeAllowed(int64_t width, int64_t height, std::string& error) {
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
      width * height > kMaxPicturePixels) {
    error = "picture of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels: too large for a marker";
    return false;
  }
  return true;
}

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The resolution a PNG's pHYs chunk gives, read from the chunks before the image data.
void PngResolution(const std::filesystem::path& path, GreyPicture& out) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[8];
  if (!in.read(reinterpret_cast<char*>(head), 8)) return;
  for (int chunks = 0; chunks < 64; ++chunks) {
    unsigned char c[8];
    if (!in.read(reinterpret_cast<char*>(c), 8)) return;
    const uint32_t length = BigEndian32(c);
    if (std::memcmp(c + 4, "IDAT", 4) == 0 || length > (1u << 24)) return;
    if (std::memcmp(c + 4, "pHYs", 4) == 0 && length == 9) {
      unsigned char d[9];
      if (!in.read(reinterpret_cast<char*>(d), 9)) return;
      if (d[8] == 1) {  // pixels a metre
        out.dpi_x = BigEndian32(d) * 0.0254;
        out.dpi_y = BigEndian32(d + 4) * 0.0254;
      }
      return;
    }
    in.seekg(length + 4, std::ios::cur);  // the data and its CRC
  }
}

bool ReadPng(const std::filesystem::path& path, GreyPicture& out, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    error = std::string("damaged PNG: ") + image.message;
    return false;
  }
  struct Free {
    png_image* i;
    ~Free() { png_image_free(i); }
  } free_image{&image};
  if (!SizeAllowed(image.width, image.height, error)) return false;
  // Every depth, palette and colour type to 8-bit grey; transparency over white paper.
  image.format = PNG_FORMAT_GRAY;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.grey.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 255);
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, out.grey.data(), 0, nullptr)) {
    error = std::string("damaged PNG: ") + image.message;
    return false;
  }
  PngResolution(path, out);
  return true;
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegFailed(j_common_ptr info) {
  auto* e = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, e->message);
  std::longjmp(e->jump, 1);
}

// Only plain data lives between setjmp and the jumps back to it.
bool ReadJpeg(const std::filesystem::path& path, GreyPicture& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot read the picture";
    return false;
  }
  jpeg_decompress_struct info{};
  JpegError e{};
  info.err = jpeg_std_error(&e.manager);
  e.manager.error_exit = JpegFailed;
  e.manager.output_message = [](j_common_ptr) {};  // warnings: the picture is still read
  // Assigned after setjmp and read after a jump back: volatile.
  unsigned char* volatile line = nullptr;
  if (setjmp(e.jump)) {
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    std::free(line);
    error = std::string("damaged JPEG: ") + e.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ||
      !SizeAllowed(info.image_width, info.image_height, error)) {
    if (error.empty()) error = "CMYK JPEG pictures are not printed";
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return false;
  }
  info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.grey.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 255);
  line = static_cast<unsigned char*>(std::malloc(info.output_width));
  JSAMPROW row = line;
  while (row && info.output_scanline < info.output_height) {
    const JDIMENSION y = info.output_scanline;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    std::memcpy(out.grey.data() + static_cast<std::size_t>(y) * info.output_width, row,
                info.output_width);
  }
  if (info.density_unit == 1) {
    out.dpi_x = info.X_density;
    out.dpi_y = info.Y_density;
  } else if (info.density_unit == 2) {
    out.dpi_x = info.X_density * 2.54;
    out.dpi_y = info.Y_density * 2.54;
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  std::free(line);
  return true;
}

}  // namespace

bool ReadPicture(const std::filesystem::path& path, GreyPicture& out, std::string& error) {
  out = GreyPicture{};
  std::ifstream in(path, std::ios::binary);
  unsigned char head[4] = {};
  in.read(reinterpret_cast<char*>(head), 4);
  bool read = false;
  if (std::memcmp(head, "\x89PNG", 4) == 0)
    read = ReadPng(path, out, error);
  else if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
    read = ReadJpeg(path, out, error);
  else
    error = "neither a PNG nor a JPEG picture";
  if (!read) out = GreyPicture{};  // nothing half read is left behind
  return read;
}

bool PictureItem(const GreyPicture& picture, int medium_dots, ItemImage& out, bool* cut) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  // Printer dots a picture pixel takes, across and along.
  double sx = 0, sy = 0;
  if (picture.dpi_x > 0 && picture.dpi_y > 0) {
    sx = kDotsPerInch / picture.dpi_x;
    sy = kDotsPerInch / picture.dpi_y;
  } else {
    sx = sy = static_cast<double>(std::max(medium_dots, 1)) / picture.width;
  }
  // Within a percent of the printer's resolution the pixels are the dots.
  if (std::abs(sx - 1) < 0.01) sx = 1;
  if (std::abs(sy - 1) < 0.01) sy = 1;
  const auto width = static_cast<int64_t>(std::lround(picture.width * sx));
  const auto height = static_cast<int64_t>(std::lround(picture.height * sy));
  // Longer than any marker may be: refused before any line is built.
  // A tiny picture claiming a tiny resolution would be blown up beyond any marker: the
  // scaled picture has the same bounds as a decoded one.
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kImageStoreColumns + 2 * 0xFFFF ||
      width * height > kMaxPicturePixels)
    return false;

  const int columns = static_cast<int>(width), lines = static_cast<int>(height);
  RasterItemBuilder builder;
  builder.StartPage(columns, /*high_is_black=*/false, 8);
  std::vector<uint8_t> line(static_cast<std::size_t>(columns));
  for (int y = 0; y < lines; ++y) {
    // Each dot takes the mean of the picture pixels it covers (at least the one under it).
    const double y0 = y / sy, y1 = (y + 1) / sy;
    const int py0 = std::min(static_cast<int>(y0), picture.height - 1);
    const int py1 = std::clamp(static_cast<int>(std::ceil(y1)), py0 + 1, picture.height);
    for (int x = 0; x < columns; ++x) {
      const double x0 = x / sx, x1 = (x + 1) / sx;
      const int px0 = std::min(static_cast<int>(x0), picture.width - 1);
      const int px1 = std::clamp(static_cast<int>(std::ceil(x1)), px0 + 1, picture.width);
      unsigned sum = 0, count = 0;
      for (int py = py0; py < py1; ++py)
        for (int px = px0; px < px1; ++px, ++count)
          sum += picture.grey[static_cast<std::size_t>(py) * static_cast<std::size_t>(picture.width) +
                              static_cast<std::size_t>(px)];
      line[static_cast<std::size_t>(x)] = static_cast<uint8_t>(sum / count);
    }
    builder.AddLine(line);
  }
  if (cut) *cut = builder.Cut();
  return builder.Finish(out);
}

}  // namespace qx::papp
