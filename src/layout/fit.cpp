#include "layout/fit.h"

#include <algorithm>
#include <array>

#include "document/gbk.h"
#include "layout/sizes.h"

namespace qx {
namespace {

// Per material 1..7: largest one-line size, largest two-line size (0 = no second line).
struct MaterialRow {
  uint8_t one_line_max;
  uint8_t two_line_max;
  uint8_t one_line_start;
  uint8_t two_line_start;  // 0 = no automatic two-line size
};
constexpr std::array<MaterialRow, 7> kMaterials = {{
    {3, 0, 3, 2},  // 1 贴纸 6mm
    {5, 2, 5, 2},  // 2 贴纸 9mm
    {7, 3, 7, 3},  // 3 贴纸 12mm
    {2, 0, 2, 0},  // 4 套管 1.0平方
    {4, 0, 4, 0},  // 5 套管 4.0平方
    {5, 2, 5, 2},  // 6 套管 6.0平方
    {7, 3, 7, 2},  // 7 热缩管
}};

const MaterialRow& MaterialOf(uint8_t m) {
  return kMaterials[(m >= 1 && m <= 6) ? m - 1 : 6];
}

bool IsMarker(std::string_view ch, std::string_view marker) { return ch == marker; }

// The walk shared by the editing and the printing measure of a line.
struct WalkRules {
  uint8_t size;         // size of every measurement and cell
  uint8_t small;        // size of a superscript or subscript character
  bool marks_shrink;    // whether a marker makes the next character small
  bool print_time;      // the placeholder measures as the serial text the image draws
};

int WalkLine(const LayoutContext& c, std::string_view text, int d, const WalkRules& r) {
  const int h = SizeHeight(r.size);
  const bool vertical = c.values.Vertical != 0;
  int total = 0;
  int count = 0;
  std::size_t i = 0;
  auto single = [&](unsigned char b, uint8_t size) {
    return vertical ? SizeHeight(size) : c.measurer.MeasureGlyph(b, size);
  };
  while (i < text.size()) {
    const std::string_view ch = text.substr(i, gbk::CharLen(text, i));
    const auto b = static_cast<unsigned char>(ch[0]);
    i += ch.size();
    if (!gbk::IsLeadByte(b)) {
      total += single(b, r.size);
      ++count;
    } else if (IsMarker(ch, gbk::kSuperscriptMark) || IsMarker(ch, gbk::kSubscriptMark)) {
      // The marked character is small only where small glyphs are drawn; otherwise the
      // marker counts nothing and the character is counted normally on the next step.
      if (!r.marks_shrink || i >= text.size()) continue;
      const std::string_view next = text.substr(i, gbk::CharLen(text, i));
      const auto nb = static_cast<unsigned char>(next[0]);
      total += gbk::IsLeadByte(nb) ? SizeHeight(r.small) : c.measurer.MeasureGlyph(nb, r.small);
      i += next.size();
    } else if (IsMarker(ch, gbk::kSerialMark)) {
      if (r.print_time) {
        // The serial value's characters as the image draws them: the first D (1 to 3) of
        // the serial text, none without a serial. Each counts as a character of its own.
        const std::string_view digits =
            d >= 1 && d <= 3 ? c.serial_text.substr(0, static_cast<std::size_t>(d))
                             : std::string_view{};
        for (char s : digits) total += single(static_cast<unsigned char>(s), r.size);
        count += static_cast<int>(digits.size());
      } else if (vertical) {
        total += d * h;
        count += d;
      } else {
        total += d * (h / 2);
        count += d;
      }
    } else {
      total += h;
      ++count;
    }
  }
  // The spacing goes between the characters counted. At print time that is exactly the
  // spacing the image puts between drawn characters, none when nothing is drawn (a line of
  // placeholders without a serial). While editing an empty line counts as one gap short.
  const int gaps = r.print_time ? std::max(count - 1, 0) : count - 1;
  return total + gaps * c.file_state.CharSpacing;
}

// Margins of a line of width w on a fixed length L that it fits (w <= L - 48).
void FitMargins(int length, int w, uint8_t align, int& lead, int& trail) {
  if (align == 0) {
    lead = trail = (length - w) / 2;
  } else {
    lead = kEndMargin;
    trail = length - kEndMargin - w;
  }
}

// Margins of the shorter line of two printed at the longer line's natural length.
void NaturalMargins(int longer, int shorter, uint8_t align, int& lead, int& trail) {
  if (align == 0) {
    lead = trail = (longer + 2 * kEndMargin - shorter) / 2;
  } else {
    lead = kEndMargin;
    trail = longer + kEndMargin - shorter;
  }
}

// Half of a non-negative value rounded to the nearest integer, an exact half to even.
int HalfToEven(int v) {
  const int half = v / 2;
  return (v % 2 != 0 && half % 2 != 0) ? half + 1 : half;
}

}  // namespace

std::optional<uint8_t> MaterialSizeRule(uint8_t material, bool two_lines) {
  const MaterialRow& row = MaterialOf(material);
  const uint8_t max = two_lines ? row.two_line_max : row.one_line_max;
  if (max == 0) return std::nullopt;
  return max;
}

std::optional<uint8_t> AutoSizeStart(uint8_t material, bool two_lines) {
  if (material < 1 || material > 7) return two_lines ? std::nullopt : std::optional<uint8_t>(7);
  const MaterialRow& row = MaterialOf(material);
  const uint8_t start = two_lines ? row.two_line_start : row.one_line_start;
  if (start == 0) return std::nullopt;
  return start;
}

int LineLength(const LayoutContext& c, std::string_view text, int d, bool two_lines) {
  const uint8_t z = c.values.SizeCode;
  const WalkRules rules{
      .size = z == 0 ? uint8_t{1} : z,
      .small = IsLargeSize(z) ? uint8_t{1} : uint8_t{0},
      .marks_shrink = c.values.Vertical == 0 && !two_lines && z > 1,
      .print_time = false,
  };
  return WalkLine(c, text, d, rules) + 2 * kEndMargin;
}

int PrintLineWidth(const LayoutContext& c, uint8_t print_size, std::string_view text,
                   bool two_lines) {
  const WalkRules rules{
      .size = print_size,
      .small = IsLargeSize(print_size) ? uint8_t{1} : uint8_t{0},
      .marks_shrink = c.values.Vertical == 0 && !two_lines && print_size > 1,
      .print_time = true,
  };
  return WalkLine(c, text, c.values.SerialWidth, rules);
}

std::optional<SegmentLayout> LayoutSegment(const LayoutContext& c, std::string_view text1,
                                           std::string_view text2) {
  if (text1.empty()) return std::nullopt;
  const int length = c.values.LengthDots;
  const uint8_t z = c.values.SizeCode;
  const uint8_t align = c.file_state.AlignCode;
  const bool two = !text2.empty();
  const int room = length - 2 * kEndMargin;
  SegmentLayout out;

  auto width = [&](uint8_t size, std::string_view text) {
    return PrintLineWidth(c, size, text, two);
  };

  if (length == 0) {  // automatic length: the Segment is as long as its longer line
    if (z == 0) return std::nullopt;
    out.PrintSize = z;
    out.Line1Lead = out.Line1Trail = kEndMargin;
    if (!two) return out;
    const int w1 = width(z, text1);
    const int w2 = width(z, text2);
    if (w1 >= w2) {
      if (align == 0) {
        out.Line2Lead = out.Line2Trail = (w1 - w2) / 2 + kEndMargin;
      } else {
        out.Line2Lead = kEndMargin;
        out.Line2Trail = w1 - w2 + kEndMargin;
      }
    } else {
      out.Line2Lead = out.Line2Trail = kEndMargin;
      if (align == 0) {
        out.Line1Lead = out.Line1Trail = HalfToEven(w2 - w1) + kEndMargin;
      } else {
        out.Line1Trail = w2 - w1 + kEndMargin;
      }
    }
    return out;
  }

  if (!two) {
    if (z != 0) {
      out.PrintSize = z;
      const int w1 = width(z, text1);
      if (w1 <= room) {
        FitMargins(length, w1, align, out.Line1Lead, out.Line1Trail);
      } else {  // too long: prints at its natural length
        out.Line1Lead = out.Line1Trail = kEndMargin;
      }
      return out;
    }
    for (int s = *AutoSizeStart(c.file_state.MaterialCode, false); s >= 1; --s) {
      out.PrintSize = static_cast<uint8_t>(s);
      const int w1 = width(out.PrintSize, text1);
      if (w1 <= room) {
        FitMargins(length, w1, align, out.Line1Lead, out.Line1Trail);
        return out;
      }
    }
    return std::nullopt;
  }

  auto fit_both = [&](int w1, int w2) {
    FitMargins(length, w1, align, out.Line1Lead, out.Line1Trail);
    FitMargins(length, w2, align, out.Line2Lead, out.Line2Trail);
  };
  if (z != 0) {
    out.PrintSize = z;
    const int w1 = width(z, text1);
    const int w2 = width(z, text2);
    if (w1 <= room && w2 <= room) {
      fit_both(w1, w2);
    } else if (w1 >= w2) {
      out.Line1Lead = out.Line1Trail = kEndMargin;
      NaturalMargins(w1, w2, align, out.Line2Lead, out.Line2Trail);
    } else {
      out.Line2Lead = out.Line2Trail = kEndMargin;
      NaturalMargins(w2, w1, align, out.Line1Lead, out.Line1Trail);
    }
    return out;
  }
  const std::optional<uint8_t> start = AutoSizeStart(c.file_state.MaterialCode, true);
  if (!start) return std::nullopt;
  for (int s = *start; s >= 1; --s) {
    out.PrintSize = static_cast<uint8_t>(s);
    const int w1 = width(out.PrintSize, text1);
    const int w2 = width(out.PrintSize, text2);
    if (w1 <= room && w2 <= room) {
      fit_both(w1, w2);
      return out;
    }
  }
  return std::nullopt;
}

LayoutRefusal WhyLayoutRefuses(const LayoutContext& c, std::string_view text1,
                               std::string_view text2) {
  if (text1.empty()) return LayoutRefusal::kEmptyFirstLine;
  if (c.values.SizeCode == 0) {
    if (c.values.LengthDots == 0) return LayoutRefusal::kAutomaticLengthAndSize;
    if (!text2.empty() && !AutoSizeStart(c.file_state.MaterialCode, true))
      return LayoutRefusal::kNoTwoLineSize;
  }
  return LayoutRefusal::kNoSizeFits;
}

bool SizeAllowed(uint8_t material, uint8_t z, bool two_lines) {
  const std::optional<uint8_t> max = MaterialSizeRule(material, two_lines);
  return max && z <= *max;
}

bool MaterialAllowed(SegmentTable& t, SegmentValues& v, uint8_t m) {
  return ForEachRowToEnd(t, [&] {
    ReloadWorkingValues(t, v);
    return SizeAllowed(m, v.SizeCode, !t.Text(kLowerLineColumn).empty());
  });
}

bool SizeAllowedFollowing(SegmentTable& t, uint8_t material, uint8_t z) {
  return ForEachRowToEnd(t, [&] { return SizeAllowed(material, z, !t.Text(kLowerLineColumn).empty()); });
}

bool CheckFollowing(SegmentTable& t, SegmentValues& v, GlyphMeasurer& m, const DocumentFileState& p,
                    FollowingChange kind, int32_t length, uint8_t z, uint8_t vertical) {
  return ForEachRowToEnd(t, [&] {
    ReloadWorkingValues(t, v);
    switch (kind) {
      case FollowingChange::kLength: v.LengthDots = length; break;
      case FollowingChange::kSize: v.SizeCode = z; break;
      case FollowingChange::kOrientation: v.Vertical = vertical; break;
      case FollowingChange::kRecheck: break;
    }
    const int limit = v.LengthDots == 0 ? 1100 : v.LengthDots;
    const LayoutContext c{m, v, p};
    const std::string lower_text = t.Text(kLowerLineColumn);
    const bool two = !lower_text.empty();
    if (LineLength(c, t.Text(kUpperLineColumn), v.SerialWidth, two) >= limit) return false;
    return !two || LineLength(c, lower_text, v.SerialWidth, two) < limit;
  });
}

std::string SerialText(uint8_t type, uint16_t value, uint16_t last) {
  switch (type) {
    case kSerialDecimal:
      return std::to_string(value);
    case kSerialDecimalPadded: {
      std::string s = std::to_string(value);
      const std::size_t width = DecimalWidth(last);
      if (s.size() < width) s.insert(0, width - s.size(), '0');
      return s;
    }
    case kSerialCapital:
    case kSerialSmall:
      return std::string(1, static_cast<char>(value & 0xFF));
    default:
      return {};
  }
}

}  // namespace qx
