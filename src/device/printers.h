// The printers the program talks to: the virtual printers named by QX_VIRTUAL_PRINTERS
// (listed first), then the printers on USB.
#pragma once

#include <memory>
#include <string>

#include "device/clock.h"
#include "device/transport.h"
#include "device/virtual/virtual_config.h"

namespace qx {

class VirtualTransport;

class PrinterTransports {
 public:
  ~PrinterTransports();
  Transport& transport() { return *active_; }
  // The virtual printers, or nullptr when none were asked for.
  VirtualTransport* virtual_printers() { return virtual_.get(); }
  // Why QX_VIRTUAL_PRINTERS was not used (empty when it was, or was not set).
  const std::string& error() const { return error_; }

 private:
  friend std::unique_ptr<PrinterTransports> MakePrinterTransports(const Clock&, bool,
                                                                  const EnvLookup&);
  std::unique_ptr<Transport> usb_;
  std::unique_ptr<VirtualTransport> virtual_;
  std::unique_ptr<Transport> combined_;
  Transport* active_ = nullptr;
  std::string error_;
};

// `with_usb`: whether the printers on USB are looked for too. The virtual printers run on
// `clock` and write into VirtualPrinterDir(env).
std::unique_ptr<PrinterTransports> MakePrinterTransports(const Clock& clock, bool with_usb = true,
                                                         const EnvLookup& env = {});

}  // namespace qx
