#include "device/gen1.h"

#include <algorithm>

#include "device/printer_messages.h"

namespace qx {
namespace {

constexpr uint8_t kQueryBusy = 1, kStatus = 4, kCalibration = 5, kSetMaterial = 6,
                  kConsumables = 7, kClose = 11, kStart = 12, kStop = 13;
constexpr uint8_t kBusyState = 12, kMaterialAccepted = 12, kEndedState = 16;
// Buffer codes of a status reply: which buffers are free.
constexpr uint8_t kBuffer0Free = 1, kBuffer1Free = 10, kBothFree = 11;
constexpr uint8_t kHeaderCode = 20, kDataCode = 21, kEndCode = 22;

std::string_view ConsumablesFault(uint8_t state) {
  switch (state) {
    case 2: return pmsg::kNoRibbonCassette1;
    case 4: return pmsg::kNoRibbon1;
    case 8: return pmsg::kCoverOpen1;
    default: return {};
  }
}

// Message for a state that ends the job while printing; empty for "still printing".
std::string_view FinalStateText(uint8_t state) {
  switch (state) {
    case 0: return pmsg::kPrintFinished;
    case 2:
    case 4: return pmsg::kRibbonUsedUp1;
    case 8: return pmsg::kCoverOpened1;
    case 16: return pmsg::kPrintStopped;
    default: return {};
  }
}

}  // namespace

bool Gen1Printer::Fail(std::string_view message) {
  CloseDevice(t_, d_);
  if (!message.empty()) ui_.Message(message, pmsg::kInfo);
  return false;
}

void Gen1Printer::PutCommand(uint8_t code) {
  msg_ = {};
  msg_[0] = 0x01;
  msg_[1] = code;
  msg_[3] = code;
}

bool Gen1Printer::Transact(uint8_t code, bool quiet) {
  PutCommand(code);
  if (t_.BulkWrite(d_.handle, msg_.data(), 4, kCommandWriteMs) < 0)
    return Fail(quiet ? std::string_view{} : pmsg::kSendError);
  if (t_.BulkRead(d_.handle, reply_.data(), 16, kCommandReadMs) < 0)
    return Fail(quiet ? std::string_view{} : pmsg::kReceiveError);
  state_ = reply_[0];
  buffer_ = reply_[1];
  if (code == kStatus) NoteBuffers();
  return true;
}

bool Gen1Printer::Command(uint8_t code) { return Transact(code, false); }

void Gen1Printer::NoteBuffers() {
  // A job the printer has ended may have had its buffers emptied without being printed.
  if (state_ == kEndedState) markers_.StopTrusting();
  if (buffer_ == kBuffer0Free || buffer_ == kBothFree) markers_.BufferFree(0);
  if (buffer_ == kBuffer1Free || buffer_ == kBothFree) markers_.BufferFree(1);
}

bool Gen1Printer::Stop() {
  // The poll before the stop may fail without ending anything: the stop command follows
  // and shows a link that is gone.
  PutCommand(kStatus);
  if (t_.BulkWrite(d_.handle, msg_.data(), 4, kCommandWriteMs) >= 0 &&
      t_.BulkRead(d_.handle, reply_.data(), 16, kCommandReadMs) >= 0) {
    state_ = reply_[0];
    buffer_ = reply_[1];
    NoteBuffers();
  }
  markers_.StopTrusting();
  return Command(kStop);
}

// The status poll: a failure closes the device without a message.
bool Gen1Printer::Status() { return Transact(kStatus, true); }

bool Gen1Printer::SetMaterial(uint8_t material_code, uint8_t cut_code) {
  PutCommand(kSetMaterial);
  msg_[4] = static_cast<uint8_t>((material_code << 4) | (cut_code & 0x0F));
  // Here the message comes before the device is closed.
  auto fail = [this](std::string_view message) {
    ui_.Message(message, pmsg::kInfo);
    CloseDevice(t_, d_);
    return false;
  };
  if (t_.BulkWrite(d_.handle, msg_.data(), 5, kCommandWriteMs) < 0)
    return fail(pmsg::kMaterialWriteError);
  if (t_.BulkRead(d_.handle, reply_.data(), 16, kCommandReadMs) < 0)
    return fail(pmsg::kMaterialReadError);
  if (reply_[0] != kMaterialAccepted) return fail(pmsg::kMaterialRefused);
  return true;
}

bool Gen1Printer::Open(uint8_t material_code, uint8_t cut_code) {
  if (!Command(kQueryBusy)) return false;
  if (state_ == kBusyState) return Fail(pmsg::kBusy1);
  if (!Command(kCalibration)) return false;
  job_.calibration.TubeCalibration = state_;
  job_.calibration.LabelCalibration = buffer_;
  if (!Command(kConsumables)) return false;
  if (std::string_view fault = ConsumablesFault(state_); !fault.empty()) {
    ui_.Message(fault, pmsg::kInfo);
    // The job ends here; the device is closed so that the next job can claim it.
    if (Command(kClose)) CloseDevice(t_, d_);
    return false;
  }
  return SetMaterial(material_code, cut_code);
}

bool Gen1Printer::Exchange(int length) {
  if (t_.BulkWrite(d_.handle, msg_.data(), length, kImageMs) < 0 ||
      t_.BulkRead(d_.handle, reply_.data(), 16, kImageMs) < 0)
    return Fail({});
  state_ = reply_[0];
  buffer_ = reply_[1];
  return true;
}

bool Gen1Printer::ExchangeWithRetry(int length, uint32_t pause_ms) {
  if (Exchange(length)) return true;
  ui_.PumpWait(pause_ms);
  if (!ReopenDevice(t_, d_, ui_)) return false;
  if (Exchange(length)) return true;
  return Fail(pmsg::kLinkBroken);
}

// A state that ends the job: shows it, closes the printer's job with command 11 and the
// device. `result` tells whether the job ended as the printer finished it.
bool Gen1Printer::FinalState(bool& result, bool job_complete) {
  std::string_view text = FinalStateText(state_);
  if (text.empty()) return false;
  // Judged by the state the poll showed: the reply to the closing command says nothing
  // of how the job ended. "Finished" before every item was sent, after a stop, or while a
  // buffer still holds a marker is a job that ended early.
  result = state_ == 0 && job_complete && !markers_.next_may_be_partial();
  if (state_ == 0 && !result) text = pmsg::kPrintStopped;
  ui_.Message(text, pmsg::kInfo);
  if (Command(kClose)) CloseDevice(t_, d_);
  return true;
}

bool Gen1Printer::WaitBuffer() {
  bool stop_sent = false;
  uint32_t waited_after_stop = 0;
  for (;;) {
    ui_.WaitTick();
    if (job_.StopRequested) {
      job_.StopRequested = false;
      if (!Stop()) return false;
      stop_sent = true;
    }
    if (!Status()) {
      ui_.PumpWait(7000);
      if (!ReopenDevice(t_, d_, ui_)) return false;
      if (!Status()) return Fail(pmsg::kLinkBroken);
    }
    // While waiting for a buffer every final state ends the job, "finished" included.
    if (bool finished = false; FinalState(finished, false)) return false;
    if (!stop_sent) {
      if (buffer_ == 1 || buffer_ == 11) {
        job_.BufferIndex = 0;
        return true;
      }
      if (buffer_ == 10) {
        job_.BufferIndex = 1;
        return true;
      }
    } else if ((waited_after_stop += 50) >= kStopGraceMs) {
      // A stopped printer that never reports the end of its job must not hold the window.
      return Fail(pmsg::kNoResponse);
    }
  }
}

bool Gen1Printer::SendSegment(const ItemImage& item) {
  if (!job_.FirstSegment && !WaitBuffer()) return false;
  const uint8_t buffer_bit = job_.BufferIndex ? 0x80 : 0x00;

  // Header: the unassigned last byte goes as 0, not as what the buffer held.
  msg_ = {};
  msg_[0] = 0x01;
  msg_[1] = buffer_bit;
  msg_[3] = kHeaderCode;
  const std::array<uint8_t, 18> header = item.HeaderBytes(kFirstGenerationPrinter);
  std::copy(header.begin(), header.end(), msg_.begin() + 4);
  if (!ExchangeWithRetry(23, 6000)) return false;

  // Data: 60 image bytes per message; bytes past the image's end go as zeros.
  const std::size_t n = item.columns.size();
  for (std::size_t block = 0; block * kBlockBytes < n; ++block) {
    msg_ = {};
    msg_[0] = 0x01;
    msg_[1] = static_cast<uint8_t>(((block >> 8) & 0x7F) | buffer_bit);
    msg_[2] = static_cast<uint8_t>(block & 0xFF);
    msg_[3] = kDataCode;
    const std::size_t from = block * kBlockBytes;
    const std::size_t count = std::min<std::size_t>(kBlockBytes, n - from);
    std::copy_n(item.columns.begin() + static_cast<std::ptrdiff_t>(from), count, msg_.begin() + 4);
    if (!ExchangeWithRetry(64, 7000)) return false;
  }

  // The end message hands the marker over: from here it may be printed.
  msg_ = {};
  msg_[0] = 0x01;
  msg_[1] = buffer_bit;
  msg_[3] = kEndCode;
  markers_.HandedOver(job_.BufferIndex);
  if (!ExchangeWithRetry(4, 6000)) return false;

  if (job_.FirstSegment) {
    if (!Command(kStart)) return false;
    job_.FirstSegment = false;
  }
  return true;
}

bool Gen1Printer::WaitFinish() {
  bool stop_sent = false;
  uint32_t waited_after_stop = 0;
  for (;;) {
    ui_.WaitTick();
    if (job_.StopRequested) {
      if (!Stop()) return false;
      job_.StopRequested = false;
      stop_sent = true;
    }
    // A printer lost while the job waits for it ends the job with a message.
    if (!Status()) return Fail(pmsg::kLinkBroken);
    if (bool finished = false; FinalState(finished, !stop_sent)) return finished;
    if (stop_sent && (waited_after_stop += 50) >= kStopGraceMs) return Fail(pmsg::kNoResponse);
  }
}

}  // namespace qx
