#include "app/qt/main_window.h"

#include <algorithm>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/gbk_line_edit.h"
#include "app/qt/qt_ui.h"
#include "app/qt/segment_list_view.h"
#include "app/qt/widget_helpers.h"
#include "editing/control_values.h"
#include "editing/messages.h"

namespace qx {
namespace {

// The one local file a drag carries, or an empty path.
std::filesystem::path DraggedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  if (!url.isLocalFile()) return {};
  return std::filesystem::path(url.toLocalFile().toStdString());
}

}  // namespace

MainWindow::MainWindow(MainWindowModel& model, Ui& ui) : model_(model), ui_(ui) {
  Build();
  model_.SetRefreshHandler([this] { Refresh(); });
  model_.SetUndoRedoHandler([this] { RefreshUndoRedo(); });
  // While a job runs only the status bar and the row being printed change.
  model_.SetStatusHandler([this] {
    status_[0]->setText(Q(model_.controls().status(0)));
    if (grid_ && model_.table().Position() > 0) grid_->ShowCurrent(model_.table().Position() - 1);
  });
  model_.SetCloseHandler([this] {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  });
  Refresh();
}

void MainWindow::Build() {
  setFont(WindowFont());
  setWindowTitle(Q(model_.WindowTitle()));
  setAcceptDrops(true);
  const WindowLayout& layout = model_.layout();
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 6, 0, 2);

  // Top: the logo beside the two tool bars.
  auto* logo = new QLabel;
  logo->setPixmap(Logo());
  logo->setFixedSize(100, 100);
  logo->setVisible(layout.logo_picture_visible);
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

  // The window fits any screen: what does not fit a very small one scrolls, while the
  // menu, the two line editors and the status bar stay in view. On larger screens the
  // content fills the window and the Segment list takes the height that is left.
  auto* scroll = new QScrollArea;
  scroll->setObjectName(QStringLiteral("WindowContent"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(central);
  auto* window_area = new QWidget;
  auto* column = new QVBoxLayout(window_area);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(scroll, 1);
  for (Control c : {Control::UpperLine, Control::LowerLine}) {
    auto* e = new GbkLineEdit(*this, c);
    QFont f = e->font();
    f.setPixelSize(layout.line_font_px);
    e->setFont(f);
    e->setAcceptDrops(false);  // a file dropped there opens; text goes in only by typing
    widgets_[static_cast<std::size_t>(c)] = e;
    e->installEventFilter(this);
    column->addWidget(e);
  }
  column->setContentsMargins(6, 0, 6, 4);
  for (Control c : {Control::LengthEdit, Control::RepeatEdit}) Widget(c)->setAcceptDrops(false);
  setCentralWidget(window_area);

  for (int i = 0; i < 2; ++i) {
    status_[i] = new QLabel;
    status_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    statusBar()->addWidget(status_[i], i == 0 ? 0 : 1);
  }
  status_[0]->setFixedWidth(StatusPanelWidth(layout.max_width));
  BuildMenus();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  status_[0]->setFixedWidth(StatusPanelWidth(width()));
}

void MainWindow::PlaceOnScreen(const ScreenRect& available, const ScreenRect* frame, int width,
                               int height, bool maximized) {
  if (frame && PlacementFits(*frame, available)) {
    move(frame->x, frame->y);
    resize(width, height);
    if (maximized) setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  // The first start, or a screen the old place no longer fits: the whole work area.
  setGeometry(available.x, available.y, available.width, available.height);
  setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
  const std::filesystem::path file = DraggedFile(e->mimeData());
  // Any single file is taken: one that is no document or workbook is told on the drop.
  if (!file.empty() && (model_.CanOpen(file) ||
                        MainWindowModel::KindOf(file) == MainWindowModel::FileKind::kOther))
    e->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* e) {
  if (!DraggedFile(e->mimeData()).empty()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
  const std::filesystem::path file = DraggedFile(e->mimeData());
  if (file.empty()) return;
  e->acceptProposedAction();
  // The drop returns to the desktop before any question of the open or import shows.
  QMetaObject::invokeMethod(
      this,
      [this, file] {
        model_.Run([&] { model_.OpenGivenFile(file); });
        Refresh();
      },
      Qt::QueuedConnection);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && event->type() == QEvent::Resize) {
    // Column widths by the window's rule: the number 30, the two lines share the rest;
    // the number column is wider when the largest number (65535) needs it, taken from
    // the lines.
    const WindowLayout l = ComputeLayout(grid_->width() + 160, 0);
    const int number = std::max(
        l.grid_col0_width, grid_->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 10);
    const int text = std::max(l.grid_text_col_width - (number - l.grid_col0_width + 1) / 2, 40);
    grid_->setColumnWidth(0, number);
    grid_->setColumnWidth(1, text);
    grid_->setColumnWidth(2, text);
  }
  if (event->type() == QEvent::ShortcutOverride) {
    // The window's command keys win over the editors' own uses of them (Ctrl+E moves to
    // the end of a line in a line editor on X11, for one).
    auto* k = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(k->keyCombination());
    if (IsUndoRedoKey(pressed)) {
      event->ignore();
      return true;
    }
    for (const auto& [action, control] : command_actions_) {
      if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
        event->ignore();
        return true;
      }
    }
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
  setWindowTitle(Q(model_.WindowTitle()));
  RefreshCommands();
  RefreshGrid();
  RefreshPreview();
  syncing_ = false;
  FollowModelFocus();
}

}  // namespace qx
