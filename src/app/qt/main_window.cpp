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

#include "app/messages.h"
#include "app/qt/qt_ui.h"
#include "document/gbk.h"
#include "layout/font_resolver.h"
#include "layout/tape.h"

namespace qx {
namespace {

QString FromGbk(std::string_view gbk) { return Q(gbk::ToUtf8(gbk)); }

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

GbkLineEdit::GbkLineEdit(MainWindow& window, Ctl id) : window_(window), id_(id) {
  setObjectName(QString::fromUtf8(Info(id).name.data(), static_cast<qsizetype>(Info(id).name.size())));
  setAttribute(Qt::WA_InputMethodEnabled, true);
  QFont f(QStringLiteral("黑体"));
  f.setPixelSize(53);
  setFont(f);
  setStyleSheet(QStringLiteral("QLineEdit { background: #00ffff; }"));
  setToolTip(Q(Info(id).hint));
}

void GbkLineEdit::keyPressEvent(QKeyEvent* e) {
  TPrintForm& f = window_.form();
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
  if (!commit.isEmpty()) window_.form().TypeText(id_, commit.toStdString());
}

void GbkLineEdit::mousePressEvent(QMouseEvent* e) {
  QLineEdit::mousePressEvent(e);
  TPrintForm& f = window_.form();
  PushCaret();
  if (id_ == Ctl::SlinEdit) {
    f.OnSlinClick();
  } else {
    f.FlinEditClick();
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
  const std::string& gbk = window_.form().editor(id_).text;
  const int caret = ByteOffset(gbk, cursorPosition());
  int sel_start = 0, sel_len = 0;
  if (hasSelectedText()) {
    const int a = ByteOffset(gbk, selectionStart());
    const int b = ByteOffset(gbk, selectionStart() + static_cast<int>(selectedText().size()));
    sel_start = a;
    sel_len = b - a;
  }
  window_.form().SetCaret(id_, caret, sel_start, sel_len);
}

// --- Window ---------------------------------------------------------------------------

MainWindow::MainWindow(TPrintForm& form, Ui& ui) : form_(form), ui_(ui) {
  Build();
  form_.SetRefreshHandler([this] { Refresh(); });
  // While a job runs only the status bar and the row being printed change.
  form_.SetStatusHandler([this] {
    status_[0]->setText(Q(form_.status(0)));
    if (grid_ && form_.table().Position() > 0) grid_->selectRow(form_.table().Position() - 1);
  });
  form_.SetCloseHandler([this] { QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection); });
  Refresh();
}

QAbstractButton* MainWindow::ToolButton(Ctl c, const QString& text) {
  auto* b = new QToolButton;
  const ControlInfo& info = Info(c);
  b->setObjectName(QString::fromUtf8(info.name.data(), static_cast<qsizetype>(info.name.size())));
  b->setText(info.caption.empty() ? text : Q(info.caption));
  if (!info.hint.empty()) b->setToolTip(Q(info.hint));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setMinimumWidth(44);
  widgets_[static_cast<std::size_t>(c)] = b;
  return b;
}

QComboBox* MainWindow::Selector(Ctl c) {
  auto* box = new QComboBox;
  box->setObjectName(QString::fromUtf8(Info(c).name.data(), static_cast<qsizetype>(Info(c).name.size())));
  for (std::string_view item : form_.SelectorItems(c)) box->addItem(Q(item));
  widgets_[static_cast<std::size_t>(c)] = box;
  box->installEventFilter(this);
  return box;
}

QLineEdit* MainWindow::NumberEdit(Ctl c) {
  auto* e = new QLineEdit;
  e->setObjectName(QString::fromUtf8(Info(c).name.data(), static_cast<qsizetype>(Info(c).name.size())));
  e->setMaxLength(3);
  e->setToolTip(Q(Info(c).hint));
  e->setFixedWidth(60);
  widgets_[static_cast<std::size_t>(c)] = e;
  e->installEventFilter(this);
  connect(e, &QLineEdit::textEdited, this, [this, c](const QString& text) {
    if (!syncing_) form_.SetNumberEditText(c, text.toStdString());
  });
  return e;
}

void MainWindow::FileButtonClick(Ctl c) {
  switch (c) {
    case Ctl::OpenBtn: return form_.OpenFilebtn();
    case Ctl::CloseBtn: return form_.CloseFilebtn();
    case Ctl::SaveBtn: return form_.SaveFileBtn();
    case Ctl::SaveAsBtn: return form_.SaveFileAsBtn();
    case Ctl::ExportBtn: return form_.ExportFileBtn();
    case Ctl::OpenExcelBtn: return form_.OpenExcelBtnClick();
    case Ctl::AboutBtn: return form_.AboutBtnClick();
    case Ctl::PrintBtn: return form_.PrintFileBtn();
    case Ctl::StopBtn: return form_.StopPrtBtn();
    default: return NotYetAvailable();
  }
}

void MainWindow::ListButtonClick(Ctl c) {
  switch (c) {
    case Ctl::FirstBtn: return form_.FirstClick();
    case Ctl::LastBtn: return form_.LastClick();
    case Ctl::AppendBtn: return form_.AppendClick();
    case Ctl::InsertBtn: return form_.InsertClick();
    case Ctl::DeleteBtn: return form_.DeleteClick();
    case Ctl::PostBtn: return form_.PostClick();
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
  widgets_[static_cast<std::size_t>(Ctl::ControlBar1)] = bar1;
  auto* h1 = new QHBoxLayout(bar1);
  h1->setContentsMargins(0, 0, 0, 0);
  auto* logo = new QLabel;
  logo->setPixmap(Logo());
  logo->setFixedSize(100, 100);
  struct Icon {
    Ctl c;
    QStyle::StandardPixmap px;
    const char* text;
  };
  const Icon icons[] = {
      {Ctl::OpenBtn, QStyle::SP_DialogOpenButton, "打开"},
      {Ctl::CloseBtn, QStyle::SP_FileIcon, "新建"},
      {Ctl::SaveBtn, QStyle::SP_DialogSaveButton, "存储"},
      {Ctl::SaveAsBtn, QStyle::SP_DriveFDIcon, "另存"},
      {Ctl::PrintBtn, QStyle::SP_ComputerIcon, "打印"},
      {Ctl::StopBtn, QStyle::SP_BrowserStop, "停止"},
      {Ctl::OpenExcelBtn, QStyle::SP_FileDialogDetailedView, "Excel"},
      {Ctl::ExportBtn, QStyle::SP_ArrowRight, "导出"},
      {Ctl::AboutBtn, QStyle::SP_DialogHelpButton, "帮助"},
  };
  for (const Icon& i : icons) {
    QAbstractButton* b = ToolButton(i.c, QString::fromUtf8(i.text));
    b->setIcon(i.c == Ctl::AboutBtn ? LetterIcon(QStringLiteral("?"), QColor(0x1f, 0x4e, 0xa8))
                                    : st->standardIcon(i.px));
    b->setIconSize(QSize(28, 28));
    b->setMinimumWidth(0);
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonIconOnly);
    h1->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c = i.c] { FileButtonClick(c); });
  }
  h1->addSpacing(8);
  auto* faces = new QComboBox;
  faces->setObjectName(QStringLiteral("ZitiBox"));
  faces->setToolTip(Q(Info(Ctl::ZitiBox).hint));
  form_.SetFaceItems(FontResolver::Shared().InstalledFaceNames());
  for (const std::string& name : form_.FaceItems()) faces->addItem(Q(name));
  faces->setMaximumWidth(160);
  widgets_[static_cast<std::size_t>(Ctl::ZitiBox)] = faces;
  h1->addWidget(faces);
  // The line editors show the text in the face and style the model gives them.
  const auto editor_font = [this] {
    for (Ctl c : {Ctl::FlinEdit, Ctl::SlinEdit}) {
      QFont f = Widget(c)->font();
      f.setFamily(Q(form_.editor_face()));
      f.setBold(form_.doc().settings.EditorFontBold);
      Widget(c)->setFont(f);
    }
  };
  connect(faces, &QComboBox::activated, this, [this, editor_font](int i) {
    form_.PickSelector(Ctl::ZitiBox, i);
    editor_font();
  });
  auto* bold = qobject_cast<QToolButton*>(ToolButton(Ctl::BlodBtn, QStringLiteral("B")));
  bold->setCheckable(true);
  QFont bf = bold->font();
  bf.setBold(true);
  bold->setFont(bf);
  h1->addWidget(bold);
  connect(bold, &QToolButton::clicked, this, [this, editor_font] {
    form_.BlodBtnClick();
    editor_font();
  });
  QAbstractButton* fuhao = ToolButton(Ctl::FuhaoBtn, QStringLiteral("Ω"));
  h1->addWidget(fuhao);
  connect(fuhao, &QAbstractButton::clicked, this, [this] { form_.FuhaoBtnClick(); });
  auto* following = new QGroupBox(Q(msg::kFollowingBarHint));
  auto* hf = new QHBoxLayout(following);
  hf->setContentsMargins(4, 2, 4, 2);
  for (Ctl c : {Ctl::PitchLenBtn, Ctl::RepBtn, Ctl::ZihaoBtn, Ctl::DirxBtn, Ctl::XiushiBtn}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(0);
    hf->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] {
      switch (c) {
        case Ctl::PitchLenBtn: return form_.PitchLenBtnClick();
        case Ctl::RepBtn: return form_.RepBtnClick();
        case Ctl::ZihaoBtn: return form_.ZihaoBtnClick();
        case Ctl::DirxBtn: return form_.DirxBtnClick();
        default: return form_.XiushiBtnClick();
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
  kelmor->setVisible(form_.layout().logo_visible);
  kelmor->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // gives way on narrow screens
  kelmor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  h1->addWidget(kelmor);

  auto* top = new QHBoxLayout;
  top->addWidget(logo);
  auto* bars = new QVBoxLayout;
  bars->addWidget(bar1);

  // Lower tool bar.
  auto* bar2 = new QWidget;
  widgets_[static_cast<std::size_t>(Ctl::ControlBar2)] = bar2;
  auto* h2 = new QHBoxLayout(bar2);
  h2->setContentsMargins(0, 0, 0, 0);
  for (Ctl c : {Ctl::FirstBtn, Ctl::LastBtn, Ctl::AppendBtn, Ctl::InsertBtn, Ctl::DeleteBtn,
                Ctl::PostBtn}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] { ListButtonClick(c); });
  }
  h2->addSpacing(16);
  for (Ctl c : {Ctl::UpBiaoBit, Ctl::DwBiaoBit, Ctl::XuhaoBit}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] {
      if (c == Ctl::UpBiaoBit) return form_.UpBiaoClick();
      if (c == Ctl::DwBiaoBit) return form_.DwBiaoClick();
      form_.XuhaoBitClick();
    });
  }
  for (Ctl c : {Ctl::XhlxEdit, Ctl::FxuEdit, Ctl::ExuEdit}) {
    auto* e = new QLineEdit;
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFixedWidth(c == Ctl::XhlxEdit ? 110 : 50);
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
  auto* g1 = new QGroupBox(Q(Info(Ctl::GroupBox1).caption));
  widgets_[static_cast<std::size_t>(Ctl::GroupBox1)] = g1;
  auto* f1 = new QFormLayout(g1);
  f1->addRow(Q(Info(Ctl::PlenEdit).caption), NumberEdit(Ctl::PlenEdit));
  f1->addRow(Q(Info(Ctl::RepEdit).caption), NumberEdit(Ctl::RepEdit));
  for (Ctl c : {Ctl::ZhBox, Ctl::DirxBox, Ctl::XsBox}) {
    QComboBox* box = Selector(c);
    f1->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { form_.PickSelector(c, i); });
  }
  groups->addWidget(g1);
  auto* g3 = new QGroupBox(Q(Info(Ctl::GroupBox3).caption));
  widgets_[static_cast<std::size_t>(Ctl::GroupBox3)] = g3;
  auto* f3 = new QFormLayout(g3);
  for (Ctl c : {Ctl::MatBox, Ctl::CutBox, Ctl::PlBox, Ctl::ZjBox, Ctl::NdBox}) {
    QComboBox* box = Selector(c);
    f3->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { form_.PickSelector(c, i); });
  }
  groups->addWidget(g3);
  groups->addStretch();
  middle->addLayout(groups);

  auto* right = new QVBoxLayout;
  grid_ = new QTableWidget(0, 3);
  grid_->setObjectName(QStringLiteral("DBGrid1"));
  grid_->setToolTip(Q(Info(Ctl::DBGrid1).hint));
  grid_->setHorizontalHeaderLabels({QStringLiteral("段号"), QStringLiteral("字段内容"), QStringLiteral("下行内容")});
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->installEventFilter(this);
  widgets_[static_cast<std::size_t>(Ctl::DBGrid1)] = grid_;
  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (!syncing_) form_.DBGrid1CellClick(row + 1);
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

  for (Ctl c : {Ctl::FlinEdit, Ctl::SlinEdit}) {
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
  status_[0]->setMinimumWidth(form_.layout().status0_width / 2);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && event->type() == QEvent::Resize) {
    // Column widths by the window's rule: the number 30, the two lines share the rest.
    const FormLayout l = ComputeLayout(grid_->width() + 160, 0);
    grid_->setColumnWidth(0, l.grid_col0_width);
    grid_->setColumnWidth(1, l.grid_text_col_width);
    grid_->setColumnWidth(2, l.grid_text_col_width);
  }
  if (event->type() == QEvent::FocusIn && !syncing_) {
    for (int i = 0; i < kControlCount; ++i) {
      if (widgets_[static_cast<std::size_t>(i)] == watched) {
        form_.Focus(static_cast<Ctl>(i));
        FollowModelFocus();
        break;
      }
    }
  }
  if (event->type() == QEvent::KeyPress &&
      (watched == Widget(Ctl::PlenEdit) || watched == Widget(Ctl::RepEdit))) {
    auto* k = static_cast<QKeyEvent*>(event);
    const Ctl c = watched == Widget(Ctl::PlenEdit) ? Ctl::PlenEdit : Ctl::RepEdit;
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
      if (c == Ctl::PlenEdit) {
        form_.PlenEditKeyUp(13);
      } else {
        form_.RepEditKeyUp(13);
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
  QWidget* target = Widget(form_.focus());
  if (target && !target->hasFocus()) {
    syncing_ = true;
    target->setFocus(Qt::OtherFocusReason);
    syncing_ = false;
  }
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (form_.FormCloseQuery()) {
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
    if (w) w->setEnabled(form_.OwnEnabled(static_cast<Ctl>(i)));
  }
  for (Ctl c : {Ctl::FlinEdit, Ctl::SlinEdit}) {
    auto* e = static_cast<QLineEdit*>(Widget(c));
    // The face and style the model gives the line editors (also after open and new).
    QFont f = e->font();
    if (f.family() != Q(form_.editor_face()) || f.bold() != form_.doc().settings.EditorFontBold) {
      f.setFamily(Q(form_.editor_face()));
      f.setBold(form_.doc().settings.EditorFontBold);
      e->setFont(f);
    }
    const LineEditor& m = form_.editor(c);
    const QString text = FromGbk(m.text);
    if (e->text() != text) e->setText(text);
    if (m.sel_length > 0) {
      e->setSelection(CharIndex(m.text, m.sel_start), CharIndex(m.text, m.sel_start + m.sel_length) - CharIndex(m.text, m.sel_start));
    } else {
      e->setCursorPosition(CharIndex(m.text, m.caret));
    }
  }
  for (Ctl c : {Ctl::PlenEdit, Ctl::RepEdit}) {
    auto* e = static_cast<QLineEdit*>(Widget(c));
    const QString text = Q(form_.NumberEditText(c));
    if (e->text() != text) e->setText(text);
  }
  for (Ctl c : {Ctl::ZhBox, Ctl::DirxBox, Ctl::XsBox, Ctl::MatBox, Ctl::CutBox, Ctl::PlBox,
                Ctl::ZjBox, Ctl::NdBox})
    static_cast<QComboBox*>(Widget(c))->setCurrentIndex(form_.SelectorIndex(c));
  for (Ctl c : {Ctl::XhlxEdit, Ctl::FxuEdit, Ctl::ExuEdit})
    static_cast<QLineEdit*>(Widget(c))->setText(Q(form_.SelectorText(c)));
  auto* faces = static_cast<QComboBox*>(Widget(Ctl::ZitiBox));
  faces->setCurrentText(Q(form_.doc().settings.ZitiBox));
  static_cast<QToolButton*>(Widget(Ctl::BlodBtn))->setChecked(form_.doc().settings.BlodBtn);
  status_[0]->setText(Q(form_.status(0)));
  status_[1]->setText(Q(form_.status(1)));
  RefreshGrid();
  RefreshPreview();
  syncing_ = false;
  FollowModelFocus();
}

void MainWindow::RefreshGrid() {
  const SegmentTable& t = form_.table();
  const int n = t.IsOpen() ? t.RowCount() : 0;
  if (grid_->rowCount() != n) grid_->setRowCount(n);
  grid_rows_.resize(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) {
    const std::array<std::string, 3> row = {t.TextAt(r, kNum), gbk::ToUtf8(t.TextAt(r, kFlin)),
                                            gbk::ToUtf8(t.TextAt(r, kSlin))};
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
  const SegmentPreview p = form_.PreviewCurrent();
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
