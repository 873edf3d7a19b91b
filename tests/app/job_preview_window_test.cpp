// The job preview window: opened from the main window and from the print dialog with the
// job's choices, the same markers the printer then receives, the rows it wraps the tape
// into, zoom, choosing an item with the mouse and the keys, and the Segment it comes from.
#include <gtest/gtest.h>

#include "app/job_preview_window.h"
#include "app/main_window_model.h"
#include "device/virtual/virtual_transport.h"
#include "document/gbk.h"
#include "support/print_fixture.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using S = std::vector<std::string>;

class JobPreviewWindowTest : public WindowFixture<> {
 protected:
  JobPreviewWindowTest() { ui_.job_timer = [this] { model_.printing().OnJobTimer(); }; }
  void Printers(std::string_view text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    printers_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
    model_.printing().SetTransport(*printers_);
  }
  // Types the Segments; an empty text leaves a Segment without an upper line. Each is
  // repeated as often as `repeats` says (1 when it says nothing).
  void Segments(const S& lines, const std::vector<int>& repeats = {}) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i) model_.segment_list().OnAppendButton();
      model_.line_editors().TypeText(Control::UpperLine, lines[i]);
      model_.segment_list().OnStoreButton();
      if (i < repeats.size()) {
        model_.table().Edit();
        model_.table().SetInt(kRepeatColumn, repeats[i]);
        model_.table().Store();
      }
    }
  }
  // The markers of a job preview: "row/serial" each, skipped ones as "-row".
  static S Markers(const JobPreviewWindow& w) {
    S out;
    for (std::size_t k = 0; k < w.preview().size(); ++k) {
      const JobEntry& e = w.preview().entry(k);
      out.push_back((e.printed ? "" : "-") + std::to_string(e.row));
    }
    return out;
  }

  std::unique_ptr<VirtualTransport> printers_;
};

// The main window's "预览" shows every Segment with the dialog's copies and order, leaves
// the Document as it was (an empty Segment stays; printing would delete it), and a click
// on a marker makes its Segment the current one.
TEST_F(JobPreviewWindowTest, TheWholeJobFromTheMainWindowAndAClickGoesToItsSegment) {
  Printers("qb20");
  Segments({"A1", "", "A3"}, {2, 1, 1});
  // The dialog was last left with two copies.
  ui_.print_dialog = [](PrintDialog& f) {
    f.OnCopiesEdited("2");
    return PrintDialog::kResultCancel;
  };
  model_.printing().OnPrintButton();  // tidies: "A1", "A3"
  model_.segment_list().OnAppendButton();
  model_.segment_list().OnStoreButton();  // an empty Segment again, at the end
  model_.segment_list().OnFirstButton();
  ASSERT_EQ(model_.table().RowCount(), 3);

  S markers;
  std::string figures, chosen;
  int position_after_click = 0;
  std::string line_after_click;
  ui_.job_preview = [&](JobPreviewWindow& w) {
    markers = Markers(w);
    figures = w.FiguresText();
    // The first marker of the second copy's Segment 2.
    ASSERT_GT(w.row_count(), 0);
    std::size_t target = w.preview().size();
    for (std::size_t k = 0; k < w.preview().size(); ++k)
      if (w.preview().copy_of(k) == 2 && w.preview().entry(k).row == 2) {
        target = k;
        break;
      }
    ASSERT_LT(target, w.preview().size());
    const int row = w.RowOf(target);
    for (const JobPreviewWindow::Cell& c : w.CellsOf(row))
      if (c.entry == target) w.OnClick(c.x + c.width / 2, w.RowTop(row) + 10);
    ASSERT_EQ(w.chosen(), target);
    chosen = w.ChosenText();
    position_after_click = model_.table().Position();
    line_after_click = UpperText();
  };
  model_.printing().OnPreviewButton();
  EXPECT_EQ(ui_.job_previews, 1);
  EXPECT_EQ(markers, (S{"1", "1", "2", "1", "1", "2"}));
  EXPECT_EQ(figures.rfind("共 6 个标记, 约 ", 0), 0u) << figures;
  EXPECT_EQ(chosen, "第 6 个标记 · 第 2 份 · 第 2 段");
  EXPECT_EQ(position_after_click, 2);
  EXPECT_EQ(line_after_click, "A3");
  EXPECT_EQ(model_.table().RowCount(), 3);  // previewing deletes nothing
  EXPECT_TRUE(printers_->printer(0).trace().empty());  // nor opens a printer
}

