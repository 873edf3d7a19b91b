// The printers the program knows, the record through which every step reaches the chosen
// printer, and the enumeration behind the print dialog's list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/known_printers.h"
#include "device/printer_ui.h"
#include "device/transport.h"

namespace qx {

Generation GenerationOf(std::string_view model_name);

inline constexpr int kModelNameBytes = 21;

struct DeviceTable {
  int32_t handle = -1;
  bool open = false;
  int32_t count = 0;
  uint8_t selected = 0;
  DevicePaths paths{};
  std::array<std::array<char, kModelNameBytes>, kMaxDevices> names{};

  std::string_view Path(int slot) const;
  std::string_view Name(int slot) const;
  void SetName(int slot, std::string_view name);
};

// One entry of the print dialog's list of printers.
struct DeviceEntry {
  std::string label;  // "USB#0" .. "USB#3": ends in its slot number
  int slot = 0;
  int shared = -1;  // a printer a printer application shares: its place in that list
};

// Asks the transport for the attached printers and lists the recognised ones. Forgets the
// open flag (closing a handle still open from an earlier job first, so that it is not
// held for ever). Names are stored for the recognised slots only; the others keep theirs.
std::vector<DeviceEntry> EnumerateDevices(Transport& t, DeviceTable& d);

// Opens the selected slot's printer when it is not open; on failure shows "通讯中断!".
bool ReopenDevice(Transport& t, DeviceTable& d, PrinterUi& ui);

// Closes the handle if it is open and clears the flag.
void CloseDevice(Transport& t, DeviceTable& d);

}  // namespace qx
