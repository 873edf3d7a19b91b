// The Segment list of a long document: moving through it costs the rows on screen, a move
// goes from the view to the model once and comes back once, and a change shows in the
// rows it touched without the list being built anew.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <string>

#include "app/qt/main_window.h"
#include "app/qt/segment_list_view.h"
#include "document/document.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

class SegmentListViewTest : public ::testing::Test {
 protected:
  SegmentListViewTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    model_.Start(1366, 768, dir_.path(), dir_ / "TL.$$$");
    window_ = std::make_unique<MainWindow>(model_, ui_);
    // Every refresh the model asks for still reaches the window; the test counts them.
    model_.SetRefreshHandler([this] {
      ++refreshes_;
      window_->Refresh();
    });
    window_->show();
    model_.OnActivated();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~SegmentListViewTest() override { window_.reset(); }

  SegmentListView* View() {
    return static_cast<SegmentListView*>(window_->Widget(Control::SegmentGrid));
  }
  SegmentListModel* List() { return static_cast<SegmentListModel*>(View()->model()); }
  QString Text(int row, int col) { return List()->index(row, col).data().toString(); }
  QLineEdit* Line(Control c) { return static_cast<QLineEdit*>(window_->Widget(c)); }

  // Segments numbered 1..count with upper lines "L1".."Lcount", written in one step
  // behind detached editors; the last one is current.
  void FillSegments(int count) {
    SegmentTable& t = model_.table();
    t.DetachControls();
    {
      SegmentTable::Batch batch(t);
      for (int i = 1; i <= count; ++i) {
        if (i > 1) {
          t.Append();
          FillNewSegment(t);
        }
        t.Edit();
        t.SetText(kUpperLineColumn, "L" + std::to_string(i));
        t.SetInt(kNumberColumn, i);
        t.Store();
      }
      batch.Commit();
    }
    t.AttachControls();
    QApplication::processEvents();
  }
  // Whether row `row` (0-based) is on screen in the list.
  bool Shown(int row) {
    return View()->viewport()->rect().intersects(View()->visualRect(List()->index(row, 1)));
  }

  testing::TempDir dir_;
  testing::ScriptedUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
  int refreshes_ = 0;
};

TEST_F(SegmentListViewTest, EndInALongListMovesTheModelOnceAndShowsTheLastRow) {
  constexpr int kSegments = 10000;
  FillSegments(kSegments);
  ASSERT_EQ(List()->rowCount(), kSegments);
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_Home);
  ASSERT_EQ(model_.table().Position(), 1);
  ASSERT_TRUE(Shown(0));

  const int chosen = View()->rows_chosen();
  const int syncs = List()->sync_count();
  const int64_t read = List()->rows_read();
  refreshes_ = 0;
  QTest::keyClick(View(), Qt::Key_End);

  // One move from the view to the model, one refresh back from the model, one update of
  // the list: the walk to the last Segment is not shown row by row.
  EXPECT_EQ(View()->rows_chosen() - chosen, 1);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(List()->sync_count() - syncs, 1);
  EXPECT_EQ(model_.table().Position(), kSegments);
  EXPECT_EQ(View()->currentIndex().row(), kSegments - 1);
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("L10000"));
  QApplication::processEvents();  // paints the rows now on screen
  EXPECT_TRUE(Shown(kSegments - 1));
  EXPECT_FALSE(Shown(0));
  EXPECT_EQ(Text(kSegments - 1, 0), QStringLiteral("10000"));
  // The number column shows the largest number a Segment can have whole.
  EXPECT_GE(View()->columnWidth(0),
            View()->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 6);
  EXPECT_EQ(Text(kSegments - 1, 1), QStringLiteral("L10000"));
  // What was read is a few screens of rows, not the document.
  EXPECT_LT(List()->rows_read() - read, 1000);

  // A move the model makes (the first-Segment button) is shown, not sent back.
  refreshes_ = 0;
  QTest::mouseClick(static_cast<QAbstractButton*>(window_->Widget(Control::FirstButton)),
                    Qt::LeftButton);
  EXPECT_EQ(model_.table().Position(), 1);
  EXPECT_EQ(View()->currentIndex().row(), 0);
  EXPECT_EQ(View()->rows_chosen() - chosen, 1);
  EXPECT_TRUE(Shown(0));
}

