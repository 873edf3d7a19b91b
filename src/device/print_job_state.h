// The print job's record, kept for the program's lifetime: what the dialog chose, what
// the printer reported at the start of the job, and the flags the waits and the stop
// button share.
#pragma once

#include <cstdint>
#include <string>

#include "document/document.h"

namespace qx {

struct PrintJob {
  int StartRow = 1;  // 1-based, inclusive
  int EndRow = 1;
  int Copies = 1;
  bool RepeatFirst = false;
  // The first marker sent, counted from 1 over the markers the whole job prints (every
  // copy, in the job's order, markers that are skipped not counted): a job that ended early
  // goes on from the first marker it did not print.
  int FromItem = 1;
  bool StopRequested = false;
  bool FirstSegment = false;  // first generation: the job's first item goes without waiting
  uint8_t BufferIndex = 0;    // printer image buffer the next item goes to
  Calibration calibration;    // reported by the printer at the start of each job
  std::string SerialText;     // the current item's serial value
  bool Tick = false;
};

// How long a printer may take to end its job after the operator stopped it before the
// job gives up on it (waits counted, not wall time).
inline constexpr uint32_t kStopGraceMs = 30000;

}  // namespace qx
