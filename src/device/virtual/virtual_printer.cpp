#include "device/virtual/virtual_printer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "device/virtual/generations.h"
#include "layout/tape.h"

namespace qx {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

constexpr int kSeparatorDots = 2;  // separator column dots the printer adds at each item end

}  // namespace

std::string_view JobEndName(JobEnd end) {
  switch (end) {
    case JobEnd::kRunning:
      return "running";
    case JobEnd::kFinished:
      return "finished";
    case JobEnd::kStopped:
      return "stopped";
    case JobEnd::kFault:
      return "fault";
    case JobEnd::kAborted:
      return "aborted";
  }
  return "running";
}

RgbImage RenderJobTape(const VirtualJob& job, int scale) {
  scale = std::max(scale, 1);
  const bool separator = job.cut == 2;
  std::vector<ItemImage> shown;
  for (const VirtualItem& it : job.items) {
    if (!it.printed) continue;
    ItemImage im = it.image;
    if (separator) {
      // The separator dots are drawn over blank feed, so they go into the blanks here.
      im.LeadBlank = static_cast<uint16_t>(std::min(im.LeadBlank + kSeparatorDots, 0xFFFF));
      im.TrailBlank = static_cast<uint16_t>(std::min(im.TrailBlank + kSeparatorDots, 0xFFFF));
    }
    shown.push_back(std::move(im));
  }
  RgbImage img = RenderStrip(shown, scale);

  auto column = [&](int x, const std::array<uint8_t, kColumnBytes>* pattern, Rgb off) {
    for (int r = 0; r < kHeadDots; ++r) {
      const bool dot = pattern && ((*pattern)[static_cast<std::size_t>(r / 8)] >> (r % 8)) & 1;
      img.FillRect(x * scale, r * scale, (x + 1) * scale, (r + 1) * scale, dot ? kTapeDot : off);
    }
  };
  int x = 0;
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const ItemImage& it = shown[n];
    if (n > 0) {
      if (job.cut == 1) {
        for (int r = 0; r < kHeadDots; ++r) {
          const Rgb c = (r / 4) % 2 == 0 ? kTapeHalfCut : kTapeBlank;
          img.FillRect(x * scale, r * scale, (x + 1) * scale, (r + 1) * scale, c);
        }
      } else if (separator) {
        column(x, &it.SeparatorColumn, kTapeBlank);
      }
      ++x;
    }
    const int feed = ItemFeedDots(it);
    if (separator) {
      for (int d = 0; d < kSeparatorDots; ++d) {
        column(x + d, &it.SeparatorColumn, kTapeBlank);
        column(x + feed - 1 - d, &it.SeparatorColumn, kTapeBlank);
      }
    }
    x += feed;
  }
  return img;
}

VirtualPrinter::VirtualPrinter(const Clock& clock, VirtualPrinterConfig config, int index,
                               std::filesystem::path output_dir)
    : clock_(clock), config_(std::move(config)), index_(index), output_dir_(std::move(output_dir)) {
  path_ = "virtual:" + std::string(info().ids) + "#" + std::to_string(index_);
  failure_fired_.assign(config_.failures.size(), false);
  fault_fired_.assign(config_.faults.size(), false);
  if (!output_dir_.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(output_dir_, ec);
    trace_path_ = output_dir_ / (std::string(info().key) + "-" + std::to_string(index_) + ".trace");
    trace_file_.open(trace_path_, std::ios::out | std::ios::trunc);
    if (!trace_file_) {
      output_error_ =
          "cannot write " + trace_path_.string() + (ec ? ": " + ec.message() : std::string());
      trace_path_.clear();
    }
  }
}

VirtualPrinter::~VirtualPrinter() = default;

bool VirtualPrinter::connected() const {
  return connected_ || (replug_at_ && clock_.NowMs() >= *replug_at_);
}

void VirtualPrinter::Trace(std::string line) {
  if (trace_file_.is_open()) {
    trace_file_ << line << '\n';
    trace_file_.flush();
  }
  trace_.push_back(std::move(line));
}

bool VirtualPrinter::Violation(std::string text) {
  if (pending_error_.empty()) {
    violations_.push_back(text);
    pending_error_ = std::move(text);
  }
  return false;
}

