#include "device/printers.h"

#include "device/usb/libusb_transport.h"
#include "device/virtual/combined_transport.h"
#include "device/virtual/virtual_transport.h"

namespace qx {

PrinterTransports::~PrinterTransports() = default;

std::unique_ptr<PrinterTransports> MakePrinterTransports(const Clock& clock, bool with_usb,
                                                         const EnvLookup& env) {
  auto p = std::make_unique<PrinterTransports>();
  VirtualPrinterList list = VirtualPrintersFromEnvironment(env);
  if (!list.ok()) p->error_ = "QX_VIRTUAL_PRINTERS: " + list.error;
  if (with_usb) p->usb_ = std::make_unique<LibusbTransport>();
  if (!list.printers.empty())
    p->virtual_ = std::make_unique<VirtualTransport>(clock, std::move(list.printers),
                                                     VirtualPrinterDir(env),
                                                     VirtualRecords::kFilesOnly);
  if (p->virtual_ && p->usb_) {
    p->combined_ = std::make_unique<CombinedTransport>(*p->virtual_, *p->usb_);
    p->active_ = p->combined_.get();
  } else if (p->virtual_) {
    p->active_ = p->virtual_.get();
  } else if (p->usb_) {
    p->active_ = p->usb_.get();
  } else {
    p->combined_ = std::make_unique<NullTransport>();
    p->active_ = p->combined_.get();
  }
  return p;
}

}  // namespace qx
