// The libusb transport against simulated printers on a umockdev bus: the real libusb
// enumerates sysfs, opens the device node and sends usbfs requests, which FakeUsbPrinter
// answers.
#include "device/usb/libusb_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libusb.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "usb_testbed.h"

namespace qx {
namespace {

using test::ControlSetup;
using test::Descriptors;
using test::FakeUsbPrinter;
using test::InterfaceDef;
using test::PrinterInterfaces;
using test::UsbTestbed;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr uint16_t kQa11Vendor = 0x0471, kQa11Product = 0x0666;
constexpr uint16_t kQbVendor = 0x5d29, kQb20Product = 0x2029, kQb16iProduct = 0x202b;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

class LibusbTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bed_.Active()) {
      GTEST_SKIP() << "umockdev's preload library is not active in this process, so there is "
                      "no simulated USB bus (link the test with libumockdev-preload or run it "
                      "under umockdev-wrapper)";
    }
    bed_.AddRootHub(1);
  }

  // Plugs a device into `socket` and lets a new fake printer answer for it.
  FakeUsbPrinter& Plug(std::string_view socket, int address, uint16_t vendor = kQbVendor,
                       uint16_t product = kQb20Product,
                       const std::vector<InterfaceDef>& interfaces = PrinterInterfaces()) {
    printers_.push_back(std::make_unique<FakeUsbPrinter>());
    bed_.Attach(bed_.AddDevice(socket, address, Descriptors(vendor, product, interfaces)),
                *printers_.back());
    return *printers_.back();
  }

  // The four slots after an enumeration into slots full of stale text.
  std::vector<std::string> Enumerate(LibusbTransport& transport, int32_t& count) {
    DevicePaths paths;
    for (DevicePath& path : paths) path.fill('x');
    count = transport.EnumrateDevs(paths);
    std::vector<std::string> texts;
    for (const DevicePath& path : paths) {
      texts.emplace_back(path.data(), strnlen(path.data(), path.size()));
    }
    return texts;
  }

  // Enumerates and opens the printer in slot 0.
  int32_t OpenFirst(LibusbTransport& transport) {
    int32_t count = 0;
    const std::string path = Enumerate(transport, count)[0];
    EXPECT_GE(count, 1);
    return transport.OpenByPath(path.c_str());
  }
  int32_t OpenFirst() { return OpenFirst(transport_); }

  std::vector<std::unique_ptr<FakeUsbPrinter>> printers_;
  UsbTestbed bed_;
  LibusbTransport transport_;  // declared last: closes its handles before the bus goes
};

// --- Enumeration -------------------------------------------------------------------------

TEST_F(LibusbTransportTest, ListsOnlyRecognisedPrintersWithABulkPairInSocketOrder) {
  bed_.AddRootHub(2);
  bed_.AddHub("1-2", 3);
  Plug("1-1", 2, 0x1234, 0x5678);  // a stranger with the same endpoints
  Plug("1-3", 4, kQbVendor, kQb16iProduct,
       {InterfaceDef{0, 0, 7, {{0x01}, {0x82, 3, 64}}}});  // IN is interrupt: no bulk pair
  Plug("1-10", 5, kQa11Vendor, kQa11Product);
  Plug("1-2.4", 6, kQbVendor, kQb20Product);
  Plug("2-1", 2, kQbVendor, kQb16iProduct);

  int32_t count = 0;
  EXPECT_THAT(Enumerate(transport_, count),
              ElementsAre("usb:vid_5d29&pid_2029@1-2.4", "usb:vid_0471&pid_0666@1-10",
                          "usb:vid_5d29&pid_202b@2-1", ""));
  EXPECT_EQ(count, 3);
}

TEST_F(LibusbTransportTest, KeepsTheFirstFourOfFivePrinters) {
  for (int port = 5; port >= 1; --port) Plug("1-" + std::to_string(port), 1 + port);

  int32_t count = 0;
  EXPECT_THAT(Enumerate(transport_, count),
              ElementsAre("usb:vid_5d29&pid_2029@1-1", "usb:vid_5d29&pid_2029@1-2",
                          "usb:vid_5d29&pid_2029@1-3", "usb:vid_5d29&pid_2029@1-4"));
  EXPECT_EQ(count, 4);
}

