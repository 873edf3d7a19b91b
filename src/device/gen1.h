// The first printer generation ("Kelmor QA11"): short bulk messages, each answered by a
// 16-byte reply whose first two bytes are the printer's state and its free image buffer.
// An item goes as a header message, 64-byte data messages of 60 image bytes each, and an
// end message. Every step shows its own faults and returns whether it succeeded.
#pragma once

#include <array>
#include <cstdint>

#include "device/device_table.h"
#include "device/printed_markers.h"
#include "device/print_job_state.h"
#include "layout/image.h"

namespace qx {

class Gen1Printer {
 public:
  // Timeouts in milliseconds.
  static constexpr uint32_t kCommandWriteMs = 1500, kCommandReadMs = 2500, kImageMs = 500;
  static constexpr int kBlockBytes = 60;

  Gen1Printer(Transport& t, DeviceTable& d, PrintJob& job, PrinterUi& ui)
      : t_(t), d_(d), job_(job), ui_(ui) {}

  // Busy query, calibrations, consumables check and the job's material and cut mode.
  bool Open(uint8_t material_code, uint8_t cut_code);
  // One printed item: waits for a free buffer (except for the job's first item), then the
  // header, data and end messages; the first item is followed by command 12.
  bool SendSegment(const ItemImage& item);
  // Polls until the printer reports the end of the job, passing on a stop request.
  bool WaitFinish();
  // One 4-byte command and its reply; failures close the device with a message.
  bool Command(uint8_t code);

  uint8_t StateCode() const { return state_; }
  uint8_t BufferCode() const { return buffer_; }
  // The markers of this job the printer has reported printed.
  const PrintedMarkers& markers() const { return markers_; }

 private:
  void PutCommand(uint8_t code);
  bool Transact(uint8_t code, bool quiet);
  bool Status();
  // What a status reply tells of the markers handed over.
  void NoteBuffers();
  // Sends the stop command after one more status poll, so that the markers printed up to
  // the stop are known: afterwards the printer's free buffers confirm nothing.
  bool Stop();
  bool SetMaterial(uint8_t material_code, uint8_t cut_code);
  bool Exchange(int length);
  bool ExchangeWithRetry(int length, uint32_t pause_ms);
  bool WaitBuffer();
  // A state that ends the job: told, the printer closed; `result` is whether every item
  // was printed (`job_complete`: every item was sent and no stop was asked for).
  bool FinalState(bool& result, bool job_complete);
  bool Fail(std::string_view message);

  Transport& t_;
  DeviceTable& d_;
  PrintJob& job_;
  PrinterUi& ui_;
  std::array<uint8_t, 64> msg_{};
  std::array<uint8_t, 16> reply_{};
  uint8_t state_ = 0;
  uint8_t buffer_ = 0;
  PrintedMarkers markers_;
};

}  // namespace qx
