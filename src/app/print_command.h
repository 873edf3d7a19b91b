// The print command of the main window: tidying the Document, the print dialog, the job on
// the chosen printer and the window's state while it runs, the stop button, the job timer
// and the progress in the status bar.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/print_dialog.h"
#include "app/window_ui.h"
#include "device/print_job.h"
#include "device/shared/shared_printer_list.h"
#include "device/shared/shared_printers.h"
#include "editing/editing_context.h"
#include "layout/image.h"

namespace qx {

class PrintCommand {
 public:
  PrintCommand(EditingContext& ctx, WindowUi& ui, TextCanvas& glyph_canvas);
  ~PrintCommand();

  // The printers are reached through `t` (real, virtual or both); none until it is set.
  void SetTransport(Transport& t);
  // The printers that printer applications share, and how jobs reach them; the dialog
  // lists none until they are set.
  void SetSharedPrinters(SharedPrinterList& list, SharedPrinterClient& client);
  void OnPrintButton();
  // "预览" in the main window: the whole job with the print dialog's copies and order over
  // every Segment. The print dialog's own "预览" takes its range too.
  void OnPreviewButton();
  // Makes a Segment (its row, from 1) the current one: set by the window, used when the
  // operator picks an item in the job preview.
  void SetGoToSegment(std::function<void(int row)> go) { go_to_segment_ = std::move(go); }
  void OnStopButton();
  // The one-shot job timer fired.
  void OnJobTimer();
  // The job's waits: both keep dispatching the window's events.
  void PumpWait(uint32_t ms);
  void WaitTick();
  // Back to editing at the end of a job: every control the job disabled is enabled again.
  void ReturnToEditing();
  // Whether a running job holds the window open: true while a job runs (the operator is
  // told to stop it first, or, once stopped, the window closes when the job has ended).
  bool HoldsClose();

  PrintDialog& dialog() { return *dialog_; }
  PrintJob& job() { return job_; }
  DeviceTable& devices() { return devices_; }
  const WalkCounts& last_job_counts() const { return last_counts_; }
  bool job_timer_running() const { return job_timer_running_; }
  bool running() const { return running_; }  // a job is on its way to the printer
  bool& StopRequested() { return job_.StopRequested; }

 private:
  class JobHost;
  void MakeDialog();  // for the current transport
  void ShowPreview(const PrintJob& choices);
  // The job document over the window's Document, with the print font selected.
  JobDocument CurrentJobDocument();
  // Runs `walk` over the table and puts the operator's Segment and editors back after.
  template <typename Walk>
  auto WalkAside(Walk walk);
  // What the job prints from, as one number: the Segments' fields and the settings. A
  // job that ended early goes on only over the same content.
  uint64_t ContentFingerprint() const;
  // The job on a printer a printer application shares: the Document goes to it as a
  // document file. Returns whether the job completed.
  bool RunOnSharedPrinter(const SharedPrinter& printer, const PrintJob& choices,
                          PrintHost& host);

  // A job that ended early: its choices, the first marker not printed, and the content it
  // printed from.
  struct Resume {
    PrintJob choices;
    int next_marker = 1;
    int planned = 0;  // markers of the whole job
    uint64_t fingerprint = 0;
  };

  EditingContext& ctx_;
  WindowUi& ui_;
  std::unique_ptr<Transport> null_transport_;
  Transport* transport_ = nullptr;
  SharedPrinterList* shared_list_ = nullptr;
  SharedPrinterClient* shared_client_ = nullptr;
  DeviceTable devices_;
  PrintJob job_;
  std::unique_ptr<PrintDialog> dialog_;
  ImageBuilder builder_;
  WalkCounts last_counts_;
  std::optional<Resume> resume_;
  std::function<void(int)> go_to_segment_;
  bool job_timer_running_ = false;
  bool stop_pressed_ = false;  // the stop button was pressed during the current job
  bool close_after_job_ = false;
  bool running_ = false;
  int operator_row_ = 0;  // the Segment the operator was on when the job started
};

}  // namespace qx