TEST_F(LibusbTransportTest, ABusWithoutPrintersListsNothing) {
  int32_t count = -1;
  EXPECT_THAT(Enumerate(transport_, count), ElementsAre("", "", "", ""));
  EXPECT_EQ(count, 0);
}

// --- Opening and closing ------------------------------------------------------------------

TEST_F(LibusbTransportTest, OpenDetachesTheKernelDriverAndCloseGivesItBack) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);
  EXPECT_THAT(printer.Events(), ElementsAre("detach-and-claim if=0 except=usbfs"));

  EXPECT_EQ(transport_.CloseHandle(handle), 0);
  EXPECT_THAT(printer.Events(),
              ElementsAre("detach-and-claim if=0 except=usbfs", "release if=0", "reattach if=0"));
}

TEST_F(LibusbTransportTest, InterfaceSettingAndEndpointsComeFromTheDescriptors) {
  // A HID interface first, then the printer's data interface whose endpoints only exist in
  // alternate setting 1, at unusual addresses with 64-byte packets.
  FakeUsbPrinter& printer =
      Plug("1-3", 2, kQbVendor, kQb20Product,
           {InterfaceDef{0, 0, 3, {{0x81, 3, 8}}}, InterfaceDef{1, 0, 0xff, {}},
            InterfaceDef{1, 1, 0xff, {{0x84, 2, 64}, {0x03, 2, 64}}}});
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);

  const std::vector<uint8_t> command = {0x1b, 0x40, 0x00, 0x01};
  EXPECT_EQ(transport_.BulkWrite(handle, command.data(), 4, 500), 4);
  const std::vector<uint8_t> reply = Pattern(16, 1);
  printer.QueueReply(reply);
  uint8_t in[16] = {};
  EXPECT_EQ(transport_.BulkRead(handle, in, 16, 500), 16);
  EXPECT_EQ(std::vector<uint8_t>(in, in + 16), reply);

  EXPECT_THAT(printer.Events(),
              ElementsAre("detach-and-claim if=1 except=usbfs", "set-interface if=1 alt=1",
                          "bulk-out ep=0x03 len=4", "bulk-in ep=0x84 len=64"));
  EXPECT_THAT(printer.Written(), ElementsAre(command));
}

TEST_F(LibusbTransportTest, OpenRefusesPathsOfNoAttachedPrinter) {
  FakeUsbPrinter& printer = Plug("1-3", 2, kQbVendor, kQb20Product);
  Plug("1-4", 3, 0x1234, 0x5678);
  const char* const paths[] = {
      nullptr,
      "",
      "usb:vid_5d29&pid_2029",      // no socket
      "usb:vid_5d29&pid_202b@1-3",  // another model than the one in that socket
      "usb:vid_1234&pid_5678@1-4",  // not a printer, though attached
      "usb:vid_0471&pid_0666@1-9",  // nothing of that model anywhere
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path ? path : "(null)");
    EXPECT_EQ(transport_.OpenByPath(path), -1);
    EXPECT_THAT(transport_.LastError(), StartsWith("OpenByPath"));
  }
  EXPECT_THAT(printer.Events(), ElementsAre());
}

TEST_F(LibusbTransportTest, OpenFollowsTheOnlyPrinterOfItsModelToAnotherSocket) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  EXPECT_GT(transport_.OpenByPath("usb:vid_5d29&pid_2029@1-5"), 0);
  EXPECT_THAT(printer.Events(), ElementsAre("detach-and-claim if=0 except=usbfs"));
}

TEST_F(LibusbTransportTest, OpenDoesNotGuessAmongSeveralPrintersOfTheModel) {
  FakeUsbPrinter& first = Plug("1-3", 2);
  FakeUsbPrinter& second = Plug("1-4", 3);
  EXPECT_EQ(transport_.OpenByPath("usb:vid_5d29&pid_2029@1-5"), -1);
  EXPECT_THAT(first.Events(), ElementsAre());
  EXPECT_THAT(second.Events(), ElementsAre());
}

