#include "printer_app/raster_item.h"

#include <algorithm>
#include <array>

#include "printer_app/media.h"

namespace qx::papp {

void RasterItemBuilder::StartPage(int width, bool set_is_black) {
  width_ = width;
  set_is_black_ = set_is_black;
  offset_ = (kHeadDots - width) / 2;
  lines_ = 0;
  lead_ = 0;
  blank_run_ = 0;
  any_dot_ = false;
  columns_.clear();
}

void RasterItemBuilder::AddLine(std::span<const uint8_t> line) {
  ++lines_;
  std::array<uint8_t, kColumnBytes> column{};
  bool dot = false;
  const int pixels = std::min<int>(width_, static_cast<int>(line.size()) * 8);
  for (int x = 0; x < pixels; ++x) {
    const bool set = (line[static_cast<std::size_t>(x / 8)] & (0x80 >> (x % 8))) != 0;
    if (set != set_is_black_) continue;
    const int row = x + offset_;
    if (row < 0 || row >= kHeadDots) continue;
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
