#include "device/virtual/virtual_transport.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace qx {

namespace {

constexpr std::string_view kRunPrefix = "run-";

// The number of a run folder's name ("run-012" gives 12), or 0 for any other name.
int RunNumber(const std::string& name) {
  if (name.size() <= kRunPrefix.size() || name.compare(0, kRunPrefix.size(), kRunPrefix) != 0)
    return 0;
  int n = 0;
  const char* first = name.data() + kRunPrefix.size();
  const char* last = name.data() + name.size();
  const auto [end, ec] = std::from_chars(first, last, n);
  return ec == std::errc() && end == last && n > 0 ? n : 0;
}

std::string RunName(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", n);
  return std::string(kRunPrefix) + digits;
}

}  // namespace

std::filesystem::path NewRunFolder(const std::filesystem::path& base) {
  std::error_code ec;
  std::filesystem::create_directories(base, ec);
  int highest = 0;
  for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
    highest = std::max(highest, RunNumber(it->path().filename().string()));
  // create_directory is atomic: a folder another program made a moment ago answers false,
  // and this run takes the next number.
  for (int n = highest + 1;; ++n) {
    const std::filesystem::path run = base / RunName(n);
    if (std::filesystem::create_directory(run, ec) || ec) return run;
  }
}

VirtualTransport::VirtualTransport(const Clock& clock, std::vector<VirtualPrinterConfig> printers,
                                   std::filesystem::path output_dir, VirtualRecords records) {
  if (!output_dir.empty() && !printers.empty()) run_dir_ = NewRunFolder(output_dir);
  for (std::size_t i = 0; i < printers.size(); ++i)
    printers_.push_back(MakeVirtualPrinter(clock, std::move(printers[i]), static_cast<int>(i),
                                           run_dir_, records));
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
