#include "device/virtual/virtual_transport.h"

#include <algorithm>
#include <cstring>

namespace qx {

VirtualTransport::VirtualTransport(const Clock& clock, std::vector<VirtualPrinterConfig> printers,
                                   std::filesystem::path output_dir) {
  for (std::size_t i = 0; i < printers.size(); ++i)
    printers_.push_back(
        MakeVirtualPrinter(clock, std::move(printers[i]), static_cast<int>(i), output_dir));
}

VirtualTransport::~VirtualTransport() {
  for (auto& p : printers_) p->EndJob();
}

int32_t VirtualTransport::EnumrateDevs(DevicePaths& paths) {
  int32_t count = 0;
  for (auto& p : printers_) {
    if (count == kMaxDevices) break;
    if (!p->connected()) continue;
    DevicePath& slot = paths[static_cast<std::size_t>(count++)];
    slot.fill('\0');
    const std::string& path = p->path();
    std::memcpy(slot.data(), path.data(), std::min(path.size(), slot.size() - 1));
  }
  return count;
}

int32_t VirtualTransport::OpenByPath(const char* path) {
  if (!path) return -1;
  for (auto& p : printers_) {
    if (p->path() != path) continue;
    const int32_t handle = next_handle_;
    if (!p->Open(handle)) return -1;
    ++next_handle_;
    handles_[handle] = p.get();
    return handle;
  }
  return -1;
}

VirtualPrinter* VirtualTransport::PrinterOf(int32_t handle) {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second;
}

int32_t VirtualTransport::BulkWrite(int32_t handle, const uint8_t* data, int32_t length, uint32_t) {
  VirtualPrinter* p = PrinterOf(handle);
  return p ? p->Write(handle, data, length) : -1;
}

int32_t VirtualTransport::BulkRead(int32_t handle, uint8_t* data, int32_t length, uint32_t) {
  VirtualPrinter* p = PrinterOf(handle);
  return p ? p->Read(handle, data, length) : -1;
}

int32_t VirtualTransport::VendorReq(int32_t handle, uint8_t request, uint16_t value,
                                    StatusBlock& status, uint32_t) {
  VirtualPrinter* p = PrinterOf(handle);
  if (!p) {
    status.fill(0);
    return -1;
  }
  return p->Vendor(handle, request, value, status);
}

int32_t VirtualTransport::CloseHandle(int32_t handle) {
  VirtualPrinter* p = PrinterOf(handle);
  return p ? p->Close(handle) : -1;
}

}  // namespace qx
