#include "usb_testbed.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

namespace qx::test {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xff));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (const uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

std::string Ep(unsigned endpoint) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", endpoint & 0xffu);
  return text;
}

int BusOf(std::string_view socket) {
  return std::stoi(std::string(socket.substr(0, socket.find('-'))));
}

// Keeps a resolved ioctl argument alive for the duration of one handler call.
struct DataRef {
  UMockdevIoctlData* data = nullptr;
  explicit DataRef(UMockdevIoctlData* d) : data(d) {}
  ~DataRef() {
    if (data) umockdev_ioctl_data_unref(data);
  }
  DataRef(const DataRef&) = delete;
  DataRef& operator=(const DataRef&) = delete;
  template <typename T>
  T& As() const {
    return *reinterpret_cast<T*>(data->data);
  }
};

DataRef Resolve(UMockdevIoctlData* arg, size_t offset, size_t length) {
  return DataRef(umockdev_ioctl_data_resolve(arg, offset, length, nullptr));
}

}  // namespace

std::vector<InterfaceDef> PrinterInterfaces() {
  return {InterfaceDef{0, 0, 7, {{0x01}, {0x82}}}};
}

std::vector<uint8_t> Descriptors(uint16_t vendor, uint16_t product,
                                 const std::vector<InterfaceDef>& interfaces,
                                 uint8_t device_class) {
  std::vector<uint8_t> out = {18, 1};
  Put16(out, 0x0200);
  out.insert(out.end(), {device_class, 0, 0, 64});
  Put16(out, vendor);
  Put16(out, product);
  Put16(out, 0x0100);
  out.insert(out.end(), {0, 0, 0, 1});

  std::vector<uint8_t> body;
  std::set<uint8_t> numbers;
  for (const InterfaceDef& interface : interfaces) {
    numbers.insert(interface.number);
    body.insert(body.end(), {9, 4, interface.number, interface.alt_setting,
                             static_cast<uint8_t>(interface.endpoints.size()),
                             interface.interface_class, 1, 2, 0});
    for (const EndpointDef& endpoint : interface.endpoints) {
      body.insert(body.end(), {7, 5, endpoint.address, endpoint.attributes});
      Put16(body, endpoint.max_packet);
      body.push_back(endpoint.attributes == 3 ? 10 : 0);
    }
  }
  out.insert(out.end(), {9, 2});
  Put16(out, static_cast<uint16_t>(9 + body.size()));
  out.insert(out.end(), {static_cast<uint8_t>(numbers.size()), 1, 0, 0x80, 50});
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// ---------------------------------------------------------------------------------------

FakeUsbPrinter::FakeUsbPrinter() : handler_(umockdev_ioctl_base_new()) {
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&FakeUsbPrinter::OnIoctl), this);
}

FakeUsbPrinter::~FakeUsbPrinter() {
  g_signal_handlers_disconnect_by_data(handler_, this);
  for (UMockdevIoctlData* urb : pending_) umockdev_ioctl_data_unref(urb);
  for (UMockdevIoctlData* urb : done_) umockdev_ioctl_data_unref(urb);
  g_object_unref(handler_);
}

void FakeUsbPrinter::SetStatus(std::vector<uint8_t> status) {
  const std::lock_guard lock(mutex_);
  status_ = std::move(status);
}

void FakeUsbPrinter::QueueReply(std::vector<uint8_t> reply) {
  const std::lock_guard lock(mutex_);
  replies_.push_back(std::move(reply));
}

void FakeUsbPrinter::StallNext(uint8_t endpoint) {
  const std::lock_guard lock(mutex_);
  stall_endpoint_ = endpoint;
}

void FakeUsbPrinter::AcceptOnlyNext(int bytes) {
  const std::lock_guard lock(mutex_);
  accept_only_ = bytes;
}

void FakeUsbPrinter::Unplug() {
  const std::lock_guard lock(mutex_);
  unplugged_ = true;
}

std::vector<std::string> FakeUsbPrinter::Events() const {
  const std::lock_guard lock(mutex_);
  return events_;
}

std::vector<ControlSetup> FakeUsbPrinter::ControlSetups() const {
  const std::lock_guard lock(mutex_);
  return setups_;
}

std::vector<std::vector<uint8_t>> FakeUsbPrinter::Written() const {
  const std::lock_guard lock(mutex_);
  return written_;
}

int FakeUsbPrinter::Submissions() const {
  const std::lock_guard lock(mutex_);
  return submissions_;
}

void FakeUsbPrinter::Record(std::string event) {
  events_.push_back(std::move(event));
}

gboolean FakeUsbPrinter::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  return static_cast<FakeUsbPrinter*>(self)->HandleIoctl(client) ? TRUE : FALSE;
}

