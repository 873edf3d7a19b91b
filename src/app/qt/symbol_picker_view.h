// The symbol picker's window: a thin view of SymbolPicker. The grid shows each code in the
// document's font face, as the printer will draw it.
#pragma once

#include <QDialog>

#include "app/symbol_picker.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qx {

class SymbolPickerView : public QDialog {
 public:
  SymbolPickerView(SymbolPicker& model, QWidget* parent);
  // Shows the picker modally, centred on its parent, until it is closed.
  int Run();

  QTableWidget* grid() const { return grid_; }
  QLineEdit* preview() const { return preview_; }
  QPushButton* pre_button() const { return pre_; }
  QPushButton* next_button() const { return next_; }
  QPushButton* insert_button() const { return insert_; }
  QPushButton* close_button() const { return close_; }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void Sync();

  SymbolPicker& model_;
  QTableWidget* grid_ = nullptr;
  QLineEdit* preview_ = nullptr;
  QPushButton* pre_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* insert_ = nullptr;
  QPushButton* close_ = nullptr;
  bool syncing_ = false;
};

}  // namespace qx
