#include "app/qt/segment_list_view.h"

#include <QBrush>
#include <QColor>
#include <vector>

#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"
#include "document/table.h"

namespace qx {
namespace {

constexpr int kListColumns = 3;
// The rows kept to compare on a refresh: several screens' worth on any screen.
constexpr std::size_t kKeptRows = 512;

}  // namespace

SegmentListModel::SegmentListModel(const SegmentTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int SegmentListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int SegmentListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kListColumns;
}

SegmentListModel::RowTexts SegmentListModel::Read(int row) const {
  ++rows_read_;
  return {Q(table_.TextAt(row, kNumberColumn)), FromGbk(table_.TextAt(row, kUpperLineColumn)),
          FromGbk(table_.TextAt(row, kLowerLineColumn))};
}

const SegmentListModel::RowTexts* SegmentListModel::Row(int row) const {
  // Between a change of the table and the next Sync (a question shown in the middle of a
  // walk) the view may still ask for a row that is gone.
  if (!table_.IsOpen() || row < 0 || row >= table_.RowCount()) return nullptr;
  if (auto it = kept_.find(row); it != kept_.end()) return &it->second;
  if (kept_.size() >= kKeptRows) {
    kept_.clear();
    forgot_ = true;
  }
  return &kept_.emplace(row, Read(row)).first->second;
}

QVariant SegmentListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ || index.column() >= kListColumns) return {};
  if (role == Qt::DisplayRole) {
    const RowTexts* texts = Row(index.row());
    return texts ? QVariant((*texts)[static_cast<std::size_t>(index.column())]) : QVariant();
  }
  // The number column stands out in the selection colour of the classic desktop.
  if (role == Qt::BackgroundRole && index.column() == 0) return QBrush(QColor(166, 202, 240));
  return {};
}

QVariant SegmentListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
    switch (section) {
      case 0:
        return QStringLiteral("段号");
      case 1:
        return QStringLiteral("字段内容");
      case 2:
        return QStringLiteral("下行内容");
      default:
        return {};
    }
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags SegmentListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void SegmentListModel::Sync() {
  ++sync_count_;
  const int n = table_.IsOpen() ? table_.RowCount() : 0;
  if (!synced_ || table_.generation() != generation_) {
    // Another file behind the table (or none): nothing shown before still holds.
    beginResetModel();
    synced_ = true;
    generation_ = table_.generation();
    rows_ = n;
    kept_.clear();
    forgot_ = false;
    endResetModel();
    return;
  }
  if (n > rows_) {
    beginInsertRows(QModelIndex(), rows_, n - 1);
    rows_ = n;
    endInsertRows();
  } else if (n < rows_) {
    std::erase_if(kept_, [n](const auto& kept) { return kept.first >= n; });
    beginRemoveRows(QModelIndex(), n, rows_ - 1);
    rows_ = n;
    endRemoveRows();
  }
  // A row inserted or removed in the middle moves the rows after it; those on screen are
  // kept and show up here as changed.
  if (forgot_) {
    forgot_ = false;
    kept_.clear();
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kListColumns - 1));
    return;
  }
  std::vector<int> changed;
  for (auto& [row, texts] : kept_) {
    RowTexts now = Read(row);
    if (now != texts) {
      texts = std::move(now);
      changed.push_back(row);
    }
  }
  for (int row : changed) emit dataChanged(index(row, 0), index(row, kListColumns - 1));
}

SegmentListView::SegmentListView(QWidget* parent) : QTableView(parent) {}

// Home and End go to the first and the last Segment, as in any list; a plain table would
// only move between the columns of the row, which shows nothing and leaves the current
// Segment as it was.
QModelIndex SegmentListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  if (action == MoveHome || action == MoveEnd) modifiers |= Qt::ControlModifier;
  return QTableView::moveCursor(action, modifiers);
}

void SegmentListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (showing_ || !current.isValid()) return;
  if (previous.isValid() && previous.row() == current.row()) return;
  ++rows_chosen_;
  if (on_row_chosen_) on_row_chosen_(current.row());
}

void SegmentListView::ShowCurrent(int row) {
  if (row < 0 || !model() || row >= model()->rowCount()) return;
  const bool was_showing = showing_;
  showing_ = true;
  selectRow(row);
  showing_ = was_showing;
}

}  // namespace qx
