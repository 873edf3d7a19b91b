// Who may do what over the network: the operations open to every client, the networks of
// -o allow=..., this machine's addresses and the login header.
#include "printer_app/access.h"

#include <arpa/inet.h>
#include <cups/ipp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>
#include <string>

namespace qx::papp {
namespace {

sockaddr_storage Address(const char* text) {
  sockaddr_storage s{};
  auto* in = reinterpret_cast<sockaddr_in*>(&s);
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&s);
  if (inet_pton(AF_INET, text, &in->sin_addr) == 1) {
    in->sin_family = AF_INET;
  } else {
    EXPECT_EQ(inet_pton(AF_INET6, text, &in6->sin6_addr), 1) << text;
    in6->sin6_family = AF_INET6;
  }
  return s;
}

const sockaddr* Sa(const sockaddr_storage& s) { return reinterpret_cast<const sockaddr*>(&s); }

TEST(PrinterAppAccess, PrintingIsOpenAndWhatChangesAPrinterIsNot) {
  for (ipp_op_t op : {IPP_OP_PRINT_JOB, IPP_OP_VALIDATE_JOB, IPP_OP_CREATE_JOB, IPP_OP_SEND_DOCUMENT,
                      IPP_OP_GET_JOBS, IPP_OP_GET_JOB_ATTRIBUTES, IPP_OP_CANCEL_JOB,
                      IPP_OP_GET_PRINTER_ATTRIBUTES})
    EXPECT_TRUE(IsPrintingOperation(op)) << ippOpString(op);
  // PAPPL lets any client do the first three: they must need a login here.
  for (ipp_op_t op : {IPP_OP_DISABLE_PRINTER, IPP_OP_ENABLE_PRINTER, IPP_OP_CANCEL_CURRENT_JOB,
                      IPP_OP_PAUSE_PRINTER, IPP_OP_RESUME_PRINTER, IPP_OP_SET_PRINTER_ATTRIBUTES,
                      IPP_OP_DELETE_PRINTER, IPP_OP_CREATE_PRINTER, IPP_OP_CANCEL_JOBS,
                      IPP_OP_HOLD_NEW_JOBS, IPP_OP_SET_SYSTEM_ATTRIBUTES,
                      IPP_OP_SHUTDOWN_ALL_PRINTERS, static_cast<ipp_op_t>(0)})
    EXPECT_FALSE(IsPrintingOperation(op)) << ippOpString(op);
}

TEST(PrinterAppAccess, NetworksOfTheAllowList) {
  NetworkList list;
  std::string error;
  ASSERT_TRUE(list.Parse("192.168.1.0/24, 10.1.2.3,fd00::/8,172.16.0.0/12", error)) << error;
  struct Case {
    const char* address;
    bool inside;
  };
  const Case cases[] = {
      {"192.168.1.0", true},    {"192.168.1.255", true}, {"192.168.2.1", false},
      {"10.1.2.3", true},       {"10.1.2.4", false},     {"fd12:3456::1", true},
      {"fe80::1", false},       {"172.31.255.255", true}, {"172.32.0.1", false},
      {"::ffff:192.168.1.7", true},  // IPv4 mapped into IPv6, as dual-stack sockets see it
      {"::ffff:192.168.9.7", false},
  };
  for (const Case& c : cases) {
    const sockaddr_storage a = Address(c.address);
    EXPECT_EQ(list.Contains(Sa(a)), c.inside) << c.address;
  }
  for (const char* bad : {"192.168.1.0/33", "fd00::/129", "printer.local", "10.0.0.0/", "1.2.3.4/x"}) {
    EXPECT_FALSE(list.Parse(bad, error)) << bad;
    EXPECT_EQ(error, bad);
  }
  EXPECT_TRUE(list.Parse("", error));
  EXPECT_TRUE(list.empty());
}

TEST(PrinterAppAccess, ThisMachinesAddresses) {
  for (const char* local : {"127.0.0.1", "127.3.4.5", "::1", "::ffff:127.0.0.1"}) {
    const sockaddr_storage a = Address(local);
    EXPECT_TRUE(IsThisMachine(Sa(a))) << local;
  }
  for (const char* remote : {"10.213.0.2", "192.168.1.5", "::2", "fe80::1", "::ffff:10.0.0.1"}) {
    const sockaddr_storage a = Address(remote);
    EXPECT_FALSE(IsThisMachine(Sa(a))) << remote;
  }
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  EXPECT_TRUE(IsThisMachine(reinterpret_cast<const sockaddr*>(&un)));
  EXPECT_FALSE(IsThisMachine(nullptr));
}

TEST(PrinterAppAccess, TheLoginHeader) {
  struct Case {
    const char* header;
    bool ok;
    const char* user;
    const char* password;
  };
  const Case cases[] = {
      {"Basic cXhhZG1pbjpzM2NyZXQ6eA==", true, "qxadmin", "s3cret:x"},  // qxadmin:s3cret:x
      {"Basic  cXhhZG1pbjo=", true, "qxadmin", ""},                     // qxadmin:
      {"Basic OnNlY3JldA==", false, "", ""},                            // :secret
      {"Basic bm9jb2xvbg==", false, "", ""},                            // nocolon
      {"Bearer cXhhZG1pbjpzM2NyZXQ=", false, "", ""},
      {"Basic ", false, "", ""},
      {"Basic !!!!", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string user, password;
    EXPECT_EQ(ParseBasicAuthorization(c.header, user, password), c.ok) << c.header;
    if (c.ok) {
      EXPECT_EQ(user, c.user);
      EXPECT_EQ(password, c.password);
    }
  }
  std::string user, password;
  EXPECT_FALSE(ParseBasicAuthorization("Basic " + std::string(5000, 'A'), user, password));
}

}  // namespace
}  // namespace qx::papp
