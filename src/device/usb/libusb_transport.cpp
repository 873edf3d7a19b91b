#include "device/usb/libusb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "device/usb/usb_path.h"

namespace qx {

namespace {

constexpr uint8_t kPrinterClass = 7;
constexpr uint8_t kVendorClass = 0xff;

struct ConfigDeleter {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ConfigPtr = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

struct DeviceListDeleter {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceListPtr = std::unique_ptr<libusb_device*, DeviceListDeleter>;

// Where a printer's data goes in and out.
struct BulkPair {
  uint8_t interface_number = 0;
  uint8_t alt_setting = 0;
  uint8_t out_endpoint = 0;
  uint8_t in_endpoint = 0;
  int in_packet_size = 0;
};

// The first alternate setting with a bulk OUT and a bulk IN endpoint; a printer-class or
// vendor-class interface wins over any other that has them too.
std::optional<BulkPair> FindBulkPair(const libusb_config_descriptor& config) {
  std::optional<BulkPair> other;
  for (int i = 0; i < config.bNumInterfaces; ++i) {
    const libusb_interface& interface = config.interface[i];
    for (int a = 0; a < interface.num_altsetting; ++a) {
      const libusb_interface_descriptor& setting = interface.altsetting[a];
      BulkPair pair{setting.bInterfaceNumber, setting.bAlternateSetting, 0, 0, 0};
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
          continue;
        }
        if ((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
          if (pair.in_endpoint == 0) {
            pair.in_endpoint = endpoint.bEndpointAddress;
            pair.in_packet_size = endpoint.wMaxPacketSize & 0x7ff;
          }
        } else if (pair.out_endpoint == 0) {
          pair.out_endpoint = endpoint.bEndpointAddress;
        }
      }
      if (pair.in_endpoint == 0 || pair.out_endpoint == 0) continue;
      if (setting.bInterfaceClass == kPrinterClass || setting.bInterfaceClass == kVendorClass) {
        return pair;
      }
      if (!other) other = pair;
    }
  }
  return other;
}

// The configuration the device runs in, or its first one while it is unconfigured.
ConfigPtr ReadConfig(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
      libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS) {
    return nullptr;
  }
  return ConfigPtr(config);
}

std::optional<BulkPair> DeviceBulkPair(libusb_device* device) {
  const ConfigPtr config = ReadConfig(device);
  if (!config) return std::nullopt;
  return FindBulkPair(*config);
}

struct FoundPrinter {
  UsbLocation location;
  libusb_device* device = nullptr;  // owned by the device list it came from
};

// Every recognised printer with a bulk pair in the list, in socket order.
std::vector<FoundPrinter> FindPrinters(libusb_device** list, ssize_t count) {
  std::vector<FoundPrinter> found;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* device = list[i];
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) continue;
    if (!IsUsbPrinterId(descriptor.idVendor, descriptor.idProduct)) continue;
    uint8_t ports[kMaxUsbPortDepth];
    const int depth = libusb_get_port_numbers(device, ports, kMaxUsbPortDepth);
    if (depth <= 0) continue;
    if (!DeviceBulkPair(device)) continue;
    FoundPrinter printer;
    printer.location.vendor = descriptor.idVendor;
    printer.location.product = descriptor.idProduct;
    printer.location.bus = libusb_get_bus_number(device);
    printer.location.ports.assign(ports, ports + depth);
    printer.device = device;
    found.push_back(std::move(printer));
  }
  std::stable_sort(found.begin(), found.end(), [](const FoundPrinter& a, const FoundPrinter& b) {
    return UsbSocketLess(a.location, b.location);
  });
  return found;
}

const char* Hint(int code) {
  switch (code) {
    case LIBUSB_ERROR_ACCESS:
      return " (no permission on the device node; is the udev rule installed?)";
    case LIBUSB_ERROR_BUSY:
      return " (the printer is in use by another program)";
    case LIBUSB_ERROR_NO_DEVICE:
      return " (the printer was unplugged)";
    case LIBUSB_ERROR_TIMEOUT:
      return " (no answer in time)";
    case LIBUSB_ERROR_PIPE:
      return " (the printer stalled the transfer)";
    default:
      return "";
  }
}

std::string Describe(int code) {
  return std::string(libusb_error_name(code)) + Hint(code);
}

// libusb waits for ever on 0; the printer calls always mean a finite wait.
unsigned int LibusbTimeout(uint32_t timeout_ms) {
  return timeout_ms == 0 ? 1u : timeout_ms;
}

}  // namespace

LibusbTransport::LibusbTransport(VendorRequestLayout layout) : layout_(layout) {}

LibusbTransport::~LibusbTransport() {
  for (auto& [handle, printer] : open_) {
    libusb_release_interface(printer.handle, printer.interface_number);
    libusb_close(printer.handle);
  }
  open_.clear();
  if (context_) libusb_exit(context_);
}

void LibusbTransport::SetError(std::string text) {
  last_error_ = std::move(text);
}

bool LibusbTransport::EnsureContext() {
  if (context_) return true;
  const int rc = libusb_init(&context_);
  if (rc != LIBUSB_SUCCESS) {
    context_ = nullptr;
    SetError("libusb_init: " + Describe(rc));
    return false;
  }
  return true;
}

