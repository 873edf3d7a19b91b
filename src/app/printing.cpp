// The print command of the main window: tidying, the print dialog, the job and the
// window's state while it runs; the stop button and the job timer.
#include <string>

#include "app/main_form.h"
#include "app/messages.h"
#include "device/printer_messages.h"

namespace qx {

// The window's side of a running job.
class TPrintForm::JobHost final : public PrintHost {
 public:
  explicit JobHost(TPrintForm& f) : f_(f) {}
  void Message(std::string_view text, std::string_view caption) override {
    f_.ui_.Message(text, caption);
  }
  void PumpWait(uint32_t ms) override { f_.PumpWait(ms); }
  void WaitTick() override { f_.WaitTick(); }
  void EnterPrintingState() override {
    f_.doc_.para.DocBusy = true;
    for (Ctl c : {Ctl::OpenBtn, Ctl::CloseBtn, Ctl::SaveBtn, Ctl::SaveAsBtn, Ctl::AboutBtn,
                  Ctl::OpenExcelBtn, Ctl::GroupBox1, Ctl::GroupBox3, Ctl::ControlBar2,
                  Ctl::DBGrid1, Ctl::ZitiBox, Ctl::BlodBtn, Ctl::FuhaoBtn, Ctl::PitchLenBtn,
                  Ctl::RepBtn, Ctl::ZihaoBtn, Ctl::DirxBtn, Ctl::XiushiBtn, Ctl::FlinEdit,
                  Ctl::SlinEdit, Ctl::ExportBtn, Ctl::PrintBtn})
      f_.SetEnabled(c, false);
    f_.doc_.para.UserEditing = false;
    f_.job_.StopRequested = false;
    f_.SetStatus(0, std::string(msg::kStatePrinting));
    f_.Changed();
  }
  void EnableStop() override {
    f_.SetEnabled(Ctl::StopBtn, true);
    f_.Changed();
  }
  void EndOfJob() override {
    f_.ReturnToEditing();
    ReloadWorkingValues(f_.doc_.table, f_.doc_.values);
    f_.Changed();
  }
  void Progress(int done, int total) override {
    f_.SetStatus(0, std::string(msg::kStatePrinting) + "  " + std::to_string(done) + "/" +
                        std::to_string(total));
    if (f_.on_status_) f_.on_status_();
  }

 private:
  TPrintForm& f_;
};

void TPrintForm::SetTransport(Transport& t) {
  transport_ = &t;
  prt_sel_ = std::make_unique<TPrtSelForm>(ui_, t, devices_, job_);
  prt_sel_->FormCreate();
}

void TPrintForm::StopPrtBtn() {
  job_.StopRequested = true;
  stop_pressed_ = true;
  SetEnabled(Ctl::StopBtn, false);
  Changed();
}

void TPrintForm::Timer1Timer() {
  timer1_enabled_ = false;
  job_.Tick = true;
}

void TPrintForm::PumpWait(uint32_t ms) {
  if (ms == 0) return;
  const uint64_t start = ui_.NowMs();
  while (ui_.NowMs() - start < ms) ui_.ProcessEvents();
}

void TPrintForm::WaitTick() {
  job_.Tick = false;
  timer1_enabled_ = true;
  ui_.StartTimer1(50);
  do {
    ui_.ProcessEvents();
  } while (!job_.Tick);
}

void TPrintForm::PrintFileBtn() {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  SetEnabled(Ctl::StopBtn, false);
  ReadDocumentSettings(doc_.settings, p);
  // Items are drawn in the document's face, in the line editors' style.
  print_builder_.renderer().SelectFont(doc_.settings.ZitiBox, doc_.settings.EditorFontBold);

  p.UserEditing = false;
  p.DocBusy = true;
  job_.BufferIndex = 0;
  job_.FirstSegment = true;
  if (t.IsOpen() && !t.IsEmpty()) {
    t.Edit();
    t.SetInt(kNum, t.Position());
    t.Store();
  }
  // Empty Segments go; the rest are numbered again. Not a change of the Document.
  const bool something = TidyForPrint(t);
  ReloadWorkingValues(t, doc_.values);
  RefreshBound();
  if (!something) {
    ui_.Message(pmsg::kNothingToPrint, pmsg::kInfo);
    p.DocBusy = false;
    Changed();
    return;
  }
  job_.StartRow = 1;
  job_.EndRow = t.RowCount();
  ReadDocumentSettings(doc_.settings, p);
  p.DocBusy = false;
  Changed();

  prt_sel_->ResetResult();
  if (ui_.ShowPrintDialog(*prt_sel_) != TPrtSelForm::kResultOk) return;

  stop_pressed_ = false;
  close_after_job_ = false;
  JobHost host(*this);
  const JobDocument jd{t, p, measurer_, print_builder_,
                       static_cast<uint8_t>(doc_.settings.NdBox + 1)};
  RunDeviceJob(*transport_, devices_, job_, jd, host, &last_counts_);
  // Lengths are shown with what the printer reported.
  doc_.calibration = job_.calibration;
  stop_pressed_ = false;
  Changed();
  if (close_after_job_ && on_close_) {
    close_after_job_ = false;
    on_close_();
  }
}

}  // namespace qx
