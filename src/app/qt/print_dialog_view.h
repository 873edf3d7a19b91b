// The print dialog's window: a thin view of PrintDialog.
#pragma once

#include <QDialog>

#include "app/print_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qx {

class PrintDialogView : public QDialog {
 public:
  PrintDialogView(PrintDialog& model, QWidget* parent);
  // Shows the dialog modally, centred on its parent; returns the model's result.
  int Run();

  QComboBox* printers() const { return printer_selector_; }
  QPushButton* ok_button() const { return ok_; }
  QLineEdit* copies_edit() const { return copies_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* e) override;
  // Each time the dialog becomes the active window again it looks for printers anew.
  void changeEvent(QEvent* e) override;

 private:
  void Sync();
  // What the current choices give: the figures and the offer to go on with a job.
  void ShowChoiceResults();
  void EditNumber(QLineEdit* edit, void (PrintDialog::*handler)(std::string),
                  const std::string& (PrintDialog::*value)() const);

  PrintDialog& model_;
  QLabel* usb_status_ = nullptr;
  QLabel* device_name_ = nullptr;
  QComboBox* printer_selector_ = nullptr;
  QLabel* search_text_ = nullptr;  // "正在查找共享打印机…"
  QRadioButton* all_ = nullptr;
  QRadioButton* range_ = nullptr;
  QLabel* segment_count_ = nullptr;
  QLabel* figures_ = nullptr;
  QLineEdit* first_row_ = nullptr;
  QLineEdit* last_row_ = nullptr;
  QLineEdit* copies_ = nullptr;
  QRadioButton* repeat_first_ = nullptr;
  QRadioButton* serial_first_ = nullptr;
  QLabel* repeat_first_picture_ = nullptr;
  QLabel* serial_first_picture_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* continue_ = nullptr;
  bool syncing_ = false;
  // Run() has just looked for printers: the activation that comes with showing the
  // dialog does not look again.
  bool activation_pending_ = false;
};

}  // namespace qx
