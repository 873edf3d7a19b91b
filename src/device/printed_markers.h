// Which markers of a job the printer has reported printed.
//
// Both printer generations hold two image buffers. The host loads a marker into a free
// buffer and hands it over; the printer prints the buffers in the order they were handed
// over and reports a buffer free again once the marker in it is on the tape. A marker is
// therefore counted as printed only when a status reply shows its buffer free after it was
// handed over: that marker and every one before it are on the tape.
//
//   handed over:   1  2  3  4  5          (buffer 0: 5, buffer 1: 4)
//   status poll:   buffer 0 busy, buffer 1 free  ->  printed: 1..4
//   the job ends:  marker 5 was handed over and never reported: it may be partly printed
//
// After a stop the printers empty their buffers without printing what waits there, and a
// printer that ends a job on its own may do the same: replies from then on confirm nothing.
// A marker sent and not confirmed is printed again when the job goes on from the first
// marker not confirmed; no marker is ever skipped, at most the one under the head at the
// fault or stop may be printed twice.
#pragma once

#include <algorithm>
#include <array>

namespace qx {

class PrintedMarkers {
 public:
  // The next marker of the job was handed over in `buffer` (0 or 1).
  void HandedOver(int buffer) { holds_[Slot(buffer)] = ++handed_; }

  // A status reply showed `buffer` free.
  void BufferFree(int buffer) {
    if (trusted_) printed_ = std::max(printed_, holds_[Slot(buffer)]);
  }

  // The printer was told to stop, or ended the job itself: a free buffer may have been
  // emptied without printing.
  void StopTrusting() { trusted_ = false; }
  bool trusting() const { return trusted_; }

  int handed_over() const { return handed_; }
  // Markers of this job on the tape, counted from its first.
  int printed() const { return printed_; }
  // A marker after the printed ones reached the printer and may be partly on the tape.
  bool next_may_be_partial() const { return handed_ > printed_; }

 private:
  static std::size_t Slot(int buffer) { return buffer ? 1 : 0; }

  std::array<int, 2> holds_{};  // the marker each buffer was last given, from 1; 0: none
  int handed_ = 0;
  int printed_ = 0;
  bool trusted_ = true;
};

}  // namespace qx
