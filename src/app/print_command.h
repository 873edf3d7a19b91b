// The print command of the main window: tidying the Document, the print dialog, the job on
// the chosen printer and the window's state while it runs, the stop button, the job timer
// and the progress in the status bar.
#pragma once

#include <memory>

#include "app/print_dialog.h"
#include "app/window_ui.h"
#include "device/print_job.h"
#include "editing/editing_context.h"
#include "layout/image.h"

namespace qx {

class PrintCommand {
 public:
  PrintCommand(EditingContext& ctx, WindowUi& ui, TextCanvas& glyph_canvas);
  ~PrintCommand();

  // The printers are reached through `t` (real, virtual or both); none until it is set.
  void SetTransport(Transport& t);
  void OnPrintButton();
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

  EditingContext& ctx_;
  WindowUi& ui_;
  std::unique_ptr<Transport> null_transport_;
  Transport* transport_ = nullptr;
  DeviceTable devices_;
  PrintJob job_;
  std::unique_ptr<PrintDialog> dialog_;
  ImageBuilder builder_;
  WalkCounts last_counts_;
  bool job_timer_running_ = false;
  bool stop_pressed_ = false;  // the stop button was pressed during the current job
  bool close_after_job_ = false;
  bool running_ = false;
};

}  // namespace qx
