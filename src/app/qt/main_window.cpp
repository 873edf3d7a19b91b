#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/gbk_line_edit.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"
#include "editing/control_values.h"
#include "editing/messages.h"

namespace qx {

MainWindow::MainWindow(MainWindowModel& model, Ui& ui) : model_(model), ui_(ui) {
  Build();
  model_.SetRefreshHandler([this] { Refresh(); });
  // While a job runs only the status bar and the row being printed change.
  model_.SetStatusHandler([this] {
    status_[0]->setText(Q(model_.controls().status(0)));
    if (grid_ && model_.table().Position() > 0) grid_->selectRow(model_.table().Position() - 1);
  });
  model_.SetCloseHandler([this] {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  });
  Refresh();
}

void MainWindow::Build() {
  setWindowTitle(Q(msg::kWindowCaption));
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(6, 6, 6, 6);

  // Top: the logo beside the two tool bars.
  auto* logo = new QLabel;
  logo->setPixmap(Logo());
  logo->setFixedSize(100, 100);
  auto* top = new QHBoxLayout;
  top->addWidget(logo);
  auto* bars = new QVBoxLayout;
  bars->addWidget(BuildUpperToolBar());
  bars->addWidget(BuildLowerToolBar());
  top->addLayout(bars, 1);
  outer->addLayout(top);

  // Middle: the two groups on the left, the grid and the preview on the right.
  auto* middle = new QHBoxLayout;
  middle->addLayout(BuildGroups());
  middle->addLayout(BuildListAndPreview(), 1);
  outer->addLayout(middle, 1);

  for (Control c : {Control::UpperLine, Control::LowerLine}) {
    auto* e = new GbkLineEdit(*this, c);
    widgets_[static_cast<std::size_t>(c)] = e;
    e->installEventFilter(this);
    outer->addWidget(e);
  }
  setCentralWidget(central);

  for (int i = 0; i < 2; ++i) {
    status_[i] = new QLabel;
    statusBar()->addWidget(status_[i], i == 0 ? 0 : 1);
  }
  status_[0]->setMinimumWidth(model_.layout().status0_width / 2);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && event->type() == QEvent::Resize) {
    // Column widths by the window's rule: the number 30, the two lines share the rest.
    const WindowLayout l = ComputeLayout(grid_->width() + 160, 0);
    grid_->setColumnWidth(0, l.grid_col0_width);
    grid_->setColumnWidth(1, l.grid_text_col_width);
    grid_->setColumnWidth(2, l.grid_text_col_width);
  }
  if (event->type() == QEvent::FocusIn && !syncing_) {
    for (int i = 0; i < kControlCount; ++i) {
      if (widgets_[static_cast<std::size_t>(i)] == watched) {
        model_.Focus(static_cast<Control>(i));
        FollowModelFocus();
        break;
      }
    }
  }
  if (event->type() == QEvent::KeyPress &&
      (watched == Widget(Control::LengthEdit) || watched == Widget(Control::RepeatEdit))) {
    auto* k = static_cast<QKeyEvent*>(event);
    const Control c =
        watched == Widget(Control::LengthEdit) ? Control::LengthEdit : Control::RepeatEdit;
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
      if (c == Control::LengthEdit) {
        model_.property_editors().OnLengthEditKeyUp(13);
      } else {
        model_.property_editors().OnRepeatEditKeyUp(13);
      }
      FollowModelFocus();
      return true;
    }
    const QString t = k->text();
    if (!t.isEmpty() && t.at(0).isPrint() && !QString("0123456789+-").contains(t.at(0))) {
      ui_.Beep();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::FollowModelFocus() {
  QWidget* target = Widget(model_.focus());
  if (target && !target->hasFocus()) {
    syncing_ = true;
    target->setFocus(Qt::OtherFocusReason);
    syncing_ = false;
  }
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (model_.CanClose()) {
    e->accept();
  } else {
    e->ignore();
  }
}

void MainWindow::Refresh() {
  if (syncing_) return;
  syncing_ = true;
  for (int i = 0; i < kControlCount; ++i) {
    QWidget* w = widgets_[static_cast<std::size_t>(i)];
    if (w) w->setEnabled(model_.controls().OwnEnabled(static_cast<Control>(i)));
  }
  for (Control c : {Control::UpperLine, Control::LowerLine}) {
    auto* e = static_cast<QLineEdit*>(Widget(c));
    // The face and style the model gives the line editors (also after open and new).
    QFont f = e->font();
    if (f.family() != Q(model_.settings().editor_face()) ||
        f.bold() != model_.doc().settings.editor_bold) {
      f.setFamily(Q(model_.settings().editor_face()));
      f.setBold(model_.doc().settings.editor_bold);
      e->setFont(f);
    }
    const LineEditor& m = model_.context().editor(c);
    const QString text = FromGbk(m.text);
    if (e->text() != text) e->setText(text);
    if (m.sel_length > 0) {
      e->setSelection(
          CharIndex(m.text, m.sel_start),
          CharIndex(m.text, m.sel_start + m.sel_length) - CharIndex(m.text, m.sel_start));
    } else {
      e->setCursorPosition(CharIndex(m.text, m.caret));
    }
  }
  for (Control c : {Control::LengthEdit, Control::RepeatEdit}) {
    auto* e = static_cast<QLineEdit*>(Widget(c));
    const QString text = Q(model_.context().NumberEditText(c));
    if (e->text() != text) e->setText(text);
    if (model_.context().NumberEditAllSelected(c) && e->selectedText() != text) e->selectAll();
  }
  for (Control c : {Control::SizeSelector, Control::OrientationSelector,
                    Control::DecorationSelector, Control::MaterialSelector, Control::CutSelector,
                    Control::AlignmentSelector, Control::SpacingSelector, Control::DensitySelector})
    static_cast<QComboBox*>(Widget(c))->setCurrentIndex(SelectorIndex(model_.doc(), c));
  for (Control c : {Control::SerialTypeField, Control::SerialFirstField, Control::SerialLastField})
    static_cast<QLineEdit*>(Widget(c))->setText(Q(SelectorText(model_.doc(), c)));
  auto* faces = static_cast<QComboBox*>(Widget(Control::FontFaceSelector));
  faces->setCurrentText(Q(model_.doc().settings.font_face));
  static_cast<QToolButton*>(Widget(Control::BoldButton))->setChecked(model_.doc().settings.bold);
  status_[0]->setText(Q(model_.controls().status(0)));
  status_[1]->setText(Q(model_.controls().status(1)));
  RefreshGrid();
  RefreshPreview();
  syncing_ = false;
  FollowModelFocus();
}

}  // namespace qx
