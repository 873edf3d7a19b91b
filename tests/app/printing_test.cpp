// The print command of the main window: tidying, the dialog, the window while a job runs,
// the stop button and closing, against virtual printers on the fake clock of the
// scripted Ui.
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "device/virtual/virtual_transport.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

class PrintingTest : public ::testing::Test {
 protected:
  PrintingTest() : form_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    form_.FormCreate(1024, 768, dir_.path(), dir_ / "TL.$$$");
    form_.FormActivate();
    ui_.timer1 = [this] { form_.Timer1Timer(); };
  }
  void Printers(std::string_view text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    printers_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
    form_.SetTransport(*printers_);
  }
  // Types the Segments; an empty text leaves a Segment without an upper line.
  void Segments(const S& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i) form_.AppendClick();
      form_.TypeText(Ctl::FlinEdit, lines[i]);
      form_.PostClick();
    }
  }
  // The operator presses OK in the dialog (after the given changes).
  void Ok(std::function<void(TPrtSelForm&)> change = {}) {
    ui_.print_dialog = [change](TPrtSelForm& f) {
      if (change) change(f);
      f.OkBtnClick();
      return f.result();
    };
  }
  S Rows() {
    S out;
    SegmentTable& t = form_.table();
    for (int r = 0; r < t.RowCount(); ++r) out.push_back(gbk::ToUtf8(t.TextAt(r, kFlin)));
    return out;
  }

  TempDir dir_;
  ScriptedUi ui_;
  BarCanvas measure_canvas_, glyph_canvas_;
  TPrintForm form_;
  std::unique_ptr<VirtualTransport> printers_;
};

TEST_F(PrintingTest, NothingToPrint) {
  Printers("qb20");
  Segments({"", "", ""});
  form_.PrintFileBtn();
  EXPECT_EQ(ui_.Take(), S{"无内容可打印!"});
  EXPECT_EQ(ui_.print_dialogs, 0);
  EXPECT_EQ(form_.table().RowCount(), 1);
  EXPECT_FALSE(form_.para().DocBusy);
}

TEST_F(PrintingTest, TidyingStaysWhenTheDialogIsCancelledAndIsNoChange) {
  Printers("qb20");
  Segments({"A1", "", "A2"});
  const bool modified = form_.para().DocModified;
  form_.PrintFileBtn();  // no operator script: the dialog is cancelled
  EXPECT_EQ(ui_.print_dialogs, 1);
  EXPECT_EQ(Rows(), (S{"A1", "A2"}));
  EXPECT_EQ(form_.para().DocModified, modified);
  EXPECT_EQ(form_.print_job().EndRow, 2);
  EXPECT_EQ(form_.print_dialog().EdPitch(), "本文件段落数量: 2");
  EXPECT_TRUE(printers_->printer(0).trace().empty());  // the printer was not opened
  EXPECT_TRUE(form_.Enabled(Ctl::PrintBtn));
}

TEST_F(PrintingTest, APrinterThatCannotBeOpened) {
  Printers("qb20:unplug=1");
  Segments({"A1"});
  Ok([this](TPrtSelForm&) { printers_->printer(0).Unplug(); });
  form_.PrintFileBtn();
  EXPECT_EQ(ui_.Take(), S{"打开设备出错"});
  EXPECT_EQ(ui_.messages.size(), 0u);
  EXPECT_TRUE(form_.Enabled(Ctl::OpenBtn));
}

TEST_F(PrintingTest, TheWindowWhileAJobRunsAndAfterIt) {
  Printers("qb20:tube=100:label=118");
  Segments({"A1", "A2", "A3"});
  Ok([](TPrtSelForm& f) { f.CntEditChange("2"); });
  std::vector<std::string> statuses;
  bool checked = false;
  ui_.on_dispatch = [&] {
    if (!form_.para().DocBusy) return;
    statuses.push_back(form_.status(0));
    if (checked) return;
    checked = true;
    for (Ctl c : {Ctl::OpenBtn, Ctl::SaveBtn, Ctl::PrintBtn, Ctl::ExportBtn, Ctl::FlinEdit,
                  Ctl::SlinEdit, Ctl::DBGrid1, Ctl::ZitiBox, Ctl::PitchLenBtn, Ctl::AppendBtn,
                  Ctl::MatBox, Ctl::PlenEdit})
      EXPECT_FALSE(form_.Enabled(c)) << Info(c).name;
    EXPECT_TRUE(form_.Enabled(Ctl::StopBtn));
    EXPECT_FALSE(form_.FormCloseQuery());  // refused while printing
  };
  form_.PrintFileBtn();
  EXPECT_TRUE(checked);
  EXPECT_EQ(ui_.Take(), (S{"请先终止打印,再退出.", "打印完成!"}));
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front().rfind("信息提示: 数据打印中......", 0), 0u);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "信息提示: 数据打印中......  3/6"),
            statuses.end());
  EXPECT_EQ(printers_->printer(0).jobs().at(0).items.size(), 6u);
  // Back to editing.
  EXPECT_EQ(form_.status(0), "当前状态:文件编辑");
  EXPECT_FALSE(form_.para().DocBusy);
  EXPECT_TRUE(form_.Enabled(Ctl::PrintBtn));
  EXPECT_FALSE(form_.Enabled(Ctl::StopBtn));
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  // The preview now measures with what the printer reported.
  EXPECT_EQ(form_.doc().calibration.LabelCalibration, 118);
  EXPECT_EQ(form_.doc().calibration.TubeCalibration, 100);
}

TEST_F(PrintingTest, StopButtonAndClosingAfterTheStop) {
  Printers("qb20:speed=real");
  Segments({"A1"});
  form_.table().Edit();
  form_.table().SetInt(kPitchRep, 20);
  form_.table().Store();
  Ok();
  int closes = 0;
  form_.SetCloseHandler([&] { ++closes; });
  bool pressed = false;
  ui_.on_dispatch = [&] {
    if (pressed || !form_.Enabled(Ctl::StopBtn)) return;
    if (printers_->printer(0).jobs().at(0).items.size() < 3) return;
    pressed = true;
    form_.StopPrtBtn();
    EXPECT_FALSE(form_.Enabled(Ctl::StopBtn));
    EXPECT_FALSE(form_.FormCloseQuery());  // closes once the job has ended
    EXPECT_TRUE(ui_.messages.empty());
  };
  form_.PrintFileBtn();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(printers_->printer(0).jobs().at(0).end, JobEnd::kStopped);
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(form_.StopRequested());
}

TEST_F(PrintingTest, TheDialogsChoicesPersistButTheRangeIsRefilled) {
  Printers("qa11,qb20");
  Segments({"A1", "A2", "A3", "A4"});
  Ok([](TPrtSelForm& f) {
    f.UsbSelCBoxChange(1);
    f.PrtRangeButClick();
    f.StEditChange("3");
    f.RepBtnClick();
  });
  form_.PrintFileBtn();
  EXPECT_EQ(printers_->printer(1).jobs().at(0).items.size(), 2u);  // rows 3 and 4
  EXPECT_TRUE(printers_->printer(0).jobs().empty());
  ui_.print_dialog = [](TPrtSelForm& f) {
    EXPECT_TRUE(f.range());
    EXPECT_TRUE(f.repeat_first());
    EXPECT_EQ(f.StEdit(), "1");
    EXPECT_EQ(f.EnEdit(), "4");
    return TPrtSelForm::kResultCancel;
  };
  form_.PrintFileBtn();
  EXPECT_EQ(ui_.print_dialogs, 2);
}

}  // namespace
}  // namespace qx
