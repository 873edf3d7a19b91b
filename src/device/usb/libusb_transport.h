// The printer transport over libusb-1.0: the real USB implementation on Linux.
//
// Enumeration lists the recognised printers (see usb_path.h) that have a bulk OUT and a
// bulk IN endpoint, ordered by socket, at most four. Opening finds the device again by
// ids and socket, lets libusb detach a kernel driver bound to the interface (usblp binds
// to printer-class interfaces) and claims the interface; the interface, alternate
// setting and endpoints all come from the configuration descriptor.
//
// Failures return libusb's own (negative) error code, or kShortTransfer when fewer bytes
// moved than asked for; OpenByPath returns exactly -1. The reason of the latest failure
// stays readable in LastError() for the log. A handle whose printer was unplugged fails
// every later transfer at once; CloseHandle still frees it. Handles are never reused.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "device/transport.h"

struct libusb_context;
struct libusb_device_handle;

namespace qx {

// The setup fields of VendorReq that the caller does not give: a device-to-host vendor
// request to the device, index 0, with room for the 8-byte status block. Kept together so
// a printer that wants another recipient or index needs a change in one place only.
struct VendorRequestLayout {
  uint8_t request_type = 0xC0;  // device-to-host | vendor | device
  uint16_t index = 0;
  uint16_t length = 8;
};

class LibusbTransport final : public Transport {
 public:
  // Result of a transfer that moved fewer bytes than asked for. libusb's own error codes
  // run from -1 to -99, so this one cannot be mistaken for them.
  static constexpr int32_t kShortTransfer = -100;

  explicit LibusbTransport(VendorRequestLayout layout = {});
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  int32_t EnumrateDevs(DevicePaths& paths) override;
  int32_t OpenByPath(const char* path) override;
  int32_t BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                    uint32_t timeout_ms) override;
  int32_t BulkRead(int32_t handle, uint8_t* data, int32_t length, uint32_t timeout_ms) override;
  int32_t VendorReq(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status,
                    uint32_t timeout_ms) override;
  int32_t CloseHandle(int32_t handle) override;

  // Why the latest failing call failed, e.g. "OpenByPath usb:vid_5d29&pid_2029@1-3:
  // LIBUSB_ERROR_ACCESS (no permission on the device node; is the udev rule installed?)".
  // Empty while nothing has failed; a later success does not clear it.
  const std::string& LastError() const { return last_error_; }

 private:
  struct OpenPrinter {
    libusb_device_handle* handle = nullptr;
    uint8_t interface_number = 0;
    uint8_t out_endpoint = 0;
    uint8_t in_endpoint = 0;
    int in_packet_size = 0;
    bool gone = false;  // unplugged: later transfers fail without touching the bus
  };

  bool EnsureContext();
  OpenPrinter* FindOpen(int32_t handle, const char* operation);
  int32_t TransferFailed(OpenPrinter& printer, const char* operation, uint8_t endpoint, int code);
  void SetError(std::string text);

  VendorRequestLayout layout_;
  libusb_context* context_ = nullptr;
  std::map<int32_t, OpenPrinter> open_;
  int32_t next_handle_ = 1;
  std::string last_error_;
};

}  // namespace qx
