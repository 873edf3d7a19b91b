// Which USB devices are printers, and the device path text that names one of them.
//
// A path is "usb:vid_5d29&pid_2029@3-1.4": vendor and product id in lower-case hex (the
// print dialog recognises the printer model by that text), then the physical socket as
// the kernel names it, bus number, a dash and the hub port chain from the root hub down.
// The socket survives re-plugging and resets; the device address does not, so it is not
// part of the path.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/known_printers.h"

namespace qx {

// Whether vendor and product are those of one of the printers this program drives.
bool IsUsbPrinterId(uint16_t vendor, uint16_t product);

// USB allows at most seven tiers of ports below the root hub.
inline constexpr int kMaxUsbPortDepth = 7;

struct UsbLocation {
  uint16_t vendor = 0;
  uint16_t product = 0;
  uint8_t bus = 0;
  std::vector<uint8_t> ports;  // root hub port first; never empty for a real device

  bool operator==(const UsbLocation&) const = default;
};

std::string FormatUsbPath(const UsbLocation& location);

// The reverse of FormatUsbPath; nullopt for any text it would not have produced
// (upper-case hex, leading zeros, missing parts, ports 0 or above 255, deeper than seven
// tiers, trailing characters).
std::optional<UsbLocation> ParseUsbPath(std::string_view path);

// Enumeration order: by bus, then by the port chain compared number by number, so the
// printer in a given socket keeps its slot across refreshes.
bool UsbSocketLess(const UsbLocation& a, const UsbLocation& b);

}  // namespace qx
