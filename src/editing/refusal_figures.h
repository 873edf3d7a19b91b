// Figures that tell the operator what to change after a refusal: what a line needs against
// the Segment's length, which size or material would allow a lower line, which Segment
// stops a change to the following Segments. The messages stay as they are; these are
// shown beside the Segment preview. Lengths are in mm at the editing scale, 11 dots a mm.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qx {

// The largest size code a lower line may have on a material: -1 when the material takes
// no lower line at all, 7 when it takes one at every size. Automatic size counts as the
// smallest.
int LowerLineLargestSize(uint8_t material_code);
bool LowerLineAllowed(uint8_t material_code, uint8_t size_code);

// "所需长度 31.2 mm，段长 25 mm" (an automatic length: "段长自动，最长 100 mm").
std::string TooLongFigures(int need_dots, int limit_dots, bool automatic_length);

// What would allow a lower line: the largest size on this material, and the materials
// that take a lower line at this size.
std::string LowerLineFigures(uint8_t material_code, uint8_t size_code);

// "第 4 段不允许此修改：" followed by why.
std::string BlockingSegmentFigures(int row, std::string_view why);

}  // namespace qx