bool FakeUsbPrinter::HandleIoctl(UMockdevIoctlClient* client) {
  const std::lock_guard lock(mutex_);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    ReapUrb(client, arg);
    return true;
  }
  if (request == USBDEVFS_DISCARDURB) {
    DiscardUrb(client, arg);
    return true;
  }
  if (unplugged_) {
    if (request == USBDEVFS_SUBMITURB) ++submissions_;
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return true;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      const DataRef caps = Resolve(arg, 0, sizeof(uint32_t));
      caps.As<uint32_t>() = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      break;
    }
    case USBDEVFS_CLAIMINTERFACE: {
      const DataRef number = Resolve(arg, 0, sizeof(unsigned));
      Record("claim if=" + std::to_string(number.As<unsigned>()));
      break;
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
      const DataRef claim = Resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
      const auto& c = claim.As<usbdevfs_disconnect_claim>();
      std::string event = "detach-and-claim if=" + std::to_string(c.interface);
      if (c.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) {
        event += " except=" + std::string(c.driver, strnlen(c.driver, sizeof c.driver));
      }
      Record(event);
      break;
    }
    case USBDEVFS_RELEASEINTERFACE: {
      const DataRef number = Resolve(arg, 0, sizeof(unsigned));
      Record("release if=" + std::to_string(number.As<unsigned>()));
      break;
    }
    case USBDEVFS_IOCTL: {
      const DataRef command = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
      const auto& c = command.As<usbdevfs_ioctl>();
      const unsigned long code = static_cast<unsigned>(c.ioctl_code);
      if (code == USBDEVFS_CONNECT) {
        Record("reattach if=" + std::to_string(c.ifno));
      } else if (code == USBDEVFS_DISCONNECT) {
        Record("detach if=" + std::to_string(c.ifno));
      } else {
        return false;
      }
      break;
    }
    case USBDEVFS_SETINTERFACE: {
      const DataRef setting = Resolve(arg, 0, sizeof(usbdevfs_setinterface));
      const auto& s = setting.As<usbdevfs_setinterface>();
      Record("set-interface if=" + std::to_string(s.interface) +
             " alt=" + std::to_string(s.altsetting));
      break;
    }
    case USBDEVFS_SETCONFIGURATION: {
      const DataRef value = Resolve(arg, 0, sizeof(unsigned));
      Record("set-configuration " + std::to_string(value.As<unsigned>()));
      break;
    }
    case USBDEVFS_CLEAR_HALT: {
      const DataRef endpoint = Resolve(arg, 0, sizeof(unsigned));
      Record("clear-halt ep=" + Ep(endpoint.As<unsigned>()));
      break;
    }
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
      Record("reset");
      break;
    case USBDEVFS_SUBMITURB:
      SubmitUrb(client, arg);
      return true;
    default:
      return false;  // umockdev answers ENOTTY, as an old kernel would
  }
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

void FakeUsbPrinter::SubmitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  ++submissions_;
  // The URB and its buffer are copied into this process; what is written to the copies
  // goes back to libusb when the ioctl completes.
  UMockdevIoctlData* urb_data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto& urb = *reinterpret_cast<usbdevfs_urb*>(urb_data->data);
  const DataRef buffer =
      Resolve(urb_data, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(urb.buffer_length));
  uint8_t* bytes = buffer.data ? buffer.data->data : nullptr;
  const int length = urb.buffer_length;
  const uint8_t endpoint = urb.endpoint;
  urb.actual_length = 0;
  urb.status = 0;

  const bool stall = stall_endpoint_ && *stall_endpoint_ == endpoint;
  if (stall) stall_endpoint_.reset();
  bool finished = true;

  if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
    ControlSetup setup{bytes[0], bytes[1], static_cast<uint16_t>(bytes[2] | bytes[3] << 8),
                       static_cast<uint16_t>(bytes[4] | bytes[5] << 8),
                       static_cast<uint16_t>(bytes[6] | bytes[7] << 8)};
    setups_.push_back(setup);
    char event[64];
    std::snprintf(event, sizeof event, "control %02x %02x %04x %04x %u", setup.request_type,
                  setup.request, setup.value, setup.index, static_cast<unsigned>(setup.length));
    Record(event);
    if (stall) {
      urb.status = -EPIPE;
    } else if (setup.request_type & 0x80) {
      const size_t n = std::min<size_t>(status_.size(), setup.length);
      std::copy_n(status_.begin(), n, bytes + 8);
      urb.actual_length = static_cast<int>(n);
    } else {
      urb.actual_length = setup.length;
    }
  } else if (endpoint & 0x80) {
    Record("bulk-in ep=" + Ep(endpoint) + " len=" + std::to_string(length));
    if (stall) {
      urb.status = -EPIPE;
    } else if (!replies_.empty()) {
      const std::vector<uint8_t> reply = std::move(replies_.front());
      replies_.pop_front();
      const size_t n = std::min<size_t>(reply.size(), static_cast<size_t>(length));
      std::copy_n(reply.begin(), n, bytes);
      urb.actual_length = static_cast<int>(n);
    } else {
      finished = false;
    }
  } else {
    Record("bulk-out ep=" + Ep(endpoint) + " len=" + std::to_string(length));
    if (stall) {
      urb.status = -EPIPE;
    } else {
      const int taken = accept_only_ ? std::min(*accept_only_, length) : length;
      accept_only_.reset();
      written_.emplace_back(bytes, bytes + taken);
      urb.actual_length = taken;
    }
  }
  (finished ? done_ : pending_).push_back(urb_data);
  umockdev_ioctl_client_complete(client, 0, 0);
}

