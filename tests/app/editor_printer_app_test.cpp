// The editor's print path to the real qx-printer-app on a localhost port with virtual
// printers: the print dialog finds its printers, a job sends the open Document and prints
// exactly what the editor prints on a printer of its own, a fault ends it with the printer's
// message, the stop button cancels it there, and the editor's job and another client's job
// on the same printer print one after the other. Skipped where qx-printer-app was not built.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/main_window_model.h"
#include "device/shared/shared_printer_list.h"
#include "device/shared/shared_printers.h"
#include "device/virtual/virtual_transport.h"
#include "document/sqlite_store.h"
#include "editing/messages.h"
#include "layout/freetype_canvas.h"
#include "support/printer_app_server.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::PrinterAppServer;
using testing::ScriptedUi;
using S = std::vector<std::string>;

// Printer 1 opens its cover at the second marker; 2 takes the long jobs (two clients, stop).
constexpr const char* kServerPrinters = "qb20,qa11:fault=cover-open@2,qb20,qa11";
constexpr const char* kGood = "[共享] Kelmor QB20 virtual 0 @ 本机";
constexpr const char* kFaulty = "[共享] Kelmor QA11 virtual 1 @ 本机";
constexpr const char* kLong = "[共享] Kelmor QB20 virtual 2 @ 本机";

std::filesystem::path Sample(const char* name) {
  return std::filesystem::path(QX_SAMPLE_DIR) / name;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class EditorPrinterAppTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new PrinterAppServer(kServerPrinters); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  EditorPrinterAppTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_),
        list_([search = SharedPrinterSearch{{server_->address()}, false, 0}] {
          return FindSharedPrinters(search);
        }),
        client_(MakeIppClient()) {
    ui_.job_timer = [this] { model_.printing().OnJobTimer(); };
    model_.Start(1024, 768, dir_.path(), dir_ / "TL.$$$");
    model_.OnActivated();
  }

  void SetUp() override {
    if (!server_->available()) GTEST_SKIP() << server_->error();
    ASSERT_TRUE(server_->ok()) << server_->error();
    // A printer of the editor's own, to print the same job on for comparison.
    VirtualPrinterList l = ParseVirtualPrinters("qb20");
    ASSERT_TRUE(l.ok());
    usb_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers),
                                              dir_.path() / "usb-printers");
    model_.printing().SetTransport(*usb_);
    model_.printing().SetSharedPrinters(list_, *client_);
  }

  void Open(const char* sample) {
    model_.OpenGivenFile(Sample(sample));
    ASSERT_EQ(ui_.Take(), S{});
  }

  // The operator waits for the search to list `label`, picks it and presses OK (after
  // `change`).
  void PrintTo(std::string label, std::function<void(PrintDialog&)> change = {}) {
    ui_.print_dialog = [this, label, change](PrintDialog& f) {
      for (int n = 0; n < 300 && list_.searching(); ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      f.OnSharedPrintersPoll();
      bool found = false;
      for (std::size_t i = 0; i < f.entries().size(); ++i)
        if (f.entries()[i].label == label) {
          f.OnPrinterChosen(static_cast<int>(i));
          found = true;
        }
      EXPECT_TRUE(found) << label;
      if (change) change(f);
      f.OnOkButton();
      return f.result();
    };
  }

  static PrinterAppServer* server_;
  testing::TempDir dir_;
  ScriptedUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  BackgroundSharedPrinters list_;
  std::unique_ptr<SharedPrinterClient> client_;
  std::unique_ptr<VirtualTransport> usb_;
};

PrinterAppServer* EditorPrinterAppTest::server_ = nullptr;

