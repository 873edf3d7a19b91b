// The second printer generation ("Kelmor QB20", "Kelmor QB16i"): vendor requests that
// each return the 8-byte status block, and 512-byte image messages whose checksum the
// printer echoes in a 16-byte reply.
#include <algorithm>

#include "device/virtual/generations.h"

namespace qx {
namespace {

constexpr uint8_t kReqStart = 16;
constexpr uint8_t kReqDataEnd = 17;
constexpr uint8_t kReqStop = 18;
constexpr uint8_t kReqPoll = 19;
constexpr uint8_t kReqReset = 20;
constexpr uint8_t kReqPrint0 = 22;
constexpr uint8_t kReqPrint1 = 23;
constexpr uint8_t kReqSetUp = 24;
constexpr uint8_t kReqDensity = 25;

// StatusWordA
constexpr uint16_t kMaterialOut = 0x0040;
constexpr uint16_t kCoverOpen = 0x0100;
constexpr uint16_t kNoRibbon = 0x0200;
constexpr uint16_t kJobActive = 0x0400;
constexpr uint16_t kBusy = 0x1000;
// StatusWordB
constexpr uint16_t kBuffer0Full = 0x0001;
constexpr uint16_t kBuffer1Full = 0x0002;
constexpr uint16_t kNoLabelCassette = 0x0004;
constexpr uint16_t kLabelsOut = 0x0008;
constexpr uint16_t kNoRibbonCassette = 0x0010;
constexpr uint16_t kRibbonOut = 0x0020;
constexpr uint16_t kRequestDone = 0x0040;
constexpr uint16_t kAccepted = 0x0080;

constexpr std::size_t kMessageBytes = 512;
constexpr uint8_t kBuffer1 = 0x40;
constexpr std::size_t kFirstPayload = 486;  // image bytes in the first message
constexpr std::size_t kPayload = 508;       // image bytes in each following message

std::string Hex4(uint16_t v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[v >> 12], kDigits[(v >> 8) & 0xF], kDigits[(v >> 4) & 0xF], kDigits[v & 0xF]};
}

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

class SecondGenerationPrinter final : public VirtualPrinter {
 public:
  SecondGenerationPrinter(const Clock& clock, VirtualPrinterConfig config, int index,
                          std::filesystem::path output_dir, VirtualRecords records)
      : VirtualPrinter(clock, std::move(config), index, std::move(output_dir), records) {}

 private:
  enum class Phase { kNone, kSetUp, kDensity, kStarted };

  bool IsImageMessage(std::span<const uint8_t> m) const override {
    return m.size() == kMessageBytes;
  }

  int ItemStartedBy(std::span<const uint8_t> m) const override {
    if (!job_open_ || m.size() != kMessageBytes || m[0] != 1 || m[2] != 0 || m[3] != 0) return 0;
    return jobs().back().loaded + 1;
  }

  void ResetJobState() override {
    phase_ = Phase::kNone;
    accepted_ = false;
    active_ = false;
    density_value_ = 0;
  }

  void ReplyToResend(std::span<const uint8_t> m) override { Echo(m, false); }

  // ---- status ----

  void Status(StatusBlock& s) {
    AdvancePrinting();
    if (active_ && (FaultActive(FaultKind::kEnded) || FaultActive(FaultKind::kFinished) ||
                    StopDone() || FinishDone()))
      active_ = false;
    uint16_t a = 0, b = 0;
    for (const FaultKind k : ActiveFaults()) {
      switch (k) {
        case FaultKind::kBusy:
          a |= kBusy;
          break;
        case FaultKind::kNoRibbonCassette:
          b |= kNoRibbonCassette;
          break;
        case FaultKind::kNoRibbon:
          a |= kNoRibbon;
          break;
        case FaultKind::kRibbonOut:
          b |= kRibbonOut;
          break;
        case FaultKind::kCoverOpen:
          a |= kCoverOpen;
          break;
        case FaultKind::kMaterialOut:
          a |= kMaterialOut;
          break;
        case FaultKind::kNoLabelCassette:
          b |= kNoLabelCassette;
          break;
        case FaultKind::kLabelsOut:
          b |= kLabelsOut;
          break;
        default:
          break;
      }
    }
    if (active_) a |= kJobActive;
    if (busy_polls_ > 0 || busy_forever_) a |= kBusy;
    if (BufferBusy(0)) b |= kBuffer0Full;
    if (BufferBusy(1)) b |= kBuffer1Full;
    if (ready_wait_ == 0 && !FaultActive(FaultKind::kNoResponse)) b |= kRequestDone;
    if (accepted_) b |= kAccepted;
    MarkAllReported();
    s = {static_cast<uint8_t>(a),     static_cast<uint8_t>(a >> 8),
         static_cast<uint8_t>(b),     static_cast<uint8_t>(b >> 8),
         options().tube_calibration,  0,
         options().label_calibration, 0};
  }

