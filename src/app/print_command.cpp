#include "app/print_command.h"

#include <string>

#include "device/printer_messages.h"
#include "editing/messages.h"

namespace qx {
namespace {

// The controls a running job disables and the end of the job enables again.
constexpr Control kOffWhilePrinting[] = {Control::OpenButton,
                                         Control::NewButton,
                                         Control::SaveButton,
                                         Control::SaveAsButton,
                                         Control::HelpButton,
                                         Control::ImportExcelButton,
                                         Control::SegmentGroup,
                                         Control::DocumentGroup,
                                         Control::LowerToolBar,
                                         Control::SegmentGrid,
                                         Control::FontFaceSelector,
                                         Control::BoldButton,
                                         Control::SymbolButton,
                                         Control::FollowingLengthButton,
                                         Control::FollowingRepeatButton,
                                         Control::FollowingSizeButton,
                                         Control::FollowingOrientationButton,
                                         Control::FollowingDecorationButton,
                                         Control::UpperLine,
                                         Control::LowerLine,
                                         Control::ExportButton,
                                         Control::PrintButton};

}  // namespace

// The window's side of a running job.
class PrintCommand::JobHost final : public PrintHost {
 public:
  explicit JobHost(PrintCommand& f) : f_(f) {}
  void Message(std::string_view text, std::string_view caption) override {
    f_.ui_.Message(text, caption);
  }
  void PumpWait(uint32_t ms) override { f_.PumpWait(ms); }
  void WaitTick() override { f_.WaitTick(); }
  void EnterPrintingState() override {
    f_.ctx_.doc.file_state.DocBusy = true;
    for (Control c : kOffWhilePrinting) f_.ctx_.controls.SetEnabled(c, false);
    f_.ctx_.doc.file_state.UserEditing = false;
    f_.job_.StopRequested = false;
    f_.ctx_.controls.SetStatus(0, std::string(msg::kStatePrinting));
    f_.ctx_.Changed();
  }
  void EnableStop() override {
    f_.ctx_.controls.SetEnabled(Control::StopButton, true);
    f_.ctx_.Changed();
  }
  void EndOfJob() override {
    f_.ReturnToEditing();
    ReloadWorkingValues(f_.ctx_.doc.table, f_.ctx_.doc.values);
    f_.ctx_.Changed();
  }
  void Progress(int done, int total) override {
    f_.ctx_.controls.SetStatus(0, std::string(msg::kStatePrinting) + "  " + std::to_string(done) +
                                      "/" + std::to_string(total));
    f_.ctx_.StatusChanged();
  }

