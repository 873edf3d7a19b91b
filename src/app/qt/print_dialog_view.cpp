#include "app/qt/print_dialog_view.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"

namespace qx {
namespace {

// The pictures of the two orders, 100 x 48: the tape each order prints for a Segment with
// the series 1 to 3 and a repeat of 2, as the job walks it.
QPixmap OrderPicture(bool repeat_first) {
  constexpr int kCell = 15, kCells = 6, kTop = 14, kHeight = 20;
  QPixmap pm(100, 48);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  QFont f = p.font();
  f.setPixelSize(10);
  p.setFont(f);
  const int left = (100 - kCell * kCells) / 2;
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(left, kTop, kCell * kCells, kHeight);
  // Repeat first: each value twice before the next. Serial first: the whole series, then
  // the series again for the next repeat.
  constexpr int kRepeatFirst[kCells] = {1, 1, 2, 2, 3, 3};
  constexpr int kSerialFirst[kCells] = {1, 2, 3, 1, 2, 3};
  for (int i = 0; i < kCells; ++i) {
    const int x = left + i * kCell;
    if (i > 0) p.drawLine(x, kTop, x, kTop + kHeight - 1);
    const int n = repeat_first ? kRepeatFirst[i] : kSerialFirst[i];
    p.drawText(QRect(x, kTop, kCell, kHeight), Qt::AlignCenter, QString::number(n));
  }
  return pm;
}

}  // namespace

PrintDialogView::PrintDialogView(PrintDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("打印"));
  setObjectName(QStringLiteral("PrintDialog"));
  auto* top = new QVBoxLayout(this);
  top->setSizeConstraint(QLayout::SetFixedSize);  // a dialog of one size, as laid out

  auto* printer = new QGroupBox(QStringLiteral("打印机"), this);
  printer->setObjectName(QStringLiteral("printer_group"));
  auto* pg = new QGridLayout(printer);
  pg->addWidget(new QLabel(QStringLiteral("名称"), printer), 0, 0);
  pg->addWidget(new QLabel(Q(PrintDialog::kProduct), printer), 0, 1, 1, 2);
  pg->addWidget(new QLabel(QStringLiteral("状态"), printer), 1, 0);
  usb_status_ = new QLabel(printer);
  usb_status_->setObjectName(QStringLiteral("usb_status"));
  pg->addWidget(usb_status_, 1, 1, 1, 2);
  pg->addWidget(new QLabel(QStringLiteral("设备"), printer), 2, 0);
  device_name_ = new QLabel(printer);
  device_name_->setObjectName(QStringLiteral("device_name"));
  pg->addWidget(device_name_, 2, 1, 1, 2);
  pg->addWidget(new QLabel(QStringLiteral("位置"), printer), 3, 0);
  printer_selector_ = new QComboBox(printer);
  printer_selector_->setObjectName(QStringLiteral("printer_selector"));
  pg->addWidget(printer_selector_, 3, 1);
  auto* refresh = new QPushButton(QStringLiteral("刷新"), printer);
  refresh->setObjectName(QStringLiteral("refresh_button"));
  pg->addWidget(refresh, 3, 2);
  search_text_ = new QLabel(printer);
  search_text_->setObjectName(QStringLiteral("search_text"));
  pg->addWidget(search_text_, 4, 1, 1, 2);
  pg->setColumnStretch(1, 1);  // the captions keep their width, the values take the rest
  top->addWidget(printer);

  auto* middle = new QHBoxLayout;
  auto* fw = new QGroupBox(QStringLiteral("打印范围"), this);
  fw->setObjectName(QStringLiteral("range_group"));
  auto* fg = new QGridLayout(fw);
  all_ = new QRadioButton(QStringLiteral("所有"), fw);
  range_ = new QRadioButton(QStringLiteral("范围"), fw);
  auto* range_group = new QButtonGroup(fw);
  range_group->addButton(all_);
  range_group->addButton(range_);
  segment_count_ = new QLabel(fw);
  segment_count_->setObjectName(QStringLiteral("segment_count_text"));
  first_row_ = new QLineEdit(fw);
  first_row_->setObjectName(QStringLiteral("first_row_text"));
  last_row_ = new QLineEdit(fw);
  last_row_->setObjectName(QStringLiteral("last_row_text"));
  fg->addWidget(all_, 0, 0);
  fg->addWidget(segment_count_, 0, 1, 1, 3);
  fg->addWidget(range_, 1, 0);
  fg->addWidget(new QLabel(QStringLiteral("起始段"), fw), 1, 1);
  fg->addWidget(first_row_, 1, 2);
  fg->addWidget(new QLabel(QStringLiteral("结束段"), fw), 2, 1);
  fg->addWidget(last_row_, 2, 2);
  middle->addWidget(fw, 1);