void VirtualPrinter::EmitOutcome() {
  if (!pending_error_.empty()) Trace("error " + pending_error_);
  if (!pending_failure_.empty()) Trace("failed " + pending_failure_);
  pending_error_.clear();
  pending_failure_.clear();
}

void VirtualPrinter::Tick() {
  if (config_.options.lag_ms > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(config_.options.lag_ms));
  if (!connected_ && replug_at_ && clock_.NowMs() >= *replug_at_) Replug();
  AdvancePrinting();
}

// ---- misbehaviour on demand ------------------------------------------------------------

void VirtualPrinter::AddFault(FaultPlan fault) {
  config_.faults.push_back(fault);
  fault_fired_.push_back(false);
}

void VirtualPrinter::AddFailure(FailPlan failure) {
  config_.failures.push_back(failure);
  failure_fired_.push_back(false);
}

void VirtualPrinter::UnplugAt(TransferPoint at) {
  config_.unplug = at;
  unplug_fired_ = false;
}

void VirtualPrinter::Unplug() {
  if (!connected_) return;
  connected_ = false;
  ++epoch_;
  reply_.reset();
  const auto& after = config_.options.replug_after_ms;
  replug_at_ = after ? std::optional<uint64_t>(clock_.NowMs() + *after) : std::nullopt;
  Trace("unplug");
}

void VirtualPrinter::Replug() {
  if (connected_) return;
  connected_ = true;
  replug_at_.reset();
  Trace("replug");
}

void VirtualPrinter::EndJob() {
  AdvancePrinting();
  FinishJob();
}

// ---- the transport side ----------------------------------------------------------------

bool VirtualPrinter::Open(int32_t handle) {
  Tick();
  Trace("open " + path_);
  if (!connected_) {
    Trace("failed unplugged");
    return false;
  }
  handles_[handle] = HandleState{true, epoch_};
  TriggerStage(FaultStage::kOpen);
  return true;
}

int32_t VirtualPrinter::Close(int32_t handle) {
  Tick();
  Trace("close");
  const auto it = handles_.find(handle);
  if (it == handles_.end() || !it->second.open) {
    Violation("close of handle " + std::to_string(handle) + ", which is not open");
    EmitOutcome();
    return -1;
  }
  it->second.open = false;
  reply_.reset();
  if (job_open_ && (StopDone() || FinishDone() || halted_)) FinishJob();
  ClearReportedFaults();
  return 0;
}

bool VirtualPrinter::CheckHandle(int32_t handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return Violation("transfer on handle " + std::to_string(handle) +
                     ", which was never opened for this printer");
  if (!it->second.open)
    return Violation("transfer on handle " + std::to_string(handle) + " after it was closed");
  if (!connected_ || it->second.epoch != epoch_) {
    pending_failure_ = "unplugged";
    return false;
  }
  return true;
}

bool VirtualPrinter::InjectedFailure(int item_started) {
  auto hits = [&](const TransferPoint& p) {
    return (p.transfer > 0 && p.transfer == transfers_) || (p.item > 0 && p.item == item_started);
  };
  for (std::size_t i = 0; i < config_.failures.size(); ++i) {
    if (failure_fired_[i] || !hits(config_.failures[i].at)) continue;
    failure_fired_[i] = true;
    fail_left_ += std::max(config_.failures[i].count, 1);
  }
  if (config_.unplug && !unplug_fired_ && hits(*config_.unplug)) {
    unplug_fired_ = true;
    Unplug();
    pending_failure_ = "unplugged";
    return true;
  }
  if (fail_left_ > 0) {
    --fail_left_;
    pending_failure_ = "injected failure";
    return true;
  }
  return false;
}

int32_t VirtualPrinter::Write(int32_t handle, const uint8_t* data, int32_t length) {
  Tick();
  ++transfers_;
  const std::span<const uint8_t> message(data, data && length > 0 ? std::size_t(length) : 0);
  Trace("bulk-out " + std::to_string(length) + " " + Hex(message));
  const bool resend = IsImageMessage(message) && std::equal(message.begin(), message.end(),
                                                            last_write_.begin(), last_write_.end());
  bool ok = CheckHandle(handle);
  if (ok && (!data || length <= 0))
    ok = Violation("bulk write of " + std::to_string(length) + " bytes");
  if (ok && InjectedFailure(resend ? 0 : ItemStartedBy(message))) ok = false;
  if (ok && reply_) {
    reply_.reset();
    ok = Violation("message written before the reply to the previous one was read");
  }
  if (ok) {
    if (resend) {
      ReplyToResend(message);
    } else {
      ok = HandleWrite(message);
      if (ok) {
        last_write_.assign(message.begin(), message.end());
      } else {
        reply_.reset();
        last_write_.clear();
      }
    }
  }
  EmitOutcome();
  return ok ? length : -1;
}

