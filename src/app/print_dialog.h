// The print dialog, PrintDialog, as a model: it lists the attached printers, lets the
// operator pick one, the range of Segments, the copies and the order, and on OK opens the
// chosen printer. Created once and reused: range, copies and order persist between prints.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/device_table.h"
#include "device/print_job.h"
#include "device/print_job_state.h"
#include "device/shared/shared_printer_list.h"
#include "editing/ui.h"

namespace qx {

// "共 N 个标记, 约 X.X 米": what a job prints, as the dialog and the job preview say it.
std::string JobFiguresText(int items, double metres);

class PrintDialog {
 public:
  static constexpr int kResultOk = 10;
  static constexpr int kResultContinue = 11;  // go on with the job that ended early
  static constexpr int kResultCancel = 20;
  static constexpr int kResultClosed = 2;  // the close box
  static constexpr int kMaxCopies = 100;

  PrintDialog(Ui& ui, Transport& transport, DeviceTable& devices, PrintJob& job)
      : ui_(ui), transport_(transport), devices_(devices), job_(job) {}

  void Start();
  // Where the dialog gets what one copy of rows first..last prints (the window measures
  // the Document); without it the dialog shows no figures.
  using FiguresOfRows = std::function<JobFigures(int first_row, int last_row)>;
  void SetFiguresSource(FiguresOfRows source) { figures_of_rows_ = std::move(source); }
  // The printers that printer applications share, listed after the ones on USB; searched
  // for again each time the dialog is activated and with "刷新".
  void SetSharedPrinters(SharedPrinterList* list) { shared_list_ = list; }
  void OnActivated();
  void OnRefreshButton();  // "刷新"
  // Takes up what a search found since the last call; true when the list changed.
  bool OnSharedPrintersPoll();
  void OnPrinterChosen(int index);
  // Text typed into a number field; refused edits are undone with a beep.
  void OnFirstRowEdited(std::string text);
  void OnLastRowEdited(std::string text);
  void OnCopiesEdited(std::string text);
  void OnCopiesStep(int step);  // +1 up, -1 down (arrow keys too)
  void OnAllRowsChosen();
  void OnRangeChosen();
  void OnRepeatFirstChosen();
  void OnSerialFirstChosen();
  void OnOkButton();
  // A job that ended early: the marker it goes on from (0: none can), the markers of the
  // whole job and the choices it was printed with.
  struct ContinueOffer {
    int next = 0;
    int planned = 0;
    PrintJob choices;
  };
  // The dialog offers "从第N个继续 (4份, 剩余501个)", which opens the chosen printer as OK
  // does and prints the rest of that job, while the dialog's copies, range and order are
  // the job's; other choices withdraw the offer (OK prints them as a new job).
  void SetContinueOffer(ContinueOffer offer) { continue_ = std::move(offer); }
  std::string continue_text() const;  // empty when there is nothing to go on with
  void OnContinueButton();
  // "预览": the whole job with the current choices, in the job preview window.
  using ShowPreview = std::function<void(const PrintJob& choices)>;
  void SetPreviewAction(ShowPreview action) { show_preview_ = std::move(action); }
  void OnPreviewButton();
  // The rows, copies and order the job takes with the current choices (as OK sets them).
  PrintJob ChosenJob() const;
  void OnCancelButton() { result_ = kResultCancel; }
  void OnCloseBox() { result_ = kResultClosed; }

  // --- What the dialog shows -----------------------------------------------------------
  static constexpr std::string_view kProduct = "科茂QX系列线号打印机     ";
  const std::string& usb_status() const { return usb_status_; }
  const std::string& device_name() const { return device_name_; }
  const std::vector<DeviceEntry>& entries() const { return entries_; }
  int selection() const { return selection_; }  // -1: none
  // "正在查找共享打印机…" while a search runs.
  std::string search_text() const;
  // The shared printer OK chose, or nullptr when the job goes to a printer on USB.
  const SharedPrinter* chosen_shared() const {
    return chosen_shared_ ? &*chosen_shared_ : nullptr;
  }
  bool ok_enabled() const { return ok_enabled_; }
  bool range() const { return range_; }
  const std::string& segment_count_text() const { return segment_count_; }
  const std::string& first_row_text() const { return first_row_text_; }
  const std::string& last_row_text() const { return last_row_text_; }
  const std::string& copies_text() const { return copies_text_; }
  // What the job will print with the current choices: "共 N 个标记, 约 X.X 米".
  const std::string& figures_text() const { return figures_text_; }
  bool repeat_first() const { return repeat_first_; }
  bool repeat_first_picture_shown() const {
    return repeat_first_picture_shown_;
  }  // repeat-first picture
  int result() const { return result_; }
  void ResetResult() { result_ = 0; }

 private:
  void Enumerate();
  // Lists the shared printers after the USB entries, keeping the chosen printer chosen.
  void ListShared(const std::string& chosen_uri);
  std::string ChosenSharedUri() const;  // empty when no shared printer is chosen
  void ShowChosen();
  bool EditNumber(std::string& field, std::string text, int max_value);
  // The rows and copies the job takes with the current choices (as OK would set them).
  void ChosenRows(int& first, int& last) const;
  int ChosenCopies() const;
  void UpdateFigures();

  Ui& ui_;
  Transport& transport_;
  DeviceTable& devices_;
  PrintJob& job_;
  std::string usb_status_, device_name_;
  std::vector<DeviceEntry> entries_;
  int selection_ = -1;
  bool ok_enabled_ = false;
  bool range_ = false;
  std::string segment_count_, first_row_text_, last_row_text_;
  std::string copies_text_ = "1";
  bool repeat_first_ = false;
  bool repeat_first_picture_shown_ = false;
  int result_ = 0;
  bool OpenChosenPrinter();
  FiguresOfRows figures_of_rows_;
  ContinueOffer continue_;
  ShowPreview show_preview_;
  SharedPrinterList* shared_list_ = nullptr;
  std::vector<SharedPrinter> shared_;
  uint64_t shared_version_ = 0;
  std::optional<SharedPrinter> chosen_shared_;
  std::string usb_state_text_;  // what the USB printers' state is, shown for them
  std::string figures_text_;
  // The figures of one copy, for the rows they were measured for.
  int measured_first_ = -1, measured_last_ = -1;
  JobFigures measured_;
};

}  // namespace qx