int32_t LibusbTransport::EnumrateDevs(DevicePaths& paths) {
  for (DevicePath& path : paths) path.fill('\0');
  if (!EnsureContext()) return 0;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  if (count < 0) {
    SetError("EnumrateDevs: libusb_get_device_list: " + Describe(static_cast<int>(count)));
    return 0;
  }
  const DeviceListPtr owned(list);
  const std::vector<FoundPrinter> found = FindPrinters(list, count);
  const int32_t listed = static_cast<int32_t>(std::min<size_t>(found.size(), kMaxDevices));
  for (int32_t slot = 0; slot < listed; ++slot) {
    const std::string text = FormatUsbPath(found[static_cast<size_t>(slot)].location);
    DevicePath& path = paths[static_cast<size_t>(slot)];
    std::memcpy(path.data(), text.data(), std::min(text.size(), path.size() - 1));
  }
  return listed;
}

int32_t LibusbTransport::OpenByPath(const char* path) {
  const std::string name = path ? path : "";
  const std::string where = "OpenByPath " + name + ": ";
  const std::optional<UsbLocation> wanted = ParseUsbPath(name);
  if (!wanted) {
    SetError(where + "not a printer path");
    return -1;
  }
  if (!EnsureContext()) return -1;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  if (count < 0) {
    SetError(where + "libusb_get_device_list: " + Describe(static_cast<int>(count)));
    return -1;
  }
  const DeviceListPtr owned(list);
  const std::vector<FoundPrinter> found = FindPrinters(list, count);

  // The printer in the named socket; failing that, the only printer of that model, which
  // was probably moved to another socket since the list was made.
  const FoundPrinter* chosen = nullptr;
  std::vector<const FoundPrinter*> same_model;
  for (const FoundPrinter& printer : found) {
    if (printer.location == *wanted) {
      chosen = &printer;
      break;
    }
    if (printer.location.vendor == wanted->vendor && printer.location.product == wanted->product) {
      same_model.push_back(&printer);
    }
  }
  if (!chosen && same_model.size() == 1) chosen = same_model.front();
  if (!chosen) {
    SetError(where + (same_model.empty()
                          ? "printer not found"
                          : "no printer in that socket, and several of that model are attached"));
    return -1;
  }
  libusb_device* const device = chosen->device;

  libusb_device_handle* handle = nullptr;
  int rc = libusb_open(device, &handle);
  if (rc != LIBUSB_SUCCESS) {
    SetError(where + "libusb_open: " + Describe(rc));
    return -1;
  }
  auto fail = [&](const char* step, int code) {
    SetError(where + step + ": " + Describe(code));
    libusb_close(handle);
    return -1;
  };

  // Choosing a configuration resets the device and fails while a kernel driver holds an
  // interface, so only an unconfigured device gets one.
  int configuration = 0;
  rc = libusb_get_configuration(handle, &configuration);
  if (rc != LIBUSB_SUCCESS) return fail("libusb_get_configuration", rc);
  if (configuration == 0) {
    libusb_config_descriptor* first = nullptr;
    rc = libusb_get_config_descriptor(device, 0, &first);
    if (rc != LIBUSB_SUCCESS) return fail("libusb_get_config_descriptor", rc);
    const uint8_t value = first->bConfigurationValue;
    libusb_free_config_descriptor(first);
    rc = libusb_set_configuration(handle, value);
    if (rc != LIBUSB_SUCCESS) return fail("libusb_set_configuration", rc);
  }
  const std::optional<BulkPair> pair = DeviceBulkPair(device);
  if (!pair) return fail("reading the endpoints", LIBUSB_ERROR_NOT_FOUND);

  // Claiming then takes the interface from a kernel driver (usblp) in one step, and
  // releasing it gives the interface back.
  rc = libusb_set_auto_detach_kernel_driver(handle, 1);
  if (rc != LIBUSB_SUCCESS && rc != LIBUSB_ERROR_NOT_SUPPORTED) {
    return fail("libusb_set_auto_detach_kernel_driver", rc);
  }
  rc = libusb_claim_interface(handle, pair->interface_number);
  if (rc != LIBUSB_SUCCESS) return fail("libusb_claim_interface", rc);
  if (pair->alt_setting != 0) {
    rc = libusb_set_interface_alt_setting(handle, pair->interface_number, pair->alt_setting);
    if (rc != LIBUSB_SUCCESS) {
      libusb_release_interface(handle, pair->interface_number);
      return fail("libusb_set_interface_alt_setting", rc);
    }
  }

  OpenPrinter printer;
  printer.handle = handle;
  printer.interface_number = pair->interface_number;
  printer.out_endpoint = pair->out_endpoint;
  printer.in_endpoint = pair->in_endpoint;
  printer.in_packet_size = pair->in_packet_size;
  const int32_t id = next_handle_++;
  open_.emplace(id, printer);
  return id;
}

