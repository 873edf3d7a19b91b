#include "app/qt/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "editing/messages.h"
#include "app/qt/qt_ui.h"
#include "editing/control_values.h"
#include "document/gbk.h"
#include "layout/font_resolver.h"
#include "layout/tape.h"

namespace qx {
namespace {

QString FromGbk(std::string_view gbk) { return Q(gbk::ToUtf8(gbk)); }

// The object name of a control's widget: its identifier.
QString Name(Control c) { return Q(Info(c).name); }

// Every GBK character is one UTF-16 unit in the widget, so positions convert by counting.
int CharIndex(std::string_view gbk, int byte_offset) {
  int n = 0;
  for (std::size_t p = 0; p < gbk.size() && static_cast<int>(p) < byte_offset; p += gbk::CharLen(gbk, p)) ++n;
  return n;
}
int ByteOffset(std::string_view gbk, int char_index) {
  std::size_t p = 0;
  for (int n = 0; n < char_index && p < gbk.size(); ++n) p += gbk::CharLen(gbk, p);
  return static_cast<int>(p);
}

// Our own logo: the series name on the maker's blue.
QPixmap Logo() {
  QPixmap pm(100, 100);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x1f, 0x4e, 0xa8));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 92, 92, 14, 14);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(40);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(4, 4, 92, 70), Qt::AlignCenter, QStringLiteral("QX"));
  f.setPixelSize(13);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(4, 60, 92, 30), Qt::AlignCenter, QStringLiteral("线号打印"));
  return pm;
}

// A round icon with one character on it, where the style has no fitting icon.
QIcon LetterIcon(const QString& letter, const QColor& colour) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(Qt::NoPen);
  p.drawEllipse(2, 2, 28, 28);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(20);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(2, 2, 28, 28), Qt::AlignCenter, letter);
  return QIcon(pm);
}

}  // namespace

// --- Line editor ----------------------------------------------------------------------

GbkLineEdit::GbkLineEdit(MainWindow& window, Control id) : window_(window), id_(id) {
  setObjectName(Name(id));
  setAttribute(Qt::WA_InputMethodEnabled, true);
  QFont f(QStringLiteral("黑体"));
  f.setPixelSize(53);
  setFont(f);
  setStyleSheet(QStringLiteral("QLineEdit { background: #00ffff; }"));
  setToolTip(Q(Info(id).hint));
}

void GbkLineEdit::keyPressEvent(QKeyEvent* e) {
  LineEditors& f = window_.model().line_editors();
  if (e->matches(QKeySequence::Paste)) return f.PasteText(id_, QApplication::clipboard()->text().toStdString());
  if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll)) {
    QLineEdit::keyPressEvent(e);
    return PushCaret();
  }
  if (e->matches(QKeySequence::Cut)) {
    if (hasSelectedText()) QApplication::clipboard()->setText(selectedText());
    return f.PressDelete(id_);
  }
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return f.PressEnter(id_);
    case Qt::Key_Backspace: return f.PressBackspace(id_);
    case Qt::Key_Delete: return f.PressDelete(id_);
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
      QLineEdit::keyPressEvent(e);
      return PushCaret();
    default: break;
  }
  const QString text = e->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(e->modifiers() & Qt::ControlModifier)) {
    f.TypeText(id_, text.toStdString());
    return;
  }
  QWidget::keyPressEvent(e);  // Tab and the like: focus handling, nothing typed
}

void GbkLineEdit::inputMethodEvent(QInputMethodEvent* e) {
  const QString commit = e->commitString();
  // Show the composition as the input method asks, but type the committed text through
  // the key handler.
  QInputMethodEvent preedit(e->preeditString(), e->attributes());
  QLineEdit::inputMethodEvent(&preedit);
  if (!commit.isEmpty()) window_.model().line_editors().TypeText(id_, commit.toStdString());
}

void GbkLineEdit::mousePressEvent(QMouseEvent* e) {
  QLineEdit::mousePressEvent(e);
  LineEditors& f = window_.model().line_editors();
  PushCaret();
  if (id_ == Control::LowerLine) {
    f.OnLowerLineClicked();
  } else {
    f.OnUpperLineClicked();
  }
}