int32_t VirtualPrinter::Read(int32_t handle, uint8_t* data, int32_t length) {
  Tick();
  ++transfers_;
  bool ok = CheckHandle(handle);
  if (ok && InjectedFailure(0)) {
    reply_.reset();
    ok = false;
  }
  if (ok && (!data || length != 16)) {
    reply_.reset();
    ok = Violation("read of " + std::to_string(length) + " bytes (replies are 16 bytes)");
  }
  if (ok && !reply_) ok = Violation("read without a message to answer");
  if (ok) {
    std::copy(reply_->begin(), reply_->end(), data);
    Trace("bulk-in " + std::to_string(length) + " " + Hex(*reply_));
    reply_.reset();
  } else {
    Trace("bulk-in " + std::to_string(length) + " -");
  }
  EmitOutcome();
  return ok ? length : -1;
}

int32_t VirtualPrinter::Vendor(int32_t handle, uint8_t request, uint16_t value,
                               StatusBlock& status) {
  Tick();
  ++transfers_;
  status.fill(0);
  last_write_.clear();
  bool ok = CheckHandle(handle);
  if (ok && InjectedFailure(0)) ok = false;
  if (ok && reply_) {
    reply_.reset();
    ok = Violation("vendor request before the reply to the last bulk message was read");
  }
  if (ok) ok = HandleVendor(request, value, status);
  if (!ok) status.fill(0);
  Trace("vendor " + std::to_string(request) + " " + std::to_string(value) + " " +
        (ok ? Hex(status) : std::string("-")));
  EmitOutcome();
  return ok ? static_cast<int32_t>(status.size()) : -1;
}

// ---- faults ----------------------------------------------------------------------------

void VirtualPrinter::TriggerStage(FaultStage stage, int item) {
  for (std::size_t i = 0; i < config_.faults.size(); ++i) {
    const FaultPlan& f = config_.faults[i];
    if (fault_fired_[i] || f.stage != stage || (stage == FaultStage::kItem && f.item != item))
      continue;
    if (!FaultExists(f.kind, info().generation)) continue;
    fault_fired_[i] = true;
    active_.push_back(ActiveFault{f.kind, false});
    Trace("fault " + std::string(FaultName(f.kind)));
    if (job_open_ && !job_fault_) job_fault_ = f.kind;
    if (job_open_ && (stage == FaultStage::kItem || stage == FaultStage::kFinish)) halted_ = true;
  }
}

bool VirtualPrinter::FaultActive(FaultKind kind) const {
  return std::any_of(active_.begin(), active_.end(),
                     [&](const ActiveFault& f) { return f.kind == kind; });
}

void VirtualPrinter::MarkReported(FaultKind kind) {
  for (ActiveFault& f : active_)
    if (f.kind == kind) f.reported = true;
}

void VirtualPrinter::MarkAllReported() {
  for (ActiveFault& f : active_) f.reported = true;
}

void VirtualPrinter::ClearReportedFaults() {
  std::erase_if(active_, [](const ActiveFault& f) { return f.reported; });
}

std::vector<FaultKind> VirtualPrinter::ActiveFaults() const {
  std::vector<FaultKind> kinds;
  for (const ActiveFault& f : active_) kinds.push_back(f.kind);
  return kinds;
}

// ---- jobs and printing -----------------------------------------------------------------

void VirtualPrinter::BeginJob(int material, int cut) {
  FinishJob();
  VirtualJob j;
  j.material = material;
  j.cut = cut;
  jobs_.push_back(std::move(j));
  job_open_ = true;
}

