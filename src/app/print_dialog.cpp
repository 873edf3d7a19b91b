#include "app/print_dialog.h"

#include <algorithm>
#include <charconv>

namespace qx {
namespace {

// A whole number as the number fields take it: digits only, not empty.
bool WholeNumber(std::string_view text, long& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return true;
}

long NumberOr(std::string_view text, long fallback) {
  long v = 0;
  return WholeNumber(text, v) ? v : fallback;
}

}  // namespace

void PrintDialog::Start() {
  cnt_edit_ = "1";
  range_ = false;
  repeat_first_ = false;
  image1_front_ = false;
}

void PrintDialog::Enumerate() {
  entries_ = EnumerateDevices(transport_, devices_);
  selection_ = -1;
  if (devices_.count == 0) {
    usb_sta_ = "没有发现可用设备";
    dev_name_ = "未知";
    ok_enabled_ = false;
    return;
  }
  ok_enabled_ = true;
  usb_sta_ = "设备状态正常";
  if (!entries_.empty() && entries_.front().slot == 0) {
    selection_ = 0;
    dev_name_ = std::string(devices_.Name(0));
  }
}

void PrintDialog::OnActivated() {
  result_ = 0;
  Enumerate();
  ed_pitch_ = "本文件段落数量: " + std::to_string(job_.EndRow);
  st_edit_ = std::to_string(job_.StartRow);
  en_edit_ = std::to_string(job_.EndRow);
}

void PrintDialog::OnRefreshButton() { Enumerate(); }

void PrintDialog::OnPrinterChosen(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  selection_ = index;
  if (devices_.count != 0) dev_name_ = std::string(devices_.Name(entries_[static_cast<std::size_t>(index)].slot));
}

bool PrintDialog::EditNumber(std::string& field, std::string text, int max_value) {
  long v = 0;
  if (!WholeNumber(text, v) || (max_value >= 0 && v > max_value)) {
    ui_.Beep();  // the edit is undone: the field keeps its text
    return false;
  }
  field = std::move(text);
  return true;
}

void PrintDialog::OnFirstRowEdited(std::string text) {
  EditNumber(st_edit_, std::move(text), job_.EndRow);
}
void PrintDialog::OnLastRowEdited(std::string text) { EditNumber(en_edit_, std::move(text), -1); }
void PrintDialog::OnCopiesEdited(std::string text) {
  if (text.size() > 3) {  // the field takes at most three characters
    ui_.Beep();
    return;
  }
  EditNumber(cnt_edit_, std::move(text), -1);
}

void PrintDialog::OnCopiesStep(int step) {
  const long v = std::clamp<long>(NumberOr(cnt_edit_, 1) + step, 1, kMaxCopies);
  cnt_edit_ = std::to_string(v);
}

void PrintDialog::OnRepeatFirstChosen() {
  repeat_first_ = true;
  image1_front_ = true;
}

void PrintDialog::OnSerialFirstChosen() {
  repeat_first_ = false;
  image1_front_ = false;
}

void PrintDialog::OnOkButton() {
  // Without a chosen printer there is nothing to open; the dialog stays.
  if (!ok_enabled_ || selection_ < 0 || selection_ >= static_cast<int>(entries_.size())) {
    ui_.Beep();
    return;
  }
  devices_.selected = static_cast<uint8_t>(entries_[static_cast<std::size_t>(selection_)].slot);
  const std::string path(devices_.Path(devices_.selected));
  devices_.handle = transport_.OpenByPath(path.c_str());
  devices_.open = devices_.handle != -1;
  const long copies = NumberOr(cnt_edit_, 1);
  job_.Copies = copies == 0 ? 1 : static_cast<int>(copies);
  job_.RepeatFirst = repeat_first_;
  if (range_) {
    const long a = NumberOr(st_edit_, job_.StartRow);
    const long b = std::min<long>(NumberOr(en_edit_, job_.EndRow), job_.EndRow);
    job_.StartRow = static_cast<int>(std::min(a, b));
    job_.EndRow = static_cast<int>(std::max(a, b));
  }
  result_ = kResultOk;
}

}  // namespace qx
