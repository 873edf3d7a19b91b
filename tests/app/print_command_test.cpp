// The print command of the main window: tidying, the dialog, the window while a job runs,
// the stop button and closing, against virtual printers on the fake clock of the
// scripted Ui.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "device/virtual/virtual_transport.h"
#include "document/gbk.h"
#include "editing/messages.h"
#include "layout/tape.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using S = std::vector<std::string>;

class PrintCommandTest : public WindowFixture<> {
 protected:
  PrintCommandTest() : WindowFixture<>() {
    ui_.job_timer = [this] { model_.printing().OnJobTimer(); };
  }
  void Printers(std::string_view text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    printers_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
    model_.printing().SetTransport(*printers_);
  }
  // Types the Segments; an empty text leaves a Segment without an upper line.
  void Segments(const S& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i) model_.segment_list().OnAppendButton();
      model_.line_editors().TypeText(Control::UpperLine, lines[i]);
      model_.segment_list().OnStoreButton();
    }
  }
  // The operator presses OK in the dialog (after the given changes).
  void Ok(std::function<void(PrintDialog&)> change = {}) {
    ui_.print_dialog = [change](PrintDialog& f) {
      if (change) change(f);
      f.OnOkButton();
      return f.result();
    };
  }
  S Rows() {
    S out;
    SegmentTable& t = model_.table();
    for (int r = 0; r < t.RowCount(); ++r)
      out.push_back(gbk::ToUtf8(t.TextAt(r, kUpperLineColumn)));
    return out;
  }

  std::unique_ptr<VirtualTransport> printers_;
};

TEST_F(PrintCommandTest, NothingToPrint) {
  Printers("qb20");
  Segments({"", "", ""});
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), S{"无内容可打印!"});
  EXPECT_EQ(ui_.print_dialogs, 0);
  EXPECT_EQ(model_.table().RowCount(), 1);
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
}

TEST_F(PrintCommandTest, TidyingStaysWhenTheDialogIsCancelledAndIsNoChange) {
  Printers("qb20");
  Segments({"A1", "", "A2"});
  const bool modified = model_.doc().file_state.DocModified;
  model_.printing().OnPrintButton();  // no operator script: the dialog is cancelled
  EXPECT_EQ(ui_.print_dialogs, 1);
  EXPECT_EQ(Rows(), (S{"A1", "A2"}));
  EXPECT_EQ(model_.doc().file_state.DocModified, modified);
  EXPECT_EQ(model_.printing().job().EndRow, 2);
  EXPECT_EQ(model_.printing().dialog().segment_count_text(), "本文件段落数量: 2");
  EXPECT_TRUE(printers_->printer(0).trace().empty());  // the printer was not opened
  EXPECT_TRUE(model_.controls().Enabled(Control::PrintButton));
}

TEST_F(PrintCommandTest, APrinterThatCannotBeOpened) {
  Printers("qb20:unplug=1");
  Segments({"A1"});
  Ok([this](PrintDialog&) { printers_->printer(0).Unplug(); });
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), S{"打开设备出错"});
  EXPECT_EQ(ui_.messages.size(), 0u);
  EXPECT_TRUE(model_.controls().Enabled(Control::OpenButton));
}

TEST_F(PrintCommandTest, TheWindowWhileAJobRunsAndAfterIt) {
  Printers("qb20:tube=100:label=118");
  Segments({"A1", "A2", "A3"});
  Ok([](PrintDialog& f) { f.OnCopiesEdited("2"); });
  std::vector<std::string> statuses;
  bool checked = false;
  ui_.on_dispatch = [&] {
    if (!model_.doc().file_state.DocBusy) return;
    statuses.push_back(model_.controls().status(0));
    if (checked) return;
    checked = true;
    for (Control c :
         {Control::OpenButton, Control::SaveButton, Control::PrintButton, Control::ExportButton,
          Control::UpperLine, Control::LowerLine, Control::SegmentGrid, Control::FontFaceSelector,
          Control::FollowingLengthButton, Control::AppendButton, Control::MaterialSelector,
          Control::LengthEdit})
      EXPECT_FALSE(model_.controls().Enabled(c)) << Info(c).name;
    EXPECT_TRUE(model_.controls().Enabled(Control::StopButton));
    EXPECT_FALSE(model_.CanClose());  // refused while printing
  };
  model_.printing().OnPrintButton();
  EXPECT_TRUE(checked);
  EXPECT_EQ(ui_.Take(), (S{"请先终止打印,再退出.", "打印完成!"}));
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front().rfind("信息提示: 数据打印中......", 0), 0u);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "信息提示: 数据打印中......  3/6"),
            statuses.end());
  EXPECT_EQ(printers_->printer(0).jobs().at(0).items.size(), 6u);
  // Back to editing.
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
  EXPECT_TRUE(model_.controls().Enabled(Control::PrintButton));
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  // The preview now measures with what the printer reported.
  EXPECT_EQ(model_.doc().calibration.LabelCalibration, 118);
  EXPECT_EQ(model_.doc().calibration.TubeCalibration, 100);
}