void FakeUsbPrinter::ReapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (done_.empty()) {
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
    return;
  }
  UMockdevIoctlData* urb_data = done_.front();
  done_.pop_front();
  const DataRef slot = Resolve(arg, 0, sizeof(void*));
  umockdev_ioctl_data_set_ptr(slot.data, 0, urb_data);
  umockdev_ioctl_data_unref(urb_data);
  umockdev_ioctl_client_complete(client, 0, 0);
}

void FakeUsbPrinter::DiscardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  // The argument is the URB's address itself.
  const auto address = static_cast<gulong>(*reinterpret_cast<uintptr_t*>(arg->data));
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [&](UMockdevIoctlData* urb) { return urb->client_addr == address; });
  if (it == pending_.end()) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return;
  }
  UMockdevIoctlData* urb_data = *it;
  pending_.erase(it);
  Record("discard ep=" + Ep(reinterpret_cast<usbdevfs_urb*>(urb_data->data)->endpoint));
  reinterpret_cast<usbdevfs_urb*>(urb_data->data)->status = -ENOENT;
  done_.push_back(urb_data);
  umockdev_ioctl_client_complete(client, 0, 0);
}

// ---------------------------------------------------------------------------------------

UsbTestbed::UsbTestbed() : testbed_(umockdev_testbed_new()) {}

UsbTestbed::~UsbTestbed() {
  g_object_unref(testbed_);
}

bool UsbTestbed::Active() const {
  // A file made in the testbed's sysfs by its real name must be visible as /sys/...
  gchar* sys_dir = umockdev_testbed_get_sys_dir(testbed_);
  const std::string marker = std::string(sys_dir) + "/qx-testbed-marker";
  g_free(sys_dir);
  if (!g_file_set_contents(marker.c_str(), "1", 1, nullptr)) return false;
  return access("/sys/qx-testbed-marker", F_OK) == 0;
}

std::string UsbTestbed::SysPath(std::string_view socket) const {
  const std::string name(socket);
  std::string path = "/sys/devices/usb" + std::to_string(BusOf(socket));
  // Each hub on the way is a directory named by the port chain down to it.
  size_t dot = name.find('.');
  while (dot != std::string::npos) {
    path += "/" + name.substr(0, dot);
    dot = name.find('.', dot + 1);
  }
  return path + "/" + name;
}

static std::string DeviceRecord(const std::string& sys_path, int bus, int address,
                                const std::vector<uint8_t>& descriptors) {
  char node[32];
  std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", bus, address);
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "E: BUSNUM=%03d\nE: DEVNUM=%03d\n", bus, address);
  return "P: " + sys_path.substr(4) + "\nN: " + node + "\nE: SUBSYSTEM=usb\n" +
         "E: DEVTYPE=usb_device\nE: DRIVER=usb\n" + numbers + "E: DEVNAME=/dev/" + node +
         "\nA: busnum=" + std::to_string(bus) + "\\n\nA: devnum=" + std::to_string(address) +
         "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nH: descriptors=" + Hex(descriptors) +
         "\n";
}

void UsbTestbed::AddRootHub(int bus) {
  const std::vector<uint8_t> hub =
      Descriptors(0x1d6b, 0x0002, {InterfaceDef{0, 0, 9, {{0x81, 3, 4}}}}, 9);
  umockdev_testbed_add_from_string(
      testbed_, DeviceRecord("/sys/devices/usb" + std::to_string(bus), bus, 1, hub).c_str(),
      nullptr);
}

void UsbTestbed::AddHub(std::string_view socket, int address) {
  const std::vector<uint8_t> hub =
      Descriptors(0x05e3, 0x0608, {InterfaceDef{0, 0, 9, {{0x81, 3, 1}}}}, 9);
  AddDevice(socket, address, hub);
}

std::string UsbTestbed::AddDevice(std::string_view socket, int address,
                                  const std::vector<uint8_t>& descriptors) {
  const int bus = BusOf(socket);
  umockdev_testbed_add_from_string(
      testbed_, DeviceRecord(SysPath(socket), bus, address, descriptors).c_str(), nullptr);
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, address);
  return node;
}

void UsbTestbed::Attach(const std::string& devnode, FakeUsbPrinter& printer) {
  umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), printer.Handler(), nullptr);
}

void UsbTestbed::Remove(std::string_view socket) {
  const std::string path = SysPath(socket);
  umockdev_testbed_uevent(testbed_, path.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, path.c_str());
}

void UsbTestbed::AnnounceAdd(std::string_view socket) {
  umockdev_testbed_uevent(testbed_, SysPath(socket).c_str(), "add");
}

}  // namespace qx::test