void GbkLineEdit::mouseReleaseEvent(QMouseEvent* e) {
  QLineEdit::mouseReleaseEvent(e);
  PushCaret();
}

void GbkLineEdit::mouseMoveEvent(QMouseEvent* e) {
  QLineEdit::mouseMoveEvent(e);
  PushCaret();
}

void GbkLineEdit::contextMenuEvent(QContextMenuEvent* e) { e->ignore(); }

void GbkLineEdit::PushCaret() {
  if (window_.syncing()) return;
  const std::string& gbk = window_.model().context().editor(id_).text;
  const int caret = ByteOffset(gbk, cursorPosition());
  int sel_start = 0, sel_len = 0;
  if (hasSelectedText()) {
    const int a = ByteOffset(gbk, selectionStart());
    const int b = ByteOffset(gbk, selectionStart() + static_cast<int>(selectedText().size()));
    sel_start = a;
    sel_len = b - a;
  }
  window_.model().line_editors().SetCaret(id_, caret, sel_start, sel_len);
}

// --- Window ---------------------------------------------------------------------------

MainWindow::MainWindow(MainWindowModel& model, Ui& ui) : model_(model), ui_(ui) {
  Build();
  model_.SetRefreshHandler([this] { Refresh(); });
  // While a job runs only the status bar and the row being printed change.
  model_.SetStatusHandler([this] {
    status_[0]->setText(Q(model_.controls().status(0)));
    if (grid_ && model_.table().Position() > 0) grid_->selectRow(model_.table().Position() - 1);
  });
  model_.SetCloseHandler([this] { QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection); });
  Refresh();
}

QAbstractButton* MainWindow::ToolButton(Control c, const QString& text) {
  auto* b = new QToolButton;
  const ControlInfo& info = Info(c);
  b->setObjectName(Name(c));
  b->setText(info.caption.empty() ? text : Q(info.caption));
  if (!info.hint.empty()) b->setToolTip(Q(info.hint));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setMinimumWidth(44);
  widgets_[static_cast<std::size_t>(c)] = b;
  return b;
}

QComboBox* MainWindow::Selector(Control c) {
  auto* box = new QComboBox;
  box->setObjectName(Name(c));
  for (std::string_view item : SelectorItems(c)) box->addItem(Q(item));
  widgets_[static_cast<std::size_t>(c)] = box;
  box->installEventFilter(this);
  return box;
}

QLineEdit* MainWindow::NumberEdit(Control c) {
  auto* e = new QLineEdit;
  e->setObjectName(Name(c));
  e->setMaxLength(3);
  e->setToolTip(Q(Info(c).hint));
  e->setFixedWidth(60);
  widgets_[static_cast<std::size_t>(c)] = e;
  e->installEventFilter(this);
  connect(e, &QLineEdit::textEdited, this, [this, c](const QString& text) {
    if (!syncing_) model_.context().SetNumberEditText(c, text.toStdString());
  });
  return e;
}

void MainWindow::FileButtonClick(Control c) {
  switch (c) {
    case Control::OpenButton: return model_.files().OnOpenButton();
    case Control::NewButton: return model_.files().OnNewButton();
    case Control::SaveButton: return model_.files().OnSaveButton();
    case Control::SaveAsButton: return model_.files().OnSaveAsButton();
    case Control::ExportButton: return model_.files().OnExportButton();
    case Control::ImportExcelButton: return model_.files().OnImportExcelButton();
    case Control::HelpButton: return model_.OnHelpButton();
    case Control::PrintButton: return model_.printing().OnPrintButton();
    case Control::StopButton: return model_.printing().OnStopButton();
    default: return NotYetAvailable();
  }
}

void MainWindow::ListButtonClick(Control c) {
  switch (c) {
    case Control::FirstButton: return model_.segment_list().OnFirstButton();
    case Control::LastButton: return model_.segment_list().OnLastButton();
    case Control::AppendButton: return model_.segment_list().OnAppendButton();
    case Control::InsertButton: return model_.segment_list().OnInsertButton();
    case Control::DeleteButton: return model_.segment_list().OnDeleteButton();
    case Control::StoreButton: return model_.segment_list().OnStoreButton();
    default: return;
  }
}

