#include "printer_app/access.h"

#include <arpa/inet.h>
#include <cups/http.h>
#include <cups/ipp.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>

namespace qx::papp {

bool IsPrintingOperation(int op) {
  switch (static_cast<ipp_op_t>(op)) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_CREATE_JOB:
    case IPP_OP_SEND_DOCUMENT:
    case IPP_OP_CLOSE_JOB:
    case IPP_OP_CANCEL_JOB:  // one's own; PAPPL asks again for the administrators otherwise
    case IPP_OP_GET_JOB_ATTRIBUTES:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_PRINTER_ATTRIBUTES:
    case IPP_OP_GET_PRINTERS:  // the list of printers, as CUPS-Get-Printers asks for it
    case IPP_OP_CUPS_GET_PRINTERS:
    case IPP_OP_GET_SYSTEM_ATTRIBUTES:
    case IPP_OP_IDENTIFY_PRINTER:
      return true;
    default:
      // Cancel-Current-Job, Disable-/Enable-Printer, Pause-/Resume-Printer, Hold-New-Jobs,
      // Set-*-Attributes, Create-/Delete-Printer, Cancel-Jobs, Shutdown-All-Printers ...
      return false;
  }
}

namespace {

// The address's family and bytes, an IPv4 address mapped into IPv6 taken as IPv4.
bool AddressBytes(const sockaddr* address, int& family, uint8_t (&bytes)[16]) {
  if (!address) return false;
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    family = AF_INET;
    std::memcpy(bytes, &in->sin_addr, 4);
    return true;
  }
  if (address->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
      family = AF_INET;
      std::memcpy(bytes, in6->sin6_addr.s6_addr + 12, 4);
    } else {
      family = AF_INET6;
      std::memcpy(bytes, in6->sin6_addr.s6_addr, 16);
    }
    return true;
  }
  return false;
}

bool PrefixMatches(const uint8_t* a, const uint8_t* b, int bits) {
  const int whole = bits / 8;
  if (std::memcmp(a, b, static_cast<std::size_t>(whole)) != 0) return false;
  if (bits % 8 == 0) return true;
  const auto mask = static_cast<uint8_t>(0xFF << (8 - bits % 8));
  return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

bool NetworkList::Parse(std::string_view text, std::string& error) {
  networks_.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    std::string entry(text.substr(start, end - start));
    entry.erase(0, entry.find_first_not_of(" \t"));
    entry.erase(entry.find_last_not_of(" \t") + 1);
    start = end + 1;
    if (entry.empty()) continue;
    Network n;
    std::string address = entry;
    int prefix = -1;
    if (const std::size_t slash = entry.find('/'); slash != std::string::npos) {
      address = entry.substr(0, slash);
      const std::string bits = entry.substr(slash + 1);
      if (bits.empty() || bits.size() > 3 ||
          !std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        error = entry;
        return false;
      }
      prefix = std::stoi(bits);
    }
    if (inet_pton(AF_INET, address.c_str(), n.bytes) == 1) {
      n.family = AF_INET;
      if (prefix < 0) prefix = 32;
      if (prefix > 32) {
        error = entry;
        return false;
      }
    } else if (inet_pton(AF_INET6, address.c_str(), n.bytes) == 1) {
      n.family = AF_INET6;
      if (prefix < 0) prefix = 128;
      if (prefix > 128) {
        error = entry;
        return false;
      }
    } else {
      error = entry;
      return false;
    }
    n.prefix = prefix;
    networks_.push_back(n);
  }
  return true;
}

bool NetworkList::Contains(const sockaddr* address) const {
  int family = 0;
  uint8_t bytes[16] = {};
  if (!AddressBytes(address, family, bytes)) return false;
  return std::any_of(networks_.begin(), networks_.end(), [&](const Network& n) {
    return n.family == family && PrefixMatches(n.bytes, bytes, n.prefix);
  });
}

bool IsThisMachine(const sockaddr* address) {
  if (!address) return false;
  if (address->sa_family == AF_UNIX) return true;
  int family = 0;
  uint8_t bytes[16] = {};
  if (!AddressBytes(address, family, bytes)) return false;
  if (family == AF_INET) return bytes[0] == 127;
  static const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return std::memcmp(bytes, kLoopback6, 16) == 0;
}

bool ParseBasicAuthorization(std::string_view header, std::string& user, std::string& password) {
  constexpr std::string_view kBasic = "Basic ";
  if (header.size() <= kBasic.size() || header.substr(0, kBasic.size()) != kBasic) return false;
  std::string encoded(header.substr(kBasic.size()));
  encoded.erase(0, encoded.find_first_not_of(' '));
  // Credentials longer than this are no login of ours.
  if (encoded.empty() || encoded.size() > 1024) return false;
  char decoded[1024];
  int length = sizeof(decoded);
  if (!httpDecode64_2(decoded, &length, encoded.c_str()) || length <= 0) return false;
  const std::string_view text(decoded, static_cast<std::size_t>(std::min<int>(length, sizeof(decoded) - 1)));
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  if (text.find('\0') != std::string_view::npos) return false;
  user = std::string(text.substr(0, colon));
  password = std::string(text.substr(colon + 1));
  return true;
}

}  // namespace qx::papp
