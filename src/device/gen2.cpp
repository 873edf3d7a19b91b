#include "device/gen2.h"

#include <algorithm>

#include "device/printer_messages.h"

namespace qx {

using namespace gen2;

bool Gen2Printer::CommFail(std::string_view message) {
  CloseDevice(t_, d_);
  if (!message.empty()) ui_.Message(message, pmsg::kInfo);
  return false;
}

bool Gen2Printer::Request(uint8_t code, uint16_t value) {
  return t_.VendorReq(d_.handle, code, value, status_, kTimeoutMs) >= 0;
}

bool Gen2Printer::Poll() {
  if (!Request(kPoll, 0)) return false;
  NoteBuffers();
  return true;
}

void Gen2Printer::NoteBuffers() {
  if (markers_.handed_over() == 0) return;  // the job's set-up and start
  // A printer that ended the job before the end of data may have emptied its buffers
  // without printing them.
  if (!(WordA() & kJobActive) && !end_of_data_sent_) markers_.StopTrusting();
  if (!(WordB() & kBuffer0Full)) markers_.BufferFree(0);
  if (!(WordB() & kBuffer1Full)) markers_.BufferFree(1);
}

bool Gen2Printer::Stop() {
  Poll();  // a failure shows with the stop request
  markers_.StopTrusting();
  return Request(kStop, 0);
}

bool Gen2Printer::PollWithRetry(std::string_view final_message) {
  if (Poll()) return true;
  if (!ReopenDevice(t_, d_, ui_)) return false;
  if (Poll()) return true;
  return CommFail(final_message);
}

bool Gen2Printer::ReadyWait(int limit, std::string_view poll_failed, std::string_view timeout) {
  int examined = 0;
  while (!(WordB() & kDone)) {
    ui_.PumpWait(500);
    if (!Poll()) return CommFail(poll_failed);
    if (examined++ == limit) return CommFail(timeout);  // the last reply is not looked at
  }
  return true;
}

// After a stop: polls until the printer's job-active bit clears. A printer that never
// clears it is given up after a while rather than holding the window for ever.
bool Gen2Printer::WaitJobEnd(uint32_t pause_ms, std::string_view poll_failed) {
  uint32_t waited = 0;
  do {
    if (waited >= kStopGraceMs) return CommFail(pmsg::kNoResponse);
    ui_.PumpWait(pause_ms);
    waited += pause_ms;
    if (!Poll()) return CommFail(poll_failed);
  } while (WordA() & kJobActive);
  return true;
}

bool Gen2Printer::Open(uint8_t material_code, uint8_t cut_code) {
  if (!Request(kSetUp, static_cast<uint16_t>(material_code * 256 + cut_code)))
    return CommFail(pmsg::kCommError);
  job_.calibration.TubeCalibration = status_[4];
  job_.calibration.LabelCalibration = status_[6];
  if (!ReadyWait(8, pmsg::kCommError, pmsg::kNoResponse)) return false;
  const uint16_t a = WordA(), b = WordB();
  if (a & kBusy) return CommFail(pmsg::kBusy2);
  if (b & kNoRibbonCassette) return CommFail(pmsg::kNoRibbonCassette2);
  if (b & kRibbonZero) return CommFail(pmsg::kRibbonEmpty2);
  if (b & kNoLabelCassette) return CommFail(pmsg::kNoLabelCassette);
  if (b & kLabelsOut) return CommFail(pmsg::kLabelsUsedUp);
  if (a & kCoverOpen) return CommFail(pmsg::kCoverNotClosed2);
  if (a & kMaterialOut) return CommFail(pmsg::kNoMaterial);
  return true;
}

bool Gen2Printer::StartJob(uint8_t density) {
  const auto value = static_cast<uint16_t>(density * 256);
  if (!Request(kDensity, value)) return CommFail(pmsg::kCommError);
  if (!ReadyWait(5, pmsg::kCommError, pmsg::kExchangeTimeout)) return false;
  if (!(WordB() & kAccepted)) return CommFail(pmsg::kExchangeError);
  if (!Request(kStartJob, value)) return CommFail(pmsg::kCommError);
  if (!ReadyWait(18, pmsg::kCommError, pmsg::kFeedNoResponse)) return false;
  const uint16_t a = WordA();
  std::string_view fault;
  if (a & kCoverOpen)
    fault = pmsg::kCoverOpenedAtStart;
  else if (a & kMaterialOut)
    fault = pmsg::kNoMaterial;
  else if (a & kNoRibbon)
    fault = pmsg::kNoRibbonSensed;
  else if (!(a & kJobActive))
    fault = pmsg::kFeedFailed;
  if (fault.empty()) return true;
  ui_.Message(fault, pmsg::kInfo);
  return false;
}

bool Gen2Printer::WaitBuffer() {
  for (;;) {
    ui_.WaitTick();
    if (job_.StopRequested) {
      ended_early_ = true;
      if (!Stop()) return CommFail(pmsg::kCommError);
      job_.StopRequested = false;
      if (!WaitJobEnd(100, pmsg::kCommError)) return false;
      CloseDevice(t_, d_);
      return false;
    }
    if (!PollWithRetry(pmsg::kCommError)) return false;
    const uint16_t a = WordA(), b = WordB();
    if (b & kRibbonZero) return CommFail(pmsg::kRibbonZero);
    if (a & kNoRibbon) return CommFail(pmsg::kRibbonUsedUp2);
    if (b & kLabelsOut) return CommFail(pmsg::kLabelsUsedUp);
    if (a & kCoverOpen) return CommFail(pmsg::kCoverOpened2);
    if (a & kMaterialOut) return CommFail(pmsg::kConsumablesUsedUp);
    // A cassette taken out while printing halts the printer: told, never waited on.
    if (b & kNoRibbonCassette) return CommFail(pmsg::kNoRibbonCassette2);
    if (b & kNoLabelCassette) return CommFail(pmsg::kNoLabelCassette);
    if (!(a & kJobActive)) return CommFail({});
    const uint16_t mine = job_.BufferIndex == 0 ? kBuffer0Full : kBuffer1Full;
    if (!(b & mine)) return true;
  }
}

bool Gen2Printer::Exchange() {
  uint16_t sum = 0;
  for (int i = 4; i < kMessageBytes; ++i) sum = static_cast<uint16_t>(sum + msg_[static_cast<std::size_t>(i)]);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (t_.BulkWrite(d_.handle, msg_.data(), kMessageBytes, kTimeoutMs) < 0 ||
        t_.BulkRead(d_.handle, reply_.data(), 16, kTimeoutMs) < 0)
      return CommFail({});
    if ((reply_[1] | (reply_[2] << 8)) == sum) return true;
  }
  return CommFail({});
}