TEST_F(LibusbTransportTest, HandlesAreNeverReusedAndUnknownOnesFail) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t first = OpenFirst();
  ASSERT_GT(first, 0);
  EXPECT_EQ(transport_.CloseHandle(first), 0);
  const int32_t second = OpenFirst();
  ASSERT_GT(second, 0);
  EXPECT_NE(second, first);

  const uint8_t byte = 0;
  StatusBlock status{};
  EXPECT_LT(transport_.BulkWrite(first, &byte, 1, 500), 0);
  EXPECT_LT(transport_.VendorReq(first, 1, 0, status, 500), 0);
  EXPECT_EQ(transport_.CloseHandle(first), -1);
  EXPECT_THAT(transport_.LastError(), HasSubstr("not an open handle"));
  EXPECT_EQ(printer.Submissions(), 0);
}

// --- Transfers ---------------------------------------------------------------------------

TEST_F(LibusbTransportTest, VendorRequestSendsItsSetupAndReturnsTheStatusBlock) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  printer.SetStatus({0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
  const struct {
    VendorRequestLayout layout;
    ControlSetup expected;
  } cases[] = {
      {VendorRequestLayout{}, ControlSetup{0xC0, 0x13, 0x0300, 0, 8}},
      {VendorRequestLayout{0xC1, 1, 8}, ControlSetup{0xC1, 0x13, 0x0300, 1, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout.request_type));
    LibusbTransport transport(c.layout);
    const int32_t handle = OpenFirst(transport);
    ASSERT_GT(handle, 0);
    StatusBlock status;
    status.fill(0xee);
    EXPECT_GE(transport.VendorReq(handle, 0x13, 0x0300, status, 500), 0);
    EXPECT_EQ(status, (StatusBlock{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
    ASSERT_FALSE(printer.ControlSetups().empty());
    EXPECT_EQ(printer.ControlSetups().back(), c.expected);
  }
}

TEST_F(LibusbTransportTest, BulkMessagesGoOutAndRepliesComeBackWhole) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);

  const std::vector<uint8_t> image = Pattern(512, 3);
  EXPECT_EQ(transport_.BulkWrite(handle, image.data(), 512, 500), 512);
  EXPECT_THAT(printer.Written(), ElementsAre(image));

  // A reply is read in whole packets, so a device that sends more than asked for does not
  // overflow the transfer; the caller gets the bytes it asked for.
  const std::vector<uint8_t> reply = Pattern(16, 9);
  std::vector<uint8_t> longer = Pattern(20, 40);
  printer.QueueReply(reply);
  printer.QueueReply(longer);
  uint8_t in[16] = {};
  EXPECT_EQ(transport_.BulkRead(handle, in, 16, 500), 16);
  EXPECT_EQ(std::vector<uint8_t>(in, in + 16), reply);
  EXPECT_EQ(transport_.BulkRead(handle, in, 16, 500), 16);
  EXPECT_EQ(std::vector<uint8_t>(in, in + 16),
            std::vector<uint8_t>(longer.begin(), longer.begin() + 16));

  EXPECT_THAT(printer.Events(), Contains("bulk-out ep=0x01 len=512"));
  EXPECT_THAT(printer.Events(), Contains("bulk-in ep=0x82 len=512"));
}

TEST_F(LibusbTransportTest, ShortTransfersFail) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);
  const std::vector<uint8_t> image = Pattern(512, 0);
  const struct {
    const char* name;
    std::function<void()> arrange;
    std::function<int32_t()> act;
  } cases[] = {
      {"reply of 10 bytes for 16", [&] { printer.QueueReply(Pattern(10, 0)); },
       [&] {
         uint8_t in[16];
         return transport_.BulkRead(handle, in, 16, 500);
       }},
      {"status of 5 bytes for 8",
       [&] {
         printer.SetStatus({1, 2, 3, 4, 5});
       },
       [&] {
         StatusBlock status;
         return transport_.VendorReq(handle, 1, 0, status, 500);
       }},
      {"write taken 100 of 512 bytes", [&] { printer.AcceptOnlyNext(100); },
       [&] { return transport_.BulkWrite(handle, image.data(), 512, 500); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_EQ(c.act(), LibusbTransport::kShortTransfer);
    EXPECT_THAT(transport_.LastError(), HasSubstr("short"));
  }
}

TEST_F(LibusbTransportTest, ReadWithoutAReplyTimesOutAndTheHandleStaysUsable) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);

  uint8_t in[16] = {};
  EXPECT_EQ(transport_.BulkRead(handle, in, 16, 5), LIBUSB_ERROR_TIMEOUT);
  EXPECT_THAT(transport_.LastError(), HasSubstr("LIBUSB_ERROR_TIMEOUT"));
  EXPECT_THAT(printer.Events(), Contains("discard ep=0x82"));

  printer.QueueReply(Pattern(16, 5));
  EXPECT_EQ(transport_.BulkRead(handle, in, 16, 500), 16);
}

