// The transport over a list of virtual printers (see virtual_printer.h).
//
// EnumrateDevs lists the connected printers in the order of the list, at most four, with
// the paths "virtual:vid_xxxx&pid_xxxx#N" (N: the printer's position in the list).
// OpenByPath takes such a path and gives a new handle (never reused), or -1 when no
// printer has that path or it is unplugged. Every call on a handle goes to its printer,
// which checks it and records it in its trace. A transfer on a handle that was never
// given out fails without reaching any printer.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "device/clock.h"
#include "device/transport.h"
#include "device/virtual/virtual_printer.h"

namespace qx {

class VirtualTransport final : public Transport {
 public:
  // `output_dir`: where the printers write their traces and tape pictures; empty: nowhere.
  // `clock` must outlive the transport.
  VirtualTransport(const Clock& clock, std::vector<VirtualPrinterConfig> printers,
                   std::filesystem::path output_dir);
  // Ends every printer's running job (writing its picture).
  ~VirtualTransport() override;

  int32_t EnumrateDevs(DevicePaths& paths) override;
  int32_t OpenByPath(const char* path) override;
  int32_t BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                    uint32_t timeout_ms) override;
  int32_t BulkRead(int32_t handle, uint8_t* data, int32_t length, uint32_t timeout_ms) override;
  int32_t VendorReq(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status,
                    uint32_t timeout_ms) override;
  int32_t CloseHandle(int32_t handle) override;

  int printer_count() const { return static_cast<int>(printers_.size()); }
  VirtualPrinter& printer(int index) { return *printers_.at(static_cast<std::size_t>(index)); }
  const VirtualPrinter& printer(int index) const {
    return *printers_.at(static_cast<std::size_t>(index));
  }

 private:
  VirtualPrinter* PrinterOf(int32_t handle);

  std::vector<std::unique_ptr<VirtualPrinter>> printers_;
  std::map<int32_t, VirtualPrinter*> handles_;
  int32_t next_handle_ = 1;
};

}  // namespace qx
