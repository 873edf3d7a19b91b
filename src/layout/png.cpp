#include "layout/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
                             static_cast<std::size_t>(x)) *
                                3;
  p[0] = static_cast<uint8_t>(c >> 16);
  p[1] = static_cast<uint8_t>(c >> 8);
  p[2] = static_cast<uint8_t>(c);
}

Rgb RgbImage::Get(int x, int y) const {
  const uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x)) *
                                      3;
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

IndexedImage::IndexedImage(int w, int h, std::vector<Rgb> colours, uint8_t fill)
    : width(w), height(h), palette(std::move(colours)) {
  pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
}

RgbImage IndexedImage::ToRgb() const {
  RgbImage out;
  out.width = width;
  out.height = height;
  out.rgb.resize(pixels.size() * 3);
  uint8_t* p = out.rgb.data();
  for (const uint8_t i : pixels) {
    const Rgb c = i < palette.size() ? palette[i] : kBlack;
    *p++ = static_cast<uint8_t>(c >> 16);
    *p++ = static_cast<uint8_t>(c >> 8);
    *p++ = static_cast<uint8_t>(c);
  }
  return out;
}

namespace {

// What EncodeInto writes: 8-bit RGB rows, or palette rows of one index a byte taken
// from a whole image or drawn band by band, each index a block of scale x scale pixels.
struct PngSource {
  int width = 0;   // pixels
  int height = 0;  // pixels
  const RgbImage* rgb = nullptr;
  const std::vector<Rgb>* palette = nullptr;
  const IndexedImage* whole = nullptr;
  FillBand fill = {};
  int scale = 1;
};

int BitDepthFor(std::size_t colours) {
  if (colours <= 2) return 1;
  if (colours <= 4) return 2;
  if (colours <= 16) return 4;
  return 8;
}

// Palette pictures are written here rather than through libpng, whose row-by-row
// packing and filtering took most of the time of a large picture. Each row goes packed
// at the bit depth its colours need, with the "Up" filter: the rows of a glyph differ
// little from the row above, so most of the filtered bytes are runs of zeros, and a row
// repeated (every row of a scaled picture is, `scale` times) is all zeros. The fastest
// deflate level with run-length matching passes over such runs quickly.
class PaletteWriter {
 public:
  explicit PaletteWriter(std::FILE* f) : f_(f) {}
  ~PaletteWriter() {
    if (open_) deflateEnd(&z_);
  }

  bool Write(const PngSource& src, IndexedImage& band, std::string* err) {
    const int depth = BitDepthFor(src.palette->size());
    const int scale = std::max(src.scale, 1);
    const std::size_t w = static_cast<std::size_t>(src.width);
    const std::size_t blocks = w / static_cast<std::size_t>(scale);  // indices a row
    const std::size_t row_bytes = (w * static_cast<std::size_t>(depth) + 7) / 8;
    static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::fwrite(kSignature, 1, sizeof kSignature, f_) != sizeof kSignature) return Failed(err);
    std::vector<uint8_t> ihdr(13);
    Put32(ihdr.data(), static_cast<uint32_t>(src.width));
    Put32(ihdr.data() + 4, static_cast<uint32_t>(src.height));
    ihdr[8] = static_cast<uint8_t>(depth);
    ihdr[9] = 3;  // palette colour; compression, filter and interlace methods 0
    if (!Chunk("IHDR", ihdr)) return Failed(err);
    std::vector<uint8_t> plte;
    for (const Rgb c : *src.palette) {
      plte.push_back(static_cast<uint8_t>(c >> 16));
      plte.push_back(static_cast<uint8_t>(c >> 8));
      plte.push_back(static_cast<uint8_t>(c));
    }
    if (!Chunk("PLTE", plte)) return Failed(err);

