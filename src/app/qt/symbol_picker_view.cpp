#include "app/qt/symbol_picker_view.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt/document_font.h"
#include "app/qt/qt_ui.h"
#include "document/gbk.h"

namespace qx {
namespace {

// How a cell's code shows: its character, or nothing for a code GBK leaves unassigned.
QString Shown(const std::string& code) {
  if (code.empty() || !gbk::DecodeChar(code)) return {};
  return Q(gbk::ToUtf8(code));
}

// `font`, or for a character its first face leaves blank, the face the printer takes it
// from.
QVariant CellFont(const QFont& font, const QString& text) {
  if (text.size() != 1 || StandInFamily(font, text.front()).isEmpty()) return {};
  return FontFor(font, text.front());
}

}  // namespace

SymbolPickerView::SymbolPickerView(SymbolPicker& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(Q(SymbolPicker::kCaption));
  setObjectName(QStringLiteral("SymbolPicker"));
  auto* top = new QVBoxLayout(this);
  grid_ = new QTableWidget(SymbolPicker::kRows, SymbolPicker::kColumns, this);
  grid_->setObjectName(QStringLiteral("symbol_grid"));
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setMinimumSectionSize(SymbolPicker::kCellSize);
  grid_->verticalHeader()->setMinimumSectionSize(SymbolPicker::kCellSize);
  grid_->horizontalHeader()->setDefaultSectionSize(SymbolPicker::kCellSize);
  grid_->verticalHeader()->setDefaultSectionSize(SymbolPicker::kCellSize);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  const int frame = 2 * grid_->frameWidth();
  grid_->setFixedSize(SymbolPicker::kColumns * SymbolPicker::kCellSize + frame,
                      SymbolPicker::kRows * SymbolPicker::kCellSize + frame);
  for (int r = 0; r < SymbolPicker::kRows; ++r)
    for (int c = 0; c < SymbolPicker::kColumns; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      grid_->setItem(r, c, item);
    }
  top->addWidget(grid_);

  auto* row = new QHBoxLayout;
  preview_ = new QLineEdit(this);
  preview_->setObjectName(QStringLiteral("symbol_preview"));
  preview_->setReadOnly(true);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFixedSize(72, 64);
  row->addWidget(preview_);
  pre_ = new QPushButton(Q(SymbolPicker::kPreCaption), this);
  pre_->setObjectName(QStringLiteral("previous_zone_button"));
  next_ = new QPushButton(Q(SymbolPicker::kNextCaption), this);
  next_->setObjectName(QStringLiteral("next_zone_button"));
  insert_ = new QPushButton(Q(SymbolPicker::kInsertCaption), this);
  insert_->setObjectName(QStringLiteral("insert_button"));
  close_ = new QPushButton(Q(SymbolPicker::kCloseCaption), this);
  close_->setObjectName(QStringLiteral("close_button"));
  row->addStretch();
  for (QPushButton* b : {pre_, next_, insert_, close_}) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  top->addLayout(row);

  connect(grid_, &QTableWidget::currentCellChanged, this, [this](int r, int c, int, int) {
    if (syncing_ || r < 0 || c < 0) return;
    model_.OnCellSelected(c, r);
    Sync();
  });
  connect(pre_, &QPushButton::clicked, this, [this] {
    model_.OnPreviousZoneButton();
    Sync();
  });
  connect(next_, &QPushButton::clicked, this, [this] {
    model_.OnNextZoneButton();
    Sync();
  });
  connect(insert_, &QPushButton::clicked, this, [this] { model_.OnInsertButton(); });
  connect(close_, &QPushButton::clicked, this, [this] {
    model_.OnCloseButton();
    done(model_.result());
  });
}

void SymbolPickerView::closeEvent(QCloseEvent* e) {
  model_.OnCloseBox();
  QDialog::closeEvent(e);
}

void SymbolPickerView::Sync() {
  syncing_ = true;
  // The document face with the printer's fallback faces, so that every symbol shows as
  // it prints.
  const QFont cells = DocumentFont(model_.face(), 20);
  grid_->setFont(cells);
  for (int r = 0; r < SymbolPicker::kRows; ++r)
    for (int c = 0; c < SymbolPicker::kColumns; ++c) {
      QTableWidgetItem* item = grid_->item(r, c);
      const std::string code = model_.Cell(c, r);
      const QString text = Shown(code);
      item->setText(text);
      item->setData(Qt::FontRole, CellFont(cells, text));
      // A cell without a character cannot be chosen, by the mouse or the keys.
      item->setFlags(code.empty() ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
  grid_->setCurrentCell(model_.row(), model_.col());
  const QString preview = Shown(model_.preview());
  const QFont large = DocumentFont(model_.face(), 44);
  preview_->setFont(preview.size() == 1 ? FontFor(large, preview.front()) : large);
  preview_->setText(preview);
  pre_->setEnabled(model_.pre_enabled());
  next_->setEnabled(model_.next_enabled());
  insert_->setEnabled(model_.insert_enabled());
  syncing_ = false;
}

int SymbolPickerView::Run() {
  model_.OnActivated();
  Sync();
  CentreOnParent(*this);
  exec();
  if (model_.result() == 0) model_.OnCloseBox();
  return model_.result();
}

}  // namespace qx