TEST_F(LibusbTransportTest, StallFailsTheTransferAndClearsTheBulkEndpoint) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);
  const std::vector<uint8_t> command = {1, 2, 3, 4, 5};
  printer.SetStatus(Pattern(8, 0));
  const struct {
    const char* name;
    uint8_t endpoint;
    std::function<int32_t()> act;
  } cases[] = {
      {"write", 0x01, [&] { return transport_.BulkWrite(handle, command.data(), 5, 500); }},
      {"read", 0x82,
       [&] {
         printer.QueueReply(Pattern(16, 0));
         uint8_t in[16];
         return transport_.BulkRead(handle, in, 16, 500);
       }},
      {"vendor request", 0,
       [&] {
         StatusBlock status;
         return transport_.VendorReq(handle, 1, 0, status, 500);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    printer.StallNext(c.endpoint);
    EXPECT_EQ(c.act(), LIBUSB_ERROR_PIPE);
    EXPECT_THAT(transport_.LastError(), HasSubstr("LIBUSB_ERROR_PIPE"));
    EXPECT_GE(c.act(), 0);  // the next one goes through
  }
  // Only the bulk endpoints needed clearing; a control pipe recovers by itself.
  std::vector<std::string> clears;
  for (const std::string& event : printer.Events()) {
    if (event.starts_with("clear-halt")) clears.push_back(event);
  }
  EXPECT_THAT(clears, ElementsAre("clear-halt ep=0x01", "clear-halt ep=0x82"));
}

TEST_F(LibusbTransportTest, UnplugFailsAndLaterCallsDoNotTouchTheBus) {
  FakeUsbPrinter& printer = Plug("1-3", 2);
  const int32_t handle = OpenFirst();
  ASSERT_GT(handle, 0);
  printer.Unplug();

  const std::vector<uint8_t> image = Pattern(512, 0);
  EXPECT_EQ(transport_.BulkWrite(handle, image.data(), 512, 500), LIBUSB_ERROR_NO_DEVICE);
  EXPECT_THAT(transport_.LastError(), HasSubstr("unplugged"));
  const int submitted = printer.Submissions();

  uint8_t in[16];
  StatusBlock status;
  EXPECT_LT(transport_.BulkRead(handle, in, 16, 500), 0);
  EXPECT_LT(transport_.VendorReq(handle, 1, 0, status, 500), 0);
  EXPECT_LT(transport_.BulkWrite(handle, image.data(), 512, 500), 0);
  EXPECT_EQ(printer.Submissions(), submitted);
  EXPECT_EQ(transport_.CloseHandle(handle), 0);
}

TEST_F(LibusbTransportTest, ReopensFromTheStoredPathAfterThePrinterIsPluggedInAgain) {
  FakeUsbPrinter& before = Plug("1-3", 2);
  int32_t count = 0;
  const std::string path = Enumerate(transport_, count)[0];
  const int32_t handle = transport_.OpenByPath(path.c_str());
  ASSERT_GT(handle, 0);
  before.Unplug();
  const uint8_t byte = 0;
  EXPECT_LT(transport_.BulkWrite(handle, &byte, 1, 500), 0);
  EXPECT_EQ(transport_.CloseHandle(handle), 0);

  // Same socket, new device address, as after a real re-plug.
  bed_.Remove("1-3");
  FakeUsbPrinter& after = Plug("1-3", 7);
  bed_.AnnounceAdd("1-3");

  const int32_t again = transport_.OpenByPath(path.c_str());
  ASSERT_GT(again, 0);
  EXPECT_EQ(transport_.BulkWrite(again, &byte, 1, 500), 1);
  EXPECT_THAT(after.Written(), ElementsAre(std::vector<uint8_t>{0}));
}

}  // namespace
}  // namespace qx
