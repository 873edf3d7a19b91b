// The Qt window of the editor: a thin view of TPrintForm. Widgets show the model's state
// after every change and forward the operator's actions to the model's handlers.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <array>
#include <vector>

#include "app/main_form.h"

class QComboBox;
class QTableWidget;
class QAbstractButton;

namespace qx {

class MainWindow;

// A line editor whose keys and input-method commits go to the model byte by byte.
class GbkLineEdit : public QLineEdit {
 public:
  GbkLineEdit(MainWindow& window, Ctl id);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  void PushCaret();  // the widget's caret and selection into the model
  MainWindow& window_;
  Ctl id_;
};

class MainWindow : public QMainWindow {
 public:
  MainWindow(TPrintForm& form, Ui& ui);

  // Shows the model's state in every widget.
  void Refresh();
  TPrintForm& form() { return form_; }
  QWidget* Widget(Ctl c) const { return widgets_[static_cast<std::size_t>(c)]; }
  bool syncing() const { return syncing_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void Build();
  QAbstractButton* ToolButton(Ctl c, const QString& text);
  QComboBox* Selector(Ctl c);
  QLineEdit* NumberEdit(Ctl c);
  void RefreshGrid();
  void RefreshPreview();
  void FollowModelFocus();
  void NotYetAvailable();
  void ListButtonClick(Ctl c);
  void FileButtonClick(Ctl c);

  TPrintForm& form_;
  Ui& ui_;
  std::array<QWidget*, kControlCount> widgets_{};
  QTableWidget* grid_ = nullptr;
  QLabel* preview_ = nullptr;
  QLabel* preview_note_ = nullptr;
  QLabel* status_[2] = {nullptr, nullptr};
  std::vector<std::array<std::string, 3>> grid_rows_;
  bool syncing_ = false;
};

}  // namespace qx
