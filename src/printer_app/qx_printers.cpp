#include "printer_app/qx_printers.h"

#include <cctype>
#include <cstdio>

namespace qx::papp {

int32_t LockedTransport::EnumrateDevs(DevicePaths& paths) {
  std::lock_guard lock(mutex_);
  return inner_.EnumrateDevs(paths);
}
int32_t LockedTransport::OpenByPath(const char* path) {
  std::lock_guard lock(mutex_);
  return inner_.OpenByPath(path);
}
int32_t LockedTransport::BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                                   uint32_t timeout_ms) {
  std::lock_guard lock(mutex_);
  return inner_.BulkWrite(handle, data, length, timeout_ms);
}
int32_t LockedTransport::BulkRead(int32_t handle, uint8_t* data, int32_t length,
                                  uint32_t timeout_ms) {
  std::lock_guard lock(mutex_);
  return inner_.BulkRead(handle, data, length, timeout_ms);
}
int32_t LockedTransport::VendorReq(int32_t handle, uint8_t request, uint16_t value,
                                   StatusBlock& status, uint32_t timeout_ms) {
  std::lock_guard lock(mutex_);
  return inner_.VendorReq(handle, request, value, status, timeout_ms);
}
int32_t LockedTransport::CloseHandle(int32_t handle) {
  std::lock_guard lock(mutex_);
  return inner_.CloseHandle(handle);
}

QxPrinters& QxPrinters::Instance() {
  static QxPrinters printers;
  return printers;
}

void QxPrinters::Start(bool with_usb) {
  std::call_once(started_, [&] {
    printers_ = MakePrinterTransports(clock_, with_usb);
    error_ = printers_->error();
    locked_ = std::make_unique<LockedTransport>(printers_->transport());
  });
}

Transport& QxPrinters::transport() {
  Start(true);
  return *locked_;
}

std::vector<FoundPrinter> QxPrinters::Find() {
  DeviceTable d;
  std::vector<FoundPrinter> found;
  for (const DeviceEntry& e : EnumerateDevices(transport(), d))
    found.push_back({std::string(d.Path(e.slot)), std::string(d.Name(e.slot))});
  return found;
}

std::string DeviceUriOf(const std::string& path) {
  std::string uri = "qx:///";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == ':') {
      uri += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      uri += hex;
    }
  }
  return uri;
}

std::string DevicePathOf(const char* uri) {
  std::string_view u = uri ? uri : "";
  constexpr std::string_view kPrefix = "qx:///";
  if (u.substr(0, kPrefix.size()) != kPrefix) return {};
  u.remove_prefix(kPrefix.size());
  std::string path;
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (u[i] == '%' && i + 2 < u.size() && std::isxdigit(static_cast<unsigned char>(u[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(u[i + 2]))) {
      path += static_cast<char>(std::stoi(std::string(u.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      path += u[i];
    }
  }
  return path;
}

std::string DeviceIdOf(const std::string& model) {
  const std::size_t space = model.find(' ');
  const std::string make = space == std::string::npos ? model : model.substr(0, space);
  const std::string name = space == std::string::npos ? model : model.substr(space + 1);
  return "MFG:" + make + ";MDL:" + name + ";CMD:QX;";
}

}  // namespace qx::papp
