#include "app/qt/symbol_picker_view.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"
#include "document/gbk.h"
#include "layout/font_resolver.h"

namespace qx {
namespace {

// How a cell's code shows: its character, or nothing for a code GBK leaves unassigned.
QString Shown(const std::string& code) {
  if (code.empty() || !gbk::DecodeChar(code)) return {};
  return Q(gbk::ToUtf8(code));
}

// The installed family that draws the document's face (its stand-in for a Windows face).
QString Family(const std::string& face) {
  const FontResolution& r = FontResolver::Shared().Resolve(face, false);
  return r.family.empty() ? Q(face) : Q(r.family);
}

}  // namespace

SymbolPickerView::SymbolPickerView(TFuhaoForm& form, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), form_(form) {
  setWindowTitle(Q(TFuhaoForm::kCaption));
  setObjectName(QStringLiteral("TFuhaoForm"));
  auto* top = new QVBoxLayout(this);
  grid_ = new QTableWidget(TFuhaoForm::kRows, TFuhaoForm::kColumns, this);
  grid_->setObjectName(QStringLiteral("StringGrid1"));
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setMinimumSectionSize(TFuhaoForm::kCellSize);
  grid_->verticalHeader()->setMinimumSectionSize(TFuhaoForm::kCellSize);
  grid_->horizontalHeader()->setDefaultSectionSize(TFuhaoForm::kCellSize);
  grid_->verticalHeader()->setDefaultSectionSize(TFuhaoForm::kCellSize);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  const int frame = 2 * grid_->frameWidth();
  grid_->setFixedSize(TFuhaoForm::kColumns * TFuhaoForm::kCellSize + frame,
                      TFuhaoForm::kRows * TFuhaoForm::kCellSize + frame);
  for (int r = 0; r < TFuhaoForm::kRows; ++r)
    for (int c = 0; c < TFuhaoForm::kColumns; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      grid_->setItem(r, c, item);
    }
  top->addWidget(grid_);

  auto* row = new QHBoxLayout;
  preview_ = new QLineEdit(this);
  preview_->setObjectName(QStringLiteral("Edit1"));
  preview_->setReadOnly(true);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFixedSize(72, 64);
  row->addWidget(preview_);
  pre_ = new QPushButton(Q(TFuhaoForm::kPreCaption), this);
  pre_->setObjectName(QStringLiteral("PreBtn"));
  next_ = new QPushButton(Q(TFuhaoForm::kNextCaption), this);
  next_->setObjectName(QStringLiteral("NextBtn"));
  insert_ = new QPushButton(Q(TFuhaoForm::kInsertCaption), this);
  insert_->setObjectName(QStringLiteral("InsertBtn"));
  close_ = new QPushButton(Q(TFuhaoForm::kCloseCaption), this);
  close_->setObjectName(QStringLiteral("BitBtn2"));
  row->addStretch();
  for (QPushButton* b : {pre_, next_, insert_, close_}) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  top->addLayout(row);

  connect(grid_, &QTableWidget::currentCellChanged, this, [this](int r, int c, int, int) {
    if (syncing_ || r < 0 || c < 0) return;
    form_.StringGrid1SelectCell(c, r);
    Sync();
  });
  connect(pre_, &QPushButton::clicked, this, [this] {
    form_.PreBtnClick();
    Sync();
  });
  connect(next_, &QPushButton::clicked, this, [this] {
    form_.NextBtnClick();
    Sync();
  });
  connect(insert_, &QPushButton::clicked, this, [this] { form_.InsertBtnClick(); });
  connect(close_, &QPushButton::clicked, this, [this] {
    form_.BitBtn2Click();
    done(form_.result());
  });
}

void SymbolPickerView::closeEvent(QCloseEvent* e) {
  form_.CloseBoxClick();
  QDialog::closeEvent(e);
}

void SymbolPickerView::Sync() {
  syncing_ = true;
  QFont cells(Family(form_.face()));
  cells.setPixelSize(20);
  grid_->setFont(cells);
  for (int r = 0; r < TFuhaoForm::kRows; ++r)
    for (int c = 0; c < TFuhaoForm::kColumns; ++c)
      grid_->item(r, c)->setText(Shown(form_.Cell(c, r)));
  grid_->setCurrentCell(form_.row(), form_.col());
  QFont large(Family(form_.face()));
  large.setPixelSize(44);
  preview_->setFont(large);
  preview_->setText(Shown(form_.preview()));
  pre_->setEnabled(form_.pre_enabled());
  next_->setEnabled(form_.next_enabled());
  insert_->setEnabled(form_.insert_enabled());
  syncing_ = false;
}

int SymbolPickerView::Run() {
  form_.FormActivate();
  Sync();
  CentreOnParent(*this);
  exec();
  if (form_.result() == 0) form_.CloseBoxClick();
  return form_.result();
}

}  // namespace qx
