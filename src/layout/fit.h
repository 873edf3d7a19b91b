// Segment length, the fit checks and the material rules: how many dots a line needs,
// which sizes a material takes, and where a Segment's lines sit on its length.
//
// Two scales meet here. While editing, a Segment's limit is its length at 11 dots per mm
// and a line is measured at its size code (automatic measures as size 1) with 24 blank
// dots at each end. At print time the length comes from the printer's calibration, the
// size may be chosen downwards from the material's start size, and the serial placeholder
// is measured as the serial text it prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/document.h"
#include "layout/measure.h"

namespace qx {

inline constexpr int kEndMargin = 24;  // blank dots at each end of a line

// What the length rules read: the measurer (document font), the working values of the
// Segment in question, the document settings, and for printing the current serial text.
struct LayoutContext {
  GlyphMeasurer& measurer;
  const SegmentValues& values;
  const DocumentFileState& file_state;
  std::string_view serial_text = {};
};

// Largest size code a material allows for one line or two lines; nullopt when the
// material takes no second line. Material codes outside 1..6 count as 7.
std::optional<uint8_t> MaterialSizeRule(uint8_t material, bool two_lines);

// Size code an automatic size starts its downward search at; nullopt when the material has
// no two-line start (4, 5, and codes outside 1..7).
std::optional<uint8_t> AutoSizeStart(uint8_t material, bool two_lines);

// Dots a line needs while editing, the 48 margin dots included; D is the Segment's serial
// width, `two_lines` whether its second line is not empty. An empty line gives 48 - S.
int LineLength(const LayoutContext& c, std::string_view text, int d, bool two_lines);

// Dots of a line's content at `print_size`, without margins.
int PrintLineWidth(const LayoutContext& c, uint8_t print_size, std::string_view text,
                   bool two_lines);

struct SegmentLayout {
  uint8_t PrintSize = 0;  // 1..7
  int Line1Lead = 0;      // blank dots before the first (upper or only) line
  int Line1Trail = 0;
  int Line2Lead = 0;      // blank dots before the second line
  int Line2Trail = 0;
};

// Chooses the print size and the margins of a Segment for one printed item, with
// `values.LengthDots` the calibrated length (0 automatic). nullopt when the item cannot be
// printed: empty first line, automatic length with automatic size, no fitting automatic
// size, or two lines with an automatic size on a material without two-line sizes.
std::optional<SegmentLayout> LayoutSegment(const LayoutContext& c, std::string_view text1,
                                           std::string_view text2);

// Why LayoutSegment refuses an item, for telling the operator.
enum class LayoutRefusal {
  kEmptyFirstLine,
  kAutomaticLengthAndSize,
  kNoTwoLineSize,  // two lines at an automatic size on a material without two-line sizes
  kNoSizeFits,     // an automatic size finds no size that fits the length
};
// The reason for an item LayoutSegment refused (the same context and texts).
LayoutRefusal WhyLayoutRefuses(const LayoutContext& c, std::string_view text1,
                               std::string_view text2);

// Whether size `z` is allowed for the current material on a Segment with or without a
// second line.
bool SizeAllowed(uint8_t material, uint8_t z, bool two_lines);

// The walking checks. Each starts on the table's current row and goes to the last; on
// false the table is left on the first Segment that fails, on true past the last one.

// Every Segment keeps its size and line count under material `m` (reloads each Segment).
bool MaterialAllowed(SegmentTable& t, SegmentValues& v, uint8_t m);

// Size `z` may be given to every Segment under the current material.
bool SizeAllowedFollowing(SegmentTable& t, uint8_t material, uint8_t z);

enum class FollowingChange : int {
  kLength = 1,       // substitute the length (editing dots)
  kSize = 2,         // substitute the size code
  kOrientation = 3,  // substitute the orientation
  kRecheck = 4,      // substitute nothing (after the font face or the spacing changed)
};

// Every Segment still fits its length after a change applied to all of them: each line's
// LineLength must stay strictly below the limit.
bool CheckFollowing(SegmentTable& t, SegmentValues& v, GlyphMeasurer& m, const DocumentFileState& p,
                    FollowingChange kind, int32_t length, uint8_t z, uint8_t vertical);

// Text of serial value `value` for a Segment of serial type `type` whose larger value is
// `last`: plain decimal, decimal zero-padded to the width of `last`, or the letter with
// that code; empty without serial.
std::string SerialText(uint8_t type, uint16_t value, uint16_t last);

}  // namespace qx