TEST_F(SegmentListViewTest, AChangeShowsInItsRowAndANewSegmentAtTheEnd) {
  constexpr int kSegments = 2000;
  FillSegments(kSegments);
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_Home);
  for (int i = 0; i < 4; ++i) QTest::keyClick(View(), Qt::Key_Down);
  ASSERT_EQ(model_.table().Position(), 5);
  // The rows on screen are drawn (and so read) before the change: under a window manager
  // on a busy machine the drawing may not have come yet.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QApplication::processEvents();
  View()->viewport()->repaint();

  QSignalSpy resets(List(), &QAbstractItemModel::modelReset);
  QSignalSpy inserted(List(), &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(List(), &QAbstractItemModel::rowsRemoved);
  QSignalSpy changed(List(), &QAbstractItemModel::dataChanged);
  QTest::mouseClick(Line(Control::UpperLine), Qt::LeftButton);
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_End);
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("x"));
  EXPECT_EQ(Text(4, 1), QStringLiteral("L5x"));
  EXPECT_EQ(Text(3, 1), QStringLiteral("L4"));
  EXPECT_EQ(Text(5, 1), QStringLiteral("L6"));
  // Only the row typed in was told as changed; nothing was built anew.
  ASSERT_FALSE(changed.isEmpty());
  for (const QList<QVariant>& c : changed) {
    EXPECT_EQ(c.at(0).toModelIndex().row(), 4);
    EXPECT_EQ(c.at(1).toModelIndex().row(), 4);
  }
  EXPECT_EQ(resets.size(), 0);
  EXPECT_EQ(inserted.size(), 0);
  EXPECT_EQ(removed.size(), 0);

  // A Segment appended at the end is one row more, the others stay.
  QTest::mouseClick(static_cast<QAbstractButton*>(window_->Widget(Control::StoreButton)),
                    Qt::LeftButton);
  QTest::mouseClick(static_cast<QAbstractButton*>(window_->Widget(Control::AppendButton)),
                    Qt::LeftButton);
  ASSERT_EQ(model_.table().RowCount(), kSegments + 1);
  ASSERT_EQ(inserted.size(), 1);
  EXPECT_EQ(inserted.at(0).at(1).toInt(), kSegments);
  EXPECT_EQ(inserted.at(0).at(2).toInt(), kSegments);
  EXPECT_EQ(resets.size(), 0);
  EXPECT_EQ(List()->rowCount(), kSegments + 1);
  EXPECT_EQ(View()->currentIndex().row(), kSegments);
  EXPECT_EQ(Text(4, 1), QStringLiteral("L5x"));
  EXPECT_EQ(Text(kSegments, 1), QString());

  // Deleting the third Segment moves those after it up: one row fewer, and the rows on
  // screen show the Segments now in their places.
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_Home);
  QTest::keyClick(View(), Qt::Key_Down);
  QTest::keyClick(View(), Qt::Key_Down);
  ASSERT_EQ(model_.table().Position(), 3);
  QTest::mouseClick(static_cast<QAbstractButton*>(window_->Widget(Control::DeleteButton)),
                    Qt::LeftButton);
  ASSERT_EQ(model_.table().RowCount(), kSegments);
  EXPECT_EQ(removed.size(), 1);
  EXPECT_EQ(resets.size(), 0);
  EXPECT_EQ(List()->rowCount(), kSegments);
  EXPECT_EQ(Text(2, 0), QStringLiteral("3"));
  EXPECT_EQ(Text(2, 1), QStringLiteral("L4"));
  EXPECT_EQ(Text(3, 1), QStringLiteral("L5x"));
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("L4"));
}

}  // namespace
}  // namespace qx
