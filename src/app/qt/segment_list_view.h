// The Segment list on screen: a table view over the rows of the working table. The rows
// are read from the table as the view asks for them, so showing, scrolling and choosing a
// row cost what is on screen, whatever the number of Segments.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <array>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace qx {

class SegmentTable;

// The rows of the table as the list shows them: the Segment's number and its two lines.
// data() reads the row asked for; the rows read are kept, a few screens' worth, so that
// Sync can tell which of the rows on screen changed.
class SegmentListModel : public QAbstractTableModel {
 public:
  explicit SegmentListModel(const SegmentTable& table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Brings the list in step with the table: all rows anew when another file is behind
  // the table, rows added or taken away at the end when only their number changed, and a
  // change told for each kept row whose texts differ from what was shown.
  void Sync();

  // How often Sync ran and how many rows were read from the table: what a refresh and a
  // move through the list cost.
  int sync_count() const { return sync_count_; }
  int64_t rows_read() const { return rows_read_; }

 private:
  using RowTexts = std::array<QString, 3>;
  RowTexts Read(int row) const;
  const RowTexts* Row(int row) const;

  const SegmentTable& table_;
  int rows_ = 0;
  uint64_t generation_ = 0;
  bool synced_ = false;
  // The rows read since the last Sync or before it, by row. When it grows past its limit
  // it starts over, and the next Sync repaints every row, since some row on screen may no
  // longer be among them.
  mutable std::unordered_map<int, RowTexts> kept_;
  mutable bool forgot_ = false;
  int sync_count_ = 0;
  mutable int64_t rows_read_ = 0;
};

// The list's view: one row a Segment, chosen as a whole. The operator's moves of the
// highlight (keys and clicks) go to the row-chosen handler; the window's own moves
// (ShowCurrent) do not, so that a row the model makes current is never sent back to it.
class SegmentListView : public QTableView {
 public:
  explicit SegmentListView(QWidget* parent = nullptr);

  // Highlights the 0-based `row` and brings it into view when it becomes current; -1
  // leaves the view as it is (an empty list).
  void ShowCurrent(int row);
  // Told the 0-based row the operator moved the highlight to.
  void SetRowChosenHandler(std::function<void(int)> handler) {
    on_row_chosen_ = std::move(handler);
  }
  // How many of the operator's moves went to the handler.
  int rows_chosen() const { return rows_chosen_; }

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  std::function<void(int)> on_row_chosen_;
  bool showing_ = false;
  int rows_chosen_ = 0;
};

}  // namespace qx
