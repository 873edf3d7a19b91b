// A line editor of the main window whose keys and input-method commits go to the line
// editors' model byte by byte; it shows what the model holds.
#pragma once

#include <QLineEdit>

#include "editing/controls.h"

namespace qx {

class MainWindow;

class GbkLineEdit : public QLineEdit {
 public:
  GbkLineEdit(MainWindow& window, Control id);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  // The document face comes with the print path's fallback faces, and the characters that
  // face leaves blank (℃ in 黑体) are drawn from the face the printer takes them from.
  void changeEvent(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void PushCaret();  // the widget's caret and selection into the model
  void DrawStandIns();
  MainWindow& window_;
  Control id_;
};

}  // namespace qx
