#include "editing/refusal_figures.h"

#include <cstdio>

#include "document/document.h"

namespace qx {

int LowerLineLargestSize(uint8_t material_code) {
  switch (material_code) {
    case 1:  // label 6 mm
    case 4:  // tube 1.0
    case 5:  // tube 4.0
      return -1;
    case 2:  // label 9 mm
    case 6:  // tube 6.0
      return 2;
    case 3:  // label 12 mm
      return 3;
    default:  // heat-shrink tube
      return 7;
  }
}

bool LowerLineAllowed(uint8_t material_code, uint8_t size_code) {
  const int largest = LowerLineLargestSize(material_code);
  return largest >= 0 && size_code <= largest;
}

namespace {
std::string Millimetres(int dots) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", dots / 11.0);
  return buf;
}
}  // namespace

std::string TooLongFigures(int need_dots, int limit_dots, bool automatic_length) {
  std::string s = "所需长度 " + Millimetres(need_dots) + " mm，";
  if (automatic_length) return s + "段长自动，最长 " + std::to_string(limit_dots / 11) + " mm";
  return s + "段长 " + std::to_string(limit_dots / 11) + " mm";
}

std::string LowerLineFigures(uint8_t material_code, uint8_t size_code) {
  const int largest = LowerLineLargestSize(material_code);
  std::string s = largest < 0 ? std::string("此材料不能双行")
                              : "双行字号最大 " + std::to_string(largest) + " 号";
  std::string materials;
  const auto items = MaterialItems();
  for (uint8_t m = 1; m <= items.size(); ++m) {
    if (m == material_code || !LowerLineAllowed(m, size_code)) continue;
    if (!materials.empty()) materials += "、";
    materials += items[m - 1];
  }
  if (!materials.empty()) s += "；当前字号可双行的材料：" + materials;
  return s;
}

std::string BlockingSegmentFigures(int row, std::string_view why) {
  return "第 " + std::to_string(row) + " 段不允许此修改：" + std::string(why);
}

}  // namespace qx
