// The print image of one item: every column of a Segment's lines, with the character
// spacing, the border and the blank feed before and after it, ready for the printer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "layout/fit.h"
#include "layout/raster.h"

namespace qx {

// One item as the printer receives it.
struct ItemImage {
  uint16_t LeadBlank = 0;   // blank dots fed before column 0
  uint16_t TrailBlank = 0;  // blank dots fed after the last column
  uint16_t ColumnCount = 0;
  std::array<uint8_t, kColumnBytes> SeparatorColumn{};
  std::vector<uint8_t> columns;  // ColumnCount x 12 bytes, column 0 first

  // Bytes 0..17 of the Segment header. The 16-bit fields go high byte first for the
  // first-generation printer "Kelmor QA11", low byte first for every other printer.
  std::array<uint8_t, 18> HeaderBytes(std::string_view printer_name) const;
};

// The first-generation printer, whose header fields go high byte first.
inline constexpr std::string_view kFirstGenerationPrinter = "Kelmor QA11";

// The printer's image store holds one item's image: 20000 bytes, 1666 columns (about
// 150 mm of text). A bigger item cannot be sent; the print job skips it, and the previews
// say that it will not print.
inline constexpr std::size_t kImageStoreBytes = 20000;
inline constexpr int kImageStoreColumns = static_cast<int>(kImageStoreBytes / kColumnBytes);

enum class BuildStatus {
  kOk,
  kTooLong,  // more than 65535 columns, or a blank feed beyond 65535 dots: nothing built
};

// Builds item images. One builder serves a whole print job (or a preview): it keeps the
// glyph renderer and its font, and the last separator pattern, which the header carries
// on in cut modes that build none.
class ImageBuilder {
 public:
  ImageBuilder(TextCanvas& glyph_canvas, GlyphMeasurer& measurer);

  GlyphRenderer& renderer() { return renderer_; }
  // Selects the font items print in (PrintFontOf).
  void SelectPrintFont(const PrintFont& font) { renderer_.SelectFont(font.face, font.bold); }

  // Builds one item. `c` holds the item's print-time working values (Vertical,
  // DecorationCode, SerialWidth), the settings (MaterialCode, CharSpacing, CutCode) and
  // the serial text; `layout` is what LayoutSegment gave for the same item. A Segment
  // whose second line is empty is built as one line.
  BuildStatus Build(const LayoutContext& c, const SegmentLayout& layout, std::string_view text1,
                    std::string_view text2, ItemImage& out);

  // The two forms Build chooses between.
  BuildStatus BuildOneLine(const LayoutContext& c, const SegmentLayout& layout,
                           std::string_view text, ItemImage& out);
  BuildStatus BuildTwoLines(const LayoutContext& c, const SegmentLayout& layout,
                            std::string_view text1, std::string_view text2, ItemImage& out);

 private:
  void Reset(const LayoutContext& c, const SegmentLayout& layout);
  void WalkLine(const LayoutContext& c, std::string_view text, LinePosition pos, int d);
  void Spacing(const LayoutContext& c, LinePosition pos);
  BuildStatus Finish(const LayoutContext& c, int lead, int trail, bool two_lines, ItemImage& out);

  GlyphRenderer renderer_;
  ColumnWriter writer_;
  std::array<uint8_t, kColumnBytes> separator_{};
};

enum class ItemResult {
  kBuilt,
  kSkipped,  // the layout refused the item (see LayoutSegment); the job skips it
  kTooLong,  // the image passes the printer's image store (or BuildStatus::kTooLong): the
             // job skips it; `out` keeps the image when one was built
};

// Builds one item with the layout LayoutSegment gave for it and tells whether the
// printer can take it.
ItemResult BuildItem(ImageBuilder& builder, const LayoutContext& c, const SegmentLayout& layout,
                     std::string_view text1, std::string_view text2, ItemImage& out);

// Lays one item out and builds its image: what the print job, the previews and the
// command-line tool do for every item.
ItemResult MakeItem(ImageBuilder& builder, const LayoutContext& c, std::string_view text1,
                    std::string_view text2, ItemImage& out);

}  // namespace qx
