// The print preview of the current Segment: the item it prints as, drawn by the same
// layout and raster code as a print job, its length on the tape, or why nothing prints.
#pragma once

#include <optional>
#include <string>

#include "editing/editing_context.h"
#include "layout/fit.h"
#include "layout/image.h"

namespace qx {

struct SegmentPreview {
  std::optional<ItemImage> item;  // empty when the Segment would be skipped at print
  double length_mm = 0;           // of the item on the tape, blank feed included
  std::string note;               // why nothing prints, for the operator
  // What the last refusal needs changed (EditingContext::RefusalFigures), while it holds.
  std::string refusal;
};

// Why an item does not print, for the operator.
std::string_view NotPrintedNote(ItemResult result, LayoutRefusal refusal);

class SegmentPreviewer {
 public:
  SegmentPreviewer(EditingContext& ctx, TextCanvas& glyph_canvas)
      : ctx_(ctx), builder_(glyph_canvas, ctx.measurer) {}

  // The current Segment as it would print (default calibration until a printer reports one).
  SegmentPreview Make();

 private:
  EditingContext& ctx_;
  ImageBuilder builder_;
  std::optional<PrintFont> font_;  // the font selected into the builder
};

}  // namespace qx
