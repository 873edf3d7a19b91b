// Printing from the Qt window end to end: a sample document is opened, the print button
// is pressed, the real print dialog is answered with mouse and keys, the job runs against
// virtual printers and the window comes back to editing. Time is a fake clock that moves
// only when the window dispatches its events, so nothing here waits for real.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>

#include "app/qt/job_preview_view.h"
#include "app/qt/main_window.h"
#include "app/qt/print_dialog_view.h"
#include "app/qt/qt_ui.h"
#include "device/virtual/virtual_transport.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/scripted_shared_printers.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

std::filesystem::path SampleDir() {
  return std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample";
}

// The tape pictures stay after the run, one folder per test, for a look at what printed.
std::filesystem::path TapeDir(const std::string& test) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "qx-print-window-test" / test;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// The real window's Ui with its real print dialog, but with a fake clock that each
// dispatch of events moves on, a job timer that fires at the next dispatch, recorded
// message boxes and the document dialog answered with a chosen file.
class WindowUi : public QtUi {
 public:
  FakeClock clock;
  uint64_t dispatch_ms = 10;
  uint64_t time_limit_ms = 3600 * 1000;
  S messages;
  std::filesystem::path open_answer;
  std::function<void()> on_dispatch;  // after every dispatch while a job waits

  void Message(std::string_view text, std::string_view) override { messages.emplace_back(text); }
  bool Ask(std::string_view text, std::string_view, std::string_view, std::string_view) override {
    ADD_FAILURE() << "unexpected question: " << text;
    return false;
  }
  Answer AskYesNo(std::string_view text, std::string_view, bool) override {
    ADD_FAILURE() << "unexpected question: " << text;
    return Answer::kNo;
  }
  std::optional<std::filesystem::path> OpenFile(const FileDialog&) override { return open_answer; }
  std::optional<std::filesystem::path> SaveFile(const FileDialog&) override {
    ADD_FAILURE() << "unexpected save dialog";
    return std::nullopt;
  }
  void Beep() override {}

  uint64_t NowMs() override { return clock.NowMs(); }
  void StartJobTimer(uint32_t) override { QtUi::StartJobTimer(0); }
  void ProcessEvents() override {
    clock.Advance(dispatch_ms);
    QCoreApplication::processEvents();
    if (on_dispatch) on_dispatch();
    // A job that never ends must fail its test, not hang it: first ask it to stop, and
    // give up on the whole run if even that does not end it.
    if (clock.NowMs() > 2 * time_limit_ms) {
      std::fprintf(stderr, "print job still waiting after %llu ms of fake time\n",
                   static_cast<unsigned long long>(clock.NowMs()));
      std::abort();
    }
    if (clock.NowMs() > time_limit_ms && !over_time_) {
      over_time_ = true;
      ADD_FAILURE() << "the job waited past the time limit";
      if (stop_) stop_();
    }
  }
  void SetStop(std::function<void()> stop) { stop_ = std::move(stop); }

 private:
  bool over_time_ = false;
  std::function<void()> stop_;
};

class PrintWindowTest : public ::testing::Test {
 protected:
  PrintWindowTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    model_.Start(1366, 768, dir_.path(), dir_ / "TL.$$$");
    ui_.SetJobTimerHandler([this] { model_.printing().OnJobTimer(); });
    ui_.SetStop([this] { model_.printing().OnStopButton(); });
    window_ = std::make_unique<MainWindow>(model_, ui_);
    ui_.SetParent(window_.get());
    window_->show();
    model_.OnActivated();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~PrintWindowTest() override {
    window_.reset();
    printers_.reset();  // ends any job still open, writing its picture
  }

