#include "device/usb/usb_path.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace qx {

namespace {

// Reads exactly four lower-case hex digits.
std::optional<uint16_t> TakeHex4(std::string_view& text) {
  if (text.size() < 4) return std::nullopt;
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = text[static_cast<size_t>(i)];
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  text.remove_prefix(4);
  return static_cast<uint16_t>(value);
}

// Reads a decimal number 1..255 without leading zeros.
std::optional<uint8_t> TakeByte(std::string_view& text) {
  size_t n = 0;
  unsigned value = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
    value = value * 10 + static_cast<unsigned>(text[n] - '0');
    if (value > 255) return std::nullopt;
    ++n;
  }
  if (n == 0 || text[0] == '0') return std::nullopt;
  text.remove_prefix(n);
  return static_cast<uint8_t>(value);
}

bool TakeLiteral(std::string_view& text, std::string_view literal) {
  if (!text.starts_with(literal)) return false;
  text.remove_prefix(literal.size());
  return true;
}

}  // namespace

bool IsUsbPrinterId(uint16_t vendor, uint16_t product) {
  return std::any_of(kKnownPrinters.begin(), kKnownPrinters.end(), [&](const KnownPrinter& id) {
    return id.vendor == vendor && id.product == product;
  });
}

std::string FormatUsbPath(const UsbLocation& location) {
  char head[32];
  std::snprintf(head, sizeof head, "usb:vid_%04x&pid_%04x@%u", location.vendor, location.product,
                static_cast<unsigned>(location.bus));
  std::string path = head;
  char separator = '-';
  for (const uint8_t port : location.ports) {
    path += separator;
    path += std::to_string(port);
    separator = '.';
  }
  return path;
}

std::optional<UsbLocation> ParseUsbPath(std::string_view path) {
  UsbLocation location;
  if (!TakeLiteral(path, "usb:vid_")) return std::nullopt;
  const auto vendor = TakeHex4(path);
  if (!vendor || !TakeLiteral(path, "&pid_")) return std::nullopt;
  const auto product = TakeHex4(path);
  if (!product || !TakeLiteral(path, "@")) return std::nullopt;
  const auto bus = TakeByte(path);
  if (!bus) return std::nullopt;
  location.vendor = *vendor;
  location.product = *product;
  location.bus = *bus;
  char separator = '-';
  while (!path.empty()) {
    if (static_cast<int>(location.ports.size()) == kMaxUsbPortDepth) return std::nullopt;
    if (!TakeLiteral(path, std::string_view(&separator, 1))) return std::nullopt;
    const auto port = TakeByte(path);
    if (!port) return std::nullopt;
    location.ports.push_back(*port);
    separator = '.';
  }
  if (location.ports.empty()) return std::nullopt;
  return location;
}

bool UsbSocketLess(const UsbLocation& a, const UsbLocation& b) {
  return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
}

}  // namespace qx
