#include "app/symbol_picker.h"

#include <algorithm>

#include "document/gbk.h"

namespace qx {

SymbolPicker::SymbolPicker(SymbolPickerHost host) : host_(std::move(host)) {
  Start();
}

void SymbolPicker::ReadFace() {
  face_ = host_.face ? host_.face() : std::string();
}

std::string SymbolPicker::Cell(int col, int row) const {
  if (col < 0 || col >= kColumns || row < 0 || row >= kRows) return {};
  const int trail = 0xA0 + col + 16 * row;
  // A0 and FF are no trail bytes of the symbol area; A1 ED is the serial placeholder,
  // which only the serial-number dialog inserts.
  if (trail == 0xA0 || trail == 0xFF || (zone_ == 0xA1 && trail == 0xED)) return {};
  std::string code{static_cast<char>(zone_), static_cast<char>(trail)};
  // Codes GBK leaves unassigned (113 in these zones) would go into the line as a character
  // nothing can show or print: their cells stay empty like the three above.
  const std::optional<char32_t> cp = gbk::DecodeChar(code);
  if (!cp || *cp == gbk::kReplacement || (*cp >= 0xE000 && *cp <= 0xF8FF)) return {};
  return code;
}

void SymbolPicker::Fill() {
  // The selection keeps its place: it now designates the character there in this zone.
  symbol_ = Cell(col_, row_);
  preview_ = symbol_;
  insert_enabled_ = !preview_.empty();
}

void SymbolPicker::Start() {
  ReadFace();
  pre_enabled_ = false;
  insert_enabled_ = false;
  zone_ = kFirstZone;
  Fill();
}

void SymbolPicker::OnActivated() {
  result_ = 0;
  ReadFace();
  insert_enabled_ = !preview_.empty();
}

void SymbolPicker::OnCellSelected(int col, int row) {
  col_ = std::clamp(col, 0, kColumns - 1);
  row_ = std::clamp(row, 0, kRows - 1);
  symbol_ = Cell(col_, row_);
  preview_ = symbol_;
  insert_enabled_ = !symbol_.empty();
}

void SymbolPicker::OnNextZoneButton() {
  if (zone_ == kLastZone) {
    next_enabled_ = false;
    return;
  }
  ++zone_;
  pre_enabled_ = true;
  Fill();
}

void SymbolPicker::OnPreviousZoneButton() {
  if (zone_ == kFirstZone) {
    pre_enabled_ = false;
    return;
  }
  --zone_;
  next_enabled_ = true;
  Fill();
}

void SymbolPicker::OnInsertButton() {
  // The picker stays open, so that several symbols can go in one after another.
  if (symbol_.empty() || !host_.insert) return;
  host_.insert(symbol_);
}

}  // namespace qx
