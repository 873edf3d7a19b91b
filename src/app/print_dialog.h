// The print dialog, TPrtSelForm, as a model: it lists the attached printers, lets the
// operator pick one, the range of Segments, the copies and the order, and on OK opens the
// chosen printer. Created once and reused: range, copies and order persist between prints.
#pragma once

#include <string>
#include <vector>

#include "app/ui.h"
#include "device/device_table.h"
#include "device/print_job_state.h"

namespace qx {

class TPrtSelForm {
 public:
  static constexpr int kResultOk = 10;
  static constexpr int kResultCancel = 20;
  static constexpr int kResultClosed = 2;  // the close box
  static constexpr int kMaxCopies = 100;

  TPrtSelForm(Ui& ui, Transport& transport, DeviceTable& devices, PrintJob& job)
      : ui_(ui), transport_(transport), devices_(devices), job_(job) {}

  void FormCreate();
  void FormActivate();
  void BitBtn1Click();  // "刷新"
  void UsbSelCBoxChange(int index);
  // Text typed into a number field; refused edits are undone with a beep.
  void StEditChange(std::string text);
  void EnEditChange(std::string text);
  void CntEditChange(std::string text);
  void CntUpDnClick(int step);  // +1 up, -1 down (arrow keys too)
  void PrtAllButClick() { range_ = false; }
  void PrtRangeButClick() { range_ = true; }
  void RepBtnClick();
  void XuhaoBtnClick();
  void OkBtnClick();
  void CancelBtnClick() { result_ = kResultCancel; }
  void CloseBoxClick() { result_ = kResultClosed; }

  // --- What the dialog shows -----------------------------------------------------------
  static constexpr std::string_view kProduct = "科茂QX系列线号打印机     ";
  const std::string& UsbSta() const { return usb_sta_; }
  const std::string& DevName() const { return dev_name_; }
  const std::vector<DeviceEntry>& entries() const { return entries_; }
  int selection() const { return selection_; }  // -1: none
  bool ok_enabled() const { return ok_enabled_; }
  bool range() const { return range_; }
  const std::string& EdPitch() const { return ed_pitch_; }
  const std::string& StEdit() const { return st_edit_; }
  const std::string& EnEdit() const { return en_edit_; }
  const std::string& CntEdit() const { return cnt_edit_; }
  bool repeat_first() const { return repeat_first_; }
  bool image1_in_front() const { return image1_front_; }  // repeat-first picture
  int result() const { return result_; }
  void ResetResult() { result_ = 0; }

 private:
  void Enumerate();
  bool EditNumber(std::string& field, std::string text, int max_value);

  Ui& ui_;
  Transport& transport_;
  DeviceTable& devices_;
  PrintJob& job_;
  std::string usb_sta_, dev_name_;
  std::vector<DeviceEntry> entries_;
  int selection_ = -1;
  bool ok_enabled_ = false;
  bool range_ = false;
  std::string ed_pitch_, st_edit_, en_edit_;
  std::string cnt_edit_ = "1";
  bool repeat_first_ = false;
  bool image1_front_ = false;
  int result_ = 0;
};

}  // namespace qx
