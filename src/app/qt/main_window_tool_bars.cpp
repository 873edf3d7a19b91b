// The main window's two tool bars and the commands of their buttons.
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"
#include "editing/messages.h"
#include "layout/font_resolver.h"

namespace qx {

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

// The upper tool bar: file and print commands, font face, bold, symbols and the buttons
// that change the following Segments.
QWidget* MainWindow::BuildUpperToolBar() {
  QStyle* st = style();
  auto* bar1 = new QWidget;
  widgets_[static_cast<std::size_t>(Control::UpperToolBar)] = bar1;
  // On a narrow or low window each bar takes two rows.
  auto* rows1 = new QVBoxLayout(bar1);
  rows1->setContentsMargins(0, 0, 0, 0);
  auto* h1 = new QHBoxLayout;
  rows1->addLayout(h1);
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
      {Control::PreviewButton, QStyle::SP_FileDialogContentsView, "预览"},
      {Control::StopButton, QStyle::SP_BrowserStop, "停止"},
      {Control::ImportExcelButton, QStyle::SP_FileDialogDetailedView, "Excel"},
      {Control::ExportButton, QStyle::SP_ArrowRight, "导出"},
      {Control::HelpButton, QStyle::SP_DialogHelpButton, "帮助"},
  };
  for (const Icon& i : icons) {
    QAbstractButton* b = ToolButton(i.c, QString::fromUtf8(i.text));
    b->setIcon(i.c == Control::HelpButton
                   ? LetterIcon(QStringLiteral("?"), QColor(0x1f, 0x4e, 0xa8))
                   : st->standardIcon(i.px));
    const int icon_px = model_.layout().tool_icon_px;
    b->setIconSize(QSize(icon_px, icon_px));
    b->setMinimumWidth(0);
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonIconOnly);
    h1->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c = i.c] { RunCommand(c); });
  }
  for (bool redo : {false, true}) {
    auto* b = new QToolButton;
    b->setObjectName(redo ? QStringLiteral("RedoButton") : QStringLiteral("UndoButton"));
    b->setDefaultAction(UndoRedoAction(redo));
    const int icon_px = model_.layout().tool_icon_px;
    b->setIconSize(QSize(icon_px, icon_px));
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    h1->addWidget(b);
  }
  if (model_.layout().two_row_tool_bars) {
    h1->addStretch();
    h1 = new QHBoxLayout;
    rows1->addLayout(h1);
  } else {
    h1->addSpacing(8);
  }
  auto* faces = new QComboBox;
  faces->setObjectName(Name(Control::FontFaceSelector));
  faces->setToolTip(Q(Info(Control::FontFaceSelector).hint));
  model_.settings().SetFaceItems(FontResolver::Shared().InstalledFaceNames());
  for (const std::string& name : model_.settings().FaceItems()) faces->addItem(Q(name));
  faces->setMaximumWidth(model_.layout().compact ? 110 : 160);
  widgets_[static_cast<std::size_t>(Control::FontFaceSelector)] = faces;
  faces->installEventFilter(this);  // entering it reaches the model, as the other selectors
  h1->addWidget(faces);
  connect(faces, &QComboBox::activated, this, [this](int i) {
    model_.PickSelector(Control::FontFaceSelector, i);
    ApplyEditorFont();
  });
  auto* bold = qobject_cast<QToolButton*>(ToolButton(Control::BoldButton, QStringLiteral("B")));
  bold->setCheckable(true);
  QFont bf = bold->font();
  bf.setBold(true);
  bold->setFont(bf);
  h1->addWidget(bold);
  connect(bold, &QToolButton::clicked, this, [this] { RunCommand(Control::BoldButton); });
  QAbstractButton* symbols = ToolButton(Control::SymbolButton, QStringLiteral("Ω"));
  h1->addWidget(symbols);
  connect(symbols, &QAbstractButton::clicked, this, [this] { RunCommand(Control::SymbolButton); });
  // The five buttons that change the following Segments form a bar of their own, hinted
  // as a whole (each button has its own hint too).
  auto* following = new QFrame;
  following->setObjectName(QStringLiteral("FollowingBar"));
  following->setFrameShape(QFrame::StyledPanel);
  following->setToolTip(Q(msg::kFollowingBarHint));
  auto* hf = new QHBoxLayout(following);
  hf->setContentsMargins(4, 2, 4, 2);
  for (Control c : {Control::FollowingLengthButton, Control::FollowingRepeatButton,
                    Control::FollowingSizeButton, Control::FollowingOrientationButton,
                    Control::FollowingDecorationButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(0);
    hf->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] { RunCommand(c); });
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
  kelmor->setSizePolicy(QSizePolicy::Ignored,
                        QSizePolicy::Preferred);  // gives way on narrow screens
  kelmor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  h1->addWidget(kelmor);
  return bar1;
}

