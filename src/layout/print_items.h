// The printed items of a Segment: every repeat and every serial value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "document/document.h"

namespace qx {

// One printed item: the serial text it prints and the serial width it is laid out with.
struct PrintItemSerial {
  std::string text;
  uint8_t width = 0;
};

// Calls `item` for every printed item of a Segment decoded into `v`, in serial-first order
// (the whole serial range once per repeat: 1, 2, 3, 1, 2, 3) or repeat-first order (each
// value repeated: 1, 1, 2, 2, 3, 3). A Segment without serial has one item per repeat; a
// repeat count of 0 prints nothing. Stops early when `item` returns false; returns whether
// every item was produced.
bool ForEachPrintItem(const SegmentValues& v, bool serial_first,
                      const std::function<bool(const PrintItemSerial&)>& item);

}  // namespace qx
