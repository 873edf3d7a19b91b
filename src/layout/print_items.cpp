#include "layout/print_items.h"

#include "layout/fit.h"

namespace qx {

bool ForEachPrintItem(const SegmentValues& v, bool serial_first,
                      const std::function<bool(const PrintItemSerial&)>& item) {
  const bool has_serial = v.SerialType != kNoSerial;
  const uint32_t first = has_serial ? v.SerialFirst : 0;
  const uint32_t last = has_serial ? v.SerialLast : 0;
  auto produce = [&](uint32_t value) {
    PrintItemSerial s;
    if (has_serial) {
      s.text = SerialText(v.SerialType, static_cast<uint16_t>(value), v.SerialLast);
      // Plain decimal values are as wide as they are; the other types keep their width.
      s.width = v.SerialType == kSerialDecimal ? static_cast<uint8_t>(s.text.size()) : v.SerialWidth;
    }
    return item(s);
  };
  const int repeats = v.RepeatCount > 0 ? v.RepeatCount : 0;
  if (serial_first) {
    for (int r = 0; r < repeats; ++r)
      for (uint32_t value = first; value <= last; ++value)
        if (!produce(value)) return false;
  } else {
    for (uint32_t value = first; value <= last; ++value)
      for (int r = 0; r < repeats; ++r)
        if (!produce(value)) return false;
  }
  return true;
}

}  // namespace qx
