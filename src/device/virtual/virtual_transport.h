// The transport over a list of virtual printers (see virtual_printer.h).
//
// EnumrateDevs lists the connected printers in the order of the list, at most four, with
// the paths "virtual:vid_xxxx&pid_xxxx#N" (N: the printer's position in the list).
// OpenByPath takes such a path and gives a new handle (never reused), or -1 when no
// printer has that path or it is unplugged. Every call on a handle goes to its printer,
// which checks it and records it in its trace. A transfer on a handle that was never
// given out fails without reaching any printer.
//
// Each transport (one a program start) keeps its printers' traces and tape pictures in a
// new numbered folder under the output folder: "run-001", "run-002", ..., one more than
// the highest there, so that no run overwrites what an earlier one left.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "device/clock.h"
#include "device/transport.h"
#include "device/virtual/virtual_printer.h"

namespace qx {

// Makes the next run folder under `base` (creating `base` when needed) and returns it. Two
// programs starting at once get different folders. When `base` cannot be written, returns
// the name the folder would have had; the printers then report that they cannot write.
std::filesystem::path NewRunFolder(const std::filesystem::path& base);

class VirtualTransport final : public Transport {
 public:
  // `output_dir`: the folder under which the printers write their traces and tape
  // pictures, into a new run folder (see above); empty: nowhere. `clock` must outlive the
  // transport. `records`: what the printers keep in memory (see virtual_printer.h); the
  // programs take kFilesOnly, so that no job is too long for the printers' memory.
  VirtualTransport(const Clock& clock, std::vector<VirtualPrinterConfig> printers,
                   std::filesystem::path output_dir,
                   VirtualRecords records = VirtualRecords::kKept);
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

  // The run folder the printers write into; empty when they write nowhere.
  const std::filesystem::path& run_dir() const { return run_dir_; }

  int printer_count() const { return static_cast<int>(printers_.size()); }
  VirtualPrinter& printer(int index) { return *printers_.at(static_cast<std::size_t>(index)); }
  const VirtualPrinter& printer(int index) const {
    return *printers_.at(static_cast<std::size_t>(index));
  }

 private:
  VirtualPrinter* PrinterOf(int32_t handle);

  std::filesystem::path run_dir_;
  std::vector<std::unique_ptr<VirtualPrinter>> printers_;
  std::map<int32_t, VirtualPrinter*> handles_;
  int32_t next_handle_ = 1;
};

}  // namespace qx
