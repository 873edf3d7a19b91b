#include "layout/raster.h"

#include <algorithm>

#include "layout/sizes.h"

namespace qx {
namespace {

// Per print size 1..7, per material class [label, tube]. Two-line entries matter only
// at sizes 1..3; at larger sizes both lines are laid out like a single line.
struct SizeRows {
  int single_text[2];  // main-text row of glyph row 0, one line
  int upper_text[2];
  int lower_text[2];
  RowRange top_band[2];  // border top band, one line
  RowRange bottom_band[2];  // border bottom band and underline, one line
  RowRange border_top[2];  // two lines: border top band (upper line's columns)
  RowRange border_bottom[2];  // two lines: border bottom band (lower line's columns)
  RowRange rule_upper[2];  // two lines: underline as a rule between them, upper part
  RowRange rule_lower[2];  // lower part
  int superscript[2];  // row of a small glyph's row 0
  int subscript[2];
  RowRange bar_one[2];  // border end bar, one line
  RowRange bar_two[2];  // border end bar, two lines
  RowRange separator_one[2];  // separator line pattern, one line
  RowRange separator_two[2];
};

// clang-format off
constexpr SizeRows kRows[7] = {
  // size 1 (24 dots)
  {{36, 64}, {20, 28}, {52, 60},
   {{30, 33}, {58, 61}}, {{62, 65}, {90, 93}},
   {{14, 17}, {22, 25}}, {{78, 81}, {86, 89}}, {{46, 47}, {54, 55}}, {{48, 49}, {56, 57}},
   {0, 0}, {0, 0},
   {{30, 65}, {58, 93}}, {{14, 81}, {22, 89}},
   {{32, 63}, {64, 95}}, {{16, 79}, {40, 95}}},
  // size 2 (32 dots)
  {{32, 56}, {12, 16}, {52, 56},
   {{26, 29}, {50, 53}}, {{66, 69}, {90, 93}},
   {{6, 9}, {10, 13}}, {{86, 89}, {90, 93}}, {{46, 47}, {50, 53}}, {{48, 49}, {50, 53}},
   {32, 56}, {48, 72},
   {{26, 69}, {50, 93}}, {{6, 89}, {10, 93}},
   {{32, 63}, {64, 95}}, {{16, 79}, {24, 95}}},
  // size 3 (40 dots)
  {{28, 48}, {8, 8}, {48, 48},
   {{22, 25}, {42, 45}}, {{70, 73}, {90, 93}},
   {{2, 5}, {2, 5}}, {{90, 93}, {90, 93}}, {{46, 47}, {46, 47}}, {{48, 49}, {48, 49}},
   {32, 48}, {48, 72},
   {{22, 73}, {42, 93}}, {{2, 93}, {2, 93}},
   {{24, 71}, {48, 95}}, {{8, 87}, {8, 87}}},
  // size 4 (48 dots)
  {{24, 40}, {24, 40}, {24, 40},
   {{18, 21}, {34, 37}}, {{74, 77}, {90, 93}},
   {{18, 21}, {34, 37}}, {{74, 77}, {90, 93}}, {{74, 77}, {90, 93}}, {{74, 77}, {90, 93}},
   {24, 40}, {48, 64},
   {{18, 77}, {34, 93}}, {{18, 77}, {34, 93}},
   {{24, 71}, {48, 95}}, {{24, 71}, {48, 95}}},
  // size 5 (64 dots)
  {{16, 24}, {16, 24}, {16, 24},
   {{10, 13}, {18, 21}}, {{82, 85}, {90, 93}},
   {{10, 13}, {18, 21}}, {{82, 85}, {90, 93}}, {{82, 85}, {90, 93}}, {{82, 85}, {90, 93}},
   {16, 24}, {56, 64},
   {{10, 85}, {18, 93}}, {{10, 85}, {18, 93}},
   {{16, 79}, {32, 95}}, {{16, 79}, {32, 95}}},
  // size 6 (80 dots)
  {{8, 8}, {8, 8}, {8, 8},
   {{2, 5}, {2, 5}}, {{90, 93}, {90, 93}},
   {{2, 5}, {2, 5}}, {{90, 93}, {90, 93}}, {{90, 93}, {90, 93}}, {{90, 93}, {90, 93}},
   {8, 8}, {64, 64},
   {{2, 93}, {2, 93}}, {{2, 93}, {2, 93}},
   {{8, 87}, {16, 95}}, {{8, 87}, {16, 95}}},
  // size 7 (96 dots)
  {{0, 0}, {0, 0}, {0, 0},
   {{0, 3}, {0, 3}}, {{92, 95}, {92, 95}},
   {{0, 3}, {0, 3}}, {{92, 95}, {92, 95}}, {{92, 95}, {92, 95}}, {{92, 95}, {92, 95}},
   {8, 8}, {64, 64},
   {{0, 95}, {0, 95}}, {{0, 95}, {0, 95}},
   {{0, 95}, {0, 95}}, {{0, 95}, {0, 95}}},
};
// clang-format on

const SizeRows& Rows(const RasterStyle& s) {
  return kRows[std::clamp<int>(s.print_size, 1, 7) - 1];
}
int Cls(const RasterStyle& s) { return s.tube ? 1 : 0; }
ColumnBits Mask(RowRange r) { return RowMask(r.first, r.last); }

// Upper and lower lines exist only at sizes 1..3; larger sizes lay every line out single.
LinePosition Effective(const RasterStyle& s, LinePosition pos) {
  return s.print_size >= 4 ? LinePosition::kSingle : pos;
}

}  // namespace

void ColumnToBytes(ColumnBits c, uint8_t* out) {
  for (int j = 0; j < kColumnBytes; ++j) out[j] = static_cast<uint8_t>(c >> (8 * j));
}

ColumnBits ColumnFromBytes(const uint8_t* in) {
  ColumnBits c = 0;
  for (int j = 0; j < kColumnBytes; ++j) c |= ColumnBits{in[j]} << (8 * j);
  return c;
}

int MainTextRow(const RasterStyle& s, LinePosition pos) {
  const SizeRows& r = Rows(s);
  switch (Effective(s, pos)) {
    case LinePosition::kUpper: return r.upper_text[Cls(s)];
    case LinePosition::kLower: return r.lower_text[Cls(s)];
    default: return r.single_text[Cls(s)];
  }
}

ColumnBits OwnedRows(const RasterStyle& s, LinePosition pos, bool blank_column) {
  switch (Effective(s, pos)) {
    case LinePosition::kUpper:
      if (s.tube && s.print_size == 1) return RowMask(0, 63);
      if (s.tube && s.print_size == 2) return RowMask(0, 55);
      if (blank_column && s.print_size == 3) return RowMask(0, 55);
      return RowMask(0, 47);
    case LinePosition::kLower:
      if (s.tube && s.print_size == 1) return RowMask(56, 95);
      return RowMask(48, 95);
    default:
      return kAllRows;
  }
}

ColumnBits DecorationRows(const RasterStyle& s, LinePosition pos) {
  if (s.decoration != 1 && s.decoration != 2) return 0;
  const SizeRows& r = Rows(s);
  const int c = Cls(s);
  const bool border = s.decoration == 1;
  switch (Effective(s, pos)) {
    case LinePosition::kUpper: return Mask(border ? r.border_top[c] : r.rule_upper[c]);
    case LinePosition::kLower: return Mask(border ? r.border_bottom[c] : r.rule_lower[c]);
    default: return (border ? Mask(r.top_band[c]) : 0) | Mask(r.bottom_band[c]);
  }
}

int SmallGlyphRow(const RasterStyle& s, bool subscript) {
  const SizeRows& r = Rows(s);
  return subscript ? r.subscript[Cls(s)] : r.superscript[Cls(s)];
}

ColumnBits BorderBarRows(const RasterStyle& s, bool two_lines) {
  const SizeRows& r = Rows(s);
  return Mask(two_lines ? r.bar_two[Cls(s)] : r.bar_one[Cls(s)]);
}

ColumnBits SeparatorRows(const RasterStyle& s, bool two_lines) {
  const SizeRows& r = Rows(s);
  return Mask(two_lines ? r.separator_two[Cls(s)] : r.separator_one[Cls(s)]);
}

// ---------------------------------------------------------------------------------------

GlyphRenderer::GlyphRenderer(TextCanvas& canvas, GlyphMeasurer& measurer)
    : canvas_(canvas), measurer_(measurer) {}

void GlyphRenderer::SelectFont(std::string face, bool bold) {
  face_ = std::move(face);
  bold_ = bold;
  cache_.clear();
}

void GlyphRenderer::SetCaching(bool on) {
  caching_ = on;
  cache_.clear();
}

const Glyph& GlyphRenderer::RenderGlyph(uint16_t code, uint8_t size_code, bool vertical) {
  if (!caching_) {
    Render(code, size_code, vertical, scratch_);
  } else {
    const uint32_t key = code | uint32_t{size_code} << 16 | uint32_t{vertical} << 24;
    auto [it, fresh] = cache_.try_emplace(key);
    if (fresh) Render(code, size_code, vertical, it->second);
    if (!vertical && hooks_) hooks_->ServiceEvents();
    return it->second;
  }
  if (!vertical && hooks_) hooks_->ServiceEvents();
  return scratch_;
}

void GlyphRenderer::Render(uint16_t code, uint8_t size_code, bool vertical, Glyph& out) {
  const int h = SizeHeight(size_code);
  const bool single = code < 0x100;
  const auto byte = static_cast<unsigned char>(code & 0xFF);
  int width = h;
  int draw_x = 0;
  if (single) {
    const int w = measurer_.MeasureGlyph(byte, size_code);
    if (vertical) {
      draw_x = (h - w) / 2;  // may be negative for a character wider than its cell: clipped
    } else {
      width = w;
    }
  }
  const int read_w = std::min(width, canvas_.width());
  canvas_.SelectFont(face_, h, bold_);
  canvas_.Fill(0, 0, std::max(read_w, h), h, kAqua);
  canvas_.SetTextColor(kBlack);
  const char text[2] = {static_cast<char>(single ? byte : code >> 8), static_cast<char>(code & 0xFF)};
  canvas_.DrawText(draw_x, 0, std::string_view(text, single ? 1 : 2));

  out.height = h;
  out.columns.assign(static_cast<std::size_t>(width), 0);
  const int rows = std::min(h, canvas_.height());
  if (!vertical) {
    for (int y = 0; y < rows; ++y) {
      const Rgb* row = canvas_.Row(y);
      for (int x = 0; x < read_w; ++x)
        if (row[x] == kBlack) out.columns[static_cast<std::size_t>(x)] |= ColumnBits{1} << y;
    }
  } else {
    // Glyph column y is drawing row y; glyph row r is drawing column H - 1 - r.
    for (int y = 0; y < rows; ++y) {
      const Rgb* row = canvas_.Row(y);
      ColumnBits col = 0;
      for (int r = 0; r < h && h - 1 - r < canvas_.width(); ++r)
        if (row[h - 1 - r] == kBlack) col |= ColumnBits{1} << r;
      out.columns[static_cast<std::size_t>(y)] = col;
    }
  }
}

// ---------------------------------------------------------------------------------------

void ColumnWriter::Reset(const RasterStyle& style) {
  style_ = style;
  columns_.clear();
  cursor_ = 0;
  overflowed_ = false;
}

void ColumnWriter::Write(ColumnBits clear, ColumnBits set) {
  if (cursor_ >= kMaxColumns) {
    overflowed_ = true;
    ++cursor_;
    return;
  }
  const auto at = static_cast<std::size_t>(cursor_);
  if (columns_.size() <= at) columns_.resize(at + 1, 0);
  columns_[at] = (columns_[at] & ~clear) | set;
  ++cursor_;
}

void ColumnWriter::PutGlyph(uint16_t code, LinePosition pos) {
  const Glyph& g = renderer_.RenderGlyph(code, style_.print_size, style_.vertical);
  const int o = MainTextRow(style_, pos);
  const ColumnBits owned = OwnedRows(style_, pos, false);
  const ColumnBits deco = DecorationRows(style_, pos);
  for (ColumnBits c : g.columns) Write(owned, ((c << o) & kAllRows) | deco);
}

void ColumnWriter::PutSmallGlyph(uint16_t code, bool subscript) {
  const uint8_t small = IsLargeSize(style_.print_size) ? 1 : 0;
  const Glyph& g = renderer_.RenderGlyph(code, small, style_.vertical);
  const int o = SmallGlyphRow(style_, subscript);
  const ColumnBits deco = DecorationRows(style_, LinePosition::kSingle);
  for (ColumnBits c : g.columns) Write(kAllRows, ((c << o) & kAllRows) | deco);
}

void ColumnWriter::BlankColumn(LinePosition pos) {
  Write(OwnedRows(style_, pos, true), DecorationRows(style_, pos));
}

void ColumnWriter::BorderEdge(bool two_lines) { Write(kAllRows, BorderBarRows(style_, two_lines)); }

std::array<uint8_t, kColumnBytes> ColumnWriter::SeparatorColumn(bool two_lines) const {
  std::array<uint8_t, kColumnBytes> out{};
  ColumnToBytes(SeparatorRows(style_, two_lines), out.data());
  return out;
}

}  // namespace qx