// The print dialog's "预览" takes the dialog's range, copies and order as they stand; the
// job then printed with those choices sends exactly the markers shown.
TEST_F(JobPreviewWindowTest, TheDialogsPreviewIsWhatThePrinterThenReceives) {
  Printers("qb20");
  Segments({"A1", "A22", "A333"}, {1, 3, 2});
  std::vector<std::vector<uint8_t>> shown;
  std::string dialog_figures, preview_figures;
  ui_.job_preview = [&](JobPreviewWindow& w) {
    preview_figures = w.FiguresText();
    for (std::size_t k = 0; k < w.preview().size(); ++k)
      shown.push_back(w.preview().picture(k).columns);
  };
  ui_.print_dialog = [&](PrintDialog& f) {
    f.OnRangeChosen();
    f.OnFirstRowEdited("2");
    f.OnCopiesEdited("2");
    f.OnRepeatFirstChosen();
    dialog_figures = f.figures_text();
    f.OnPreviewButton();
    f.OnOkButton();
    return f.result();
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  std::vector<std::vector<uint8_t>> printed;
  for (const VirtualItem& item : printers_->printer(0).jobs().at(0).items)
    printed.push_back(item.image.columns);
  EXPECT_EQ(printed.size(), 10u);  // (3 + 2) markers, twice
  EXPECT_EQ(shown, printed);
  EXPECT_EQ(preview_figures, dialog_figures);
}

// A preview built straight from a job: a Segment the layout refuses among printed ones.
class JobPreviewLayoutTest : public ::testing::Test {
 protected:
  JobPreviewLayoutTest() {
    d_.Add({"A", "", 25, 30});
    d_.Add({std::string(40, 'W'), "", 6, 1, "无序号", "", "", "自动"});  // fits no size
    d_.Add({"AA", "", 10, 5});
    job_.EndRow = 3;
  }
  JobPreviewWindow Window() {
    return JobPreviewWindow(JobPreview::Build(d_.Job(), job_), [this](int row) {
      went_to.push_back(row);
    });
  }
  testing::PrintDocument d_;
  PrintJob job_;
  std::vector<int> went_to;
};

TEST_F(JobPreviewLayoutTest, RowsFitTheWindowAndZoomWrapsThemAgain) {
  JobPreviewWindow w = Window();
  w.SetViewWidth(700);
  ASSERT_EQ(w.preview().size(), 36u);  // 30 + the skipped one + 5
  const int rows_at_1 = w.row_count();
  std::size_t next = 0;
  for (int r = 0; r < w.row_count(); ++r) {
    const auto cells = w.CellsOf(r);
    ASSERT_FALSE(cells.empty());
    EXPECT_EQ(cells.front().entry, next);  // every entry once, in job order
    next = cells.back().entry + 1;
    EXPECT_LE(cells.back().x + cells.back().width, 700) << "row " << r;
    EXPECT_EQ(w.RowOf(cells.front().entry), r);
    const IndexedImage tape = w.DrawRow(r);
    EXPECT_EQ(tape.height, w.tape_height());
    EXPECT_EQ(tape.width, w.content_width());
  }
  EXPECT_EQ(next, 36u);
  EXPECT_EQ(w.content_height(), w.row_count() * w.row_pitch());
  EXPECT_EQ(w.RowsWithin(0, w.row_pitch() + 1), std::make_pair(0, 1));

  EXPECT_FALSE(w.CanZoomOut());
  w.ZoomIn();
  EXPECT_EQ(w.scale(), 2);
  EXPECT_EQ(w.tape_height(), 192);
  EXPECT_GT(w.row_count(), rows_at_1);
  for (int i = 0; i < 10; ++i) w.ZoomIn();
  EXPECT_EQ(w.scale(), JobPreviewWindow::kMaxScale);
  EXPECT_FALSE(w.CanZoomIn());
  // Narrower than one item: each row holds one, cut at the window's edge when drawn.
  w.SetViewWidth(50);
  EXPECT_EQ(w.row_count(), 36);
}

TEST_F(JobPreviewLayoutTest, ChoosingAnItemByMouseAndKeys) {
  JobPreviewWindow w = Window();
  w.SetViewWidth(700);
  EXPECT_EQ(w.ChosenText(), "点击标记可转到它所在的段");
  // The caption band belongs to the item above it; the gap below it to nothing.
  const auto cells = w.CellsOf(0);
  w.OnClick(cells[1].x + 1, w.tape_height() + JobPreviewWindow::kCaptionPixels + 1);
  EXPECT_EQ(w.chosen(), std::nullopt);
  w.OnClick(cells[1].x + 1, w.tape_height() + 2);
  EXPECT_EQ(w.chosen(), 1u);
  EXPECT_EQ(w.Caption(1), "2");
  w.Move(JobPreviewWindow::kLast);
  EXPECT_EQ(w.chosen(), 35u);
  EXPECT_EQ(w.ChosenText(), "第 35 个标记 · 第 3 段");
  w.Move(+5);
  EXPECT_EQ(w.chosen(), 35u);  // stays on the last
  w.Move(-5);
  EXPECT_EQ(w.chosen(), 30u);  // the skipped item
  EXPECT_EQ(w.Caption(30), "跳过");
  EXPECT_EQ(w.ChosenText(), "第 2 段: 没有能容纳此内容的字号,此段不打印。");
  EXPECT_NE(w.FiguresText().find(", 1 个不打印"), std::string::npos) << w.FiguresText();
  w.Move(JobPreviewWindow::kFirst);
  w.MoveRows(+1);
  EXPECT_EQ(w.RowOf(*w.chosen()), 1);
  w.MoveRows(-10);
  EXPECT_EQ(w.RowOf(*w.chosen()), 0);
  EXPECT_EQ(went_to, (std::vector<int>{1, 3, 3, 2, 1, 1, 1}));
}

}  // namespace
}  // namespace qx
