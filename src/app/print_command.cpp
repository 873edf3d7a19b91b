#include "app/print_command.h"

#include <malloc.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/job_preview_window.h"
#include "device/job_preview.h"
#include "device/printer_messages.h"
#include "device/shared/shared_job.h"
#include "document/document_file.h"
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
                                         Control::PrintButton,
                                         Control::PreviewButton};

// "已打印 39/310, 可从第40个继续": how far a job that ended early got, and the marker
// that may now be on the tape twice.
std::string ResumeStatusText(const ResumePoint& at, int planned) {
  const std::string next = std::to_string(at.next());
  std::string text = "已打印 " + std::to_string(at.printed) + "/" + std::to_string(planned) +
                     ", 可从第" + next + "个继续";
  if (at.next_may_be_partial) text += ", 第" + next + "个标记可能已部分打印";
  return text;
}

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
    // The job walked the table: the operator goes back to the Segment they were on.
    GoToPosition(f_.ctx_.doc.table, f_.operator_row_);
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

template <typename Walk>
auto PrintCommand::WalkAside(Walk walk) {
  SegmentTable& t = ctx_.doc.table;
  const Bookmark at = t.TakeBookmark();
  t.DetachControls();
  auto result = walk();
  t.GotoBookmark(at);
  t.AttachControls();
  return result;
}

JobDocument PrintCommand::CurrentJobDocument() {
  ReadDocumentSettings(ctx_.doc.settings, ctx_.doc.file_state);
  builder_.SelectPrintFont(PrintFontOf(ctx_.doc.settings));
  return {ctx_.doc.table, ctx_.doc.file_state, ctx_.measurer, builder_,
          static_cast<uint8_t>(ctx_.doc.settings.density_index + 1)};
}

void PrintCommand::MakeDialog() {
  dialog_ = std::make_unique<PrintDialog>(ui_, *transport_, devices_, job_);
  dialog_->Start();
  // The dialog's figures come from a walk over the chosen rows that builds every item as
  // the job will; the operator's Segment and the editors are left as they were.
  dialog_->SetFiguresSource([this](int first_row, int last_row) {
    PrintJob walk = job_;
    walk.StartRow = first_row;
    walk.EndRow = last_row;
    walk.Copies = 1;
    const JobDocument jd = CurrentJobDocument();
    return WalkAside([&] { return MeasureJob(jd, walk); });
  });
  dialog_->SetPreviewAction([this](const PrintJob& choices) { ShowPreview(choices); });
  dialog_->SetSharedPrinters(shared_list_);
}

void PrintCommand::SetSharedPrinters(SharedPrinterList& list, SharedPrinterClient& client) {
  shared_list_ = &list;
  shared_client_ = &client;
  dialog_->SetSharedPrinters(shared_list_);
  list.Refresh();  // searched from the start, so that the first print dialog lists them
}

namespace {

// The name jobs are sent under: the login name, as the printer application's job list
// shows it.
std::string UserName() {
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char* user = std::getenv("USER"); user && *user) return user;
  return "qx-editor";
}

// A file of this process for the job's document, removed when the job has been sent.
std::filesystem::path JobDocumentPath() {
  static std::atomic<int> serial{0};
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = "/tmp";
  return dir / ("qx-editor-job-" + std::to_string(getpid()) + "-" + std::to_string(++serial) +
                ".kel");
}

}  // namespace

bool PrintCommand::RunOnSharedPrinter(const SharedPrinter& printer, const PrintJob& choices,
                                      PrintHost& host) {
  // What prints is the Document as it is now (tidied for the job), with its settings.
  const std::filesystem::path file = JobDocumentPath();
  try {
    WriteDocumentFile(ctx_.doc.table, ctx_.doc.settings, file, DocumentRows::kAll);
  } catch (const std::exception&) {
    ui_.Message(msg::kSharedJobNotWritten, pmsg::kInfo);
    return false;
  }
  // Removed however the job ends, an exception included.
  struct RemovedAfter {
    const std::filesystem::path& file;
    ~RemovedAfter() {
      std::error_code ec;
      std::filesystem::remove(file, ec);
    }
  } removed_after{file};
  // The window's 浓度 goes with the job: a document file does not carry it.
  const SharedJobChoice choice{choices.Copies, choices.StartRow, choices.EndRow,
                               choices.RepeatFirst, choices.FromItem,
                               ctx_.doc.settings.density_index + 1};
  return RunSharedJob(*shared_client_, printer, file.string(), choice, UserName(), job_, host,
                      &last_counts_);
}

