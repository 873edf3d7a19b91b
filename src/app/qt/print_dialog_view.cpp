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
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"

namespace qx {
namespace {

// The pictures of the two orders, 100 x 48: stacks of sheets with their numbers.
QPixmap OrderPicture(bool repeat_first) {
  constexpr int kW = 16, kH = 22, kDx = 10, kDy = 5;  // a sheet, and the fan of a stack
  QPixmap pm(100, 48);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  QFont f = p.font();
  f.setPixelSize(10);
  p.setFont(f);
  // A stack fanned to the lower right, its first sheet at the back; each number sits in
  // the part of its sheet that the next one leaves uncovered.
  auto stack = [&](int x, int y, std::initializer_list<int> numbers) {
    int k = 0;
    for (int n : numbers) {
      const int sx = x + k * kDx, sy = y + k * kDy;
      const bool front = ++k == static_cast<int>(numbers.size());
      p.setPen(Qt::black);
      p.setBrush(Qt::white);
      p.drawRect(sx, sy, kW - 1, kH - 1);
      p.drawText(QRect(sx + 1, sy, front ? kW - 2 : kDx, kH), Qt::AlignCenter, QString::number(n));
    }
  };
  if (repeat_first) {  // three stacks of two: 1 1, 2 2, 3 3
    const int w = kW + kDx, gap = (100 - 3 * w) / 4;
    for (int s = 1; s <= 3; ++s) stack(gap + (s - 1) * (w + gap), (48 - kH - kDy) / 2, {s, s});
  } else {  // two stacks of three: 1 2 3
    const int w = kW + 2 * kDx, gap = (100 - 2 * w) / 3;
    for (int s = 0; s < 2; ++s) stack(gap + s * (w + gap), (48 - kH - 2 * kDy) / 2, {1, 2, 3});
  }
  return pm;
}

}  // namespace

PrintDialogView::PrintDialogView(PrintDialog& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), model_(model) {
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
  usb_sta_ = new QLabel(printer);
  usb_sta_->setObjectName(QStringLiteral("usb_status"));
  pg->addWidget(usb_sta_, 1, 1, 1, 2);
  pg->addWidget(new QLabel(QStringLiteral("设备"), printer), 2, 0);
  dev_name_ = new QLabel(printer);
  dev_name_->setObjectName(QStringLiteral("device_name"));
  pg->addWidget(dev_name_, 2, 1, 1, 2);
  pg->addWidget(new QLabel(QStringLiteral("位置"), printer), 3, 0);
  usb_sel_ = new QComboBox(printer);
  usb_sel_->setObjectName(QStringLiteral("printer_selector"));
  pg->addWidget(usb_sel_, 3, 1);
  auto* refresh = new QPushButton(QStringLiteral("刷新"), printer);
  refresh->setObjectName(QStringLiteral("refresh_button"));
  pg->addWidget(refresh, 3, 2);
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
  ed_pitch_ = new QLabel(fw);
  ed_pitch_->setObjectName(QStringLiteral("segment_count_text"));
  st_ = new QLineEdit(fw);
  st_->setObjectName(QStringLiteral("first_row_text"));
  en_ = new QLineEdit(fw);
  en_->setObjectName(QStringLiteral("last_row_text"));
  fg->addWidget(all_, 0, 0);
  fg->addWidget(ed_pitch_, 0, 1, 1, 3);
  fg->addWidget(range_, 1, 0);
  fg->addWidget(new QLabel(QStringLiteral("起始段"), fw), 1, 1);
  fg->addWidget(st_, 1, 2);
  fg->addWidget(new QLabel(QStringLiteral("结束段"), fw), 2, 1);
  fg->addWidget(en_, 2, 2);
  middle->addWidget(fw, 1);

  auto* copies = new QGroupBox(QStringLiteral("副本"), this);
  copies->setObjectName(QStringLiteral("copies_group"));
  auto* cg = new QGridLayout(copies);
  cg->addWidget(new QLabel(QStringLiteral("份数(<100)"), copies), 0, 0);
  cnt_ = new QLineEdit(copies);
  cnt_->setObjectName(QStringLiteral("copies_text"));
  cnt_->setMaxLength(3);
  cnt_->setFixedWidth(48);
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
  auto* cnt_row = new QHBoxLayout;
  cnt_row->setSpacing(0);
  cnt_row->addWidget(cnt_);
  cnt_row->addLayout(updown);
  cnt_row->addStretch();
  cg->addLayout(cnt_row, 0, 1);
  rep_ = new QRadioButton(QStringLiteral("重复优先"), copies);
  rep_->setObjectName(QStringLiteral("repeat_first_button"));
  xuhao_ = new QRadioButton(QStringLiteral("序号优先"), copies);
  xuhao_->setObjectName(QStringLiteral("serial_first_button"));
  auto* order_group = new QButtonGroup(copies);
  order_group->addButton(rep_);
  order_group->addButton(xuhao_);
  cg->addWidget(rep_, 1, 0);
  cg->addWidget(xuhao_, 2, 0);
  image1_ = new QLabel(copies);
  image1_->setObjectName(QStringLiteral("repeat_first_picture"));
  image1_->setPixmap(OrderPicture(true));
  image2_ = new QLabel(copies);
  image2_->setObjectName(QStringLiteral("serial_first_picture"));
  image2_->setPixmap(OrderPicture(false));
  cg->addWidget(image1_, 1, 1, 2, 1);
  cg->addWidget(image2_, 1, 1, 2, 1);  // the same place; one is in front
  middle->addWidget(copies, 1);
  top->addLayout(middle);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok_ = new QPushButton(QStringLiteral("确定"), this);
  ok_->setObjectName(QStringLiteral("ok_button"));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  cancel->setObjectName(QStringLiteral("cancel_button"));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  top->addLayout(buttons);

  cnt_->installEventFilter(this);
  connect(refresh, &QPushButton::clicked, this, [this] {
    model_.OnRefreshButton();
    Sync();
  });
  connect(usb_sel_, &QComboBox::activated, this, [this](int i) {
    model_.OnPrinterChosen(i);
    Sync();
  });
  connect(all_, &QRadioButton::clicked, this, [this] { model_.OnAllRowsChosen(); });
  connect(range_, &QRadioButton::clicked, this, [this] { model_.OnRangeChosen(); });
  connect(rep_, &QRadioButton::clicked, this, [this] {
    model_.OnRepeatFirstChosen();
    Sync();
  });
  connect(xuhao_, &QRadioButton::clicked, this, [this] {
    model_.OnSerialFirstChosen();
    Sync();
  });
  connect(st_, &QLineEdit::textEdited, this,
          [this] { EditNumber(st_, &PrintDialog::OnFirstRowEdited, &PrintDialog::first_row_text); });
  connect(en_, &QLineEdit::textEdited, this,
          [this] { EditNumber(en_, &PrintDialog::OnLastRowEdited, &PrintDialog::last_row_text); });
  connect(cnt_, &QLineEdit::textEdited, this,
          [this] { EditNumber(cnt_, &PrintDialog::OnCopiesEdited, &PrintDialog::copies_text); });
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
}

bool PrintDialogView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cnt_ && event->type() == QEvent::KeyPress) {
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
  usb_sta_->setText(Q(model_.usb_status()));
  dev_name_->setText(Q(model_.device_name()));
  usb_sel_->clear();
  for (const DeviceEntry& e : model_.entries()) usb_sel_->addItem(Q(e.label));
  usb_sel_->setCurrentIndex(model_.selection());
  ok_->setEnabled(model_.ok_enabled());
  (model_.range() ? range_ : all_)->setChecked(true);
  ed_pitch_->setText(Q(model_.segment_count_text()));
  st_->setText(Q(model_.first_row_text()));
  en_->setText(Q(model_.last_row_text()));
  cnt_->setText(Q(model_.copies_text()));
  (model_.repeat_first() ? rep_ : xuhao_)->setChecked(true);
  // The two pictures share their place; only the one in front is shown.
  image1_->setVisible(model_.repeat_first_picture_shown());
  image2_->setVisible(!model_.repeat_first_picture_shown());
  syncing_ = false;
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
