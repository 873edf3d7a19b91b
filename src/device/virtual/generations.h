// The two printer generations behind VirtualPrinter; MakeVirtualPrinter picks one.
#pragma once

#include <filesystem>
#include <memory>

#include "device/virtual/virtual_printer.h"

namespace qx {

std::unique_ptr<VirtualPrinter> MakeFirstGenerationPrinter(const Clock& clock,
                                                           VirtualPrinterConfig config, int index,
                                                           std::filesystem::path output_dir,
                                                           VirtualRecords records);
std::unique_ptr<VirtualPrinter> MakeSecondGenerationPrinter(const Clock& clock,
                                                            VirtualPrinterConfig config, int index,
                                                            std::filesystem::path output_dir,
                                                           VirtualRecords records);

}  // namespace qx