void MainWindow::NotYetAvailable() {
  ui_.Message("此功能尚未提供。", msg::kInfo);
}

void MainWindow::Build() {
  setWindowTitle(Q(msg::kWindowCaption));
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(6, 6, 6, 6);
  QStyle* st = style();

  // Upper tool bar.
  auto* bar1 = new QWidget;
  widgets_[static_cast<std::size_t>(Control::UpperToolBar)] = bar1;
  auto* h1 = new QHBoxLayout(bar1);
  h1->setContentsMargins(0, 0, 0, 0);
  auto* logo = new QLabel;
  logo->setPixmap(Logo());
  logo->setFixedSize(100, 100);
  struct Icon {
    Control c;
    QStyle::StandardPixmap px;
    const char* text;
  };
  const Icon icons[] = {
      {Control::OpenButton, QStyle::SP_DialogOpenButton, "打开"},
      {Control::NewButton, QStyle::SP_FileIcon, "新建"},
      {Control::SaveButton, QStyle::SP_DialogSaveButton, "存储"},
      {Control::SaveAsButton, QStyle::SP_DriveFDIcon, "另存"},
      {Control::PrintButton, QStyle::SP_ComputerIcon, "打印"},
      {Control::StopButton, QStyle::SP_BrowserStop, "停止"},
      {Control::ImportExcelButton, QStyle::SP_FileDialogDetailedView, "Excel"},
      {Control::ExportButton, QStyle::SP_ArrowRight, "导出"},
      {Control::HelpButton, QStyle::SP_DialogHelpButton, "帮助"},
  };
  for (const Icon& i : icons) {
    QAbstractButton* b = ToolButton(i.c, QString::fromUtf8(i.text));
    b->setIcon(i.c == Control::HelpButton ? LetterIcon(QStringLiteral("?"), QColor(0x1f, 0x4e, 0xa8))
                                    : st->standardIcon(i.px));
    b->setIconSize(QSize(28, 28));
    b->setMinimumWidth(0);
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonIconOnly);
    h1->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c = i.c] { FileButtonClick(c); });
  }
  h1->addSpacing(8);
  auto* faces = new QComboBox;
  faces->setObjectName(Name(Control::FontFaceSelector));
  faces->setToolTip(Q(Info(Control::FontFaceSelector).hint));
  model_.settings().SetFaceItems(FontResolver::Shared().InstalledFaceNames());
  for (const std::string& name : model_.settings().FaceItems()) faces->addItem(Q(name));
  faces->setMaximumWidth(160);
  widgets_[static_cast<std::size_t>(Control::FontFaceSelector)] = faces;
  h1->addWidget(faces);
  // The line editors show the text in the face and style the model gives them.
  const auto editor_font = [this] {
    for (Control c : {Control::UpperLine, Control::LowerLine}) {
      QFont f = Widget(c)->font();
      f.setFamily(Q(model_.settings().editor_face()));
      f.setBold(model_.doc().settings.editor_bold);
      Widget(c)->setFont(f);
    }
  };
  connect(faces, &QComboBox::activated, this, [this, editor_font](int i) {
    model_.PickSelector(Control::FontFaceSelector, i);
    editor_font();
  });
  auto* bold = qobject_cast<QToolButton*>(ToolButton(Control::BoldButton, QStringLiteral("B")));
  bold->setCheckable(true);
  QFont bf = bold->font();
  bf.setBold(true);
  bold->setFont(bf);
  h1->addWidget(bold);
  connect(bold, &QToolButton::clicked, this, [this, editor_font] {
    model_.settings().OnBoldButton();
    editor_font();
  });
  QAbstractButton* symbols = ToolButton(Control::SymbolButton, QStringLiteral("Ω"));
  h1->addWidget(symbols);
  connect(symbols, &QAbstractButton::clicked, this, [this] { model_.OnSymbolButton(); });
  auto* following = new QGroupBox(Q(msg::kFollowingBarHint));
  auto* hf = new QHBoxLayout(following);
  hf->setContentsMargins(4, 2, 4, 2);
  for (Control c : {Control::FollowingLengthButton, Control::FollowingRepeatButton, Control::FollowingSizeButton, Control::FollowingOrientationButton, Control::FollowingDecorationButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(0);
    hf->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] {
      switch (c) {
        case Control::FollowingLengthButton: return model_.following().OnFollowingLengthButton();
        case Control::FollowingRepeatButton: return model_.following().OnFollowingRepeatButton();
        case Control::FollowingSizeButton: return model_.following().OnFollowingSizeButton();
        case Control::FollowingOrientationButton: return model_.following().OnFollowingOrientationButton();
        default: return model_.following().OnFollowingDecorationButton();
      }
    });
  }
  h1->addWidget(following);
  h1->addStretch();
  auto* kelmor = new QLabel(QStringLiteral("KELMOR"));
  QFont kf = kelmor->font();
  kf.setPixelSize(40);
  kf.setBold(true);
  kelmor->setFont(kf);
  kelmor->setStyleSheet(QStringLiteral("color: blue;"));
  kelmor->setVisible(model_.layout().logo_visible);
  kelmor->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // gives way on narrow screens
  kelmor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  h1->addWidget(kelmor);

  auto* top = new QHBoxLayout;
  top->addWidget(logo);
  auto* bars = new QVBoxLayout;
  bars->addWidget(bar1);

  // Lower tool bar.
  auto* bar2 = new QWidget;
  widgets_[static_cast<std::size_t>(Control::LowerToolBar)] = bar2;
  auto* h2 = new QHBoxLayout(bar2);
  h2->setContentsMargins(0, 0, 0, 0);
  for (Control c : {Control::FirstButton, Control::LastButton, Control::AppendButton, Control::InsertButton, Control::DeleteButton,
                Control::StoreButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] { ListButtonClick(c); });
  }
  h2->addSpacing(16);
  for (Control c : {Control::SuperscriptButton, Control::SubscriptButton, Control::SerialButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] {
      if (c == Control::SuperscriptButton) return model_.insertions().OnSuperscriptButton();
      if (c == Control::SubscriptButton) return model_.insertions().OnSubscriptButton();
      model_.OnSerialButton();
    });
  }
  for (Control c : {Control::SerialTypeField, Control::SerialFirstField, Control::SerialLastField}) {
    auto* e = new QLineEdit;
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFixedWidth(c == Control::SerialTypeField ? 110 : 50);
    if (!Info(c).hint.empty()) e->setToolTip(Q(Info(c).hint));
    widgets_[static_cast<std::size_t>(c)] = e;
    h2->addWidget(e);
  }
  h2->addStretch();
  bars->addWidget(bar2);
  top->addLayout(bars, 1);
  outer->addLayout(top);

  // Middle: the two groups on the left, the grid and the preview on the right.
  auto* middle = new QHBoxLayout;
  auto* groups = new QVBoxLayout;
  auto* g1 = new QGroupBox(Q(Info(Control::SegmentGroup).caption));
  widgets_[static_cast<std::size_t>(Control::SegmentGroup)] = g1;
  auto* f1 = new QFormLayout(g1);
  f1->addRow(Q(Info(Control::LengthEdit).caption), NumberEdit(Control::LengthEdit));
  f1->addRow(Q(Info(Control::RepeatEdit).caption), NumberEdit(Control::RepeatEdit));
  for (Control c : {Control::SizeSelector, Control::OrientationSelector, Control::DecorationSelector}) {
    QComboBox* box = Selector(c);
    f1->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { model_.PickSelector(c, i); });
  }
  groups->addWidget(g1);
  auto* g3 = new QGroupBox(Q(Info(Control::DocumentGroup).caption));
  widgets_[static_cast<std::size_t>(Control::DocumentGroup)] = g3;
  auto* f3 = new QFormLayout(g3);
  for (Control c : {Control::MaterialSelector, Control::CutSelector, Control::AlignmentSelector, Control::SpacingSelector, Control::DensitySelector}) {
    QComboBox* box = Selector(c);
    f3->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { model_.PickSelector(c, i); });
  }
  groups->addWidget(g3);
  groups->addStretch();
  middle->addLayout(groups);

  auto* right = new QVBoxLayout;
  grid_ = new QTableWidget(0, 3);
  grid_->setObjectName(QStringLiteral("SegmentGrid"));
  grid_->setToolTip(Q(Info(Control::SegmentGrid).hint));
  grid_->setHorizontalHeaderLabels({QStringLiteral("段号"), QStringLiteral("字段内容"), QStringLiteral("下行内容")});
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->installEventFilter(this);
  widgets_[static_cast<std::size_t>(Control::SegmentGrid)] = grid_;
  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (!syncing_) model_.segment_list().OnGridRowClicked(row + 1);
  });
  right->addWidget(grid_, 3);

  auto* preview_box = new QGroupBox(QStringLiteral("打印预览"));
  auto* pv = new QVBoxLayout(preview_box);
  auto* scroll = new QScrollArea;
  preview_ = new QLabel;
  preview_->setObjectName(QStringLiteral("Preview"));
  scroll->setWidget(preview_);
  scroll->setWidgetResizable(false);
  scroll->setFixedHeight(96 * 2 + 24);
  pv->addWidget(scroll);
  preview_note_ = new QLabel;
  pv->addWidget(preview_note_);
  right->addWidget(preview_box, 0);
  middle->addLayout(right, 1);
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
    const Control c = watched == Widget(Control::LengthEdit) ? Control::LengthEdit : Control::RepeatEdit;
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
    if (f.family() != Q(model_.settings().editor_face()) || f.bold() != model_.doc().settings.editor_bold) {
      f.setFamily(Q(model_.settings().editor_face()));
      f.setBold(model_.doc().settings.editor_bold);
      e->setFont(f);
    }
    const LineEditor& m = model_.context().editor(c);
    const QString text = FromGbk(m.text);
    if (e->text() != text) e->setText(text);
    if (m.sel_length > 0) {
      e->setSelection(CharIndex(m.text, m.sel_start), CharIndex(m.text, m.sel_start + m.sel_length) - CharIndex(m.text, m.sel_start));
    } else {
      e->setCursorPosition(CharIndex(m.text, m.caret));
    }
  }
  for (Control c : {Control::LengthEdit, Control::RepeatEdit}) {
    auto* e = static_cast<QLineEdit*>(Widget(c));
    const QString text = Q(model_.context().NumberEditText(c));
    if (e->text() != text) e->setText(text);
  }
  for (Control c : {Control::SizeSelector, Control::OrientationSelector, Control::DecorationSelector, Control::MaterialSelector, Control::CutSelector, Control::AlignmentSelector,
                Control::SpacingSelector, Control::DensitySelector})
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

