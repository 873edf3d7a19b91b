#include "layout/sizes.h"

#include <array>

namespace qx {
namespace {
constexpr std::array<uint8_t, kMaxSizeCode + 1> kHeights = {16, 24, 32, 40, 48, 64, 80, 96};
constexpr uint8_t kOtherHeight = 24;
}  // namespace

uint8_t SizeHeight(uint8_t code) { return code <= kMaxSizeCode ? kHeights[code] : kOtherHeight; }

bool IsLargeSize(uint8_t code) { return code >= 4 && code <= kMaxSizeCode; }

}  // namespace qx
