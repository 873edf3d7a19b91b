#include "app/symbol_picker.h"

#include <algorithm>

namespace qx {

TFuhaoForm::TFuhaoForm(SymbolPickerHost host) : host_(std::move(host)) {
  FormCreate();
}

void TFuhaoForm::ReadFace() {
  face_ = host_.face ? host_.face() : std::string();
}

std::string TFuhaoForm::Cell(int col, int row) const {
  if (col < 0 || col >= kColumns || row < 0 || row >= kRows) return {};
  const int trail = 0xA0 + col + 16 * row;
  // A0 and FF are no trail bytes of the symbol area; A1 ED is the serial placeholder,
  // which only the serial-number dialog inserts.
  if (trail == 0xA0 || trail == 0xFF || (zone_ == 0xA1 && trail == 0xED)) return {};
  return {static_cast<char>(zone_), static_cast<char>(trail)};
}

void TFuhaoForm::Fill() {
  // The selection keeps its place: it now designates the character there in this zone.
  symbol_ = Cell(col_, row_);
  preview_ = symbol_;
  insert_enabled_ = !preview_.empty();
}

void TFuhaoForm::FormCreate() {
  ReadFace();
  pre_enabled_ = false;
  insert_enabled_ = false;
  zone_ = kFirstZone;
  Fill();
}

void TFuhaoForm::FormActivate() {
  result_ = 0;
  ReadFace();
  insert_enabled_ = !preview_.empty();
}

void TFuhaoForm::StringGrid1SelectCell(int col, int row) {
  col_ = std::clamp(col, 0, kColumns - 1);
  row_ = std::clamp(row, 0, kRows - 1);
  symbol_ = Cell(col_, row_);
  preview_ = symbol_;
  insert_enabled_ = !symbol_.empty();
}

void TFuhaoForm::NextBtnClick() {
  if (zone_ == kLastZone) {
    next_enabled_ = false;
    return;
  }
  ++zone_;
  pre_enabled_ = true;
  Fill();
}

void TFuhaoForm::PreBtnClick() {
  if (zone_ == kFirstZone) {
    pre_enabled_ = false;
    return;
  }
  --zone_;
  next_enabled_ = true;
  Fill();
}

void TFuhaoForm::InsertBtnClick() {
  // The picker stays open, so that several symbols can go in one after another.
  if (symbol_.empty() || !host_.insert) return;
  host_.insert(symbol_);
}

}  // namespace qx