void MainWindow::RefreshGrid() {
  const SegmentTable& t = model_.table();
  const int n = t.IsOpen() ? t.RowCount() : 0;
  if (grid_->rowCount() != n) grid_->setRowCount(n);
  grid_rows_.resize(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) {
    const std::array<std::string, 3> row = {t.TextAt(r, kNumberColumn), gbk::ToUtf8(t.TextAt(r, kUpperLineColumn)),
                                            gbk::ToUtf8(t.TextAt(r, kLowerLineColumn))};
    auto& cached = grid_rows_[static_cast<std::size_t>(r)];
    for (int c = 0; c < 3; ++c) {
      if (cached[static_cast<std::size_t>(c)] == row[static_cast<std::size_t>(c)] && grid_->item(r, c)) continue;
      auto* item = new QTableWidgetItem(Q(row[static_cast<std::size_t>(c)]));
      if (c == 0) item->setBackground(QColor(166, 202, 240));
      grid_->setItem(r, c, item);
    }
    cached = row;
  }
  if (n > 0) grid_->selectRow(t.Position() - 1);
}

void MainWindow::RefreshPreview() {
  const SegmentPreview p = model_.preview().Make();
  if (p.item) {
    const RgbImage img = RenderItem(*p.item, 2);
    QImage q(img.rgb.data(), img.width, img.height, img.width * 3, QImage::Format_RGB888);
    preview_->setPixmap(QPixmap::fromImage(q.copy()));
    preview_->resize(img.width, img.height);
    preview_note_->setText(QStringLiteral("打印长度约 %1 mm").arg(p.length_mm, 0, 'f', 1));
  } else {
    preview_->clear();
    preview_->resize(10, 10);
    preview_note_->setText(Q(p.note));
  }
}

}  // namespace qx
