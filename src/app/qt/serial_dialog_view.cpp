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

SerialDialogView::SerialDialogView(SerialNumberDialog& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(Q(SerialNumberDialog::kCaption));
  setObjectName(QStringLiteral("SerialNumberDialog"));
  auto* top = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  type_ = new QComboBox(this);
  type_->setObjectName(QStringLiteral("type_selector"));
  for (std::string_view t : SerialNumberDialog::kTypes) type_->addItem(Q(t));
  first_ = new QLineEdit(this);
  first_->setObjectName(QStringLiteral("first_text"));
  last_ = new QLineEdit(this);
  last_->setObjectName(QStringLiteral("last_text"));
  grid->addWidget(new QLabel(Q(SerialNumberDialog::kTypeLabel), this), 0, 0);
  grid->addWidget(type_, 0, 1);
  grid->addWidget(new QLabel(Q(SerialNumberDialog::kFirstLabel), this), 1, 0);
  grid->addWidget(first_, 1, 1);
  grid->addWidget(new QLabel(Q(SerialNumberDialog::kLastLabel), this), 2, 0);
  grid->addWidget(last_, 2, 1);
  top->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  yes_ = new QPushButton(this);
  yes_->setObjectName(QStringLiteral("insert_or_change_button"));
  yes_->setDefault(true);
  ret_ = new QPushButton(Q(SerialNumberDialog::kReturnCaption), this);
  ret_->setObjectName(QStringLiteral("return_button"));
  buttons->addStretch();
  buttons->addWidget(yes_);
  buttons->addWidget(ret_);
  top->addLayout(buttons);

  connect(type_, &QComboBox::activated, this, [this](int i) {
    model_.OnTypeChosen(i);
    Sync();
  });
  connect(first_, &QLineEdit::textEdited, this, [this] {
    Edited(first_, &SerialNumberDialog::OnFirstEdited, &SerialNumberDialog::first_text);
  });
  connect(last_, &QLineEdit::textEdited, this, [this] {
    Edited(last_, &SerialNumberDialog::OnLastEdited, &SerialNumberDialog::last_text);
  });
  connect(yes_, &QPushButton::clicked, this, [this] {
    model_.OnInsertOrChangeButton();
    if (model_.result() != 0) return done(model_.result());
    Sync();  // refused: an editor may have been emptied and takes the focus
  });
  connect(ret_, &QPushButton::clicked, this, [this] {
    model_.OnReturnButton();
    done(model_.result());
  });
}

void SerialDialogView::Edited(QLineEdit* edit,
                              void (SerialNumberDialog::*handler)(std::string_view),
                              const std::string& (SerialNumberDialog::*value)() const) {
  if (syncing_) return;
  const int caret = edit->cursorPosition();
  (model_.*handler)(edit->text().toStdString());
  const QString now = Q((model_.*value)());
  if (now != edit->text()) {  // the editor's case or length rule changed the text
    syncing_ = true;
    edit->setText(now);
    edit->setCursorPosition(std::min(caret, static_cast<int>(now.size())));
    syncing_ = false;
  }
}

void SerialDialogView::closeEvent(QCloseEvent* e) {
  model_.OnCloseBox();
  QDialog::closeEvent(e);
}

void SerialDialogView::Sync() {
  syncing_ = true;
  type_->setCurrentIndex(model_.type_index());
  // The maximum length is the model's rule: a Qt maximum would cut a text already longer.
  if (first_->text() != Q(model_.first_text())) first_->setText(Q(model_.first_text()));
  if (last_->text() != Q(model_.last_text())) last_->setText(Q(model_.last_text()));
  yes_->setText(Q(model_.yes_caption()));
  QLineEdit* focus = model_.focus() == SerialNumberDialog::Field::kFirst ? first_ : last_;
  focus->setFocus(Qt::OtherFocusReason);
  focus->selectAll();
  syncing_ = false;
}

int SerialDialogView::Run() {
  model_.OnActivated();
  Sync();
  CentreOnParent(*this);
  exec();
  if (model_.result() == 0) model_.OnCloseBox();  // closed by Escape or the window manager
  return model_.result();
}

}  // namespace qx
