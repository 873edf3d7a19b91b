// Two transports seen as one, e.g. the virtual printers first and the real USB printers
// after them: one list of at most four printers, the first transport's before the
// second's. Each side keeps its own handles; the combined transport gives out its own
// (from 1, never reused) and maps them, so handles of the two sides can never be mixed
// up. A path is opened on the side that listed it (either side, in order, for a path
// never listed). Both transports must outlive the combined one.
#pragma once

#include <map>
#include <string>

#include "device/transport.h"

namespace qx {

class CombinedTransport final : public Transport {
 public:
  CombinedTransport(Transport& first, Transport& second);

  int32_t EnumrateDevs(DevicePaths& paths) override;
  int32_t OpenByPath(const char* path) override;
  int32_t BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                    uint32_t timeout_ms) override;
  int32_t BulkRead(int32_t handle, uint8_t* data, int32_t length, uint32_t timeout_ms) override;
  int32_t VendorReq(int32_t handle, uint8_t request, uint16_t value, StatusBlock& status,
                    uint32_t timeout_ms) override;
  int32_t CloseHandle(int32_t handle) override;

 private:
  struct Link {
    Transport* side;
    int32_t handle;
  };
  const Link* LinkOf(int32_t handle) const;

  Transport& first_;
  Transport& second_;
  std::map<std::string, Transport*> listed_;  // every path seen, with the side that listed it
  std::map<int32_t, Link> handles_;
  int32_t next_handle_ = 1;
};

}  // namespace qx
