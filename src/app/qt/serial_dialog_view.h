// The serial-number dialog's window: a thin view of TXuhoForm.
#pragma once

#include <QDialog>

#include "app/serial_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace qx {

class SerialDialogView : public QDialog {
 public:
  SerialDialogView(TXuhoForm& form, QWidget* parent);
  // Shows the dialog modally, centred on its parent; returns the form's result.
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
  void Edited(QLineEdit* edit, void (TXuhoForm::*handler)(std::string_view),
              const std::string& (TXuhoForm::*value)() const);

  TXuhoForm& form_;
  QComboBox* type_ = nullptr;
  QLineEdit* first_ = nullptr;
  QLineEdit* last_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* ret_ = nullptr;
  bool syncing_ = false;
};

}  // namespace qx