TEST_F(PrintCommandTest, StopButtonAndClosingAfterTheStop) {
  Printers("qb20:speed=real");
  Segments({"A1"});
  model_.table().Edit();
  model_.table().SetInt(kRepeatColumn, 20);
  model_.table().Store();
  Ok();
  int closes = 0;
  model_.SetCloseHandler([&] { ++closes; });
  bool pressed = false;
  ui_.on_dispatch = [&] {
    if (pressed || !model_.controls().Enabled(Control::StopButton)) return;
    if (printers_->printer(0).jobs().at(0).items.size() < 3) return;
    pressed = true;
    model_.printing().OnStopButton();
    EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
    EXPECT_FALSE(model_.CanClose());  // closes once the job has ended
    EXPECT_TRUE(ui_.messages.empty());
  };
  model_.printing().OnPrintButton();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(printers_->printer(0).jobs().at(0).end, JobEnd::kStopped);
  EXPECT_EQ(ui_.Take(), S{"打印终止!"});  // a stopped job has not finished
  // The status bar is back to editing and says how far the job got: the markers the
  // printer reported printed, and the one under the head at the stop, which may be on
  // the tape already.
  const WalkCounts& counts = model_.printing().last_job_counts();
  const int printed = counts.printed;
  EXPECT_GT(printed, 0);
  EXPECT_LT(printed, counts.sent);
  EXPECT_TRUE(counts.next_may_be_partial);
  const std::string next = std::to_string(printed + 1);
  EXPECT_EQ(model_.controls().status(0), std::string(msg::kStateEditing) + "  已打印 " +
                                              std::to_string(printed) + "/20, 可从第" + next +
                                              "个继续, 第" + next + "个标记可能已部分打印");
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(model_.printing().StopRequested());
}

