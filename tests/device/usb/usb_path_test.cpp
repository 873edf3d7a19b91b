#include "device/usb/usb_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qx {
namespace {

UsbLocation At(uint16_t vendor, uint16_t product, uint8_t bus, std::vector<uint8_t> ports) {
  return UsbLocation{vendor, product, bus, std::move(ports)};
}

TEST(UsbPathTest, FormatsAndParsesBackEveryDepth) {
  const struct {
    UsbLocation location;
    const char* text;
  } cases[] = {
      {At(0x5d29, 0x2029, 3, {1, 4}), "usb:vid_5d29&pid_2029@3-1.4"},
      {At(0x0471, 0x0666, 1, {2}), "usb:vid_0471&pid_0666@1-2"},
      {At(0x5d29, 0x202b, 255, {255, 10, 1, 2, 3, 4, 5}),
       "usb:vid_5d29&pid_202b@255-255.10.1.2.3.4.5"},
      {At(0xabcd, 0x00ef, 2, {12}), "usb:vid_abcd&pid_00ef@2-12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatUsbPath(c.location), c.text);
    const auto parsed = ParseUsbPath(c.text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.location);
  }
}

TEST(UsbPathTest, RejectsTextItWouldNotProduce) {
  const char* const bad[] = {
      "",
      "usb:vid_5d29&pid_2029",                    // no socket
      "usb:vid_5d29&pid_2029@3",                  // bus without ports
      "usb:vid_5D29&pid_2029@3-1",                // upper-case hex
      "usb:vid_5d2&pid_2029@3-1",                 // three hex digits
      "usb:vid_5d29&pid_2029@03-1",               // leading zero
      "usb:vid_5d29&pid_2029@3-0",                // port 0
      "usb:vid_5d29&pid_2029@0-1",                // bus 0
      "usb:vid_5d29&pid_2029@3-256",              // port above 255
      "usb:vid_5d29&pid_2029@3-1.2.3.4.5.6.7.8",  // eight tiers
      "usb:vid_5d29&pid_2029@3.1",                // dot where the dash belongs
      "usb:vid_5d29&pid_2029@3-1-2",              // dash where a dot belongs
      "usb:vid_5d29&pid_2029@3-1.",               // trailing dot
      "usb:vid_5d29&pid_2029@3-1 ",               // trailing space
      "USB:vid_5d29&pid_2029@3-1",                // wrong scheme
      "\\\\?\\usb#vid_5d29&pid_2029#5&1&0&1",     // a Windows device path
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseUsbPath(text).has_value());
  }
}

TEST(UsbPathTest, SocketOrderComparesPortsAsNumbers) {
  std::vector<UsbLocation> sockets = {
      At(0x5d29, 0x2029, 2, {1}), At(0x5d29, 0x2029, 1, {10}), At(0x5d29, 0x2029, 1, {2, 4}),
      At(0x5d29, 0x2029, 1, {2}), At(0x0471, 0x0666, 1, {9}),
  };
  std::sort(sockets.begin(), sockets.end(), UsbSocketLess);
  std::vector<std::string> order;
  for (const UsbLocation& s : sockets) order.push_back(FormatUsbPath(s));
  EXPECT_EQ(order, (std::vector<std::string>{
                       "usb:vid_5d29&pid_2029@1-2",
                       "usb:vid_5d29&pid_2029@1-2.4",
                       "usb:vid_0471&pid_0666@1-9",
                       "usb:vid_5d29&pid_2029@1-10",
                       "usb:vid_5d29&pid_2029@2-1",
                   }));
}

TEST(UsbPathTest, RecognisesExactlyTheThreePrinterIds) {
  EXPECT_TRUE(IsUsbPrinterId(0x0471, 0x0666));
  EXPECT_TRUE(IsUsbPrinterId(0x5d29, 0x2029));
  EXPECT_TRUE(IsUsbPrinterId(0x5d29, 0x202b));
  EXPECT_FALSE(IsUsbPrinterId(0x0471, 0x2029));  // vendor and product of different printers
  EXPECT_FALSE(IsUsbPrinterId(0x5d29, 0x0666));
  EXPECT_FALSE(IsUsbPrinterId(0x5d29, 0x202a));
}

}  // namespace
}  // namespace qx
