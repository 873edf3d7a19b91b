// A simulated USB bus for testing the libusb transport without hardware.
//
// umockdev's preload library (linked into the test binary) redirects /sys and /dev to a
// temporary testbed. UsbTestbed adds root hubs, hubs and devices there, with the sysfs
// attributes and descriptors libusb reads while enumerating. FakeUsbPrinter answers the
// usbfs ioctls libusb sends to an opened device node: it records what it is asked to do
// as a readable event list and plays the printer's side of control and bulk transfers,
// with faults on request (stall, short answers, silence, unplug).
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::test {

struct EndpointDef {
  uint8_t address;
  uint8_t attributes = 2;  // bulk
  uint16_t max_packet = 512;
};

struct InterfaceDef {
  uint8_t number = 0;
  uint8_t alt_setting = 0;
  uint8_t interface_class = 7;  // printer
  std::vector<EndpointDef> endpoints;
};

// A printer-class interface 0 with bulk OUT 0x01 and bulk IN 0x82, 512-byte packets.
std::vector<InterfaceDef> PrinterInterfaces();

// The sysfs "descriptors" blob: device descriptor followed by one configuration.
std::vector<uint8_t> Descriptors(uint16_t vendor, uint16_t product,
                                 const std::vector<InterfaceDef>& interfaces,
                                 uint8_t device_class = 0);

// The setup packet of one control transfer, as the device saw it.
struct ControlSetup {
  uint8_t request_type;
  uint8_t request;
  uint16_t value;
  uint16_t index;
  uint16_t length;
  bool operator==(const ControlSetup&) const = default;
};

class FakeUsbPrinter {
 public:
  FakeUsbPrinter();
  ~FakeUsbPrinter();
  FakeUsbPrinter(const FakeUsbPrinter&) = delete;
  FakeUsbPrinter& operator=(const FakeUsbPrinter&) = delete;

  UMockdevIoctlBase* Handler() const { return handler_; }

  // The answer to every device-to-host control request (as many bytes as given).
  void SetStatus(std::vector<uint8_t> status);
  // The answer to the next bulk IN transfer; with none queued an IN transfer stays
  // pending until the host gives up on it.
  void QueueReply(std::vector<uint8_t> reply);
  // The next transfer on `endpoint` (0 for control) fails with a stall.
  void StallNext(uint8_t endpoint);
  // The next bulk OUT transfer takes only this many bytes.
  void AcceptOnlyNext(int bytes);
  // From now on the device is gone: every request fails with ENODEV.
  void Unplug();

  // Everything asked of the device, in order, e.g. "detach-and-claim if=0 except=usbfs",
  // "bulk-out ep=0x01 len=512", "clear-halt ep=0x82", "release if=0", "reattach if=0".
  std::vector<std::string> Events() const;
  std::vector<ControlSetup> ControlSetups() const;
  // The bytes of every bulk OUT transfer, in order.
  std::vector<std::vector<uint8_t>> Written() const;
  // How many transfers were submitted (accepted or not).
  int Submissions() const;

 private:
  static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
  bool HandleIoctl(UMockdevIoctlClient* client);
  void SubmitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void ReapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void DiscardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void Record(std::string event);

  UMockdevIoctlBase* handler_ = nullptr;

  // The ioctls arrive on umockdev's thread while the test thread waits in libusb.
  mutable std::mutex mutex_;
  std::vector<uint8_t> status_;
  std::deque<std::vector<uint8_t>> replies_;
  std::optional<uint8_t> stall_endpoint_;
  std::optional<int> accept_only_;
  bool unplugged_ = false;
  std::vector<std::string> events_;
  std::vector<ControlSetup> setups_;
  std::vector<std::vector<uint8_t>> written_;
  int submissions_ = 0;
  std::deque<UMockdevIoctlData*> pending_;  // IN transfers waiting for data
  std::deque<UMockdevIoctlData*> done_;     // finished transfers waiting to be reaped
};

class UsbTestbed {
 public:
  UsbTestbed();
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  // Whether file accesses really go to the testbed, i.e. umockdev's preload library is
  // active in this process.
  bool Active() const;

  void AddRootHub(int bus);
  // Adds a device in the socket named like the kernel does ("1-3", "1-2.4"; the hub "1-2"
  // must exist already) and returns its device node, e.g. "/dev/bus/usb/001/005".
  std::string AddDevice(std::string_view socket, int address,
                        const std::vector<uint8_t>& descriptors);
  void AddHub(std::string_view socket, int address);
  // Answers the usbfs ioctls on `devnode` with `printer`.
  void Attach(const std::string& devnode, FakeUsbPrinter& printer);
  // Takes the device out of sysfs and /dev and announces its removal.
  void Remove(std::string_view socket);
  // Announces a device added with AddDevice to listeners (hotplug).
  void AnnounceAdd(std::string_view socket);

 private:
  std::string SysPath(std::string_view socket) const;

  UMockdevTestbed* testbed_ = nullptr;
};

}  // namespace qx::test
