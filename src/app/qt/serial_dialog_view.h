// The serial-number dialog's window: a thin view of SerialNumberDialog.
#pragma once

#include <QDialog>

#include "app/serial_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qx {

class SerialDialogView : public QDialog {
 public:
  SerialDialogView(SerialNumberDialog& model, QWidget* parent);
  // Shows the dialog modally, centred on its parent; returns the model's result.
  int Run();

  QComboBox* type_box() const { return type_; }
  QLineEdit* first_edit() const { return first_; }
  QLineEdit* last_edit() const { return last_; }
  QPushButton* yes_button() const { return yes_; }
  QPushButton* return_button() const { return ret_; }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void Sync();
  void Edited(QLineEdit* edit, void (SerialNumberDialog::*handler)(std::string_view),
              const std::string& (SerialNumberDialog::*value)() const);

  SerialNumberDialog& model_;
  QComboBox* type_ = nullptr;
  QLineEdit* first_ = nullptr;
  QLineEdit* last_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* ret_ = nullptr;
  bool syncing_ = false;
};

}  // namespace qx