    if (deflateInit2(&z_, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) {
      *err = "out of memory";
      return false;
    }
    open_ = true;
    out_.resize(1 << 18);
    std::vector<uint8_t> row(row_bytes + 1), zeros(row_bytes + 1, 0);
    zeros[0] = 2;  // Up
    std::vector<uint8_t> last(blocks), wide(w), packed(row_bytes), above(row_bytes);
    bool have_last = false;
    // One row of blocks: `scale` rows of pixels.
    auto put_row = [&](const uint8_t* indices) {
      if (have_last && std::memcmp(indices, last.data(), blocks) == 0) {
        for (int i = 0; i < scale; ++i)
          if (!Deflate(zeros, Z_NO_FLUSH)) return false;
        return true;
      }
      std::memcpy(last.data(), indices, blocks);
      if (depth == 2 && scale == 2) {
        PackPairs(indices, blocks, packed.data());
      } else {
        const uint8_t* pixels = indices;
        if (scale > 1) {
          for (std::size_t b = 0; b < blocks; ++b)
            std::memset(wide.data() + b * static_cast<std::size_t>(scale), indices[b],
                        static_cast<std::size_t>(scale));
          pixels = wide.data();
        }
        Pack(pixels, w, depth, packed.data());
      }
      row[0] = have_last ? 2 : 0;  // the first row goes unfiltered (Up of zeros is the same)
      // Through plain pointers: stores through a vector's bytes could alias its own data
      // pointer, which would keep the compiler from vectorising the loop.
      uint8_t* const filtered = row.data() + 1;
      const uint8_t* const now = packed.data();
      const uint8_t* const before = above.data();
      for (std::size_t i = 0; i < row_bytes; ++i)
        filtered[i] = static_cast<uint8_t>(now[i] - before[i]);
      packed.swap(above);
      have_last = true;
      if (!Deflate(row, Z_NO_FLUSH)) return false;
      for (int i = 1; i < scale; ++i)
        if (!Deflate(zeros, Z_NO_FLUSH)) return false;
      return true;
    };
    const int block_rows = src.height / scale;
    if (src.whole) {
      for (int y = 0; y < src.height; ++y)
        if (!put_row(src.whole->Row(y))) return Failed(err);
    } else {
      for (int y = 0; y < block_rows;) {
        const int rows = std::min(std::max(src.fill(y, band), 1), block_rows - y);
        for (int r = 0; r < rows; ++r)
          if (!put_row(band.Row(r))) return Failed(err);
        y += rows;
      }
    }
    if (!Deflate({}, Z_FINISH) || !Chunk("IEND", {})) return Failed(err);
    return true;
  }

 private:
  static void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
  }

  // Indices, one a byte, each as two pixels of 2 bits: a byte holds two indices.
  static void PackPairs(const uint8_t* in, std::size_t n, uint8_t* out) {
    static constexpr auto kTwice = [] {
      std::array<uint8_t, 16> t{};
      for (unsigned a = 0; a < 4; ++a)
        for (unsigned b = 0; b < 4; ++b)
          t[a * 4 + b] = static_cast<uint8_t>((a * 5) << 4 | (b * 5));  // a a b b
      return t;
    }();
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) *out++ = kTwice[(in[i] & 3) * 4 + (in[i + 1] & 3)];
    if (i < n) *out = static_cast<uint8_t>(((in[i] & 3) * 5) << 4);
  }

  // Indices, one a byte, packed `depth` bits each, the leftmost pixel in the high bits.
  static void Pack(const uint8_t* in, std::size_t w, int depth, uint8_t* out) {
    if (depth == 8) {
      std::memcpy(out, in, w);
      return;
    }
    const int per_byte = 8 / depth;
    std::size_t x = 0;
    if (depth == 4) {
      for (; x + 2 <= w; x += 2) *out++ = static_cast<uint8_t>(in[x] << 4 | in[x + 1]);
    } else if (depth == 2) {
      for (; x + 4 <= w; x += 4)
        *out++ = static_cast<uint8_t>(in[x] << 6 | in[x + 1] << 4 | in[x + 2] << 2 | in[x + 3]);
    }
    while (x < w) {
      uint8_t b = 0;
      for (int k = 0; k < per_byte; ++k, ++x)
        b = static_cast<uint8_t>(b << depth | (x < w ? in[x] : 0));
      *out++ = b;
    }
  }

  bool Chunk(const char* type, const std::vector<uint8_t>& data) {
    return Chunk(type, data.data(), data.size());
  }
  bool Chunk(const char* type, const uint8_t* data, std::size_t size) {
    uint8_t head[8];
    Put32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size) crc = crc32(crc, data, static_cast<uInt>(size));
    uint8_t tail[4];
    Put32(tail, static_cast<uint32_t>(crc));
    return std::fwrite(head, 1, 8, f_) == 8 &&
           (size == 0 || std::fwrite(data, 1, size, f_) == size) &&
           std::fwrite(tail, 1, 4, f_) == 4;
  }

  // Compresses `in`, writing each full output buffer as an IDAT chunk.
  // Rows are gathered and handed to zlib some 64 KiB at a time: a call for every row of
  // pixels costs more than compressing it. What zlib writes does not depend on how its
  // input is split.
  bool Deflate(const std::vector<uint8_t>& in, int flush) {
    pending_.insert(pending_.end(), in.begin(), in.end());
    if (flush == Z_NO_FLUSH && pending_.size() < kPendingBytes) return true;
    const bool ok = DeflatePending(flush);
    pending_.clear();
    return ok;
  }
  bool DeflatePending(int flush) {
    z_.next_in = pending_.data();
    z_.avail_in = static_cast<uInt>(pending_.size());
    for (;;) {
      if (z_.avail_out == 0 || z_.next_out == nullptr) {
        if (z_.next_out && !Chunk("IDAT", out_.data(), out_.size())) return false;
        z_.next_out = out_.data();
        z_.avail_out = static_cast<uInt>(out_.size());
      }
      const int r = deflate(&z_, flush);
      if (r == Z_STREAM_END) {
        const std::size_t used = out_.size() - z_.avail_out;
        return used == 0 || Chunk("IDAT", out_.data(), used);
      }
      if (r != Z_OK && r != Z_BUF_ERROR) return false;
      if (z_.avail_out != 0 && z_.avail_in == 0 && flush != Z_FINISH) return true;
    }
  }

  bool Failed(std::string* err) {
    if (err->empty()) *err = "cannot write the picture";
    return false;
  }

  std::FILE* f_;
  z_stream z_{};
  bool open_ = false;
  std::vector<uint8_t> out_;
  static constexpr std::size_t kPendingBytes = 64 * 1024;
  std::vector<uint8_t> pending_;  // rows not yet handed to zlib
};

