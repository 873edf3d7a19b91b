// The printers this program drives, as data: the one table every part that names or
// recognises a printer reads (print dialog, USB enumeration, virtual printers).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qx {

enum class Generation { kUnknown, kFirst, kSecond };

struct KnownPrinter {
  uint16_t vendor;           // USB ids
  uint16_t product;
  std::string_view id_text;  // the ids as device paths carry them, searched case-sensitively
  std::string_view name;     // model name the job and the image header go by
  Generation generation;
};

// In the order the print dialog looks for them in a path.
inline constexpr std::array<KnownPrinter, 3> kKnownPrinters{{
    {0x0471, 0x0666, "vid_0471&pid_0666", "Kelmor QA11", Generation::kFirst},
    {0x5d29, 0x2029, "vid_5d29&pid_2029", "Kelmor QB20", Generation::kSecond},
    {0x5d29, 0x202b, "vid_5d29&pid_202b", "Kelmor QB16i", Generation::kSecond},
}};

}  // namespace qx
