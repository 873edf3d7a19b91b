#include "layout/measure.h"

#include <algorithm>

#include "layout/sizes.h"

namespace qx {

GlyphMeasurer::GlyphMeasurer(TextCanvas& canvas) : canvas_(canvas) {}

uint8_t GlyphMeasurer::MeasureGlyphUncached(unsigned char ch, uint8_t code) {
  const int h = SizeHeight(code);
  canvas_.SelectFont(face_, h, /*bold=*/true);
  // Only the H x H square is ever read back, so only it needs the background.
  canvas_.Fill(0, 0, h, h, kAqua);
  canvas_.SetTextColor(kBlack);
  const char text[1] = {static_cast<char>(ch)};
  canvas_.DrawText(0, 0, std::string_view(text, 1));
  if (ch == ' ') return static_cast<uint8_t>(h / 2);

  // Mark the inked columns of the H x H square, reading the bitmap row by row.
  const int w = std::min(h, canvas_.width());
  const int rows = std::min(h, canvas_.height());
  std::array<bool, 256> ink{};
  for (int y = 0; y < rows; ++y) {
    const Rgb* row = canvas_.Row(y);
    for (int x = 0; x < w; ++x) ink[static_cast<std::size_t>(x)] |= row[x] == kBlack;
  }
  int a = 0;
  while (a < w && !ink[static_cast<std::size_t>(a)]) ++a;
  if (a == w) return 0;
  int b = a;
  while (b < w && ink[static_cast<std::size_t>(b)]) ++b;
  return static_cast<uint8_t>(a + b);
}

uint8_t GlyphMeasurer::MeasureGlyph(unsigned char ch, uint8_t code) {
  if (!remembering_) return MeasureGlyphUncached(ch, code);
  if (current_ == nullptr || face_ != cached_face_) {
    auto [it, inserted] = cache_.try_emplace(face_);
    if (inserted) it->second.fill(-1);
    current_ = &it->second;
    cached_face_ = face_;
  }
  int16_t& slot = (*current_)[static_cast<std::size_t>(SizeHeight(code) / 8) * 256 + ch];
  if (slot < 0) slot = MeasureGlyphUncached(ch, code);
  return static_cast<uint8_t>(slot);
}

}  // namespace qx
