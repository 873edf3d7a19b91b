#include "device/virtual/virtual_printer.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

namespace {

// The width in dots of the item `it` on a job's tape with cut code `cut`.
int64_t TapeDots(const ItemImage& it, int cut) {
  return ItemFeedDots(it) + (cut == 2 ? 2 * kSeparatorDots : 0);
}

// Fills the block of dot column `x`, head rows [r0, r1), with palette index `index`.
void FillDots(IndexedImage& img, int scale, int x, int r0, int r1, uint8_t index) {
  for (int y = r0 * scale; y < r1 * scale; ++y)
    std::memset(img.Row(y) + static_cast<std::ptrdiff_t>(x) * scale, index,
                static_cast<std::size_t>(scale));
}

}  // namespace

void RenderTapePage(std::span<const ItemImage> printed, int cut, IndexedImage& img, int scale) {
  scale = std::max(scale, 1);
  const bool separator = cut == 2;
  std::vector<ItemImage> adjusted;
  if (separator) {
    // The separator dots are drawn over blank feed, so they go into the blanks here.
    adjusted.assign(printed.begin(), printed.end());
    for (ItemImage& im : adjusted) {
      im.LeadBlank = static_cast<uint16_t>(std::min(im.LeadBlank + kSeparatorDots, 0xFFFF));
      im.TrailBlank = static_cast<uint16_t>(std::min(im.TrailBlank + kSeparatorDots, 0xFFFF));
    }
  }
  const std::span<const ItemImage> shown = separator ? adjusted : printed;
  // One row as RenderStrip draws it, however long.
  if (scale == 1 && !shown.empty()) {
    // Straight into the picture's rows, whose storage a printer reuses page after page.
    img.width = static_cast<int>(StripDots(shown));
    img.height = kHeadDots;
    img.palette = TapePalette();
    img.pixels.resize(static_cast<std::size_t>(img.width) * kHeadDots);
    DrawStripLines(shown, img.pixels.data());
  } else {
    TapeRows one = WrapRows(shown, scale);
    one.first = {0, shown.size()};
    one.width = static_cast<int>(std::max<int64_t>(StripDots(shown), 1) * one.scale);
    img = RenderRows(shown, one);
  }

  // The cut marks, in a colour of their own after the tape's.
  const auto half_cut = static_cast<uint8_t>(img.palette.size());
  img.palette.push_back(kTapeHalfCut);
  auto column = [&](int x, const std::array<uint8_t, kColumnBytes>& pattern) {
    for (int r = 0; r < kHeadDots; ++r) {
      const bool dot = (pattern[static_cast<std::size_t>(r / 8)] >> (r % 8)) & 1;
      FillDots(img, scale, x, r, r + 1, dot ? kDotIndex : kBlankIndex);
    }
  };
  int x = 0;
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const ItemImage& it = shown[n];
    if (n > 0) {
      if (cut == 1) {
        for (int r = 0; r < kHeadDots; r += 4)
          FillDots(img, scale, x, r, std::min(r + 4, kHeadDots),
                   (r / 4) % 2 == 0 ? half_cut : uint8_t{kBlankIndex});
      } else if (separator) {
        column(x, it.SeparatorColumn);
      }
      ++x;
    }
    const int feed = ItemFeedDots(it);
    if (separator) {
      for (int d = 0; d < kSeparatorDots; ++d) {
        column(x + d, it.SeparatorColumn);
        column(x + feed - 1 - d, it.SeparatorColumn);
      }
    }
    x += feed;
  }

  // Renumbers the colours in the order they first appear.
  std::array<int, 256> renumbered;
  renumbered.fill(-1);
  std::vector<Rgb> palette;
  for (uint8_t& px : img.pixels) {
    int& to = renumbered[px];
    if (to < 0) {
      to = static_cast<int>(palette.size());
      palette.push_back(img.palette[px]);
    }
    px = static_cast<uint8_t>(to);
  }
  img.palette = std::move(palette);
}

IndexedImage RenderTapePage(std::span<const ItemImage> printed, int cut, int scale) {
  IndexedImage img;
  RenderTapePage(printed, cut, img, scale);
  return img;
}

RgbImage RenderJobTape(const VirtualJob& job, int scale) {
  std::vector<ItemImage> printed;
  for (const VirtualItem& it : job.items)
    if (it.printed) printed.push_back(it.image);
  return RenderTapePage(printed, job.cut, scale).ToRgb();
}

VirtualPrinter::VirtualPrinter(const Clock& clock, VirtualPrinterConfig config, int index,
                               std::filesystem::path output_dir, VirtualRecords records)
    : clock_(clock),
      config_(std::move(config)),
      index_(index),
      output_dir_(std::move(output_dir)),
      records_(records) {
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
    // Each line reaches the file at once (one write), for those who read it meanwhile.
    line += '\n';
    trace_file_.write(line.data(), static_cast<std::streamsize>(line.size()));
    trace_file_.flush();
    line.pop_back();
  }
  if (records_ == VirtualRecords::kKept) trace_.push_back(std::move(line));
}

