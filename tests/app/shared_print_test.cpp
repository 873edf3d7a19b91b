// Printing to printers that printer applications share, through the print dialog and the
// print command: the dialog lists them beside the printers on USB, a job sends the
// Document as a document file with the dialog's choices and follows it to its end with
// the window's progress, and every way a job can end is told as the printer application
// reports it. The printer application is scripted here; tests/app/shared_printer_app_test
// runs the same path against the real one.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_window_model.h"
#include "device/virtual/virtual_transport.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "editing/messages.h"
#include "support/scripted_shared_printers.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::Ended;
using testing::Running;
using testing::ScriptedClient;
using testing::ScriptedList;
using testing::Shared;
using testing::WindowFixture;
using S = std::vector<std::string>;

class SharedPrintTest : public WindowFixture<> {
 protected:
  SharedPrintTest() {
    ui_.job_timer = [this] { model_.printing().OnJobTimer(); };
    list_.found = {Shared("Kelmor QB20 virtual 1", "localhost"),
                   Shared("Kelmor QA11 workshop", "workshop.local")};
  }
  void Printers(std::string_view text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    usb_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
    model_.printing().SetTransport(*usb_);
    model_.printing().SetSharedPrinters(list_, client_);
  }
  void Segments(const S& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i) model_.segment_list().OnAppendButton();
      model_.line_editors().TypeText(Control::UpperLine, lines[i]);
      model_.segment_list().OnStoreButton();
    }
  }
  // The operator picks the entry labelled `label` and presses OK (after `change`).
  void PrintTo(std::string label, std::function<void(PrintDialog&)> change = {}) {
    ui_.print_dialog = [label, change](PrintDialog& f) {
      for (std::size_t i = 0; i < f.entries().size(); ++i)
        if (f.entries()[i].label == label) f.OnPrinterChosen(static_cast<int>(i));
      if (change) change(f);
      f.OnOkButton();
      return f.result();
    };
  }
  S Labels() {
    S out;
    for (const DeviceEntry& e : model_.printing().dialog().entries()) out.push_back(e.label);
    return out;
  }

  ScriptedList list_;
  ScriptedClient client_;
  std::unique_ptr<VirtualTransport> usb_;
};

constexpr const char* kLocal = "[共享] Kelmor QB20 virtual 1 @ 本机";
constexpr const char* kWorkshop = "[共享] Kelmor QA11 workshop @ workshop.local";

TEST_F(SharedPrintTest, TheDialogListsSharedPrintersBesideThoseOnUsb) {
  Printers("qb20");
  PrintDialog& f = model_.printing().dialog();
  f.OnActivated();
  EXPECT_EQ(Labels(), (S{"USB#0", kLocal, kWorkshop}));
  EXPECT_EQ(f.selection(), 0);  // the printer on USB comes first, as before
  EXPECT_EQ(f.usb_status(), "设备状态正常");
  f.OnPrinterChosen(2);
  EXPECT_EQ(f.usb_status(), "由workshop.local的打印服务共享");
  EXPECT_EQ(f.device_name(), "Kelmor QA30");
  f.OnPrinterChosen(1);
  EXPECT_EQ(f.usb_status(), "由本机的打印服务共享");
  f.OnPrinterChosen(0);
  EXPECT_EQ(f.usb_status(), "设备状态正常");
  EXPECT_EQ(f.device_name(), "Kelmor QB20");
}

