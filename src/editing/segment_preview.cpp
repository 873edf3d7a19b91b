#include "editing/segment_preview.h"

#include "layout/fit.h"
#include "layout/tape.h"

namespace qx {

std::string_view NotPrintedNote(ItemResult result, LayoutRefusal refusal) {
  // The same image store limit the print job applies (kImageStoreBytes).
  if (result == ItemResult::kTooLong) return "此段超出打印机的存储容量,不能打印。";
  switch (refusal) {
    case LayoutRefusal::kEmptyFirstLine:
      return "上行为空,此段不打印。";
    case LayoutRefusal::kAutomaticLengthAndSize:
      return "段长和字号都为自动,此段不打印。";
    case LayoutRefusal::kNoTwoLineSize:
      return "当前材料没有双行的自动字号,此段不打印。";
    case LayoutRefusal::kNoSizeFits:
      break;
  }
  return "没有能容纳此内容的字号,此段不打印。";
}

SegmentPreview SegmentPreviewer::Make() {
  SegmentPreview p;
  p.refusal = ctx_.RefusalFigures();
  const DocumentState& doc = ctx_.doc;
  const SegmentTable& t = doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return p;
  // Decode into a copy: the working values belong to the editors.
  SegmentValues v;
  DecodePrintValues(t, doc.file_state.MaterialCode, doc.calibration, v);
  std::string serial;
  if (v.SerialType != kNoSerial) {
    serial = SerialText(v.SerialType, v.SerialFirst, v.SerialLast);
    if (v.SerialType == kSerialDecimal) v.SerialWidth = static_cast<uint8_t>(serial.size());
  }
  // Drawn in the font the print job draws with, so that the preview is the printed item.
  if (const PrintFont font = PrintFontOf(doc.settings); !font_ || *font_ != font) {
    font_ = font;
    builder_.SelectPrintFont(font);
  }
  const LayoutContext c{ctx_.measurer, v, doc.file_state, serial};
  ItemImage img;
  const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
  switch (MakeItem(builder_, c, upper_text, lower_text, img)) {
    case ItemResult::kBuilt:
      p.length_mm =
          ItemFeedDots(img) * 10.0 /
          (IsLabelMaterial(doc.file_state.MaterialCode) ? doc.calibration.LabelCalibration
                                                        : doc.calibration.TubeCalibration);
      p.item = std::move(img);
      break;
    case ItemResult::kSkipped:
      p.note = NotPrintedNote(ItemResult::kSkipped, WhyLayoutRefuses(c, upper_text, lower_text));
      break;
    case ItemResult::kTooLong:
      p.note = NotPrintedNote(ItemResult::kTooLong, LayoutRefusal::kNoSizeFits);
      break;
  }
  return p;
}

}  // namespace qx
