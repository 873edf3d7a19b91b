#include "app/qt/serial_dialog_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"

namespace qx {

SerialDialogView::SerialDialogView(TXuhoForm& form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), form_(form) {
  setWindowTitle(Q(TXuhoForm::kCaption));
  setObjectName(QStringLiteral("TXuhoForm"));
  auto* top = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  type_ = new QComboBox(this);
  type_->setObjectName(QStringLiteral("XhlxBox"));
  for (std::string_view t : TXuhoForm::kTypes) type_->addItem(Q(t));
  first_ = new QLineEdit(this);
  first_->setObjectName(QStringLiteral("FEdit"));
  last_ = new QLineEdit(this);
  last_->setObjectName(QStringLiteral("EEdit"));
  grid->addWidget(new QLabel(Q(TXuhoForm::kTypeLabel), this), 0, 0);
  grid->addWidget(type_, 0, 1);
  grid->addWidget(new QLabel(Q(TXuhoForm::kFirstLabel), this), 1, 0);
  grid->addWidget(first_, 1, 1);
  grid->addWidget(new QLabel(Q(TXuhoForm::kLastLabel), this), 2, 0);
  grid->addWidget(last_, 2, 1);
  top->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  yes_ = new QPushButton(this);
  yes_->setObjectName(QStringLiteral("YesBtn"));
  yes_->setDefault(true);
  ret_ = new QPushButton(Q(TXuhoForm::kReturnCaption), this);
  ret_->setObjectName(QStringLiteral("RetBtn"));
  buttons->addStretch();
  buttons->addWidget(yes_);
  buttons->addWidget(ret_);
  top->addLayout(buttons);

  connect(type_, &QComboBox::activated, this, [this](int i) {
    form_.XhlxBoxChange(i);
    Sync();
  });
  connect(first_, &QLineEdit::textEdited, this,
          [this] { Edited(first_, &TXuhoForm::FEditChange, &TXuhoForm::FEdit); });
  connect(last_, &QLineEdit::textEdited, this,
          [this] { Edited(last_, &TXuhoForm::EEditChange, &TXuhoForm::EEdit); });
  connect(yes_, &QPushButton::clicked, this, [this] {
    form_.YesBtnClick();
    if (form_.result() != 0) return done(form_.result());
    Sync();  // refused: an editor may have been emptied and takes the focus
  });
  connect(ret_, &QPushButton::clicked, this, [this] {
    form_.RetBtnClick();
    done(form_.result());
  });
}

void SerialDialogView::Edited(QLineEdit* edit, void (TXuhoForm::*handler)(std::string_view),
                              const std::string& (TXuhoForm::*value)() const) {
  if (syncing_) return;
  const int caret = edit->cursorPosition();
  (form_.*handler)(edit->text().toStdString());
  const QString now = Q((form_.*value)());
  if (now != edit->text()) {  // the editor's case or length rule changed the text
    syncing_ = true;
    edit->setText(now);
    edit->setCursorPosition(std::min(caret, static_cast<int>(now.size())));
    syncing_ = false;
  }
}

void SerialDialogView::closeEvent(QCloseEvent* e) {
  form_.CloseBoxClick();
  QDialog::closeEvent(e);
}

void SerialDialogView::Sync() {
  syncing_ = true;
  type_->setCurrentIndex(form_.type_index());
  // The maximum length is the form's rule: a Qt maximum would cut a text already longer.
  if (first_->text() != Q(form_.FEdit())) first_->setText(Q(form_.FEdit()));
  if (last_->text() != Q(form_.EEdit())) last_->setText(Q(form_.EEdit()));
  yes_->setText(Q(form_.yes_caption()));
  QLineEdit* focus = form_.focus() == TXuhoForm::Field::kFEdit ? first_ : last_;
  focus->setFocus(Qt::OtherFocusReason);
  focus->selectAll();
  syncing_ = false;
}

int SerialDialogView::Run() {
  form_.FormActivate();
  Sync();
  CentreOnParent(*this);
  exec();
  if (form_.result() == 0) form_.CloseBoxClick();  // closed by Escape or the window manager
  return form_.result();
}

}  // namespace qx
