#include "device/device_table.h"

#include <algorithm>
#include <cstring>

#include "device/printer_messages.h"

namespace qx {

Generation GenerationOf(std::string_view model_name) {
  for (const KnownPrinter& k : kKnownPrinters)
    if (k.name == model_name) return k.generation;
  return Generation::kUnknown;
}

std::string_view DeviceTable::Path(int slot) const {
  const DevicePath& p = paths[static_cast<std::size_t>(slot)];
  return {p.data(), strnlen(p.data(), p.size())};
}

std::string_view DeviceTable::Name(int slot) const {
  const auto& n = names[static_cast<std::size_t>(slot)];
  return {n.data(), strnlen(n.data(), n.size())};
}

void DeviceTable::SetName(int slot, std::string_view name) {
  auto& n = names[static_cast<std::size_t>(slot)];
  n.fill('\0');
  std::copy_n(name.data(), std::min(name.size(), n.size()), n.data());
}

std::vector<DeviceEntry> EnumerateDevices(Transport& t, DeviceTable& d) {
  CloseDevice(t, d);
  for (DevicePath& p : d.paths) p.fill('\0');
  d.count = std::clamp(t.EnumrateDevs(d.paths), 0, kMaxDevices);
  for (DevicePath& p : d.paths) p.back() = '\0';  // a path always ends inside its slot
  std::vector<DeviceEntry> entries;
  if (d.count == 0) return entries;
  d.selected = 0;
  for (int slot = 0; slot < d.count; ++slot) {
    for (const KnownPrinter& k : kKnownPrinters) {
      if (d.Path(slot).find(k.id_text) == std::string_view::npos) continue;
      entries.push_back({"USB#" + std::to_string(slot), slot});
      d.SetName(slot, k.name);
    }
  }
  return entries;
}

bool ReopenDevice(Transport& t, DeviceTable& d, PrinterUi& ui) {
  if (d.open) return true;
  const std::string path(d.Path(d.selected));
  d.handle = t.OpenByPath(path.c_str());
  if (d.handle == -1) {
    d.open = false;
    ui.Message(pmsg::kLinkLost, pmsg::kInfo);
    return false;
  }
  d.open = true;
  return true;
}

void CloseDevice(Transport& t, DeviceTable& d) {
  if (!d.open) return;
  t.CloseHandle(d.handle);
  d.open = false;
}

}  // namespace qx