void PrintCommand::OnPreviewButton() {
  SegmentTable& t = ctx_.doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return;
  // What the operator typed is stored first, as printing stores it.
  if (t.InEditMode()) t.Store();
  PrintJob choices = dialog_->ChosenJob();
  choices.StartRow = 1;
  choices.EndRow = t.RowCount();
  ShowPreview(choices);
}

void PrintCommand::ShowPreview(const PrintJob& choices) {
  {
    const JobDocument jd = CurrentJobDocument();
    JobPreview preview = WalkAside([&] { return JobPreview::Build(jd, choices); });
    JobPreviewWindow window(std::move(preview), [this](int row) {
      if (go_to_segment_) go_to_segment_(row);
    });
    ui_.ShowJobPreview(window);
  }
  // The markers of a long job took much memory while they were shown: it goes back to the
  // system now (the allocator would otherwise keep it for the life of the editor).
  malloc_trim(0);
}

uint64_t PrintCommand::ContentFingerprint() const {
  // FNV-1a over every field of every row and the settings a job prints with.
  uint64_t h = 14695981039346656037ull;
  auto add = [&h](std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;  // a separator, so that "ab","c" differs from "a","bc"
  };
  const SegmentTable& t = ctx_.doc.table;
  if (t.IsOpen())
    for (int r = 0; r < t.RowCount(); ++r)
      for (int c = 0; c < kColumnCount; ++c) add(t.TextAt(r, c));
  const DocumentSettings& s = ctx_.doc.settings;
  for (int v : {s.material_index, s.cut_index, s.alignment_index, s.spacing_index,
                s.density_index, static_cast<int>(PrintFontOf(s).bold)})
    add(std::to_string(v));
  add(PrintFontOf(s).face);
  return h;
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
  operator_row_ = t.Position();
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

  // A job that ended early can go on from its first marker not printed, while the
  // Document is what it printed from.
  if (resume_ && resume_->fingerprint != ContentFingerprint()) resume_.reset();
  if (resume_)
    dialog_->SetContinueOffer({resume_->next_marker, resume_->planned, resume_->choices});
  else
    dialog_->SetContinueOffer({});
  dialog_->ResetResult();
  const int result = ui_.ShowPrintDialog(*dialog_);
  if (result == PrintDialog::kResultContinue && resume_) {
    const int next = resume_->next_marker;
    job_.StartRow = resume_->choices.StartRow;
    job_.EndRow = resume_->choices.EndRow;
    job_.Copies = resume_->choices.Copies;
    job_.RepeatFirst = resume_->choices.RepeatFirst;
    job_.FromItem = next;
  } else if (result == PrintDialog::kResultOk) {
    job_.FromItem = 1;
  } else {
    return;
  }
  const PrintJob choices = job_;

  stop_pressed_ = false;
  close_after_job_ = false;
  JobHost host(*this);
  const JobDocument jd = CurrentJobDocument();
  running_ = true;
  bool completed = false;
  try {
    const SharedPrinter* shared = dialog_->chosen_shared();
    if (shared && shared_client_)
      completed = RunOnSharedPrinter(SharedPrinter(*shared), choices, host);
    else
      completed = RunDeviceJob(*transport_, devices_, job_, jd, host, &last_counts_);
  } catch (...) {
    running_ = false;
    throw;
  }
  running_ = false;
  // How far the job got, by the markers the printer reported printed; the whole job is
  // measured only when it ended early, with the calibration the job ran with, leaving the
  // operator's Segment.
  const ResumePoint at = ResumeAfter(choices, last_counts_);
  const int planned =
      !completed && at.printed > 0 ? WalkAside([&] { return MeasureJob(jd, choices); }).items : 0;
  // Lengths are shown with what the printer reported.
  ctx_.doc.calibration = job_.calibration;
  stop_pressed_ = false;
  // A job that ended early (stopped, a fault) says how far it got, beside the editing
  // text, and can go on from the first marker the printer did not report printed.
  resume_.reset();
  if (!completed && at.printed > 0 && at.printed < planned) {
    resume_ = Resume{choices, at.next(), planned, ContentFingerprint()};
    ctx_.controls.SetStatus(0, std::string(msg::kStateEditing) + "  " +
                                   ResumeStatusText(at, planned));
  }
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
