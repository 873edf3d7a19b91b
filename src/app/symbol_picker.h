// The symbol picker, SymbolPicker, as a model: a 16 x 6 grid showing one zone (lead byte
// A1 to A8) of the GBK symbol area, paging between the zones, a preview of the selected
// symbol and its insertion at the caret of the line being edited. Created once and reused:
// the zone and the selected cell survive from one opening to the next.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qx {

// What the picker reads from and hands to the main window.
struct SymbolPickerHost {
  // The document font face (UTF-8), which the grid is drawn in.
  std::function<std::string()> face;
  // Inserts a symbol (two GBK bytes) at the caret of the active line, checking the fit.
  std::function<void(std::string_view symbol)> insert;
};

class SymbolPicker {
 public:
  static constexpr int kColumns = 16;
  static constexpr int kRows = 6;
  static constexpr int kCellSize = 28;  // pixels
  static constexpr uint8_t kFirstZone = 0xA1;
  static constexpr uint8_t kLastZone = 0xA8;
  static constexpr int kResultClosed = 1;

  static constexpr std::string_view kCaption = "符号输入";
  static constexpr std::string_view kPreCaption = "上一区";
  static constexpr std::string_view kNextCaption = "下一区";
  static constexpr std::string_view kInsertCaption = "插入";
  static constexpr std::string_view kCloseCaption = "关闭";

  explicit SymbolPicker(SymbolPickerHost host);

  void Start();
  void OnActivated();
  void OnCellSelected(int col, int row);
  void OnPreviousZoneButton();
  void OnNextZoneButton();
  void OnInsertButton();
  void OnCloseButton() { result_ = kResultClosed; }
  void OnCloseBox() { result_ = kResultClosed; }

  // --- What the picker shows -----------------------------------------------------------
  uint8_t zone() const { return zone_; }
  // The GBK bytes shown in a cell; empty for the three empty cells of the grid and for the
  // codes GBK leaves unassigned. An empty cell cannot be inserted.
  std::string Cell(int col, int row) const;
  int col() const { return col_; }
  int row() const { return row_; }
  const std::string& symbol() const { return symbol_; }  // GBK, the selected cell's text
  const std::string& preview() const { return preview_; }
  const std::string& face() const { return face_; }
  bool pre_enabled() const { return pre_enabled_; }
  bool next_enabled() const { return next_enabled_; }
  bool insert_enabled() const { return insert_enabled_; }
  int result() const { return result_; }
  void ResetResult() { result_ = 0; }

 private:
  void Fill();
  void ReadFace();

  SymbolPickerHost host_;
  uint8_t zone_ = kFirstZone;
  int col_ = 0, row_ = 0;
  std::string symbol_, preview_, face_;
  bool pre_enabled_ = false, next_enabled_ = true, insert_enabled_ = false;
  int result_ = 0;
};

}  // namespace qx
