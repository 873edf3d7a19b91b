#include "device/virtual/combined_transport.h"

#include <algorithm>

namespace qx {

CombinedTransport::CombinedTransport(Transport& first, Transport& second)
    : first_(first), second_(second) {}

int32_t CombinedTransport::EnumrateDevs(DevicePaths& paths) {
  int32_t count = 0;
  for (Transport* side : {&first_, &second_}) {
    DevicePaths found{};
    const int32_t n = std::clamp(side->EnumrateDevs(found), 0, kMaxDevices);
    for (int32_t i = 0; i < n && count < kMaxDevices; ++i) {
      DevicePath& slot = paths[static_cast<std::size_t>(count++)];
      slot = found[static_cast<std::size_t>(i)];
      slot.back() = '\0';
      listed_[std::string(slot.data())] = side;
    }
  }
  return count;
}

int32_t CombinedTransport::OpenByPath(const char* path) {
  if (!path) return -1;
  const auto known = listed_.find(path);
  for (Transport* side : {&first_, &second_}) {
    if (known != listed_.end() && known->second != side) continue;
    const int32_t inner = side->OpenByPath(path);
    if (inner == -1) continue;
    const int32_t handle = next_handle_++;
    handles_[handle] = Link{side, inner};
    return handle;
  }
  return -1;
}

const CombinedTransport::Link* CombinedTransport::LinkOf(int32_t handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

int32_t CombinedTransport::BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                                     uint32_t timeout_ms) {
  const Link* l = LinkOf(handle);
  return l ? l->side->BulkWrite(l->handle, data, length, timeout_ms) : -1;
}

int32_t CombinedTransport::BulkRead(int32_t handle, uint8_t* data, int32_t length,
                                    uint32_t timeout_ms) {
  const Link* l = LinkOf(handle);
  return l ? l->side->BulkRead(l->handle, data, length, timeout_ms) : -1;
}

int32_t CombinedTransport::VendorReq(int32_t handle, uint8_t request, uint16_t value,
                                     StatusBlock& status, uint32_t timeout_ms) {
  const Link* l = LinkOf(handle);
  if (!l) {
    status.fill(0);
    return -1;
  }
  return l->side->VendorReq(l->handle, request, value, status, timeout_ms);
}

int32_t CombinedTransport::CloseHandle(int32_t handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return -1;
  const Link l = it->second;
  handles_.erase(it);
  return l.side->CloseHandle(l.handle);
}

}  // namespace qx
