// The seam of a job that ended early: after any printer fault at any marker, on either
// printer generation, with copies and in both orders, the job printed and then the job
// that goes on from the marker the editor offers put every marker on the tape at least
// once, in order; none is missing, and at most the one under the head at the fault is on
// the tape twice. What is on the tape is the virtual printer's own record of what it
// printed, not the editor's count.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "device/virtual/virtual_transport.h"
#include "document/gbk.h"
#include "editing/messages.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using Images = std::vector<std::vector<uint8_t>>;

class PrintResumeTest : public WindowFixture<> {
 protected:
  PrintResumeTest() : WindowFixture<>() {
    ui_.job_timer = [this] { model_.printing().OnJobTimer(); };
    // Markers that differ from each other and read differently mirrored: "K1-A" twice,
    // "L1".."L3" twice each, "F5-E".
    Type("K1-A");
    Set(kRepeatColumn, 2);
    model_.segment_list().OnAppendButton();
    Type("L№");
    Set(kRepeatColumn, 2);
    SetText(kSerialTypeColumn, "序号0-999");
    SetText(kSerialFirstColumn, "1");
    SetText(kSerialLastColumn, "3");
    model_.segment_list().OnAppendButton();
    Type("F5-E");
    Set(kRepeatColumn, 1);
  }

  void Type(const std::string& text) {
    model_.line_editors().TypeText(Control::UpperLine, text);
    model_.segment_list().OnStoreButton();
  }
  void Set(int column, int value) {
    SegmentTable& t = model_.table();
    t.Edit();
    t.SetInt(column, value);
    t.Store();
  }
  void SetText(int column, const std::string& utf8) {
    SegmentTable& t = model_.table();
    t.Edit();
    t.SetText(column, gbk::FromUtf8(utf8).gbk);
    t.Store();
  }

  void UsePrinter(const std::string& text) {
    VirtualPrinterList l = ParseVirtualPrinters(text);
    ASSERT_TRUE(l.ok()) << l.error;
    printers_ = std::make_unique<VirtualTransport>(ui_.clock, std::move(l.printers), "");
    model_.printing().SetTransport(*printers_);
  }
  VirtualPrinter& Printer() { return printers_->printer(0); }

  // The markers a job put on the tape, by the printer.
  static Images OnTape(const VirtualJob& job) {
    Images out;
    for (const VirtualItem& item : job.items)
      if (item.printed) out.push_back(item.image.columns);
    return out;
  }

  // Prints with 2 copies in the given order; returns the dialog's result.
  void Print(bool repeat_first) {
    ui_.print_dialog = [repeat_first](PrintDialog& f) {
      f.OnCopiesEdited("2");
      if (repeat_first)
        f.OnRepeatFirstChosen();
      else
        f.OnSerialFirstChosen();
      f.OnOkButton();
      return f.result();
    };
    model_.printing().OnPrintButton();
  }

  std::unique_ptr<VirtualTransport> printers_;
};

constexpr int kMarkers = 18;  // (2 + 6 + 1) markers, twice

TEST_F(PrintResumeTest, EveryMarkerIsOnTheTapeAfterAFaultAndTheResume) {
  struct Model {
    const char* key;
    std::vector<const char*> faults;  // every fault a printer of the generation shows while printing
  };
  const Model models[] = {
      {"qa11", {"no-ribbon-cassette", "no-ribbon", "ribbon-out", "cover-open", "ended", "finished"}},
      {"qb20",
       {"no-ribbon", "ribbon-out", "cover-open", "material-out", "labels-out", "no-label-cassette",
        "no-ribbon-cassette", "ended", "finished"}},
  };
  for (bool repeat_first : {false, true}) {
    // The whole job, fault-free, for what each marker is.
    UsePrinter("qb20");
    Print(repeat_first);
    ui_.Take();
    const Images whole = OnTape(Printer().jobs().at(0));
    ASSERT_EQ(whole.size(), static_cast<std::size_t>(kMarkers));
    for (const Model& p : models) {
      for (const char* fault : p.faults) {
        for (int at : {1, 2, 10, kMarkers}) {
          for (const char* speed : {"", ":speed=real"}) {
            const std::string printer = std::string(p.key) + ":fault=" + fault + "@" +
                                     std::to_string(at) + speed;
            SCOPED_TRACE(printer + (repeat_first ? " repeat first" : " serial first"));
            UsePrinter(printer);
            Print(repeat_first);
            std::string told;
            for (const std::string& m : ui_.Take()) told += m + ";";
            SCOPED_TRACE("told " + told);
            ASSERT_EQ(Printer().jobs().size(), 1u);
            const Images first = OnTape(Printer().jobs().at(0));
            const WalkCounts counts = model_.printing().last_job_counts();
            SCOPED_TRACE("sent " + std::to_string(counts.sent) + ", printed " +
                         std::to_string(counts.printed) + ", status " +
                         model_.controls().status(0) + ", tape " + std::to_string(first.size()));
            // The printer printed at least what the editor counts, and at most one more.
            EXPECT_GE(static_cast<int>(first.size()), counts.printed);
            EXPECT_LE(static_cast<int>(first.size()), counts.printed + 1);
            if (static_cast<int>(first.size()) > counts.printed) {
              EXPECT_TRUE(counts.next_may_be_partial);
            }
            EXPECT_EQ(first, Images(whole.begin(), whole.begin() + static_cast<long>(first.size())));

            // The status bar and the dialog offer the first marker not reported printed.
            const int next = counts.printed + 1;
            std::string offered;
            ui_.print_dialog = [&](PrintDialog& f) {
              offered = f.continue_text();
              f.OnContinueButton();
              return f.result() ? f.result() : PrintDialog::kResultCancel;
            };
            model_.printing().OnPrintButton();
            ui_.Take();
            if (counts.printed == 0) {
              // Nothing on the tape for sure: no offer, the whole job prints again with OK.
              EXPECT_EQ(offered, "");
              continue;
            }
            EXPECT_EQ(offered, "从第" + std::to_string(next) + "个继续 (2份, 剩余" +
                                   std::to_string(kMarkers - next + 1) + "个)");
            ASSERT_EQ(Printer().jobs().size(), 2u);
            const Images rest = OnTape(Printer().jobs().at(1));
            EXPECT_EQ(rest, Images(whole.begin() + (next - 1), whole.end()));
            EXPECT_EQ(Printer().jobs().at(1).end, JobEnd::kFinished);
            // None missing between the two jobs.
            EXPECT_LE(next - 1, static_cast<int>(first.size()));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qx
