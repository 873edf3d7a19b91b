#include "editing/control_values.h"

#include <vector>

#include "document/gbk.h"

namespace qx {

std::span<const std::string_view> SelectorItems(Control c) {
  static const auto utf8_items = [](std::span<const CodedText> coded) {
    std::vector<std::string> owned;
    for (const CodedText& t : coded) owned.push_back(gbk::ToUtf8(t.text));
    return owned;
  };
  static const std::vector<std::string> sizes = utf8_items(SizeTexts());
  static const std::vector<std::string> orientations = utf8_items(OrientationTexts());
  static const std::vector<std::string> decorations = utf8_items(DecorationTexts());
  static const auto views = [](const std::vector<std::string>& v) {
    return std::vector<std::string_view>(v.begin(), v.end());
  };
  static const std::vector<std::string_view> size_views = views(sizes),
                                             orientation_views = views(orientations),
                                             decoration_views = views(decorations);
  switch (c) {
    case Control::SizeSelector:
      return size_views;
    case Control::OrientationSelector:
      return orientation_views;
    case Control::DecorationSelector:
      return decoration_views;
    case Control::MaterialSelector:
      return MaterialItems();
    case Control::CutSelector:
      return CutItems();
    case Control::AlignmentSelector:
      return AlignItems();
    case Control::SpacingSelector:
      return SpacingItems();
    case Control::DensitySelector:
      return DensityItems();
    default:
      return {};
  }
}

int SelectorIndex(const DocumentState& doc, Control c) {
  const DocumentSettings& s = doc.settings;
  switch (c) {
    case Control::MaterialSelector:
      return s.material_index;
    case Control::CutSelector:
      return s.cut_index;
    case Control::AlignmentSelector:
      return s.alignment_index;
    case Control::SpacingSelector:
      return s.spacing_index;
    case Control::DensitySelector:
      return s.density_index;
    default:
      break;
  }
  const std::string text = SelectorText(doc, c);
  const auto items = SelectorItems(c);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

std::string SelectorText(const DocumentState& doc, Control c) {
  const SegmentTable& t = doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return {};
  switch (c) {
    case Control::SizeSelector:
      return gbk::ToUtf8(t.Text(kSizeColumn));
    case Control::OrientationSelector:
      return gbk::ToUtf8(t.Text(kOrientationColumn));
    case Control::DecorationSelector:
      return gbk::ToUtf8(t.Text(kDecorationColumn));
    case Control::SerialTypeField:
      return gbk::ToUtf8(t.Text(kSerialTypeColumn));
    case Control::SerialFirstField:
      return gbk::ToUtf8(t.Text(kSerialFirstColumn));
    case Control::SerialLastField:
      return gbk::ToUtf8(t.Text(kSerialLastColumn));
    default: {
      const int i = SelectorIndex(doc, c);
      const auto items = SelectorItems(c);
      return i >= 0 && i < static_cast<int>(items.size())
                 ? std::string(items[static_cast<std::size_t>(i)])
                 : std::string();
    }
  }
}

}  // namespace qx