// The lower tool bar: the Segment list's buttons, the insertions and the serial fields.
QWidget* MainWindow::BuildLowerToolBar() {
  auto* bar2 = new QWidget;
  widgets_[static_cast<std::size_t>(Control::LowerToolBar)] = bar2;
  auto* rows2 = new QVBoxLayout(bar2);
  rows2->setContentsMargins(0, 0, 0, 0);
  auto* h2 = new QHBoxLayout;
  rows2->addLayout(h2);
  for (Control c : {Control::FirstButton, Control::LastButton, Control::AppendButton,
                    Control::InsertButton, Control::DeleteButton, Control::StoreButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] { RunCommand(c); });
  }
  if (model_.layout().two_row_tool_bars) {
    h2->addStretch();
    h2 = new QHBoxLayout;
    rows2->addLayout(h2);
  } else {
    h2->addSpacing(16);
  }
  for (Control c : {Control::SuperscriptButton, Control::SubscriptButton, Control::SerialButton}) {
    QAbstractButton* b = ToolButton(c, {});
    qobject_cast<QToolButton*>(b)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    h2->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, c] { RunCommand(c); });
  }
  // The serial series of the current Segment, shown only: it is set with "序号". The fields
  // look like what they are, read-only displays on the window's own background that take
  // neither the focus nor the caret, so that nobody types into them.
  for (Control c :
       {Control::SerialTypeField, Control::SerialFirstField, Control::SerialLastField}) {
    auto* e = new QLineEdit;
    e->setObjectName(Name(c));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setAcceptDrops(false);
    e->setCursor(Qt::ArrowCursor);
    e->setAlignment(Qt::AlignCenter);
    QPalette display = e->palette();
    display.setColor(QPalette::Base, display.color(QPalette::Window));
    e->setPalette(display);
    e->setFixedWidth(c == Control::SerialTypeField ? 110 : 50);
    if (!Info(c).hint.empty()) e->setToolTip(Q(Info(c).hint));
    widgets_[static_cast<std::size_t>(c)] = e;
    h2->addWidget(e);
  }
  h2->addStretch();
  return bar2;
}

void MainWindow::ApplyEditorFont() {
  // The line editors show the text in the face and style the model gives them.
  for (Control c : {Control::UpperLine, Control::LowerLine}) {
    QFont f = Widget(c)->font();
    f.setFamily(Q(model_.settings().editor_face()));
    f.setBold(model_.doc().settings.editor_bold);
    Widget(c)->setFont(f);
  }
}

void MainWindow::RunCommand(Control c) {
  // A menu entry or a key can ask for a command whose button is off (while printing, or
  // while a number editor holds the focus): it is not offered then.
  if (!model_.controls().Enabled(c)) return;
  model_.NameStep(c);
  switch (Info(c).parent) {
    case Control::LowerToolBar:
      if (c == Control::SuperscriptButton) return model_.insertions().OnSuperscriptButton();
      if (c == Control::SubscriptButton) return model_.insertions().OnSubscriptButton();
      if (c == Control::SerialButton) return model_.OnSerialButton();
      return ListButtonClick(c);
    default:
      break;
  }
  switch (c) {
    case Control::BoldButton:
      model_.settings().OnBoldButton();
      return ApplyEditorFont();
    case Control::SymbolButton:
      return model_.OnSymbolButton();
    case Control::FollowingLengthButton:
    case Control::FollowingRepeatButton:
    case Control::FollowingSizeButton:
    case Control::FollowingOrientationButton:
    case Control::FollowingDecorationButton:
      return FollowingButtonClick(c);
    default:
      return FileButtonClick(c);
  }
}

void MainWindow::FollowingButtonClick(Control c) {
  switch (c) {
    case Control::FollowingLengthButton:
      return model_.following().OnFollowingLengthButton();
    case Control::FollowingRepeatButton:
      return model_.following().OnFollowingRepeatButton();
    case Control::FollowingSizeButton:
      return model_.following().OnFollowingSizeButton();
    case Control::FollowingOrientationButton:
      return model_.following().OnFollowingOrientationButton();
    default:
      return model_.following().OnFollowingDecorationButton();
  }
}

void MainWindow::FileButtonClick(Control c) {
  switch (c) {
    case Control::OpenButton:
      return model_.files().OnOpenButton();
    case Control::NewButton:
      return model_.files().OnNewButton();
    case Control::SaveButton:
      return model_.files().OnSaveButton();
    case Control::SaveAsButton:
      return model_.files().OnSaveAsButton();
    case Control::ExportButton:
      return model_.files().OnExportButton();
    case Control::ImportExcelButton:
      return model_.OnImportButton();
    case Control::HelpButton:
      return model_.OnHelpButton();
    case Control::PrintButton:
      return model_.printing().OnPrintButton();
    case Control::PreviewButton:
      return model_.printing().OnPreviewButton();
    case Control::StopButton:
      return model_.printing().OnStopButton();
    default:
      return NotYetAvailable();
  }
}

void MainWindow::ListButtonClick(Control c) {
  switch (c) {
    case Control::FirstButton:
      return model_.segment_list().OnFirstButton();
    case Control::LastButton:
      return model_.segment_list().OnLastButton();
    case Control::AppendButton:
      return model_.segment_list().OnAppendButton();
    case Control::InsertButton:
      return model_.segment_list().OnInsertButton();
    case Control::DeleteButton:
      return model_.segment_list().OnDeleteButton();
    case Control::StoreButton:
      return model_.segment_list().OnStoreButton();
    default:
      return;
  }
}

void MainWindow::NotYetAvailable() {
  ui_.Message("此功能尚未提供。", msg::kInfo);
}

}  // namespace qx
