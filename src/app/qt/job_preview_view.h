// The job preview's window: a thin view of JobPreviewWindow. Only the rows in sight are
// drawn, each once until the rows are wrapped again.
#pragma once

#include <QAbstractScrollArea>
#include <QDialog>
#include <QImage>
#include <QKeyEvent>
#include <functional>
#include <map>

#include "app/job_preview_window.h"

class QLabel;
class QPushButton;

namespace qx {

// The rows of tape with the items' captions, scrolled; a click chooses an item.
class JobPreviewArea : public QAbstractScrollArea {
 public:
  JobPreviewArea(JobPreviewWindow& model, QWidget* parent);
  // The rows were wrapped again or an item chosen: redraw, and keep the chosen in sight.
  void Rewrapped();
  void ShowChosen();
  std::function<void()> on_choice;  // an item was chosen by a click

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  // Keys go to the window, which moves the chosen item.
  void keyPressEvent(QKeyEvent* e) override { e->ignore(); }

 public:
  std::function<void(bool in)> on_zoom;  // Ctrl and the wheel

 private:
  static constexpr int kMargin = 8;
  void UpdateScrollBars();
  const QImage& Row(int row);

  JobPreviewWindow& model_;
  std::map<int, QImage> rows_;  // drawn rows, by number
};

class JobPreviewView : public QDialog {
 public:
  JobPreviewView(JobPreviewWindow& model, QWidget* parent);
  // Shows the window modally, as large as suits its parent's screen.
  void Run();

  JobPreviewArea* area() const { return area_; }
  void Sync();  // texts and buttons from the model

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Zoom(bool in);

  JobPreviewWindow& model_;
  JobPreviewArea* area_ = nullptr;
  QLabel* figures_ = nullptr;
  QLabel* chosen_ = nullptr;
  QPushButton* zoom_in_ = nullptr;
  QPushButton* zoom_out_ = nullptr;
};

}  // namespace qx
