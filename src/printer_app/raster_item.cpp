#include "printer_app/raster_item.h"

#include <algorithm>
#include <array>

#include "printer_app/media.h"

namespace qx::papp {

namespace {

// The thresholds of an 8 x 8 ordered dither, 0..63.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

}  // namespace

RasterPageCheck CheckRasterPage(uint32_t width, uint32_t height, uint32_t bits_per_pixel,
                                uint32_t bytes_per_line) {
  if (bits_per_pixel != 1 && bits_per_pixel != 8) return RasterPageCheck::kBadHeader;
  if (width == 0 || width > kMaxRasterWidth || height == 0) return RasterPageCheck::kBadHeader;
  // In 64 bits: a width of 2^29 pixels of 8 bits wraps to a line of 0 bytes in 32.
  const uint64_t line_bytes = (uint64_t{width} * bits_per_pixel + 7) / 8;
  if (bytes_per_line != line_bytes) return RasterPageCheck::kBadHeader;
  if (height > kMaxRasterLines) return RasterPageCheck::kTooLong;
  return RasterPageCheck::kFits;
}

bool RasterItemBuilder::StartPage(int width, bool high_is_black, int bits_per_pixel) {
  if (bits_per_pixel != 1 && bits_per_pixel != 8) return false;
  width_ = std::max(width, 0);
  high_is_black_ = high_is_black;
  bits_ = bits_per_pixel;
  offset_ = (kHeadDots - width) / 2;
  lines_ = 0;
  lead_ = 0;
  blank_run_ = 0;
  any_dot_ = false;
  cut_ = false;
  columns_.clear();
  return true;
}

bool RasterItemBuilder::Prints(std::span<const uint8_t> line, int x) const {
  if (bits_ == 1) {
    const bool set = (line[static_cast<std::size_t>(x / 8)] & (0x80 >> (x % 8))) != 0;
    return set == high_is_black_;
  }
  const uint8_t value = line[static_cast<std::size_t>(x)];
  const int darkness = high_is_black_ ? value : 255 - value;
  // Thresholds 2..254: 255 always prints, 0 never.
  return darkness > kBayer[lines_ % 8][x % 8] * 4 + 2;
}

void RasterItemBuilder::AddLine(std::span<const uint8_t> line) {
  ++lines_;
  std::array<uint8_t, kColumnBytes> column{};
  bool dot = false;
  const int pixels = std::min<int>(width_, static_cast<int>(line.size()) * 8 / bits_);
  for (int x = 0; x < pixels; ++x) {
    if (!Prints(line, x)) continue;
    const int row = offset_ + (width_ - 1 - x);  // turned, not mirrored: see raster_item.h
    if (row < 0 || row >= kHeadDots) {
      cut_ = true;
      continue;
    }
    column[static_cast<std::size_t>(row / 8)] |= static_cast<uint8_t>(1u << (row % 8));
    dot = true;
  }
  if (!any_dot_) {
    if (!dot) {
      ++lead_;
      return;
    }
    any_dot_ = true;
  }
  if (!dot) {
    ++blank_run_;
    return;
  }
  // Blank lines between dots are columns of the image.
  columns_.insert(columns_.end(), static_cast<std::size_t>(blank_run_) * kColumnBytes, 0);
  blank_run_ = 0;
  columns_.insert(columns_.end(), column.begin(), column.end());
}

bool RasterItemBuilder::Finish(ItemImage& out) {
  // A blank page still feeds its length: one blank column and the rest as lead.
  if (!any_dot_ && lines_ > 0) {
    columns_.assign(kColumnBytes, 0);
    lead_ = lines_ - 1;
  }
  const std::size_t count = columns_.size() / kColumnBytes;
  const int trail = any_dot_ ? blank_run_ : 0;
  if (columns_.size() > kImageStoreBytes || lead_ > 0xFFFF || trail > 0xFFFF) return false;
  out.LeadBlank = static_cast<uint16_t>(lead_);
  out.TrailBlank = static_cast<uint16_t>(trail);
  out.ColumnCount = static_cast<uint16_t>(count);
  out.SeparatorColumn = {};
  out.columns = columns_;
  return true;
}

}  // namespace qx::papp
