// The import window: a thin view of ImportWindow.
#pragma once

#include <QDialog>

#include "app/import_window.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace qx {

class ImportWindowView : public QDialog {
 public:
  ImportWindowView(ImportWindow& model, QWidget* parent);
  // Shows the window modally, centred on its parent; ImportWindow::kResultImport when the
  // operator pressed "导入".
  int Run();

  QComboBox* sheet_box() const { return sheet_; }
  QCheckBox* header_box() const { return header_; }
  QComboBox* upper_box() const { return upper_; }
  QComboBox* lower_box() const { return lower_; }
  QRadioButton* skip_empty_button() const { return skip_empty_; }
  QRadioButton* append_button() const { return append_; }
  QTableWidget* grid() const { return grid_; }
  QLabel* summary() const { return summary_; }
  QPushButton* import_button() const { return import_; }

 private:
  void Sync();

  ImportWindow& model_;
  QComboBox* sheet_ = nullptr;
  QCheckBox* header_ = nullptr;
  QComboBox* upper_ = nullptr;
  QComboBox* lower_ = nullptr;
  QRadioButton* stop_at_empty_ = nullptr;
  QRadioButton* skip_empty_ = nullptr;
  QRadioButton* replace_ = nullptr;
  QRadioButton* append_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* import_ = nullptr;
  bool syncing_ = false;
};

}  // namespace qx