bool VirtualPrinter::Violation(std::string text) {
  if (pending_error_.empty()) {
    if (records_ == VirtualRecords::kKept) violations_.push_back(text);
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
  // Without records only the job running is kept.
  if (records_ == VirtualRecords::kFilesOnly) jobs_.clear();
  VirtualJob j;
  j.material = material;
  j.cut = cut;
  j.number = ++job_count_;
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
  WritePage(j);
  Trace("job-end " + std::to_string(j.number) + " " + std::string(JobEndName(j.end)) + " " +
        std::to_string(j.printed));

  job_open_ = false;
  load_.reset();
  buffer_full_ = {};
  queue_.clear();
  page_.clear();
  page_dots_ = 0;
  printing_ = halted_ = stopping_ = data_ended_ = current_started_ = false;
  polls_pending_ = 0;
  job_fault_.reset();
  ResetJobState();
}

void VirtualPrinter::WritePage(VirtualJob& j) {
  if (page_.empty()) return;
  if (!output_dir_.empty()) {
    const std::string name = std::string(info().key) + "-" + std::to_string(index_) + "-job" +
                             std::to_string(j.number) +
                             (j.pages == 0 ? std::string() : "-" + std::to_string(j.pages + 1));
    const std::filesystem::path file = output_dir_ / (name + ".png");
    // Written under a temporary name and renamed: a page is there whole or not at all.
    // Not flushed to disk: a printer writing page after page must not wait for the disk.
    const std::filesystem::path part = output_dir_ / ("." + name + ".png.part");
    RenderTapePage(page_, j.cut, page_image_);
    std::string error;
    std::FILE* f = std::fopen(part.c_str(), "wb");
    bool ok = f && WritePng(f, page_image_, &error);
    if (!f) error = std::strerror(errno);
    if (f && std::fclose(f) != 0 && ok) ok = false, error = std::strerror(errno);
    std::error_code ec;
    if (ok) std::filesystem::rename(part, file, ec);
    if (ok && ec) ok = false, error = ec.message();
    if (ok) {
      if (j.pages == 0) j.picture = file;
      ++j.pages;
    } else {
      if (f) std::filesystem::remove(part, ec);
      output_error_ = "cannot write " + file.string() + ": " + error;
    }
  }
  page_.clear();
  page_dots_ = 0;
}

void VirtualPrinter::Printed(Queued& q) {
  VirtualJob& j = job();
  ++j.printed;
  if (records_ == VirtualRecords::kKept) j.items[static_cast<std::size_t>(q.item)].printed = true;
  if (output_dir_.empty()) return;
  // A page takes items while it stays within kTapePageDots; an item longer than that is a
  // page of its own. Items are one boundary dot apart.
  const int64_t dots = TapeDots(q.image, j.cut);
  if (!page_.empty() && page_dots_ + 1 + dots > kTapePageDots) WritePage(j);
  page_dots_ += (page_.empty() ? 0 : 1) + dots;
  page_.push_back(std::move(q.image));
}

void VirtualPrinter::Commit() {
  VirtualJob& j = job();
  const int b = load_->buffer;
  const int item = j.loaded++;
  if (records_ == VirtualRecords::kKept)
    j.items.push_back(VirtualItem{load_->image, b, load_->row, false});
  queue_.push_back(Queued{item, b, clock_.NowMs(), std::move(load_->image)});
  load_.reset();
  buffer_full_[static_cast<std::size_t>(b)] = true;
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
    buffer_full_[static_cast<std::size_t>(queue_.back().buffer)] = false;
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

uint64_t VirtualPrinter::PrintMs(const ItemImage& image) const {
  const double speed = config_.options.speed_mm_per_s;
  if (speed <= 0) return 0;
  int dots = ItemFeedDots(image);
  if (job_open_ && jobs_.back().cut == 2) dots += 2 * kSeparatorDots;
  return static_cast<uint64_t>(std::ceil(dots * 1000.0 / (speed * kDotsPerMm)));
}

void VirtualPrinter::AdvancePrinting() {
  if (!job_open_ || !printing_ || halted_) return;
  const uint64_t now = clock_.NowMs();
  while (!queue_.empty()) {
    Queued& q = queue_.front();
    if (!current_started_) {
      if (!stopping_) TriggerStage(FaultStage::kItem, q.item + 1);
      if (halted_) return;
      current_started_ = true;
      current_start_ = std::max(print_clock_, q.committed_at);
    }
    const uint64_t end = current_start_ + PrintMs(q.image);
    if (end > now) return;
    buffer_full_[static_cast<std::size_t>(q.buffer)] = false;
    print_clock_ = end;
    current_started_ = false;
    Printed(q);
    queue_.pop_front();
  }
}

std::unique_ptr<VirtualPrinter> MakeVirtualPrinter(const Clock& clock, VirtualPrinterConfig config,
                                                   int index, std::filesystem::path output_dir,
                                                   VirtualRecords records) {
  if (InfoOf(config.model).generation == 1)
    return MakeFirstGenerationPrinter(clock, std::move(config), index, std::move(output_dir),
                                      records);
  return MakeSecondGenerationPrinter(clock, std::move(config), index, std::move(output_dir),
                                     records);
}

}  // namespace qx
