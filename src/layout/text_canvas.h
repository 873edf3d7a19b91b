// An off-screen bitmap that text is drawn into, for measuring and rasterising glyphs.
//
// The layout code needs only a handful of operations: choose a font by face name, cell
// height in pixels and bold; fill a rectangle; draw a GBK string with the top-left corner
// of its first character cell at a point; and tell whether a pixel is exactly black.
// Pixels are plain 0xRRGGBB values in memory, so scans read them directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

using Rgb = uint32_t;  // 0xRRGGBB
inline constexpr Rgb kBlack = 0x000000;
inline constexpr Rgb kAqua = 0x00FFFF;
inline constexpr Rgb kWhite = 0xFFFFFF;

class TextCanvas {
 public:
  static constexpr int kDefaultSize = 96;

  explicit TextCanvas(int width = kDefaultSize, int height = kDefaultSize);
  virtual ~TextCanvas();
  TextCanvas(const TextCanvas&) = delete;
  TextCanvas& operator=(const TextCanvas&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

  // Selects the font for the next DrawText. `cell_height` is the height of the character
  // cell in pixels, internal leading included.
  virtual void SelectFont(std::string_view face, int cell_height, bool bold) = 0;

  // Draws `gbk` with the top-left corner of the first character cell at (x, y), in the
  // text colour. Ink outside the bitmap is clipped. Bytes that are not GBK characters
  // draw nothing.
  virtual void DrawText(int x, int y, std::string_view gbk) = 0;

  // The face actually used for the selected font (a stand-in for a face that is not
  // installed), for showing to the operator.
  virtual std::string UsedFaceName() const = 0;

  void SetTextColor(Rgb c) { text_color_ = c; }
  Rgb text_color() const { return text_color_; }

  // Fills [x0, x1) x [y0, y1), clipped to the bitmap.
  void Fill(int x0, int y0, int x1, int y1, Rgb c);

  Rgb Pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y * width_ + x)]; }
  bool IsBlack(int x, int y) const { return Pixel(x, y) == kBlack; }
  const Rgb* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y * width_); }

 protected:
  // Sets one pixel to the text colour if it lies inside the bitmap.
  void Plot(int x, int y) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_)
      pixels_[static_cast<std::size_t>(y * width_ + x)] = text_color_;
  }

 private:
  int width_;
  int height_;
  Rgb text_color_ = kBlack;
  std::vector<Rgb> pixels_;
};

}  // namespace qx