  // ---- vendor requests ----

  bool HandleVendor(uint8_t request, uint16_t value, StatusBlock& status) override {
    const std::string req = "request " + std::to_string(request);
    if (load_ && request != kReqPrint0 && request != kReqPrint1 && request != kReqReset)
      return Violation(req + " while an image is being loaded into buffer " +
                       std::to_string(load_->buffer));
    switch (request) {
      case kReqStop:
      case kReqDataEnd:
      case kReqPoll:
      case kReqReset:
      case kReqPrint0:
      case kReqPrint1:
        if (value != 0)
          return Violation(req + " with value " + std::to_string(value) + " (expected 0)");
        break;
      default:
        break;
    }
    switch (request) {
      case kReqSetUp: {
        const int material = value >> 8, cut = value & 0xFF;
        if (material < 1 || material > 7 || cut > 2)
          return Violation("request 24 value " + Hex4(value) +
                           ": material must be 1 to 7 (high byte) and cut code 0 to 2");
        BeginJob(material, cut);
        ClearReportedFaults();
        phase_ = Phase::kSetUp;
        ready_wait_ = options().ready_polls;
        break;
      }
      case kReqDensity: {
        if (phase_ == Phase::kNone) return Violation("request 25 without a set-up (request 24)");
        if (phase_ != Phase::kSetUp) return Violation("request 25 sent twice in a job");
        const int density = value >> 8;
        if (density < 1 || density > 7 || (value & 0xFF) != 0)
          return Violation("request 25 value " + Hex4(value) +
                           ": density must be 1 to 7 in the high byte, 0 in the low byte");
        job().density = density;
        density_value_ = value;
        phase_ = Phase::kDensity;
        TriggerStage(FaultStage::kStart);
        accepted_ = !FaultActive(FaultKind::kSetupRejected);
        ready_wait_ = options().ready_polls;
        break;
      }
      case kReqStart:
        if (phase_ == Phase::kStarted) return Violation("request 16 sent twice in a job");
        if (phase_ != Phase::kDensity || !accepted_)
          return Violation("request 16 before the density was accepted (request 25)");
        if (value != density_value_)
          return Violation("request 16 value " + Hex4(value) + " differs from request 25 value " +
                           Hex4(density_value_));
        phase_ = Phase::kStarted;
        ready_wait_ = options().ready_polls;
        if (!FaultActive(FaultKind::kFeedFailed)) {
          active_ = true;
          StartPrinting();
        }
        break;
      case kReqDataEnd:
        if (phase_ != Phase::kStarted)
          return Violation("request 17 before the job start (request 16)");
        if (data_ended()) return Violation("request 17 sent twice in a job");
        if (stopping()) return Violation("request 17 after a stop (request 18)");
        if (!active_) return Violation("request 17 while no job is active");
        for (int b = 0; b < 2; ++b)
          if (BufferBusy(b))
            return Violation("request 17 while buffer " + std::to_string(b) + " is occupied");
        EndOfData();
        break;
      case kReqStop:
        if (phase_ != Phase::kStarted)
          return Violation("request 18 (stop) before the job start (request 16)");
        StopPrinting();
        break;
      case kReqPoll:
        if (ready_wait_ > 0) --ready_wait_;
        Status(status);
        CountPoll();
        if (busy_polls_ > 0) --busy_polls_;
        return true;
      case kReqReset:
        FinishJob();
        ClearReportedFaults();
        busy_polls_ = 1;
        if (options().hang_reset) busy_forever_ = true;
        break;
      case kReqPrint0:
      case kReqPrint1: {
        const int b = request - kReqPrint0;
        if (!load_)
          return Violation(req + " without an image loaded into buffer " + std::to_string(b));
        if (load_->buffer != b)
          return Violation(req + " (buffer " + std::to_string(b) +
                           ") but the image just loaded went to buffer " +
                           std::to_string(load_->buffer));
        if (!load_->complete())
          return Violation(req + " before the image was complete (" + std::to_string(load_->next) +
                           " of " + std::to_string(load_->needed) + " messages)");
        Commit();
        break;
      }
      default:
        return Violation("unknown " + req);
    }
    Status(status);
    return true;
  }

  // ---- image messages ----

  bool HandleWrite(std::span<const uint8_t> m) override {
    if (m.size() != kMessageBytes)
      return Violation("bulk message of " + std::to_string(m.size()) + " bytes (expected 512)");
    if (m[0] != 1 || (m[1] != 0 && m[1] != kBuffer1))
      return Violation("image message starts " + Hex4(static_cast<uint16_t>(m[0] << 8 | m[1])) +
                       " (expected 0100 or 0140)");
    if (phase_ != Phase::kStarted)
      return Violation("image message before the job start (request 16)");
    if (stopping()) return Violation("image message after a stop (request 18)");
    if (data_ended()) return Violation("image message after the end of data (request 17)");
    if (!active_) return Violation("image message while no job is active");
    const int b = m[1] == kBuffer1 ? 1 : 0;
    const uint16_t offset = static_cast<uint16_t>(m[2] | m[3] << 8);
    const bool first = offset == 0;
    if (!(first ? First(m, b) : Next(m, b, offset))) return false;
    Echo(m, first);
    return true;
  }