void VirtualPrinter::FinishJob() {
  if (!job_open_) return;
  AdvancePrinting();
  VirtualJob& j = job();
  if (StopDone())
    j.end = JobEnd::kStopped;
  else if (halted_ || job_fault_)
    j.end = JobEnd::kFault;
  else if (FinishDone())
    j.end = JobEnd::kFinished;
  else
    j.end = JobEnd::kAborted;
  j.fault = job_fault_;
  WritePicture(j);
  const auto printed = std::count_if(j.items.begin(), j.items.end(),
                                     [](const VirtualItem& it) { return it.printed; });
  Trace("job-end " + std::to_string(jobs_.size()) + " " + std::string(JobEndName(j.end)) + " " +
        std::to_string(printed));

  job_open_ = false;
  load_.reset();
  buffer_full_ = {};
  queue_.clear();
  printing_ = halted_ = stopping_ = data_ended_ = current_started_ = false;
  polls_pending_ = 0;
  job_fault_.reset();
  ResetJobState();
}

void VirtualPrinter::WritePicture(VirtualJob& j) {
  if (output_dir_.empty()) return;
  if (std::none_of(j.items.begin(), j.items.end(),
                   [](const VirtualItem& it) { return it.printed; }))
    return;
  const std::filesystem::path file =
      output_dir_ / (std::string(info().key) + "-" + std::to_string(index_) + "-job" +
                     std::to_string(jobs_.size()) + ".png");
  std::string error;
  if (WritePng(file, RenderJobTape(j), &error))
    j.picture = file;
  else
    output_error_ = "cannot write " + file.string() + ": " + error;
}

void VirtualPrinter::Commit() {
  VirtualJob& j = job();
  const int b = load_->buffer;
  j.items.push_back(VirtualItem{std::move(load_->image), b, load_->row, false});
  load_.reset();
  buffer_full_[static_cast<std::size_t>(b)] = true;
  queue_.push_back(Queued{static_cast<int>(j.items.size()) - 1, clock_.NowMs()});
  AdvancePrinting();
}

void VirtualPrinter::StartPrinting() {
  printing_ = true;
  print_clock_ = clock_.NowMs();
  AdvancePrinting();
}

void VirtualPrinter::StopPrinting() {
  stopping_ = true;
  polls_pending_ = 1;
  // The item under the head is finished; what waits in the buffers is dropped.
  const std::size_t keep = current_started_ && !halted_ ? 1 : 0;
  while (queue_.size() > keep) {
    const Queued q = queue_.back();
    buffer_full_[static_cast<std::size_t>(job().items[static_cast<std::size_t>(q.item)].buffer)] =
        false;
    queue_.pop_back();
  }
  if (keep == 0) current_started_ = false;
  AdvancePrinting();
}

void VirtualPrinter::EndOfData() {
  data_ended_ = true;
  polls_pending_ = 1;
  TriggerStage(FaultStage::kFinish);
  AdvancePrinting();
}

uint64_t VirtualPrinter::PrintMs(const VirtualItem& item) const {
  const double speed = config_.options.speed_mm_per_s;
  if (speed <= 0) return 0;
  int dots = ItemFeedDots(item.image);
  if (job_open_ && jobs_.back().cut == 2) dots += 2 * kSeparatorDots;
  return static_cast<uint64_t>(std::ceil(dots * 1000.0 / (speed * kDotsPerMm)));
}

void VirtualPrinter::AdvancePrinting() {
  if (!job_open_ || !printing_ || halted_) return;
  const uint64_t now = clock_.NowMs();
  while (!queue_.empty()) {
    const Queued q = queue_.front();
    VirtualItem& item = job().items[static_cast<std::size_t>(q.item)];
    if (!current_started_) {
      if (!stopping_) TriggerStage(FaultStage::kItem, q.item + 1);
      if (halted_) return;
      current_started_ = true;
      current_start_ = std::max(print_clock_, q.committed_at);
    }
    const uint64_t end = current_start_ + PrintMs(item);
    if (end > now) return;
    item.printed = true;
    buffer_full_[static_cast<std::size_t>(item.buffer)] = false;
    print_clock_ = end;
    queue_.pop_front();
    current_started_ = false;
  }
}

std::unique_ptr<VirtualPrinter> MakeVirtualPrinter(const Clock& clock, VirtualPrinterConfig config,
                                                   int index, std::filesystem::path output_dir) {
  if (InfoOf(config.model).generation == 1)
    return MakeFirstGenerationPrinter(clock, std::move(config), index, std::move(output_dir));
  return MakeSecondGenerationPrinter(clock, std::move(config), index, std::move(output_dir));
}

}  // namespace qx
