// The printers the printer application owns: one transport over the virtual printers
// (QX_VIRTUAL_PRINTERS, as for the editor and qxlabel) and the printers on USB, shared by
// every printer queue of the process. PAPPL runs each queue's jobs on a thread of their
// own, while the transport takes one call at a time: every call goes through one lock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/clock.h"
#include "device/device_table.h"
#include "device/printers.h"

namespace qx::papp {

// Time for the printer protocols: virtual printers run on virtual time (a wait moves the
// clock on at once, as qxlabel does), printers on USB on the real clock.
class ProcessClock final : public Clock {
 public:
  ProcessClock() : now_(SteadyClock().NowMs()) {}
  uint64_t NowMs() const override { return now_.load(); }
  void Advance(uint64_t ms) { now_ += ms; }

 private:
  std::atomic<uint64_t> now_;
};

class LockedTransport final : public Transport {
 public:
  explicit LockedTransport(Transport& inner) : inner_(inner) {}
  int32_t EnumrateDevs(DevicePaths& paths) override;
  int32_t OpenByPath(const char* path) override;
  int32_t BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                    uint32_t timeout_ms) override;
  int32_t BulkRead(int32_t handle, uint8_t* data, int32_t length, uint32_t timeout_ms) override;
  int32_t VendorReq(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status,
                    uint32_t timeout_ms) override;
  int32_t CloseHandle(int32_t handle) override;

 private:
  std::mutex mutex_;
  Transport& inner_;
};

// One printer found: its device path and model name.
struct FoundPrinter {
  std::string path;
  std::string model;  // "Kelmor QB20"
};

class QxPrinters {
 public:
  // Set up once, before PAPPL starts; `with_usb`: look for printers on USB too. The
  // command-line subcommands that list devices without a server get USB and the virtual
  // printers when they first ask.
  static QxPrinters& Instance();
  void Start(bool with_usb);
  const std::string& error() const { return error_; }

  Transport& transport();
  ProcessClock& clock() { return clock_; }

  // The recognised printers attached now.
  std::vector<FoundPrinter> Find();

 private:
  ProcessClock clock_;
  std::unique_ptr<PrinterTransports> printers_;
  std::unique_ptr<LockedTransport> locked_;
  std::once_flag started_;
  std::string error_;
};

// Device URIs of the "qx" scheme: "qx:///" and the device path, percent-encoded.
std::string DeviceUriOf(const std::string& path);
std::string DevicePathOf(const char* uri);

// "MFG:Kelmor;MDL:QB20;CMD:QX;" for "Kelmor QB20".
std::string DeviceIdOf(const std::string& model);

}  // namespace qx::papp