  void Printers(std::string_view text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    tape_dir_ = TapeDir(name);
    printers_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), tape_dir_);
    model_.printing().SetTransport(*printers_);
  }

  // The operator opens a sample document with the open button.
  void OpenSample(const std::string& name) {
    ui_.open_answer = SampleDir() / name;
    ASSERT_TRUE(std::filesystem::exists(ui_.open_answer)) << ui_.open_answer;
    Click(Control::OpenButton);
    ASSERT_EQ(ui_.messages, S{});
    ASSERT_EQ(model_.doc().file_state.DocPath, ui_.open_answer);
  }

  void Click(Control c) {
    QWidget* w = window_->Widget(c);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isEnabled()) << Info(c).name;
    QTest::mouseClick(w, Qt::LeftButton);
  }

  // Runs `operate` on the print dialog as soon as it is up and modal.
  void WhenDialogShows(std::function<void(PrintDialogView&)> operate) {
    auto* poll = new QTimer(window_.get());
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, operate = std::move(operate)] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* view = dynamic_cast<PrintDialogView*>(modal);
      if (auto* other = qobject_cast<QDialog*>(modal); other && !view) {
        ADD_FAILURE() << "another dialog came up: " << other->windowTitle().toStdString();
        other->reject();
        return;
      }
      if (!view || !view->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      operate(*view);
    });
    poll->start();
  }

  QString StatusText() {
    const auto labels = window_->statusBar()->findChildren<QLabel*>();
    return labels.isEmpty() ? QString() : labels.front()->text();
  }

  // Back to editing; a job that ended early adds how far it got ("  已打印 n/m").
  void ExpectEditingState() {
    EXPECT_EQ(model_.controls().status(0).rfind("当前状态:文件编辑", 0), 0u);
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("当前状态:文件编辑")));
    EXPECT_EQ(StatusText().toStdString(), model_.controls().status(0));
    EXPECT_FALSE(model_.doc().file_state.DocBusy);
    EXPECT_TRUE(window_->Widget(Control::PrintButton)->isEnabled());
    EXPECT_FALSE(window_->Widget(Control::StopButton)->isEnabled());
    for (Control c :
         {Control::OpenButton, Control::SaveButton, Control::UpperLine, Control::LowerLine,
          Control::SegmentGrid, Control::FontFaceSelector, Control::ExportButton})
      EXPECT_TRUE(window_->Widget(c)->isEnabled()) << Info(c).name;
  }

  testing::TempDir dir_;
  WindowUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<VirtualTransport> printers_;
  std::filesystem::path tape_dir_;
};

// What the dialog showed when it came up.
struct DialogSeen {
  QStringList entries;
  QString selected, device, status, pitch;
  QString device_after_pick;
  QString figures_after_typing;  // the figures once the copies were typed, before OK
};

DialogSeen Look(PrintDialogView& view) {
  DialogSeen seen;
  for (int i = 0; i < view.printers()->count(); ++i) seen.entries << view.printers()->itemText(i);
  seen.selected = view.printers()->currentText();
  seen.device = view.findChild<QLabel*>(QStringLiteral("device_name"))->text();
  seen.status = view.findChild<QLabel*>(QStringLiteral("usb_status"))->text();
  seen.pitch = view.findChild<QLabel*>(QStringLiteral("segment_count_text"))->text();
  return seen;
}

struct PrintCase {
  const char* name;
  const char* sample;
  int slot;           // the printer chosen in the dialog
  const char* model;  // what the dialog shows for it
  int segments;       // of the sample
  int copies;
  int items_per_copy;  // what the sample prints
  int cut;             // the sample's cut mode as the printer saw it
};

void PrintTo(const PrintCase& c, std::ostream* os) {
  *os << c.name << " " << c.sample;
}

class PrintSampleTest : public PrintWindowTest, public ::testing::WithParamInterface<PrintCase> {};