  bool First(std::span<const uint8_t> m, int b) {
    if (load_)
      return Violation("first image message for buffer " + std::to_string(b) +
                       " while the image in buffer " + std::to_string(load_->buffer) +
                       " has not been printed with request 22/23");
    if (BufferBusy(b))
      return Violation("image for buffer " + std::to_string(b) + ", which is still occupied");
    if (m[4] != 1 || m[5] != 0 || m[6] != 0)
      return Violation("first image message bytes 4-6 are not 01 00 00");
    Load l;
    l.buffer = b;
    l.row = m[7];
    auto le16 = [&](std::size_t at) { return static_cast<uint16_t>(m[at] | m[at + 1] << 8); };
    l.image.LeadBlank = le16(8);
    l.image.TrailBlank = le16(10);
    l.image.ColumnCount = le16(12);
    std::copy(m.begin() + 14, m.begin() + 26, l.image.SeparatorColumn.begin());
    const std::size_t n = std::size_t{l.image.ColumnCount} * kColumnBytes;
    l.needed = n <= kFirstPayload
                   ? 1
                   : 1 + static_cast<int>((n - kFirstPayload + kPayload - 1) / kPayload);
    if (std::size_t(l.needed - 1) * kPayload > 0xFFFF)
      return Violation("image of " + std::to_string(n) +
                       " bytes is longer than 16-bit message offsets can address");
    l.image.columns.assign(n, 0);
    const std::size_t count = std::min(n, kFirstPayload);
    std::copy_n(m.begin() + 26, count, l.image.columns.begin());
    if (!AllZero(m.subspan(26 + count)))
      return Violation("first image message has bytes other than zero past the image end");
    l.next = 1;
    load_ = std::move(l);
    return true;
  }

  bool Next(std::span<const uint8_t> m, int b, uint16_t offset) {
    const std::string at = "image message at offset " + std::to_string(offset);
    if (!load_) return Violation(at + " without a first message");
    if (b != load_->buffer)
      return Violation(at + " for buffer " + std::to_string(b) + " inside the image for buffer " +
                       std::to_string(load_->buffer));
    if (load_->complete())
      return Violation(at + " past the image end (it takes " + std::to_string(load_->needed) +
                       " messages)");
    const std::size_t expected = kPayload * std::size_t(load_->next);
    if (offset != expected)
      return Violation(at + " out of order (expected " + std::to_string(expected) + ")");
    std::vector<uint8_t>& image = load_->image.columns;
    const std::size_t from = kFirstPayload + kPayload * std::size_t(load_->next - 1);
    const std::size_t count = std::min(kPayload, image.size() - from);
    std::copy_n(m.begin() + 4, count, image.begin() + static_cast<std::ptrdiff_t>(from));
    if (!AllZero(m.subspan(4 + count)))
      return Violation(at + " has bytes other than zero past the image end");
    ++load_->next;
    return true;
  }

  // The reply to an image message: the sum of its bytes 4 to 511 in bytes 1 and 2.
  void Echo(std::span<const uint8_t> m, bool first) {
    uint16_t sum = 0;
    for (std::size_t i = 4; i < m.size(); ++i) sum = static_cast<uint16_t>(sum + m[i]);
    bool wrong = options().echo == EchoFault::kAlways;
    if (options().echo == EchoFault::kOnce && first && !echo_once_used_ &&
        job().loaded + 1 == options().echo_item) {
      echo_once_used_ = true;
      wrong = true;
    }
    if (wrong) sum = static_cast<uint16_t>(sum + 1);
    std::array<uint8_t, 16> r{};
    r[1] = static_cast<uint8_t>(sum);
    r[2] = static_cast<uint8_t>(sum >> 8);
    SetReply(r);
  }

  Phase phase_ = Phase::kNone;
  bool accepted_ = false;  // request 25 took the density
  bool active_ = false;    // the job-active bit
  uint16_t density_value_ = 0;
  int ready_wait_ = 0;  // polls before the request-completed bit shows
  int busy_polls_ = 0;  // polls the reset still shows busy
  bool busy_forever_ = false;
  bool echo_once_used_ = false;
};

}  // namespace

std::unique_ptr<VirtualPrinter> MakeSecondGenerationPrinter(const Clock& clock,
                                                            VirtualPrinterConfig config, int index,
                                                            std::filesystem::path output_dir,
                                                            VirtualRecords records) {
  return std::make_unique<SecondGenerationPrinter>(clock, std::move(config), index,
                                                   std::move(output_dir), records);
}

}  // namespace qx