// Encodes into an open file. Nothing in this frame that is used after a longjmp changes
// after setjmp.
bool EncodeInto(std::FILE* f, const PngSource& src, IndexedImage& band, std::string* err) {
  if (src.palette) return PaletteWriter(f).Write(src, band, err);
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
  const auto w = static_cast<png_uint_32>(src.width), h = static_cast<png_uint_32>(src.height);
  {
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < src.height; ++y)
      png_write_row(png, src.rgb->rgb.data() +
                             static_cast<std::size_t>(y) * static_cast<std::size_t>(src.width) * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool Encode(const std::filesystem::path& path, const PngSource& src, std::string* error) {
  std::string local_error;
  std::string* err = error ? error : &local_error;
  if (src.width <= 0 || src.height <= 0) {
    *err = "empty image";
    return false;
  }
  IndexedImage band;
  // Written through a temporary file renamed over the target, so a failed write never
  // leaves a damaged file under the name asked for, nor a temporary behind.
  return WriteFileAtomically(
      path,
      [&](std::FILE* f, std::string* fill_error) { return EncodeInto(f, src, band, fill_error); },
      err);
}

// The image's colours as a palette and its pixels as indices, when it has at most 256.
std::optional<IndexedImage> ToIndexed(const RgbImage& image) {
  IndexedImage out;
  out.width = image.width;
  out.height = image.height;
  out.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  Rgb last = 0;
  uint8_t last_index = 0;
  bool have_last = false;
  const uint8_t* p = image.rgb.data();
  for (uint8_t& px : out.pixels) {
    const Rgb c = static_cast<Rgb>(p[0] << 16 | p[1] << 8 | p[2]);
    p += 3;
    if (!have_last || c != last) {
      auto it = std::find(out.palette.begin(), out.palette.end(), c);
      if (it == out.palette.end()) {
        if (out.palette.size() == 256) return std::nullopt;
        it = out.palette.insert(out.palette.end(), c);
      }
      last = c;
      last_index = static_cast<uint8_t>(it - out.palette.begin());
      have_last = true;
    }
    px = last_index;
  }
  return out;
}

}  // namespace

bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* error) {
  if (image.width > 0 && image.height > 0) {
    if (const std::optional<IndexedImage> indexed = ToIndexed(image))
      return WritePng(path, *indexed, error);
  }
  return Encode(path, {.width = image.width, .height = image.height, .rgb = &image}, error);
}

bool WritePng(const std::filesystem::path& path, const IndexedImage& image, std::string* error) {
  return Encode(
      path,
      {.width = image.width, .height = image.height, .palette = &image.palette, .whole = &image},
      error);
}

bool WritePng(std::FILE* file, const IndexedImage& image, std::string* error) {
  std::string local_error;
  std::string* err = error ? error : &local_error;
  if (image.width <= 0 || image.height <= 0) {
    *err = "empty image";
    return false;
  }
  IndexedImage band;
  const PngSource src{
      .width = image.width, .height = image.height, .palette = &image.palette, .whole = &image};
  if (!EncodeInto(file, src, band, err)) return false;
  if (std::fflush(file) != 0 || std::ferror(file)) {
    *err = std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteIndexedPng(const std::filesystem::path& path, int columns, int rows, int scale,
                     const std::vector<Rgb>& palette, const FillBand& fill, std::string* error) {
  scale = std::max(scale, 1);
  return Encode(path,
                {.width = columns * scale,
                 .height = rows * scale,
                 .palette = &palette,
                 .fill = fill,
                 .scale = scale},
                error);
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