TEST_P(PrintSampleTest, PrintButtonToFinishedTape) {
  const PrintCase& c = GetParam();
  Printers("qb20,qa11");
  OpenSample(c.sample);

  DialogSeen seen;
  WhenDialogShows([&](PrintDialogView& view) {
    seen = Look(view);
    if (c.slot != 0) {  // the operator picks the printer from the list with the keyboard
      view.printers()->setFocus();
      for (int i = 0; i < c.slot; ++i) QTest::keyClick(view.printers(), Qt::Key_Down);
      seen.device_after_pick = view.findChild<QLabel*>(QStringLiteral("device_name"))->text();
    }
    if (c.copies != 1) {
      view.copies_edit()->setFocus();
      view.copies_edit()->selectAll();
      QTest::keyClicks(view.copies_edit(), QString::number(c.copies));
    }
    seen.figures_after_typing = view.findChild<QLabel*>(QStringLiteral("figures_text"))->text();
    QTest::mouseClick(view.ok_button(), Qt::LeftButton);
  });
  S statuses;
  bool stop_seen_enabled = false;
  ui_.on_dispatch = [&] {
    if (!model_.doc().file_state.DocBusy) return;
    statuses.push_back(StatusText().toStdString());
    stop_seen_enabled |= window_->Widget(Control::StopButton)->isEnabled();
    EXPECT_FALSE(window_->Widget(Control::PrintButton)->isEnabled());
  };
  Click(Control::PrintButton);

  EXPECT_EQ(seen.entries, (QStringList{"USB#0", "USB#1"}));
  EXPECT_EQ(seen.selected, QStringLiteral("USB#0"));
  EXPECT_EQ(seen.device, QStringLiteral("Kelmor QB20"));
  EXPECT_EQ(seen.status, QStringLiteral("设备状态正常"));
  EXPECT_EQ(seen.pitch, QStringLiteral("本文件段落数量: ") + QString::number(c.segments));
  if (c.slot != 0) {
    EXPECT_EQ(seen.device_after_pick, QString::fromUtf8(c.model));
  }

  // The job reached the chosen printer, and only that one.
  const VirtualPrinter& printer = printers_->printer(c.slot);
  EXPECT_TRUE(printers_->printer(1 - c.slot).trace().empty());
  EXPECT_EQ(printer.violations(), S{});
  ASSERT_EQ(printer.jobs().size(), 1u);
  const VirtualJob& job = printer.jobs()[0];
  EXPECT_EQ(job.end, JobEnd::kFinished);
  EXPECT_EQ(job.cut, c.cut);
  const int items = c.copies * c.items_per_copy;
  EXPECT_EQ(static_cast<int>(job.items.size()), items);
  // The figures followed the copies as they were typed: what they said is what printed.
  EXPECT_TRUE(seen.figures_after_typing.startsWith(QStringLiteral("共 %1 个标记, 约 ").arg(items)))
      << seen.figures_after_typing.toStdString();
  for (const VirtualItem& item : job.items) EXPECT_TRUE(item.printed);
  EXPECT_EQ(model_.printing().last_job_counts().skipped, 0);
  ASSERT_FALSE(job.picture.empty());
  EXPECT_TRUE(std::filesystem::exists(job.picture)) << job.picture;
  std::printf("tape picture: %s\n", job.picture.c_str());

  // While it ran the window showed it printing, with the stop button on.
  EXPECT_TRUE(stop_seen_enabled);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front().rfind("信息提示: 数据打印中......", 0), 0u) << statuses.front();
  const std::string last =
      "信息提示: 数据打印中......  " + std::to_string(items - 1) + "/" + std::to_string(items);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), last), statuses.end()) << last;

  EXPECT_EQ(ui_.messages, S{"打印完成!"});
  ExpectEditingState();
  EXPECT_EQ(model_.table().RowCount(), c.segments);
}

// Both generations. 设备标识: two-line unit marks with serials and letters, 12 mm label
// tape, separator line: 1 + 4 + 4 + 1 + 3 + 1 items. 控制柜端子号: terminal numbers on
// 9 mm label tape, half cut: 20 + 12 + 16 + 4 items.
INSTANTIATE_TEST_SUITE_P(
    Generations, PrintSampleTest,
    ::testing::Values(PrintCase{"qb20", "设备标识.kel", 0, "Kelmor QB20", 6, 1, 14, 2},
                      PrintCase{"qa11", "控制柜端子号.kel", 1, "Kelmor QA11", 4, 2, 52, 1}),
    [](const ::testing::TestParamInfo<PrintCase>& i) { return std::string(i.param.name); });

TEST_F(PrintWindowTest, TheDialogLooksForPrintersAgainWhenItIsActivatedAgain) {
  // The operator turning to another program and back is made by activating windows of
  // this one, which a window manager does not allow while the dialog is modal.
  if (qEnvironmentVariableIsSet("QX_UNDER_WM")) GTEST_SKIP() << "needs another program's window";
  Printers("qb20,qa11");
  OpenSample("设备标识.kel");
  DialogSeen first, again;
  WhenDialogShows([&](PrintDialogView& view) {
    QApplication::processEvents();  // the activation that comes with showing it
    first = Look(view);
    printers_->printer(0).Unplug();
    QApplication::setActiveWindow(window_.get());  // the operator looks elsewhere, comes back
    QApplication::setActiveWindow(&view);
    again = Look(view);
    QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("cancel_button")),
                      Qt::LeftButton);
  });
  Click(Control::PrintButton);
  EXPECT_EQ(first.entries, (QStringList{"USB#0", "USB#1"}));
  EXPECT_EQ(first.device, QStringLiteral("Kelmor QB20"));
  EXPECT_EQ(again.entries, QStringList{"USB#0"});
  EXPECT_EQ(again.device, QStringLiteral("Kelmor QA11"));
  EXPECT_EQ(ui_.messages, S{});
  EXPECT_TRUE(printers_->printer(1).jobs().empty());  // cancelled: nothing printed
  ExpectEditingState();
}