bool Gen2Printer::ExchangeWithRetry() {
  if (Exchange()) return true;
  if (!ReopenDevice(t_, d_, ui_)) return false;
  if (Exchange()) return true;
  ui_.Message(pmsg::kLinkBroken, pmsg::kInfo);
  return false;
}

bool Gen2Printer::SendSegment(const ItemImage& item, uint8_t row_number) {
  if (!WaitBuffer()) return false;
  const std::vector<uint8_t>& image = item.columns;
  const std::size_t n = image.size();
  const uint8_t buffer_bits = static_cast<uint8_t>(job_.BufferIndex * 0x40);

  // Bytes past the image's end go as zeros, not as what an earlier item left there.
  msg_ = {};
  msg_[0] = 0x01;
  msg_[1] = buffer_bits;
  msg_[4] = 0x01;
  msg_[7] = row_number;
  const std::array<uint8_t, 18> header = item.HeaderBytes("Kelmor QB20");
  std::copy(header.begin(), header.end(), msg_.begin() + 8);
  std::copy_n(image.begin(), std::min<std::size_t>(n, kFirstPayload), msg_.begin() + 26);
  if (!ExchangeWithRetry()) return false;

  for (std::size_t k = 1; kFirstPayload + kPayload * (k - 1) < n; ++k) {
    const std::size_t from = kFirstPayload + kPayload * (k - 1);
    const auto offset = static_cast<uint16_t>(kPayload * k);
    msg_ = {};
    msg_[0] = 0x01;
    msg_[1] = buffer_bits;
    msg_[2] = static_cast<uint8_t>(offset & 0xFF);
    msg_[3] = static_cast<uint8_t>(offset >> 8);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from),
                std::min<std::size_t>(kPayload, n - from), msg_.begin() + 4);
    if (!ExchangeWithRetry()) return false;
  }

  // The print request hands the marker over: from here it may be printed.
  markers_.HandedOver(job_.BufferIndex);
  if (!Request(job_.BufferIndex == 0 ? kPrintBuffer0 : kPrintBuffer1, 0))
    return CommFail(pmsg::kLinkBroken);
  job_.BufferIndex ^= 1;
  return true;
}

bool Gen2Printer::FinishJob() {
  bool end_sent = false;
  for (;;) {
    ui_.PumpWait(200);
    if (job_.StopRequested) {
      ended_early_ = true;
      if (!Stop()) return CommFail(pmsg::kCommError);
      job_.StopRequested = false;
      return WaitJobEnd(500, pmsg::kLinkBroken);
    }
    if (!PollWithRetry(pmsg::kLinkBroken)) return false;
    const uint16_t a = WordA(), b = WordB();
    std::string_view ended;
    if (b & kRibbonZero)
      ended = pmsg::kRibbonZero;
    else if (a & kNoRibbon)
      ended = pmsg::kRibbonUsedUp2;
    else if (b & kLabelsOut)
      return CommFail(pmsg::kLabelsUsedUp);
    else if (a & kCoverOpen)
      ended = pmsg::kCoverOpened2;
    else if (a & kMaterialOut)
      ended = pmsg::kConsumablesUsedUp;
    else if (b & kNoRibbonCassette)
      ended = pmsg::kNoRibbonCassette2;
    else if (b & kNoLabelCassette)
      ended = pmsg::kNoLabelCassette;
    else if (!(a & kJobActive)) {
      // The printer has finished; a marker still in a buffer was not printed.
      if (markers_.next_may_be_partial()) ended_early_ = true;
      return true;
    }
    if (!ended.empty()) {
      ended_early_ = true;
      ui_.Message(ended, pmsg::kInfo);
      return true;
    }
    if (end_sent || (b & (kBuffer0Full | kBuffer1Full))) continue;
    end_of_data_sent_ = true;
    if (!Request(kEndOfData, 0)) return CommFail(pmsg::kLinkBroken);
    end_sent = true;
  }
}

bool Gen2Printer::Reset() {
  if (!Request(kReset, 0)) return CommFail(pmsg::kLinkBroken);
  for (int pass = 0; pass < 26; ++pass) {
    ui_.PumpWait(200);
    if (!PollWithRetry(pmsg::kLinkBroken)) return false;
    if (!(WordA() & kBusy)) {
      CloseDevice(t_, d_);
      // A job that did not print everything has ended, not finished.
      ui_.Message(ended_early_ ? pmsg::kPrintStopped : pmsg::kPrintFinished, pmsg::kInfo);
      return true;
    }
  }
  return CommFail(pmsg::kResetNoResponse);
}

}  // namespace qx