// After a stop the print dialog offers to go on from the first marker not printed: that
// job sends exactly the rest, with the first job's copies and order, and the status bar
// counts over the whole job. A change of the Document withdraws the offer.
TEST_F(PrintCommandTest, AStoppedJobGoesOnFromTheFirstMarkerNotPrinted) {
  Printers("qb20:speed=real");
  Segments({"A1", "A2"});
  model_.table().First();
  model_.table().Edit();
  model_.table().SetInt(kRepeatColumn, 4);
  model_.table().Store();
  // The whole job, for what each marker is: rows 1 (4 times) and 2, twice, repeat first.
  Ok([](PrintDialog& f) {
    f.OnCopiesEdited("2");
    f.OnRepeatFirstChosen();
  });
  model_.printing().OnPrintButton();
  ui_.Take();
  std::vector<std::vector<uint8_t>> whole;
  for (const VirtualItem& item : printers_->printer(0).jobs().at(0).items)
    whole.push_back(item.image.columns);
  ASSERT_EQ(whole.size(), 10u);

  // The same job stopped after three markers.
  bool pressed = false;
  ui_.on_dispatch = [&] {
    if (pressed || !model_.controls().Enabled(Control::StopButton)) return;
    if (printers_->printer(0).jobs().back().items.size() < 3) return;
    pressed = true;
    model_.printing().OnStopButton();
  };
  model_.printing().OnPrintButton();
  ASSERT_TRUE(pressed);
  EXPECT_EQ(ui_.Take(), S{"打印终止!"});
  ui_.on_dispatch = {};
  const int printed = model_.printing().last_job_counts().printed;
  ASSERT_GT(printed, 0);
  ASSERT_LT(printed, 10);
  std::vector<std::vector<uint8_t>> on_tape;
  for (const VirtualItem& item : printers_->printer(0).jobs().back().items)
    if (item.printed) on_tape.push_back(item.image.columns);

  // The offer says what it prints; other copies or another order withdraw it, the job's
  // own choices bring it back.
  std::string offered, with_other_copies, with_other_order;
  ui_.print_dialog = [&](PrintDialog& f) {
    offered = f.continue_text();
    f.OnCopiesEdited("5");
    with_other_copies = f.continue_text();
    f.OnContinueButton();  // withdrawn: nothing happens
    f.OnCopiesEdited("2");
    f.OnSerialFirstChosen();
    with_other_order = f.continue_text();
    f.OnRepeatFirstChosen();
    EXPECT_EQ(f.continue_text(), offered);
    f.OnContinueButton();
    return f.result();
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(offered, "从第" + std::to_string(printed + 1) + "个继续 (2份, 剩余" +
                         std::to_string(10 - printed) + "个)");
  EXPECT_EQ(with_other_copies, "");
  EXPECT_EQ(with_other_order, "");
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  std::vector<std::vector<uint8_t>> rest;
  for (const VirtualItem& item : printers_->printer(0).jobs().back().items)
    rest.push_back(item.image.columns);
  EXPECT_EQ(rest, decltype(whole)(whole.begin() + printed, whole.end()));
  // Between the two jobs every marker is on the tape, in order; at most the one under the
  // head at the stop twice.
  ASSERT_GE(on_tape.size(), static_cast<std::size_t>(printed));
  EXPECT_LE(on_tape.size(), static_cast<std::size_t>(printed + 1));
  EXPECT_EQ(decltype(whole)(on_tape.begin(), on_tape.end()),
            decltype(whole)(whole.begin(), whole.begin() + static_cast<long>(on_tape.size())));
  EXPECT_EQ(model_.controls().status(0), std::string(msg::kStateEditing));
  // Nothing left to go on with once the job has finished.
  ui_.print_dialog = [&](PrintDialog& f) {
    offered = f.continue_text();
    return PrintDialog::kResultCancel;
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(offered, "");

  // Stopped again, then a Segment is changed: the offer is withdrawn.
  pressed = false;
  Ok();
  ui_.on_dispatch = [&] {
    if (pressed || !model_.controls().Enabled(Control::StopButton)) return;
    if (printers_->printer(0).jobs().back().items.size() < 3) return;
    pressed = true;
    model_.printing().OnStopButton();
  };
  model_.printing().OnPrintButton();
  ASSERT_TRUE(pressed);
  ui_.on_dispatch = {};
  ui_.print_dialog = [&](PrintDialog& f) {
    offered = f.continue_text();
    return PrintDialog::kResultCancel;
  };
  model_.printing().OnPrintButton();
  EXPECT_NE(offered, "");
  model_.table().Last();
  model_.table().Edit();
  model_.table().SetText(kUpperLineColumn, "B2");
  model_.table().Store();
  model_.printing().OnPrintButton();
  EXPECT_EQ(offered, "");
}

// Printing deletes the Segments without an upper line and numbers the rest again; the
// operator stays on the Segment they were on (or the one that took its place when theirs
// was deleted), whether the dialog is cancelled or the job runs to its end.
TEST_F(PrintCommandTest, TheOperatorStaysOnTheirSegmentAfterPrinting) {
  struct Case {
    const char* what;
    int current;  // of "A1", "", "A2", "", "A3"
    bool print;
    int row_after;
    const char* upper_after;
  };
  const Case cases[] = {
      {"after a deleted Segment, cancelled", 3, false, 2, "A2"},
      {"after a deleted Segment, printed", 3, true, 2, "A2"},
      {"the last, printed", 5, true, 3, "A3"},
      {"the first, printed", 1, true, 1, "A1"},
      {"a deleted Segment: the one that took its place", 4, true, 3, "A3"},
  };
  Printers("qb20");
  for (const Case& c : cases) {
    model_.files().StartNewDocument();
    Segments({"A1", "", "A2", "", "A3"});
    model_.segment_list().OnGridRowClicked(c.current);
    model_.context().FocusLineEnd(0);
    if (c.print) {
      Ok();
    } else {
      ui_.print_dialog = {};
    }
    model_.printing().OnPrintButton();
    ui_.Take();
    EXPECT_EQ(Rows(), (S{"A1", "A2", "A3"})) << c.what;
    EXPECT_EQ(model_.table().Position(), c.row_after) << c.what;
    EXPECT_EQ(UpperText(), c.upper_after) << c.what;
    EXPECT_EQ(model_.focus(), Control::UpperLine) << c.what;
  }
}

// The Segment preview draws the item the printer gets, bold or not: with the bold switch
// pressed (the line editors bold), and after a new Document, which clears the editors'
// bold while the switch stays down.
TEST_F(PrintCommandTest, TheSegmentPreviewIsThePrintedItemBoldOrNot) {
  glyph_.bold_is_taller = true;
  Printers("qb20");
  const auto preview_and_print = [&] {
    Segments({"AW1"});
    const SegmentPreview preview = model_.preview().Make();
    Ok();
    model_.printing().OnPrintButton();
    EXPECT_EQ(ui_.Take(), S{"打印完成!"});
    const VirtualItem& printed = printers_->printer(0).jobs().back().items.at(0);
    EXPECT_TRUE(preview.item.has_value());
    return std::make_pair(preview.item.value_or(ItemImage{}).columns, printed.image.columns);
  };
  const auto [regular_preview, regular_print] = preview_and_print();
  EXPECT_EQ(regular_preview, regular_print);

  model_.files().StartNewDocument();
  model_.settings().OnBoldButton();
  ASSERT_TRUE(model_.doc().settings.editor_bold);
  const auto [bold_preview, bold_print] = preview_and_print();
  EXPECT_EQ(bold_preview, bold_print);
  EXPECT_NE(bold_print, regular_print);  // bold does draw differently here

  model_.files().StartNewDocument();  // the switch stays down, the editors are regular again
  ASSERT_TRUE(model_.doc().settings.bold);
  const auto [new_preview, new_print] = preview_and_print();
  EXPECT_EQ(new_preview, new_print);
  EXPECT_EQ(new_print, regular_print);
}

TEST_F(PrintCommandTest, MarkersTooLongForThePrinterAreLeftOutAndToldAtTheEnd) {
  Printers("qb20");
  Segments({"A1", "A2", "A3", "A4"});
  SegmentTable& t = model_.table();
  auto change = [&](int row, const std::string& upper_text, const char* size, int repeat) {
    t.First();
    for (int i = 1; i < row; ++i) t.Next();
    t.Edit();
    t.SetText(kUpperLineColumn, upper_text);
    t.SetInt(kLengthColumn, 0);
    t.SetText(kSizeColumn, gbk::Encode(size));
    t.SetInt(kRepeatColumn, repeat);
    t.Store();
  };
  // As a document file may bring it: 40 "A" of 48 columns at size 7 and an automatic
  // length make 2076 columns, more than the printer's image store takes (1666).
  change(2, std::string(40, 'A'), "7 号", 2);
  // Automatic length and size: the layout refuses, without a word as always.
  change(3, "A3", "自动", 1);
  Ok([](PrintDialog& f) { f.OnCopiesEdited("2"); });
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), (S{"打印完成!", "有4个标记超出打印机的存储容量,未打印。"}));
  EXPECT_EQ(printers_->printer(0).jobs().at(0).items.size(), 4u);  // A1 and A4, twice
  EXPECT_EQ(model_.printing().last_job_counts().skipped, 6);
  EXPECT_EQ(model_.printing().last_job_counts().too_long, 4);
  EXPECT_TRUE(model_.controls().Enabled(Control::PrintButton));
}

