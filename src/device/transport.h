// The printer transport: the six operations every printer conversation goes through.
//
// Result conventions, shared by every implementation (the protocols rely on them):
// - EnumrateDevs fills the NUL-terminated path of each printer found into slots 0 to 3 in
//   order and returns how many were found (at most four).
// - OpenByPath returns a handle, or -1 when the printer cannot be opened.
// - BulkWrite, BulkRead, VendorReq return a negative value on failure and any other value
//   on success; a transfer that moved fewer bytes than asked for is a failure.
// - VendorReq sends one vendor request with a 16-bit value; the printer's 8-byte status
//   block comes back in `status`.
// - CloseHandle closes a handle from OpenByPath.
// Each device path contains the printer's vendor and product ids in lower case, as in
// "vid_5d29&pid_2029"; the print dialog recognises printers by that text.
// Timeouts are in milliseconds. All calls come from one thread, one at a time.
#pragma once

#include <array>
#include <cstdint>

namespace qx {

inline constexpr int kMaxDevices = 4;
inline constexpr int kDevicePathBytes = 256;
using DevicePath = std::array<char, kDevicePathBytes>;
using DevicePaths = std::array<DevicePath, kMaxDevices>;
using StatusBlock = std::array<uint8_t, 8>;

class Transport {
 public:
  virtual ~Transport() = default;
  virtual int32_t EnumrateDevs(DevicePaths& paths) = 0;
  virtual int32_t OpenByPath(const char* path) = 0;
  virtual int32_t BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                            uint32_t timeout_ms) = 0;
  virtual int32_t BulkRead(int32_t handle, uint8_t* data, int32_t length,
                           uint32_t timeout_ms) = 0;
  virtual int32_t VendorReq(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status,
                            uint32_t timeout_ms) = 0;
  virtual int32_t CloseHandle(int32_t handle) = 0;
};

// No printers at all: what the program talks to when no transport could be set up.
class NullTransport final : public Transport {
 public:
  int32_t EnumrateDevs(DevicePaths&) override { return 0; }
  int32_t OpenByPath(const char*) override { return -1; }
  int32_t BulkWrite(int32_t, const uint8_t*, int32_t, uint32_t) override { return -1; }
  int32_t BulkRead(int32_t, uint8_t*, int32_t, uint32_t) override { return -1; }
  int32_t VendorReq(int32_t, uint8_t, uint16_t, StatusBlock&, uint32_t) override { return -1; }
  int32_t CloseHandle(int32_t) override { return 0; }
};

}  // namespace qx