LibusbTransport::OpenPrinter* LibusbTransport::FindOpen(int32_t handle, const char* operation) {
  const auto it = open_.find(handle);
  if (it == open_.end()) {
    SetError(std::string(operation) + " handle " + std::to_string(handle) + ": not an open handle");
    return nullptr;
  }
  return &it->second;
}

int32_t LibusbTransport::TransferFailed(OpenPrinter& printer, const char* operation,
                                        uint8_t endpoint, int code) {
  if (code == LIBUSB_ERROR_NO_DEVICE) printer.gone = true;
  // A stalled bulk endpoint stays halted until cleared; the next message would fail too.
  if (code == LIBUSB_ERROR_PIPE && endpoint != 0) libusb_clear_halt(printer.handle, endpoint);
  SetError(std::string(operation) + ": " + Describe(code));
  return code;
}

int32_t LibusbTransport::BulkWrite(int32_t handle, const uint8_t* data, int32_t length,
                                   uint32_t timeout_ms) {
  OpenPrinter* printer = FindOpen(handle, "BulkWrite");
  if (!printer) return LIBUSB_ERROR_INVALID_PARAM;
  if (printer->gone) return TransferFailed(*printer, "BulkWrite", 0, LIBUSB_ERROR_NO_DEVICE);
  if (length <= 0 || data == nullptr) {
    SetError("BulkWrite: nothing to send");
    return LIBUSB_ERROR_INVALID_PARAM;
  }
  int transferred = 0;
  const int rc =
      libusb_bulk_transfer(printer->handle, printer->out_endpoint, const_cast<uint8_t*>(data),
                           length, &transferred, LibusbTimeout(timeout_ms));
  if (rc != LIBUSB_SUCCESS) return TransferFailed(*printer, "BulkWrite", printer->out_endpoint, rc);
  if (transferred < length) {
    SetError("BulkWrite: short transfer, " + std::to_string(transferred) + " of " +
             std::to_string(length) + " bytes sent");
    return kShortTransfer;
  }
  return length;
}

int32_t LibusbTransport::BulkRead(int32_t handle, uint8_t* data, int32_t length,
                                  uint32_t timeout_ms) {
  OpenPrinter* printer = FindOpen(handle, "BulkRead");
  if (!printer) return LIBUSB_ERROR_INVALID_PARAM;
  if (printer->gone) return TransferFailed(*printer, "BulkRead", 0, LIBUSB_ERROR_NO_DEVICE);
  if (length <= 0 || data == nullptr) {
    SetError("BulkRead: no room for the reply");
    return LIBUSB_ERROR_INVALID_PARAM;
  }
  // Reading whole packets means a device that sends more than asked for cannot overflow
  // the transfer; the surplus is dropped.
  const int packet = printer->in_packet_size > 0 ? printer->in_packet_size : 64;
  std::vector<uint8_t> buffer(static_cast<size_t>((length + packet - 1) / packet * packet));
  int transferred = 0;
  const int rc = libusb_bulk_transfer(printer->handle, printer->in_endpoint, buffer.data(),
                                      static_cast<int>(buffer.size()), &transferred,
                                      LibusbTimeout(timeout_ms));
  if (rc != LIBUSB_SUCCESS) return TransferFailed(*printer, "BulkRead", printer->in_endpoint, rc);
  if (transferred < length) {
    SetError("BulkRead: short reply, " + std::to_string(transferred) + " of " +
             std::to_string(length) + " bytes received");
    return kShortTransfer;
  }
  std::memcpy(data, buffer.data(), static_cast<size_t>(length));
  return length;
}

int32_t LibusbTransport::VendorReq(int32_t handle, uint8_t request, uint16_t value,
                                   StatusBlock& status, uint32_t timeout_ms) {
  status.fill(0);
  OpenPrinter* printer = FindOpen(handle, "VendorReq");
  if (!printer) return LIBUSB_ERROR_INVALID_PARAM;
  if (printer->gone) return TransferFailed(*printer, "VendorReq", 0, LIBUSB_ERROR_NO_DEVICE);
  std::vector<uint8_t> reply(std::max<size_t>(layout_.length, status.size()));
  const int rc =
      libusb_control_transfer(printer->handle, layout_.request_type, request, value, layout_.index,
                              reply.data(), layout_.length, LibusbTimeout(timeout_ms));
  // A stalled control request clears itself with the next setup packet.
  if (rc < 0) return TransferFailed(*printer, "VendorReq", 0, rc);
  if (static_cast<size_t>(rc) < status.size()) {
    SetError("VendorReq: short status, " + std::to_string(rc) + " of " +
             std::to_string(status.size()) + " bytes received");
    return kShortTransfer;
  }
  std::copy_n(reply.begin(), status.size(), status.begin());
  return rc;
}

int32_t LibusbTransport::CloseHandle(int32_t handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) {
    SetError("CloseHandle handle " + std::to_string(handle) + ": not an open handle");
    return -1;
  }
  // Releasing also gives the interface back to the kernel driver it was taken from; after
  // an unplug both calls fail harmlessly.
  libusb_release_interface(it->second.handle, it->second.interface_number);
  libusb_close(it->second.handle);
  open_.erase(it);
  return 0;
}

}  // namespace qx