 private:
  PrintCommand& f_;
};

PrintCommand::PrintCommand(EditingContext& ctx, WindowUi& ui, TextCanvas& glyph_canvas)
    : ctx_(ctx), ui_(ui), builder_(glyph_canvas, ctx.measurer) {
  null_transport_ = std::make_unique<NullTransport>();
  transport_ = null_transport_.get();
  MakeDialog();
}

void PrintCommand::MakeDialog() {
  dialog_ = std::make_unique<PrintDialog>(ui_, *transport_, devices_, job_);
  dialog_->Start();
  // The dialog's figures come from a walk over the chosen rows that builds every item as
  // the job will; the operator's Segment and the editors are left as they were.
  dialog_->SetFiguresSource([this](int first_row, int last_row) {
    SegmentTable& t = ctx_.doc.table;
    const Bookmark at = t.TakeBookmark();
    t.DetachControls();
    PrintJob walk = job_;
    walk.StartRow = first_row;
    walk.EndRow = last_row;
    walk.Copies = 1;
    const JobDocument jd{t, ctx_.doc.file_state, ctx_.measurer, builder_,
                         static_cast<uint8_t>(ctx_.doc.settings.density_index + 1)};
    const JobFigures figures = MeasureJob(jd, walk);
    t.GotoBookmark(at);
    t.AttachControls();
    return figures;
  });
}

PrintCommand::~PrintCommand() = default;

void PrintCommand::ReturnToEditing() {
  for (Control c : kOffWhilePrinting) ctx_.controls.SetEnabled(c, true);
  ctx_.controls.SetEnabled(Control::StopButton, false);
  job_.StopRequested = false;
  ctx_.controls.SetStatus(0, std::string(msg::kStateEditing));
  ctx_.doc.table.Edit();
  ctx_.doc.file_state.DocBusy = false;
  ctx_.FocusLineEnd(0);
}

bool PrintCommand::HoldsClose() {
  if (!ctx_.doc.file_state.DocBusy) return false;
  if (!stop_pressed_) {
    ui_.Message(msg::kStopPrintingFirst, msg::kConfirm);
    return true;
  }
  // The job is still ending on the printer and walks the table: the window closes when it
  // has ended.
  close_after_job_ = true;
  return true;
}

void PrintCommand::SetTransport(Transport& t) {
  transport_ = &t;
  MakeDialog();
}

void PrintCommand::OnStopButton() {
  job_.StopRequested = true;
  stop_pressed_ = true;
  ctx_.controls.SetEnabled(Control::StopButton, false);
  ctx_.Changed();
}

void PrintCommand::OnJobTimer() {
  job_timer_running_ = false;
  job_.Tick = true;
}

void PrintCommand::PumpWait(uint32_t ms) {
  if (ms == 0) return;
  const uint64_t start = ui_.NowMs();
  while (ui_.NowMs() - start < ms) ui_.ProcessEvents();
}

void PrintCommand::WaitTick() {
  job_.Tick = false;
  job_timer_running_ = true;
  ui_.StartJobTimer(50);
  do {
    ui_.ProcessEvents();
  } while (!job_.Tick);
}

void PrintCommand::OnPrintButton() {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  ctx_.controls.SetEnabled(Control::StopButton, false);
  ReadDocumentSettings(ctx_.doc.settings, p);
  // Items are drawn in the document's face, in the line editors' style.
  builder_.renderer().SelectFont(ctx_.doc.settings.font_face, ctx_.doc.settings.editor_bold);

  p.UserEditing = false;
  p.DocBusy = true;
  job_.BufferIndex = 0;
  job_.FirstSegment = true;
  if (t.IsOpen() && !t.IsEmpty()) {
    t.Edit();
    t.SetInt(kNumberColumn, t.Position());
    t.Store();
  }
  // Empty Segments go; the rest are numbered again. Not a change of the Document.
  const bool something = TidyForPrint(t);
  ReloadWorkingValues(t, ctx_.doc.values);
  ctx_.ShowCurrentRow();
  if (!something) {
    ui_.Message(pmsg::kNothingToPrint, pmsg::kInfo);
    p.DocBusy = false;
    ctx_.Changed();
    return;
  }
  job_.StartRow = 1;
  job_.EndRow = t.RowCount();
  ReadDocumentSettings(ctx_.doc.settings, p);
  p.DocBusy = false;
  ctx_.Changed();

  dialog_->ResetResult();
  if (ui_.ShowPrintDialog(*dialog_) != PrintDialog::kResultOk) return;

  stop_pressed_ = false;
  close_after_job_ = false;
  JobHost host(*this);
  const JobDocument jd{t, p, ctx_.measurer, builder_,
                       static_cast<uint8_t>(ctx_.doc.settings.density_index + 1)};
  // What the whole job prints, for the count told when it ends early.
  const int planned = MeasureJob(jd, job_).items;
  running_ = true;
  bool completed = false;
  try {
    completed = RunDeviceJob(*transport_, devices_, job_, jd, host, &last_counts_);
  } catch (...) {
    running_ = false;
    throw;
  }
  running_ = false;
  // Lengths are shown with what the printer reported.
  ctx_.doc.calibration = job_.calibration;
  stop_pressed_ = false;
  // A job that ended early (stopped, a fault) says how far it got, beside the editing text.
  if (!completed && last_counts_.sent > 0)
    ctx_.controls.SetStatus(0, std::string(msg::kStateEditing) + "  已打印 " +
                                   std::to_string(last_counts_.sent) + "/" +
                                   std::to_string(planned));
  ctx_.Changed();
  // Markers the printer cannot take were left out of the job: the operator is told how
  // many once the job has ended. (Items the layout refuses go without a word, as they
  // always have; the Segment preview tells why.)
  if (last_counts_.too_long > 0) {
    std::string text(pmsg::kItemsTooLong);
    text.replace(text.find("%d"), 2, std::to_string(last_counts_.too_long));
    ui_.Message(text, pmsg::kInfo);
  }
  if (close_after_job_ && ctx_.on_close) {
    close_after_job_ = false;
    ctx_.on_close();
  }
}

}  // namespace qx
