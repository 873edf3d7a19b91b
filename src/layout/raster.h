// Image columns: the 96 dots across the print head, fed one column after another.
//
// A column is kept as a 96-bit number whose bit r is dot row r; as bytes (what the
// printer receives) byte j bit k is row 8 j + k. Upright text has its top at the small
// rows. This file has the column-level drawing: a character rendered into glyph columns
// (upright, or turned a quarter for vertical text), and the operations that write one
// image column each at the rows that suit the print size, the material and the line.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "layout/measure.h"
#include "layout/text_canvas.h"

namespace qx {

__extension__ typedef unsigned __int128 ColumnBits;

inline constexpr int kHeadDots = 96;
inline constexpr int kColumnBytes = 12;

// Rows first..last (inclusive) set.
constexpr ColumnBits RowMask(int first, int last) {
  const ColumnBits upto_last = (ColumnBits{1} << (last + 1)) - 1;
  const ColumnBits below_first = (ColumnBits{1} << first) - 1;
  return upto_last & ~below_first;
}
inline constexpr ColumnBits kAllRows = RowMask(0, kHeadDots - 1);

void ColumnToBytes(ColumnBits c, uint8_t* out);  // 12 bytes
ColumnBits ColumnFromBytes(const uint8_t* in);

// Which line of the Segment a column belongs to.
enum class LinePosition { kSingle, kUpper, kLower };

// What the column operations of one item read.
struct RasterStyle {
  uint8_t print_size = 1;     // 1..7
  bool tube = false;          // material class: labels 1..3, tubes 4..7
  uint8_t decoration = 0;     // 0 none, 1 border, 2 underline
  bool vertical = false;
};

// Called once after every horizontal glyph is rendered, so that the window stays alive
// while an image is built.
class RasterHooks {
 public:
  virtual ~RasterHooks() = default;
  virtual void ServiceEvents() = 0;
};

// A rendered character: one 96-bit column per glyph column, glyph row r in bit r.
struct Glyph {
  int height = 0;
  std::vector<ColumnBits> columns;
};

// Renders characters into glyph columns with the print font, on a bitmap of its own.
class GlyphRenderer {
 public:
  // `canvas` is the glyph bitmap (at least 192 x 96, so that a wide character's measured
  // columns lie inside it); `measurer` gives single-byte widths.
  GlyphRenderer(TextCanvas& canvas, GlyphMeasurer& measurer);

  // The print font of a job: the document face, bold exactly when the bold switch is down.
  void SelectFont(std::string face, bool bold);
  void SetHooks(RasterHooks* hooks) { hooks_ = hooks; }

  // With caching (the default) a character is rendered once per size and orientation
  // and reused; the result is the same as rendering afresh, which is done otherwise.
  void SetCaching(bool on);

  // `code`: a single byte (high byte 0) or a GBK character (lead byte high, trail low).
  // Horizontal: a single-byte character is as wide as it measures (columns of its
  // drawing beyond that are cut off), a double-byte character is H wide. Vertical: every
  // character is H wide, a single-byte one centred in its cell, turned so that its top
  // faces column 0 and its right-hand side dot row 0.
  const Glyph& RenderGlyph(uint16_t code, uint8_t size_code, bool vertical);

 private:
  void Render(uint16_t code, uint8_t size_code, bool vertical, Glyph& out);

  TextCanvas& canvas_;
  GlyphMeasurer& measurer_;
  RasterHooks* hooks_ = nullptr;
  std::string face_ = "黑体";
  bool bold_ = false;
  bool caching_ = true;
  Glyph scratch_;
  std::map<uint32_t, Glyph> cache_;  // key: code | size << 16 | vertical << 24
};

// Row tables of the column operations (all in dots of the head).
struct RowRange {
  int first;
  int last;
};
int MainTextRow(const RasterStyle& s, LinePosition pos);  // image row of glyph row 0
ColumnBits OwnedRows(const RasterStyle& s, LinePosition pos, bool blank_column);
ColumnBits DecorationRows(const RasterStyle& s, LinePosition pos);
int SmallGlyphRow(const RasterStyle& s, bool subscript);
ColumnBits BorderBarRows(const RasterStyle& s, bool two_lines);
ColumnBits SeparatorRows(const RasterStyle& s, bool two_lines);

// Writes image columns, one per operation, at the cursor.
class ColumnWriter {
 public:
  static constexpr int kMaxColumns = 65535;  // the column count is sent as 16 bits

  explicit ColumnWriter(GlyphRenderer& renderer) : renderer_(renderer) {}

  // Starts an item: no columns, every column blank until written.
  void Reset(const RasterStyle& style);
  void SetCursor(int column) { cursor_ = column; }
  int cursor() const { return cursor_; }
  // An operation went past kMaxColumns; nothing was written there.
  bool overflowed() const { return overflowed_; }

  void PutGlyph(uint16_t code, LinePosition pos);
  void PutSmallGlyph(uint16_t code, bool subscript);
  void BlankColumn(LinePosition pos);
  void BorderEdge(bool two_lines);
  // The separator line pattern, as 12 bytes in image-column order.
  std::array<uint8_t, kColumnBytes> SeparatorColumn(bool two_lines) const;

  const std::vector<ColumnBits>& columns() const { return columns_; }
  const RasterStyle& style() const { return style_; }

 private:
  void Write(ColumnBits clear, ColumnBits set);

  GlyphRenderer& renderer_;
  RasterStyle style_;
  std::vector<ColumnBits> columns_;
  int cursor_ = 0;
  bool overflowed_ = false;
};

}  // namespace qx
