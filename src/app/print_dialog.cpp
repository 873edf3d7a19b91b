#include "app/print_dialog.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

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

std::string JobFiguresText(int items, double metres) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", metres);
  return "共 " + std::to_string(items) + " 个标记, 约 " + text + " 米";
}

void PrintDialog::Start() {
  copies_text_ = "1";
  range_ = false;
  repeat_first_ = false;
  repeat_first_picture_shown_ = false;
}

void PrintDialog::Enumerate() {
  const std::string chosen_uri = ChosenSharedUri();
  entries_ = EnumerateDevices(transport_, devices_);
  selection_ = -1;
  if (devices_.count == 0) {
    usb_state_text_ = "没有发现可用设备";
    device_name_ = "未知";
    ok_enabled_ = false;
  } else {
    ok_enabled_ = true;
    usb_state_text_ = "设备状态正常";
    if (!entries_.empty() && entries_.front().slot == 0) selection_ = 0;
  }
  ListShared(chosen_uri);
}

namespace {

// Where a shared printer is shared from, as the list and the status say it.
std::string HostText(const SharedPrinter& p) {
  return p.host == "localhost" || p.host.empty() ? "本机" : p.host;
}

}  // namespace

std::string PrintDialog::ChosenSharedUri() const {
  if (selection_ < 0 || selection_ >= static_cast<int>(entries_.size())) return {};
  const int shared = entries_[static_cast<std::size_t>(selection_)].shared;
  return shared >= 0 ? shared_[static_cast<std::size_t>(shared)].uri : std::string();
}

void PrintDialog::ListShared(const std::string& chosen_uri) {
  // The chosen shared printer stays chosen when the list comes again (by its address).
  if (selection_ >= 0 && selection_ < static_cast<int>(entries_.size()) &&
      entries_[static_cast<std::size_t>(selection_)].shared >= 0)
    selection_ = -1;
  std::erase_if(entries_, [](const DeviceEntry& e) { return e.shared >= 0; });
  shared_ = shared_list_ ? shared_list_->printers() : std::vector<SharedPrinter>{};
  shared_version_ = shared_list_ ? shared_list_->version() : 0;
  for (std::size_t i = 0; i < shared_.size(); ++i) {
    const SharedPrinter& p = shared_[i];
    entries_.push_back({"[共享] " + p.name + " @ " + HostText(p), 0, static_cast<int>(i)});
    if (!chosen_uri.empty() && p.uri == chosen_uri) selection_ = static_cast<int>(entries_.size()) - 1;
  }
  // Without a printer on USB the first shared one is chosen, as USB#0 is otherwise.
  if (selection_ < 0 && devices_.count == 0 && !shared_.empty())
    selection_ = static_cast<int>(entries_.size() - shared_.size());
  ok_enabled_ = devices_.count != 0 || !shared_.empty();
  ShowChosen();
}

void PrintDialog::ShowChosen() {
  usb_status_ = usb_state_text_;
  if (selection_ < 0 || selection_ >= static_cast<int>(entries_.size())) {
    if (devices_.count == 0) device_name_ = "未知";  // not the one that went away
    return;
  }
  const DeviceEntry& e = entries_[static_cast<std::size_t>(selection_)];
  if (e.shared >= 0) {
    const SharedPrinter& p = shared_[static_cast<std::size_t>(e.shared)];
    usb_status_ = "由" + HostText(p) + "的打印服务共享";
    device_name_ = p.model.empty() ? p.name : p.model;
  } else if (devices_.count != 0) {
    device_name_ = std::string(devices_.Name(e.slot));
  }
}

bool PrintDialog::OnSharedPrintersPoll() {
  if (!shared_list_ || shared_list_->version() == shared_version_) return false;
  ListShared(ChosenSharedUri());
  return true;
}

std::string PrintDialog::search_text() const {
  return shared_list_ && shared_list_->searching() ? "正在查找共享打印机…" : std::string();
}

void PrintDialog::OnActivated() {
  result_ = 0;
  if (shared_list_) shared_list_->Refresh();  // what it knows is listed at once
  Enumerate();
  segment_count_ = "本文件段落数量: " + std::to_string(job_.EndRow);
  first_row_text_ = std::to_string(job_.StartRow);
  last_row_text_ = std::to_string(job_.EndRow);
  measured_first_ = measured_last_ = -1;  // the Document may have changed since
  UpdateFigures();
}

void PrintDialog::ChosenRows(int& first, int& last) const {
  first = job_.StartRow;
  last = job_.EndRow;
  if (!range_) return;
  const long a = NumberOr(first_row_text_, job_.StartRow);
  const long b = std::min<long>(NumberOr(last_row_text_, job_.EndRow), job_.EndRow);
  first = static_cast<int>(std::min(a, b));
  last = static_cast<int>(std::max(a, b));
}

