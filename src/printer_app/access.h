// Who may do what over the network: printing is open, administration is not.
//
// A request from this machine (loopback, or the local socket the program's own commands
// use) may do anything. From another address a client may print and follow and cancel its
// own jobs without a login; every request that changes a printer or the system (PAPPL's
// web pages, pausing, disabling, setting attributes, adding and deleting printers,
// cancelling other users' jobs) needs the login of a member of the administrators' group,
// checked through PAM, over TLS. An optional list of networks closes everything, printing
// included, to addresses outside it.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::papp {

// Whether an IPP operation only submits or follows a client's own jobs (or reads the
// printer's attributes). PAPPL itself checks that a job belongs to the client.
bool IsPrintingOperation(int ipp_operation);

// Networks given as "192.168.1.0/24,10.1.2.3,fd00::/8" (a bare address is one host).
class NetworkList {
 public:
  // False, with `error` naming the bad entry, for anything but addresses and prefixes.
  bool Parse(std::string_view text, std::string& error);
  bool empty() const { return networks_.empty(); }
  // Whether the address (AF_INET or AF_INET6; an IPv4 address mapped into IPv6 counts as
  // IPv4) lies in one of the networks.
  bool Contains(const sockaddr* address) const;

 private:
  struct Network {
    int family = 0;  // AF_INET or AF_INET6
    uint8_t bytes[16] = {};
    int prefix = 0;  // bits
  };
  std::vector<Network> networks_;
};

// Whether an address is this machine's: loopback (127.0.0.0/8, ::1, mapped 127.x) or a
// local socket.
bool IsThisMachine(const sockaddr* address);

// The user name and password of an "Authorization: Basic ..." header; false when the header
// is not Basic or not "user:password" once decoded.
bool ParseBasicAuthorization(std::string_view header, std::string& user, std::string& password);

}  // namespace qx::papp