TEST_F(PrintCommandTest, TheDialogsChoicesPersistButTheRangeIsRefilled) {
  Printers("qa11,qb20");
  Segments({"A1", "A2", "A3", "A4"});
  Ok([](PrintDialog& f) {
    f.OnPrinterChosen(1);
    f.OnRangeChosen();
    f.OnFirstRowEdited("3");
    f.OnRepeatFirstChosen();
  });
  model_.printing().OnPrintButton();
  EXPECT_EQ(printers_->printer(1).jobs().at(0).items.size(), 2u);  // rows 3 and 4
  EXPECT_TRUE(printers_->printer(0).jobs().empty());
  ui_.print_dialog = [](PrintDialog& f) {
    EXPECT_TRUE(f.range());
    EXPECT_TRUE(f.repeat_first());
    EXPECT_EQ(f.first_row_text(), "1");
    EXPECT_EQ(f.last_row_text(), "4");
    return PrintDialog::kResultCancel;
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.print_dialogs, 2);
}

// The dialog's figures are what the printer then receives: the markers of the chosen rows
// and copies, and the tape they take.
TEST_F(PrintCommandTest, TheDialogSaysHowManyMarkersAndHowMuchTape) {
  Printers("qb20");
  Segments({"A1", "A22", "A333", "A4"});
  model_.table().First();
  model_.table().Edit();
  model_.table().SetInt(kRepeatColumn, 3);
  model_.table().Store();
  std::string shown;
  Ok([&](PrintDialog& f) {
    f.OnCopiesEdited("2");
    f.OnRangeChosen();
    f.OnLastRowEdited("3");
    shown = f.figures_text();
    // Measuring moves nothing: the Document is where the tidying before the dialog left it.
    EXPECT_EQ(model_.table().Position(), 1);
    EXPECT_FALSE(model_.table().ControlsDetached());
  });
  model_.printing().OnPrintButton();
  const auto& items = printers_->printer(0).jobs().at(0).items;
  int64_t dots = 0;
  for (const VirtualItem& item : items) dots += ItemFeedDots(item.image);
  ASSERT_EQ(items.size(), 10u);  // rows 1 (3 times), 2 and 3, twice
  char metres[32];
  std::snprintf(metres, sizeof metres, "%.1f", static_cast<double>(dots) / 11.0 / 1000.0);
  EXPECT_EQ(shown, "共 10 个标记, 约 " + std::string(metres) + " 米");
}

}  // namespace
}  // namespace qx