int PrintDialog::ChosenCopies() const {
  const long copies = NumberOr(copies_text_, 1);
  return copies == 0 ? 1 : static_cast<int>(copies);
}

void PrintDialog::UpdateFigures() {
  if (!figures_of_rows_) return;
  int first = 0, last = 0;
  ChosenRows(first, last);
  if (first != measured_first_ || last != measured_last_) {
    measured_ = figures_of_rows_(first, last);
    measured_first_ = first;
    measured_last_ = last;
  }
  const int copies = ChosenCopies();
  figures_text_ = JobFiguresText(measured_.items * copies, measured_.metres * copies);
}

void PrintDialog::OnRefreshButton() {
  if (shared_list_) shared_list_->Refresh();
  Enumerate();
}

void PrintDialog::OnPrinterChosen(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  selection_ = index;
  ShowChosen();
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
  if (EditNumber(first_row_text_, std::move(text), job_.EndRow)) UpdateFigures();
}
void PrintDialog::OnLastRowEdited(std::string text) {
  if (EditNumber(last_row_text_, std::move(text), -1)) UpdateFigures();
}
void PrintDialog::OnCopiesEdited(std::string text) {
  if (text.size() > 3) {  // the field takes at most three characters
    ui_.Beep();
    return;
  }
  if (EditNumber(copies_text_, std::move(text), -1)) UpdateFigures();
}

void PrintDialog::OnCopiesStep(int step) {
  const long v = std::clamp<long>(NumberOr(copies_text_, 1) + step, 1, kMaxCopies);
  copies_text_ = std::to_string(v);
  UpdateFigures();
}

void PrintDialog::OnAllRowsChosen() {
  range_ = false;
  UpdateFigures();
}

void PrintDialog::OnRangeChosen() {
  range_ = true;
  UpdateFigures();
}

void PrintDialog::OnRepeatFirstChosen() {
  repeat_first_ = true;
  repeat_first_picture_shown_ = true;
}

void PrintDialog::OnSerialFirstChosen() {
  repeat_first_ = false;
  repeat_first_picture_shown_ = false;
}

bool PrintDialog::OpenChosenPrinter() {
  // Without a chosen printer there is nothing to open; the dialog stays.
  if (!ok_enabled_ || selection_ < 0 || selection_ >= static_cast<int>(entries_.size())) {
    ui_.Beep();
    return false;
  }
  chosen_shared_.reset();
  const DeviceEntry& entry = entries_[static_cast<std::size_t>(selection_)];
  if (entry.shared >= 0) {  // sent to its printer application when the job starts
    chosen_shared_ = shared_[static_cast<std::size_t>(entry.shared)];
    return true;
  }
  devices_.selected = static_cast<uint8_t>(entries_[static_cast<std::size_t>(selection_)].slot);
  const std::string path(devices_.Path(devices_.selected));
  devices_.handle = transport_.OpenByPath(path.c_str());
  devices_.open = devices_.handle != -1;
  return true;
}

std::string PrintDialog::continue_text() const {
  if (continue_.next <= 1) return {};
  // Offered only for the job that ended: the same rows, copies and order.
  const PrintJob chosen = ChosenJob();
  const PrintJob& was = continue_.choices;
  if (chosen.StartRow != was.StartRow || chosen.EndRow != was.EndRow ||
      chosen.Copies != was.Copies || chosen.RepeatFirst != was.RepeatFirst)
    return {};
  const int left = std::max(continue_.planned - continue_.next + 1, 0);
  return "从第" + std::to_string(continue_.next) + "个继续 (" + std::to_string(was.Copies) +
         "份, 剩余" + std::to_string(left) + "个)";
}

void PrintDialog::OnContinueButton() {
  if (continue_text().empty() || !OpenChosenPrinter()) return;
  result_ = kResultContinue;
}

void PrintDialog::OnOkButton() {
  if (!OpenChosenPrinter()) return;
  const PrintJob chosen = ChosenJob();
  job_.Copies = chosen.Copies;
  job_.RepeatFirst = chosen.RepeatFirst;
  job_.StartRow = chosen.StartRow;
  job_.EndRow = chosen.EndRow;
  result_ = kResultOk;
}

PrintJob PrintDialog::ChosenJob() const {
  PrintJob chosen = job_;
  ChosenRows(chosen.StartRow, chosen.EndRow);
  chosen.Copies = ChosenCopies();
  chosen.RepeatFirst = repeat_first_;
  chosen.FromItem = 1;
  return chosen;
}

void PrintDialog::OnPreviewButton() {
  if (show_preview_) show_preview_(ChosenJob());
}

}  // namespace qx