struct StopCase {
  const char* name;
  const char* printers;
  const char* last_message;  // how the generation reports the end of a stopped job
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.printers;
}

class StopTest : public PrintWindowTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, StopButtonEndsTheJobAndClosingIsRefusedWhilePrinting) {
  Printers(GetParam().printers);
  OpenSample("线号套管.kel");
  WhenDialogShows(
      [](PrintDialogView& view) { QTest::mouseClick(view.ok_button(), Qt::LeftButton); });
  bool close_tried = false, stop_pressed = false;
  bool visible_after_close = false;
  uint64_t stopped_at = 0;
  ui_.on_dispatch = [&] {
    if (!model_.doc().file_state.DocBusy || !window_->Widget(Control::StopButton)->isEnabled())
      return;
    const auto& jobs = printers_->printer(0).jobs();
    if (jobs.empty() || jobs[0].items.empty() || !jobs[0].items[0].printed) return;
    if (!close_tried) {  // the first item is on the tape: the operator tries to leave
      close_tried = true;
      window_->close();
      visible_after_close = window_->isVisible();
      return;
    }
    if (!stop_pressed) {
      stop_pressed = true;
      stopped_at = ui_.clock.NowMs();
      QTest::mouseClick(window_->Widget(Control::StopButton), Qt::LeftButton);
      EXPECT_FALSE(window_->Widget(Control::StopButton)->isEnabled());
      EXPECT_FALSE(window_->Widget(Control::PrintButton)->isEnabled());
    }
  };
  Click(Control::PrintButton);

  ASSERT_TRUE(close_tried);
  EXPECT_TRUE(visible_after_close);
  EXPECT_TRUE(window_->isVisible());
  ASSERT_TRUE(stop_pressed);
  ASSERT_EQ(printers_->printer(0).jobs().size(), 1u);
  const VirtualJob& job = printers_->printer(0).jobs()[0];
  EXPECT_EQ(job.end, JobEnd::kStopped);
  int printed = 0;
  for (const VirtualItem& item : job.items) printed += item.printed;
  EXPECT_GE(printed, 1);
  EXPECT_LT(printed, 78);                              // the sample prints 78 sleeves
  EXPECT_LT(ui_.clock.NowMs() - stopped_at, 60'000u);  // ended soon after the stop
  EXPECT_EQ(ui_.messages, (S{"请先终止打印,再退出.", GetParam().last_message}));
  ExpectEditingState();
  EXPECT_NE(model_.controls().status(0).find("已打印 "), std::string::npos);
  EXPECT_FALSE(model_.printing().StopRequested());

  // Back in editing the window closes when asked.
  window_->close();
  EXPECT_FALSE(window_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Generations, StopTest,
                         ::testing::Values(StopCase{"qb20", "qb20:speed=real", "打印终止!"},
                                           StopCase{"qa11", "qa11:speed=real", "打印终止!"}),
                         [](const ::testing::TestParamInfo<StopCase>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(PrintWindowTest, CloseAfterTheStopWaitsForTheJobToEnd) {
  Printers("qa11:speed=real");
  OpenSample("线号套管.kel");
  WhenDialogShows(
      [](PrintDialogView& view) { QTest::mouseClick(view.ok_button(), Qt::LeftButton); });
  bool stop_pressed = false, visible_after_close = false;
  ui_.on_dispatch = [&] {
    if (stop_pressed || !window_->Widget(Control::StopButton)->isEnabled()) return;
    stop_pressed = true;
    QTest::mouseClick(window_->Widget(Control::StopButton), Qt::LeftButton);
    window_->close();  // the job still walks the table: the window stays for now
    visible_after_close = window_->isVisible();
  };
  Click(Control::PrintButton);
  ASSERT_TRUE(stop_pressed);
  EXPECT_TRUE(visible_after_close);
  ASSERT_EQ(printers_->printer(0).jobs().size(), 1u);
  EXPECT_EQ(printers_->printer(0).jobs()[0].end, JobEnd::kStopped);
  EXPECT_EQ(ui_.messages, S{"打印终止!"});  // a close after the stop is not refused
  // The close asked for comes when the job has ended.
  QApplication::processEvents();
  EXPECT_FALSE(window_->isVisible());
}

// The print dialog's "预览" opens the job preview over the dialog with the same figures; a
// click on a marker makes its Segment the window's current one and the preview says
// which marker it is; closing it returns to the dialog.
TEST_F(PrintWindowTest, ThePreviewOverThePrintDialogGoesToTheMarkersSegment) {
  Printers("qb20");
  OpenSample("设备标识.kel");
  QString dialog_figures, preview_figures, chosen, last_chosen;
  int rows = 0;
  int clicked_row = 0;
  WhenDialogShows([&](PrintDialogView& dialog) {
    dialog_figures = dialog.findChild<QLabel*>(QStringLiteral("figures_text"))->text();
    auto* poll = new QTimer(&dialog);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
      auto* view = dynamic_cast<JobPreviewView*>(QApplication::activeModalWidget());
      if (!view || !view->isVisible()) return;
      poll->stop();
      QApplication::processEvents();
      preview_figures = view->findChild<QLabel*>(QStringLiteral("figures_text"))->text();
      JobPreviewArea* area = view->area();
      rows = area->viewport()->height();
      // The first marker, clicked; then End: the job's last marker, of the last Segment.
      QTest::mouseClick(area->viewport(), Qt::LeftButton, {}, QPoint(8 + 20, 8 + 40));
      chosen = view->findChild<QLabel*>(QStringLiteral("chosen_text"))->text();
      QTest::keyClick(area, Qt::Key_End);
      last_chosen = view->findChild<QLabel*>(QStringLiteral("chosen_text"))->text();
      clicked_row = model_.table().Position();
      QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("close_button")),
                        Qt::LeftButton);
    });
    poll->start();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("preview_button")),
                      Qt::LeftButton);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancel_button")),
                      Qt::LeftButton);
  });
  Click(Control::PrintButton);
  EXPECT_GT(rows, 0);
  EXPECT_FALSE(dialog_figures.isEmpty());
  EXPECT_TRUE(preview_figures.startsWith(dialog_figures)) << preview_figures.toStdString();
  EXPECT_TRUE(chosen.startsWith(QStringLiteral("第 1 个标记"))) << chosen.toStdString();
  EXPECT_EQ(clicked_row, model_.table().RowCount());
  EXPECT_TRUE(last_chosen.contains(QStringLiteral("第 %1 段").arg(clicked_row)))
      << last_chosen.toStdString();
  EXPECT_TRUE(printers_->printer(0).jobs().empty());
  ExpectEditingState();
}

