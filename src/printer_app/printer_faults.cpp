#include "printer_app/printer_faults.h"

#include <array>
#include <utility>

#include "device/printer_messages.h"

namespace qx::papp {

namespace {

using enum FaultReason;

constexpr std::array<std::pair<std::string_view, FaultReason>, 20> kReasons{{
    {pmsg::kPrintFinished, kNone},
    {pmsg::kLabelsUsedUp, kMediaEmpty},
    {pmsg::kNoLabelCassette, kMediaEmpty},
    {pmsg::kNoMaterial, kMediaEmpty},
    {pmsg::kConsumablesUsedUp, kMediaEmpty},
    {pmsg::kNoRibbonCassette1, kMarkerSupplyEmpty},
    {pmsg::kNoRibbon1, kMarkerSupplyEmpty},
    {pmsg::kRibbonUsedUp1, kMarkerSupplyEmpty},
    {pmsg::kNoRibbonCassette2, kMarkerSupplyEmpty},
    {pmsg::kRibbonEmpty2, kMarkerSupplyEmpty},
    {pmsg::kNoRibbonSensed, kMarkerSupplyEmpty},
    {pmsg::kRibbonZero, kMarkerSupplyEmpty},
    {pmsg::kRibbonUsedUp2, kMarkerSupplyEmpty},
    {pmsg::kCoverOpen1, kCoverOpen},
    {pmsg::kCoverOpened1, kCoverOpen},
    {pmsg::kCoverNotClosed2, kCoverOpen},
    {pmsg::kCoverOpenedAtStart, kCoverOpen},
    {pmsg::kCoverOpened2, kCoverOpen},
    {pmsg::kFeedFailed, kMediaJam},
    {pmsg::kFeedNoResponse, kMediaJam},
}};

}  // namespace

FaultReason ReasonOfMessage(std::string_view message) {
  for (const auto& [text, reason] : kReasons)
    if (text == message) return reason;
  return kOther;
}

std::string_view ReasonKeyword(FaultReason reason) {
  switch (reason) {
    case kNone: return "none";
    case kMediaEmpty: return "media-empty";
    case kMarkerSupplyEmpty: return "marker-supply-empty";
    case kCoverOpen: return "cover-open";
    case kMediaJam: return "media-jam";
    case kOther: return "other";
  }
  return "other";
}

}  // namespace qx::papp
