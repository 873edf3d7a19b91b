// The first printer generation ("Kelmor QA11"): bulk messages of 4, 5, 23 and 64 bytes,
// each answered by a 16-byte reply whose byte 0 is the state and byte 1 the buffer code.
#include <algorithm>

#include "device/virtual/generations.h"

namespace qx {
namespace {

constexpr uint8_t kCmdBusyQuery = 1;
constexpr uint8_t kCmdStatus = 4;
constexpr uint8_t kCmdCalibration = 5;
constexpr uint8_t kCmdSetUp = 6;
constexpr uint8_t kCmdConsumables = 7;
constexpr uint8_t kCmdClose = 11;
constexpr uint8_t kCmdStart = 12;
constexpr uint8_t kCmdStop = 13;
constexpr uint8_t kCmdEnd = 14;

constexpr uint8_t kHeaderTag = 20;
constexpr uint8_t kDataTag = 21;
constexpr uint8_t kEndTag = 22;
constexpr uint8_t kBuffer1 = 0x80;

constexpr int kHeaderLength = 23;
constexpr int kDataLength = 64;
constexpr int kBlockBytes = 60;

constexpr uint8_t kStateIdle = 0;  // also "finished" once the job has ended
constexpr uint8_t kStatePrinting = 1;
constexpr uint8_t kStateBusy = 12;
constexpr uint8_t kStateSetUpAccepted = 12;
constexpr uint8_t kStateEnded = 16;

// The state code a fault shows in the reply to command 7 (consumables) or 4 (status).
std::optional<uint8_t> ConsumablesCode(FaultKind k) {
  switch (k) {
    case FaultKind::kNoRibbonCassette:
      return 2;
    case FaultKind::kNoRibbon:
    case FaultKind::kRibbonOut:
      return 4;
    case FaultKind::kCoverOpen:
      return 8;
    default:
      return std::nullopt;
  }
}

std::optional<uint8_t> StatusCode(FaultKind k) {
  if (k == FaultKind::kEnded) return kStateEnded;
  if (k == FaultKind::kFinished) return kStateIdle;
  return ConsumablesCode(k);
}

std::string Hex2(uint8_t b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

class FirstGenerationPrinter final : public VirtualPrinter {
 public:
  FirstGenerationPrinter(const Clock& clock, VirtualPrinterConfig config, int index,
                         std::filesystem::path output_dir, VirtualRecords records)
      : VirtualPrinter(clock, std::move(config), index, std::move(output_dir), records) {}

 private:
  enum class Phase { kNone, kSetUp, kPrinting, kEnding };

  bool IsImageMessage(std::span<const uint8_t> m) const override {
    if (m.size() == kHeaderLength) return m[3] == kHeaderTag;
    if (m.size() == kDataLength) return m[3] == kDataTag;
    return m.size() == 4 && m[3] == kEndTag;
  }

  int ItemStartedBy(std::span<const uint8_t> m) const override {
    if (!job_open_ || m.size() != kHeaderLength || m[0] != 1 || m[3] != kHeaderTag) return 0;
    return jobs().back().loaded + 1;
  }

  void ResetJobState() override { phase_ = Phase::kNone; }

  void ReplyToResend(std::span<const uint8_t>) override { Reply(CurrentState(false)); }

  bool HandleVendor(uint8_t request, uint16_t, StatusBlock&) override {
    return Violation("vendor request " + std::to_string(request) +
                     " to a first-generation printer (it takes bulk messages only)");
  }

  bool HandleWrite(std::span<const uint8_t> m) override {
    if (m.size() == 4 || m.size() == 5) return Short(m);
    if (m.size() == kHeaderLength) return Header(m);
    if (m.size() == kDataLength) return Data(m);
    return Violation("message of " + std::to_string(m.size()) + " bytes (expected 4, 5, 23 or 64)");
  }

  // ---- replies ----

  uint8_t BufferCode() const {
    const bool free0 = !BufferBusy(0), free1 = !BufferBusy(1);
    if (free0 && free1) return 11;
    if (free0) return 1;
    if (free1) return 10;
    return 0;
  }

  void Reply(uint8_t state) {
    std::array<uint8_t, 16> r{};
    r[0] = state;
    r[1] = BufferCode();
    SetReply(r);
  }

  // The state a status poll shows now; `poll` marks a fault shown as reported.
  uint8_t CurrentState(bool poll) {
    AdvancePrinting();
    for (const FaultKind k : ActiveFaults()) {
      const auto code = StatusCode(k);
      if (!code) continue;
      if (poll) MarkReported(k);
      return *code;
    }
    if (StopDone()) return kStateEnded;
    if (phase_ == Phase::kEnding && FinishDone()) return kStateIdle;
    return kStatePrinting;
  }

  // ---- commands and the end message ----

  bool Short(std::span<const uint8_t> m) {
    if (m[0] != 1 || m[2] != 0)
      return Violation("message " + HexOf(m) + " does not start 01 xx 00");
    if (m.size() == 4 && m[3] == kEndTag && (m[1] == 0 || m[1] == kBuffer1)) return End(m);
    if (m[1] != m[3]) return Violation("command message " + HexOf(m) + " has two different codes");
    const uint8_t code = m[1];
    if ((code == kCmdSetUp) != (m.size() == 5))
      return Violation("command " + std::to_string(code) + " of " + std::to_string(m.size()) +
                       " bytes (only command 6 has the fifth byte)");
    if (load_ && code != kCmdBusyQuery && code != kCmdClose)
      return Violation("command " + std::to_string(code) + " while the image for buffer " +
                       std::to_string(load_->buffer) + " is incomplete");
    switch (code) {
      case kCmdBusyQuery:
        FinishJob();  // a new session: a job left open is given up
        ClearReportedFaults();
        if (FaultActive(FaultKind::kBusy)) {
          MarkReported(FaultKind::kBusy);
          Reply(kStateBusy);
        } else {
          Reply(kStateIdle);
        }
        return true;
      case kCmdCalibration: {
        std::array<uint8_t, 16> r{};
        r[0] = options().tube_calibration;
        r[1] = options().label_calibration;
        SetReply(r);
        return true;
      }
      case kCmdConsumables:
        for (const FaultKind k : ActiveFaults()) {
          if (const auto code7 = ConsumablesCode(k)) {
            MarkReported(k);
            Reply(*code7);
            return true;
          }
        }
        Reply(kStateIdle);
        return true;
      case kCmdSetUp:
        return SetUp(m[4]);
      case kCmdStatus:
        if (phase_ != Phase::kPrinting && phase_ != Phase::kEnding)
          return Violation("command 4 (status) before printing started with command 12");
        Reply(CurrentState(true));
        CountPoll();
        return true;
      case kCmdClose:
        FinishJob();
        ClearReportedFaults();
        Reply(kStateIdle);
        return true;
      case kCmdStart:
        if (phase_ == Phase::kNone) return Violation("command 12 without a set-up (command 6)");
        if (phase_ != Phase::kSetUp) return Violation("command 12 sent twice in a job");
        if (job().loaded == 0) return Violation("command 12 before the first image was complete");
        phase_ = Phase::kPrinting;
        StartPrinting();
        Reply(CurrentState(false));
        return true;
      case kCmdStop:
        if (phase_ != Phase::kPrinting && phase_ != Phase::kEnding)
          return Violation("command 13 (stop) before printing started with command 12");
        StopPrinting();
        Reply(CurrentState(false));
        return true;
      case kCmdEnd:
        if (phase_ == Phase::kEnding) return Violation("command 14 sent twice in a job");
        // A job whose every item was refused sends its data end straight after the
        // set-up; the printer takes it as a job that prints nothing and ends it.
        if (phase_ == Phase::kSetUp && job().loaded == 0) {
          phase_ = Phase::kEnding;
          EndOfData();
          Reply(CurrentState(false));
          return true;
        }
        if (phase_ != Phase::kPrinting)
          return Violation("command 14 before printing started with command 12");
        if (stopping()) return Violation("command 14 after a stop (command 13)");
        phase_ = Phase::kEnding;
        EndOfData();
        Reply(CurrentState(false));
        return true;
      default:
        return Violation("unknown command " + std::to_string(code));
    }
  }

  bool SetUp(uint8_t value) {
    const int material = value >> 4, cut = value & 0x0F;
    if (material < 1 || material > 7 || cut > 2)
      return Violation("set-up byte " + Hex2(value) +
                       ": material must be 1 to 7 and cut code 0 to 2");
    BeginJob(material, cut);
    phase_ = Phase::kSetUp;
    TriggerStage(FaultStage::kStart);
    if (FaultActive(FaultKind::kSetupRejected)) {
      MarkReported(FaultKind::kSetupRejected);
      FinishJob();
      Reply(kStateIdle);
      return true;
    }
    Reply(kStateSetUpAccepted);
    return true;
  }

  bool CheckImageAllowed(const char* what) {
    if (phase_ == Phase::kNone)
      return Violation(std::string(what) + " without a set-up (command 6)");
    if (phase_ == Phase::kEnding) return Violation(std::string(what) + " after command 14");
    if (stopping()) return Violation(std::string(what) + " after a stop (command 13)");
    return true;
  }

  bool Header(std::span<const uint8_t> m) {
    if (m[0] != 1 || (m[1] != 0 && m[1] != kBuffer1) || m[2] != 0 || m[3] != kHeaderTag)
      return Violation("header message starts " + HexOf(m.first(4)) + " (expected 01 00|80 00 14)");
    if (m[22] != 0) return Violation("header byte 22 is " + Hex2(m[22]) + " (expected 00)");
    if (!CheckImageAllowed("image header")) return false;
    const int b = m[1] == kBuffer1 ? 1 : 0;
    if (load_)
      return Violation("image header for buffer " + std::to_string(b) +
                       " while the image for buffer " + std::to_string(load_->buffer) +
                       " is incomplete");
    if (phase_ == Phase::kSetUp && job().loaded > 0)
      return Violation("second image before printing started with command 12");
    if (BufferBusy(b))
      return Violation("image header for buffer " + std::to_string(b) + ", which is not free");
    Load l;
    l.buffer = b;
    auto be16 = [&](int at) {
      return static_cast<uint16_t>(m[static_cast<std::size_t>(at)] << 8 |
                                   m[static_cast<std::size_t>(at + 1)]);
    };
    l.image.LeadBlank = be16(4);
    l.image.TrailBlank = be16(6);
    l.image.ColumnCount = be16(8);
    std::copy(m.begin() + 10, m.begin() + 22, l.image.SeparatorColumn.begin());
    const std::size_t n = std::size_t{l.image.ColumnCount} * kColumnBytes;
    l.image.columns.assign(n, 0);
    l.needed = static_cast<int>((n + kBlockBytes - 1) / kBlockBytes);
    load_ = std::move(l);
    Reply(CurrentState(false));
    return true;
  }

  bool Data(std::span<const uint8_t> m) {
    const int b = m[1] & kBuffer1 ? 1 : 0;
    const int block = (m[1] & 0x7F) << 8 | m[2];
    if (m[0] != 1 || m[3] != kDataTag)
      return Violation("data message starts " + HexOf(m.first(4)) + " (expected 01 .. .. 15)");
    if (!CheckImageAllowed("data message")) return false;
    if (!load_)
      return Violation("data block " + std::to_string(block) + " without an image header");
    if (b != load_->buffer)
      return Violation("data block for buffer " + std::to_string(b) +
                       " inside the image for buffer " + std::to_string(load_->buffer));
    if (load_->complete())
      return Violation("data block " + std::to_string(block) +
                       " past the image end (the image has " + std::to_string(load_->needed) +
                       " blocks)");
    if (block != load_->next)
      return Violation("data block " + std::to_string(block) + " out of order (expected " +
                       std::to_string(load_->next) + ")");
    std::vector<uint8_t>& image = load_->image.columns;
    const std::size_t from = std::size_t(block) * kBlockBytes;
    const std::size_t count = std::min<std::size_t>(kBlockBytes, image.size() - from);
    std::copy_n(m.begin() + 4, count, image.begin() + static_cast<std::ptrdiff_t>(from));
    if (std::any_of(m.begin() + 4 + static_cast<std::ptrdiff_t>(count), m.end(),
                    [](uint8_t v) { return v != 0; }))
      return Violation("data block " + std::to_string(block) +
                       " has bytes other than zero past the image end");
    ++load_->next;
    Reply(CurrentState(false));
    return true;
  }

  bool End(std::span<const uint8_t> m) {
    const int b = m[1] == kBuffer1 ? 1 : 0;
    if (!CheckImageAllowed("end message")) return false;
    if (!load_) return Violation("end message without an image header");
    if (b != load_->buffer)
      return Violation("end message for buffer " + std::to_string(b) +
                       " after the image for buffer " + std::to_string(load_->buffer));
    if (!load_->complete())
      return Violation("end message after " + std::to_string(load_->next) + " of " +
                       std::to_string(load_->needed) + " data blocks");
    Commit();
    Reply(CurrentState(false));
    return true;
  }

  static std::string HexOf(std::span<const uint8_t> m) {
    std::string s;
    for (std::size_t i = 0; i < m.size(); ++i) s += (i ? " " : "") + Hex2(m[i]);
    return s;
  }

  Phase phase_ = Phase::kNone;
};

}  // namespace

std::unique_ptr<VirtualPrinter> MakeFirstGenerationPrinter(const Clock& clock,
                                                           VirtualPrinterConfig config, int index,
                                                           std::filesystem::path output_dir,
                                                           VirtualRecords records) {
  return std::make_unique<FirstGenerationPrinter>(clock, std::move(config), index,
                                                  std::move(output_dir), records);
}

}  // namespace qx
