#include "layout/text_canvas.h"

#include <algorithm>

namespace qx {

TextCanvas::TextCanvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), kWhite) {}

TextCanvas::~TextCanvas() = default;

void TextCanvas::Fill(int x0, int y0, int x1, int y1, Rgb c) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  for (int y = y0; y < y1; ++y) {
    Rgb* row = pixels_.data() + static_cast<std::size_t>(y * width_);
    std::fill(row + x0, row + std::max(x0, x1), c);
  }
}

}  // namespace qx