// A search runs beside the dialog: the dialog opens at once with what it knows, says that
// it searches, and takes up what is found, keeping the operator's choice.
TEST_F(SharedPrintTest, PrintersFoundWhileTheDialogIsOpenAreTakenUp) {
  list_.hold = true;
  Printers("");
  PrintDialog& f = model_.printing().dialog();
  f.OnActivated();
  EXPECT_EQ(Labels(), S{});
  EXPECT_FALSE(f.ok_enabled());
  EXPECT_EQ(f.usb_status(), "没有发现可用设备");
  EXPECT_EQ(f.search_text(), "正在查找共享打印机…");
  EXPECT_FALSE(f.OnSharedPrintersPoll());  // nothing new yet
  list_.Finish();
  EXPECT_TRUE(f.OnSharedPrintersPoll());
  EXPECT_EQ(f.search_text(), "");
  EXPECT_EQ(Labels(), (S{kLocal, kWorkshop}));
  // Without a printer on USB the first shared one is chosen.
  EXPECT_EQ(f.selection(), 0);
  EXPECT_TRUE(f.ok_enabled());
  f.OnPrinterChosen(1);
  // "刷新" searches again; the workshop printer is still chosen when the list comes back
  // in another order.
  list_.found = {list_.found[1], Shared("Kelmor QB20 new", "localhost"), list_.found[0]};
  const int refreshes = list_.refreshes;
  f.OnRefreshButton();
  EXPECT_EQ(list_.refreshes, refreshes + 1);
  list_.Finish();
  f.OnSharedPrintersPoll();
  EXPECT_EQ(Labels().size(), 3u);
  EXPECT_EQ(Labels()[static_cast<std::size_t>(f.selection())], kWorkshop);
  // A printer that went away: nothing is chosen that is not there.
  list_.found = {};
  f.OnRefreshButton();
  list_.Finish();
  f.OnSharedPrintersPoll();
  EXPECT_EQ(f.selection(), -1);
  EXPECT_FALSE(f.ok_enabled());
  EXPECT_EQ(f.usb_status(), "没有发现可用设备");
  EXPECT_EQ(f.device_name(), "未知");
}

// A job sends the Document as it prints (tidied) with the dialog's choices, shows the
// printer application's progress and returns to editing when it completed.
TEST_F(SharedPrintTest, AJobSendsTheDocumentAndFollowsItToItsEnd) {
  Printers("qb20");
  Segments({"A1", "", "A2", "A3"});
  client_.statuses = {Running(0, 0), Running(0, 6), Running(3, 6), Ended(SharedJobState::kCompleted, 6, 6)};
  std::vector<std::string> statuses;
  bool checked = false;
  client_.on_ask = [&](int) {
    statuses.push_back(model_.controls().status(0));
    if (checked) return;
    checked = true;
    EXPECT_TRUE(model_.doc().file_state.DocBusy);
    EXPECT_FALSE(model_.controls().Enabled(Control::PrintButton));
    EXPECT_TRUE(model_.controls().Enabled(Control::StopButton));
    EXPECT_FALSE(model_.CanClose());
  };
  PrintTo(kLocal, [](PrintDialog& f) {
    f.OnCopiesEdited("2");
    f.OnRangeChosen();
    f.OnFirstRowEdited("2");
    f.OnRepeatFirstChosen();
  });
  model_.printing().OnPrintButton();
  EXPECT_EQ(client_.to, "ipp://localhost:8631/ipp/print/Kelmor QB20 virtual 1");
  EXPECT_EQ(client_.sent_rows, (S{"A1", "A2", "A3"}));
  EXPECT_EQ(client_.sent_choice.copies, 2);
  EXPECT_EQ(client_.sent_choice.first, 2);
  EXPECT_EQ(client_.sent_choice.last, 3);
  EXPECT_TRUE(client_.sent_choice.repeat_first);
  EXPECT_EQ(client_.sent_choice.first_marker, 1);
  EXPECT_FALSE(client_.sent_user.empty());
  EXPECT_FALSE(std::filesystem::exists(client_.document_path));  // removed once sent
  EXPECT_TRUE(usb_->printer(0).trace().empty());                // nothing went to USB
  EXPECT_EQ(ui_.Take(), (S{"请先终止打印,再退出.", "打印完成!"}));
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "信息提示: 数据打印中......  3/6"),
            statuses.end());
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
  EXPECT_TRUE(model_.controls().Enabled(Control::PrintButton));
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
}