  auto* copies = new QGroupBox(QStringLiteral("副本"), this);
  copies->setObjectName(QStringLiteral("copies_group"));
  auto* cg = new QGridLayout(copies);
  cg->addWidget(new QLabel(QStringLiteral("份数(<100)"), copies), 0, 0);
  copies_ = new QLineEdit(copies);
  copies_->setObjectName(QStringLiteral("copies_text"));
  copies_->setMaxLength(3);
  copies_->setFixedWidth(48);
  auto* updown = new QVBoxLayout;
  updown->setSpacing(0);
  auto* up = new QToolButton(copies);
  up->setArrowType(Qt::UpArrow);
  up->setFixedSize(18, 12);
  auto* down = new QToolButton(copies);
  down->setArrowType(Qt::DownArrow);
  down->setFixedSize(18, 12);
  updown->addWidget(up);
  updown->addWidget(down);
  auto* copies_row = new QHBoxLayout;
  copies_row->setSpacing(0);
  copies_row->addWidget(copies_);
  copies_row->addLayout(updown);
  copies_row->addStretch();
  cg->addLayout(copies_row, 0, 1);
  repeat_first_ = new QRadioButton(QStringLiteral("重复优先"), copies);
  repeat_first_->setObjectName(QStringLiteral("repeat_first_button"));
  serial_first_ = new QRadioButton(QStringLiteral("序号优先"), copies);
  serial_first_->setObjectName(QStringLiteral("serial_first_button"));
  auto* order_group = new QButtonGroup(copies);
  order_group->addButton(repeat_first_);
  order_group->addButton(serial_first_);
  cg->addWidget(repeat_first_, 1, 0);
  cg->addWidget(serial_first_, 2, 0);
  repeat_first_picture_ = new QLabel(copies);
  repeat_first_picture_->setObjectName(QStringLiteral("repeat_first_picture"));
  repeat_first_picture_->setPixmap(OrderPicture(true));
  serial_first_picture_ = new QLabel(copies);
  serial_first_picture_->setObjectName(QStringLiteral("serial_first_picture"));
  serial_first_picture_->setPixmap(OrderPicture(false));
  cg->addWidget(repeat_first_picture_, 1, 1, 2, 1);
  cg->addWidget(serial_first_picture_, 1, 1, 2, 1);  // the same place; one is in front
  middle->addWidget(copies, 1);
  top->addLayout(middle);
  figures_ = new QLabel(this);
  figures_->setObjectName(QStringLiteral("figures_text"));
  top->addWidget(figures_);

  auto* buttons = new QHBoxLayout;
  auto* preview = new QPushButton(QStringLiteral("预览"), this);
  preview->setObjectName(QStringLiteral("preview_button"));
  preview->setToolTip(QStringLiteral("查看整个任务:每个标记和不打印的项"));
  preview->setAutoDefault(false);
  buttons->addWidget(preview);
  continue_ = new QPushButton(this);
  continue_->setObjectName(QStringLiteral("continue_button"));
  continue_->setToolTip(QStringLiteral("上次打印中途终止:接着打印其余的标记"));
  continue_->setAutoDefault(false);
  buttons->addWidget(continue_);
  buttons->addStretch();
  ok_ = new QPushButton(QStringLiteral("确定"), this);
  ok_->setObjectName(QStringLiteral("ok_button"));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  cancel->setObjectName(QStringLiteral("cancel_button"));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  top->addLayout(buttons);