// A printer shared by a printer application: found while the dialog is open (the dialog
// says it searches, then lists it after the printer on USB), picked with the keyboard,
// printed to with the window's progress and end.
TEST_F(PrintWindowTest, ASharedPrinterFoundWhileTheDialogIsOpen) {
  Printers("qb20");
  testing::ScriptedList list;
  testing::ScriptedClient client;
  list.hold = true;
  list.found = {testing::Shared("Kelmor QB20 workshop", "workshop.local")};
  client.statuses = {testing::Running(0, 14), testing::Running(7, 14),
                     testing::Ended(SharedJobState::kCompleted, 14, 14)};
  model_.printing().SetSharedPrinters(list, client);
  OpenSample("设备标识.kel");
  QString searching, status_after_pick;
  QStringList entries;
  WhenDialogShows([&](PrintDialogView& view) {
    QApplication::processEvents();
    searching = view.findChild<QLabel*>(QStringLiteral("search_text"))->text();
    list.Finish();
    QTRY_COMPARE(view.printers()->count(), 2);
    for (int i = 0; i < view.printers()->count(); ++i) entries << view.printers()->itemText(i);
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("search_text"))->text().isEmpty());
    view.printers()->setFocus();
    QTest::keyClick(view.printers(), Qt::Key_Down);
    status_after_pick = view.findChild<QLabel*>(QStringLiteral("usb_status"))->text();
    QTest::mouseClick(view.ok_button(), Qt::LeftButton);
  });
  S statuses;
  ui_.on_dispatch = [&] {
    if (model_.doc().file_state.DocBusy) statuses.push_back(StatusText().toStdString());
  };
  Click(Control::PrintButton);
  EXPECT_EQ(searching, QStringLiteral("正在查找共享打印机…"));
  EXPECT_EQ(entries, (QStringList{"USB#0", "[共享] Kelmor QB20 workshop @ workshop.local"}));
  EXPECT_EQ(status_after_pick, QStringLiteral("由workshop.local的打印服务共享"));
  EXPECT_EQ(client.submits, 1);
  EXPECT_EQ(client.sent_rows.size(), 6u);  // the sample's Segments went as a document file
  EXPECT_TRUE(printers_->printer(0).jobs().empty());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "信息提示: 数据打印中......  7/14"),
            statuses.end());
  EXPECT_EQ(ui_.messages, S{"打印完成!"});
  ExpectEditingState();
}

}  // namespace
}  // namespace qx