// The dialog lists every printer the printer application shares after the one on USB, and
// a job there prints what the same job prints on the editor's own printer, marker for
// marker (their tape pictures are the same file).
TEST_F(EditorPrinterAppTest, AJobPrintsWhatTheEditorPrintsOnItsOwnPrinter) {
  Open("设备标识.kel");
  S labels;
  PrintTo(kGood, [&](PrintDialog& f) {
    for (const DeviceEntry& e : f.entries()) labels.push_back(e.label);
    f.OnCopiesEdited("2");
    f.OnRepeatFirstChosen();
  });
  model_.printing().OnPrintButton();
  // After the printer on USB, by name.
  EXPECT_EQ(labels, (S{"USB#0", kFaulty, "[共享] Kelmor QA11 virtual 3 @ 本机", kGood, kLong}));
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  EXPECT_EQ(model_.printing().last_job_counts().sent, 28);
  EXPECT_EQ(model_.controls().status(0), std::string(msg::kStateEditing));
  ASSERT_EQ(server_->job_ends("qb20-0").size(), 1u);
  EXPECT_EQ(server_->job_ends("qb20-0")[0].reason, "finished");
  EXPECT_EQ(server_->job_ends("qb20-0")[0].printed, 28);

  // The same choices on the editor's own printer.
  ui_.print_dialog = [](PrintDialog& f) {
    f.OnPrinterChosen(0);
    f.OnOkButton();
    return f.result();
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  usb_.reset();  // ends the job, writing its picture
  const std::string here =
      ReadFile(dir_.path() / "usb-printers" / "run-001" / "qb20-0-job1.png");
  const std::string there = ReadFile(server_->virtual_dir() / "run-001" / "qb20-0-job1.png");
  ASSERT_FALSE(here.empty());
  EXPECT_TRUE(here == there) << "the shared printer's tape differs from the editor's own";
}

// A fault at the printer ends the job with the printer's message; the editor tells it, and
// how far the job got, exactly as when the same printer with the same fault is its own.
TEST_F(EditorPrinterAppTest, AFaultEndsTheJobAsOnAPrinterOfTheEditorsOwn) {
  Open("设备标识.kel");
  PrintTo(kFaulty);
  model_.printing().OnPrintButton();
  const S told_shared = ui_.Take();
  const std::string status_shared = model_.controls().status(0);
  const int printed_shared = model_.printing().last_job_counts().printed;
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
  ASSERT_FALSE(server_->job_ends("qa11-1").empty());
  EXPECT_NE(server_->job_ends("qa11-1").back().reason, "finished");
  // The count is the printer's own: the markers on its tape.
  EXPECT_EQ(printed_shared, server_->job_ends("qa11-1").back().printed);

  VirtualPrinterList l = ParseVirtualPrinters("qa11:fault=cover-open@2");
  ASSERT_TRUE(l.ok());
  usb_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
  model_.printing().SetTransport(*usb_);
  model_.printing().SetSharedPrinters(list_, *client_);
  ui_.print_dialog = [](PrintDialog& f) {
    f.OnPrinterChosen(0);
    f.OnOkButton();
    return f.result();
  };
  model_.printing().OnPrintButton();
  EXPECT_EQ(told_shared, ui_.Take());
  EXPECT_EQ(told_shared, S{"上盖异常打开,打印终止!"});
  EXPECT_EQ(status_shared, model_.controls().status(0));
  EXPECT_EQ(printed_shared, model_.printing().last_job_counts().printed);
  EXPECT_NE(status_shared.find("可从第"), std::string::npos) << status_shared;
}

// The editor's job and another client's job sent at the same time print one after the
// other, never mixed; the stop button cancels the editor's job at the printer application.
TEST_F(EditorPrinterAppTest, TwoClientsAreServedInTurnAndStopCancelsThere) {
  Open("设备标识.kel");
  SharedPrinter printer;
  for (const SharedPrinter& p : FindSharedPrinters({{server_->address()}, false, 0}))
    if (p.name == "Kelmor QB20 virtual 2") printer = p;
  ASSERT_FALSE(printer.uri.empty());
  // Another client's long job (100 copies) is sent first; the editor's follows at once.
  SharedJobChoice hundred;
  hundred.copies = 100;
  const SubmitResult other =
      MakeIppClient()->Submit(printer, Sample("设备标识.kel").string(), hundred, "other");
  ASSERT_GT(other.job_id, 0) << other.detail;
  PrintTo(kLong);
  model_.printing().OnPrintButton();
  EXPECT_EQ(ui_.Take(), S{"打印完成!"});
  EXPECT_EQ(client_->Status(printer, other.job_id).state, SharedJobState::kCompleted);
  // Each job opens the printer and closes it when it has ended: one at a time.
  auto opens_and_closes = [&] {
    std::istringstream trace(server_->trace("qb20-2"));
    std::string text, line;
    while (std::getline(trace, line)) {
      if (line.rfind("open ", 0) == 0) text += "o";
      if (line == "close") text += "c";
    }
    return text;
  };
  EXPECT_EQ(opens_and_closes(), "ococ");
  auto ends = server_->job_ends("qb20-2");
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].reason, "finished");
  EXPECT_EQ(ends[0].printed, 1400);
  EXPECT_EQ(ends[1].reason, "finished");
  EXPECT_EQ(ends[1].printed, 14);

  // A long job of the editor, stopped once the printer application says it has begun.
  bool stopped = false;
  ui_.on_dispatch = [&] {
    if (stopped || !model_.controls().Enabled(Control::StopButton)) return;
    if (model_.controls().status(0).find("/1400") == std::string::npos) return;
    stopped = true;
    model_.printing().OnStopButton();
  };
  PrintTo(kLong, [](PrintDialog& f) { f.OnCopiesEdited("100"); });
  model_.printing().OnPrintButton();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ui_.Take(), S{"打印终止!"});
  ends = server_->job_ends("qb20-2");
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_NE(ends.back().reason, "finished");
  EXPECT_LT(ends.back().printed, 1400);
  EXPECT_EQ(model_.printing().last_job_counts().sent, ends.back().printed);
  // (A stopped job may open the printer once more to reset it: still one job at a time.)
  EXPECT_TRUE(std::regex_match(opens_and_closes(), std::regex("(oc)+"))) << opens_and_closes();
}

}  // namespace
}  // namespace qx
