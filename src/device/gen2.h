// The second printer generation ("Kelmor QB20", "Kelmor QB16i"): control and status by
// vendor requests, each answered by an 8-byte status block; an item's image goes as
// 512-byte bulk messages whose checksum the printer echoes. Two image buffers: the host
// fills one while the printer works on the other. Every step shows its own faults and
// returns whether it succeeded.
#pragma once

#include <array>
#include <cstdint>

#include "device/device_table.h"
#include "device/printed_markers.h"
#include "device/print_job_state.h"
#include "layout/image.h"

namespace qx {

// Status word bits the program tests.
namespace gen2 {
inline constexpr uint16_t kMaterialOut = 0x0040;  // word A
inline constexpr uint16_t kCoverOpen = 0x0100;
inline constexpr uint16_t kNoRibbon = 0x0200;
inline constexpr uint16_t kJobActive = 0x0400;
inline constexpr uint16_t kBusy = 0x1000;
inline constexpr uint16_t kBuffer0Full = 0x0001;  // word B
inline constexpr uint16_t kBuffer1Full = 0x0002;
inline constexpr uint16_t kNoLabelCassette = 0x0004;
inline constexpr uint16_t kLabelsOut = 0x0008;
inline constexpr uint16_t kNoRibbonCassette = 0x0010;
inline constexpr uint16_t kRibbonZero = 0x0020;
inline constexpr uint16_t kDone = 0x0040;
inline constexpr uint16_t kAccepted = 0x0080;

// Vendor request codes.
inline constexpr uint8_t kStartJob = 16, kEndOfData = 17, kStop = 18, kPoll = 19, kReset = 20,
                         kPrintBuffer0 = 22, kPrintBuffer1 = 23, kSetUp = 24, kDensity = 25;

inline constexpr int kMessageBytes = 512;
inline constexpr int kFirstPayload = 486;  // image bytes in an item's first message
inline constexpr int kPayload = 508;       // in each following message
}  // namespace gen2

class Gen2Printer {
 public:
  static constexpr uint32_t kTimeoutMs = 500;

  Gen2Printer(Transport& t, DeviceTable& d, PrintJob& job, PrinterUi& ui)
      : t_(t), d_(d), job_(job), ui_(ui) {}

  bool Open(uint8_t material_code, uint8_t cut_code);
  bool StartJob(uint8_t density);
  // One printed item of the Segment at `row_number` (its 1-based position, low 8 bits).
  bool SendSegment(const ItemImage& item, uint8_t row_number);
  // Sends the end of data and waits until the printer has printed everything; true when
  // the printer is idle again (also after a fault or a stop ended the job early).
  bool FinishJob();
  // Resets the printer at the end of a job and tells how the job ended.
  bool Reset();
  // The job ended before everything was printed: a stop, a fault or a failed transfer.
  bool ended_early() const { return ended_early_; }
  void SetEndedEarly() { ended_early_ = true; }
  // The markers of this job the printer has reported printed.
  const PrintedMarkers& markers() const { return markers_; }

  uint16_t WordA() const { return static_cast<uint16_t>(status_[0] | (status_[1] << 8)); }
  uint16_t WordB() const { return static_cast<uint16_t>(status_[2] | (status_[3] << 8)); }

 private:
  bool Request(uint8_t code, uint16_t value);
  // A status poll; its reply also tells which markers are printed.
  bool Poll();
  void NoteBuffers();
  // The stop request, after one more poll so that the markers printed up to the stop are
  // known: afterwards the printer's free buffers confirm nothing.
  bool Stop();
  bool PollWithRetry(std::string_view final_message);
  bool ReadyWait(int limit, std::string_view poll_failed, std::string_view timeout);
  bool WaitJobEnd(uint32_t pause_ms, std::string_view poll_failed);
  bool CommFail(std::string_view message);
  bool WaitBuffer();
  bool Exchange();
  bool ExchangeWithRetry();

  Transport& t_;
  DeviceTable& d_;
  PrintJob& job_;
  PrinterUi& ui_;
  StatusBlock status_{};
  std::array<uint8_t, gen2::kMessageBytes> msg_{};
  std::array<uint8_t, 16> reply_{};
  bool ended_early_ = false;
  bool end_of_data_sent_ = false;
  PrintedMarkers markers_;
};

}  // namespace qx