  copies_->installEventFilter(this);
  // Shared printers are found beside the dialog: what a search finds is taken up as it comes.
  auto* shared_poll = new QTimer(this);
  shared_poll->setInterval(250);
  connect(shared_poll, &QTimer::timeout, this, [this] {
    if (model_.OnSharedPrintersPoll()) Sync();
  });
  shared_poll->start();
  connect(refresh, &QPushButton::clicked, this, [this] {
    model_.OnRefreshButton();
    Sync();
  });
  connect(printer_selector_, &QComboBox::activated, this, [this](int i) {
    model_.OnPrinterChosen(i);
    Sync();
  });
  connect(all_, &QRadioButton::clicked, this, [this] {
    model_.OnAllRowsChosen();
    Sync();
  });
  connect(range_, &QRadioButton::clicked, this, [this] {
    model_.OnRangeChosen();
    Sync();
  });
  connect(repeat_first_, &QRadioButton::clicked, this, [this] {
    model_.OnRepeatFirstChosen();
    Sync();
  });
  connect(serial_first_, &QRadioButton::clicked, this, [this] {
    model_.OnSerialFirstChosen();
    Sync();
  });
  connect(first_row_, &QLineEdit::textEdited, this, [this] {
    EditNumber(first_row_, &PrintDialog::OnFirstRowEdited, &PrintDialog::first_row_text);
  });
  connect(last_row_, &QLineEdit::textEdited, this, [this] {
    EditNumber(last_row_, &PrintDialog::OnLastRowEdited, &PrintDialog::last_row_text);
  });
  connect(copies_, &QLineEdit::textEdited, this,
          [this] { EditNumber(copies_, &PrintDialog::OnCopiesEdited, &PrintDialog::copies_text); });
  connect(up, &QToolButton::clicked, this, [this] {
    model_.OnCopiesStep(+1);
    Sync();
  });
  connect(down, &QToolButton::clicked, this, [this] {
    model_.OnCopiesStep(-1);
    Sync();
  });
  connect(ok_, &QPushButton::clicked, this, [this] {
    model_.OnOkButton();
    if (model_.result() == PrintDialog::kResultOk) done(model_.result());
  });
  connect(preview, &QPushButton::clicked, this, [this] {
    model_.OnPreviewButton();
    Sync();
  });
  connect(continue_, &QPushButton::clicked, this, [this] {
    model_.OnContinueButton();
    if (model_.result() == PrintDialog::kResultContinue) done(model_.result());
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    model_.OnCancelButton();
    done(model_.result());
  });
}

void PrintDialogView::EditNumber(QLineEdit* edit, void (PrintDialog::*handler)(std::string),
                                 const std::string& (PrintDialog::*value)() const) {
  if (syncing_) return;
  const int caret = edit->cursorPosition();
  (model_.*handler)(edit->text().toStdString());
  const QString now = Q((model_.*value)());
  if (now != edit->text()) {  // refused: the last edit is undone
    edit->setText(now);
    edit->setCursorPosition(std::max(0, caret - 1));
  }
  // The figures and the offer to go on follow every character typed.
  ShowChoiceResults();
}

bool PrintDialogView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == copies_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      model_.OnCopiesStep(key == Qt::Key_Up ? +1 : -1);
      Sync();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void PrintDialogView::closeEvent(QCloseEvent* e) {
  model_.OnCloseBox();
  QDialog::closeEvent(e);
}

void PrintDialogView::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  if (e->type() != QEvent::ActivationChange || !isVisible() || !isActiveWindow()) return;
  if (activation_pending_) {
    activation_pending_ = false;
    return;
  }
  model_.OnActivated();
  Sync();
}

void PrintDialogView::Sync() {
  syncing_ = true;
  usb_status_->setText(Q(model_.usb_status()));
  device_name_->setText(Q(model_.device_name()));
  printer_selector_->clear();
  for (const DeviceEntry& e : model_.entries()) printer_selector_->addItem(Q(e.label));
  printer_selector_->setCurrentIndex(model_.selection());
  search_text_->setText(Q(model_.search_text()));
  ok_->setEnabled(model_.ok_enabled());
  ShowChoiceResults();
  (model_.range() ? range_ : all_)->setChecked(true);
  segment_count_->setText(Q(model_.segment_count_text()));
  first_row_->setText(Q(model_.first_row_text()));
  last_row_->setText(Q(model_.last_row_text()));
  copies_->setText(Q(model_.copies_text()));
  (model_.repeat_first() ? repeat_first_ : serial_first_)->setChecked(true);
  // The two pictures share their place; only the one in front is shown.
  repeat_first_picture_->setVisible(model_.repeat_first_picture_shown());
  serial_first_picture_->setVisible(!model_.repeat_first_picture_shown());
  syncing_ = false;
}

void PrintDialogView::ShowChoiceResults() {
  figures_->setText(Q(model_.figures_text()));
  continue_->setText(Q(model_.continue_text()));
  continue_->setVisible(!model_.continue_text().empty());
  continue_->setEnabled(model_.ok_enabled());
}

int PrintDialogView::Run() {
  model_.OnActivated();
  Sync();
  CentreOnParent(*this);
  activation_pending_ = true;
  exec();
  if (model_.result() == 0) model_.OnCloseBox();  // closed by Escape or the window manager
  return model_.result();
}

}  // namespace qx