// Every way a job ends early, told as it happened; a job that printed part of its markers
// can go on from the first one not printed.
TEST_F(SharedPrintTest, EveryEndIsToldAsThePrinterApplicationReportsIt) {
  struct Case {
    const char* name;
    SubmitResult submit;
    std::deque<SharedJobStatus> statuses;
    bool press_stop;
    S told;
    int sent;  // what the job printed
  };
  const SharedJobStatus lost{false, SharedJobState::kPending, 0, 0, ""};
  const std::vector<Case> cases = {
      {"aborted by a fault", {7, SubmitError::kNone, ""},
       {Running(1, 3), Ended(SharedJobState::kAborted, 2, 3, "上盖异常打开,打印终止!")}, false,
       {"上盖异常打开,打印终止!"}, 2},
      {"stopped by the operator", {7, SubmitError::kNone, ""}, {Running(1, 3)}, true,
       {"打印终止!"}, 1},
      {"cancelled at the printer application", {7, SubmitError::kNone, ""},
       {Running(1, 3), Ended(SharedJobState::kCanceled, 1, 3)}, false,
       {"任务已在共享打印机上被取消。"}, 1},
      {"not reached", {0, SubmitError::kUnreachable, "Connection refused"}, {Running(0, 0)},
       false, {"无法连接共享打印机,请检查网络和打印服务是否开启。"}, 0},
      {"refused", {0, SubmitError::kRefused, "Printer stopped"}, {Running(0, 0)}, false,
       {"共享打印机不接受此任务: Printer stopped"}, 0},
      {"forgotten by a restarted printer application", {7, SubmitError::kNone, ""},
       {Running(1, 3), SharedJobStatus{true, SharedJobState::kAborted, 0, 0, "", true}}, false,
       {"共享打印机的打印服务已找不到这个任务,请到打印机处查看打印到了哪里。"}, 1},
      {"lost while printing", {7, SubmitError::kNone, ""}, {Running(1, 3), lost}, false,
       {"与共享打印机失去联系,任务可能仍在打印,请到打印机处查看。"}, 1},
  };
  Printers("");
  Segments({"A1", "A2", "A3"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client_ = ScriptedClient{};
    client_.submit_result = c.submit;
    client_.statuses = c.statuses;
    if (c.press_stop)
      client_.on_ask = [this](int ask) {
        if (ask == 2) model_.printing().OnStopButton();
      };
    PrintTo(kLocal);
    model_.printing().OnPrintButton();
    EXPECT_EQ(ui_.Take(), c.told);
    EXPECT_EQ(client_.cancels, c.press_stop ? 1 : 0);
    EXPECT_EQ(model_.printing().last_job_counts().sent, c.sent);
    EXPECT_FALSE(model_.doc().file_state.DocBusy);
    EXPECT_TRUE(model_.controls().Enabled(Control::PrintButton));
    if (c.sent > 0) {
      // The printer application does not tell whether the next marker was under the head.
      const std::string next = std::to_string(c.sent + 1);
      EXPECT_EQ(model_.controls().status(0),
                std::string(msg::kStateEditing) + "  已打印 " + std::to_string(c.sent) +
                    "/3, 可从第" + next + "个继续, 第" + next + "个标记可能已部分打印");
    } else {
      EXPECT_EQ(model_.controls().status(0), std::string(msg::kStateEditing));
    }
  }
  // The last job that printed part of its markers ("lost", 1 of 3) goes on from the second.
  client_ = ScriptedClient{};
  client_.statuses = {Ended(SharedJobState::kCompleted, 2, 2)};
  std::string offered;
  ui_.print_dialog = [&](PrintDialog& f) {
    f.OnPrinterChosen(0);
    offered = f.continue_text();
    f.OnContinueButton();
    return f.result();
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(offered, "从第2个继续 (1份, 剩余2个)");
  EXPECT_EQ(client_.sent_choice.first_marker, 2);
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
}

// A stop the printer application does not take leaves the stop button for another try.
TEST_F(SharedPrintTest, AStopNotTakenCanBePressedAgain) {
  Printers("");
  Segments({"A1"});
  client_.cancel_taken = false;
  client_.statuses = {Running(0, 1)};
  client_.on_ask = [this](int ask) {
    if (ask == 2) model_.printing().OnStopButton();
    if (ask == 4) {
      EXPECT_TRUE(model_.controls().Enabled(Control::StopButton));
      client_.cancel_taken = true;
      model_.printing().OnStopButton();
    }
  };
  PrintTo(kLocal);
  model_.printing().OnPrintButton();
  EXPECT_EQ(client_.cancels, 2);
  EXPECT_EQ(ui_.Take(), S{"打印终止!"});
}

}  // namespace
}  // namespace qx
