// What a printer's fault message means for IPP: the protocols report every fault as the
// program's own message; a printer application turns it into printer-state-reasons.
#pragma once

#include <string_view>

namespace qx::papp {

enum class FaultReason {
  kNone,               // not a fault ("打印完成!")
  kMediaEmpty,         // labels or tube used up or not found
  kMarkerSupplyEmpty,  // ribbon or ribbon cassette
  kCoverOpen,
  kMediaJam,           // the tube feed failed
  kOther,              // link lost, busy, set-up refused, stopped
};

FaultReason ReasonOfMessage(std::string_view message);

// The IPP keyword of a reason ("media-empty"); "none" for kNone.
std::string_view ReasonKeyword(FaultReason reason);

}  // namespace qx::papp
