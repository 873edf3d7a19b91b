#include "layout/image.h"

#include <algorithm>

#include "document/gbk.h"
#include "layout/sizes.h"

namespace qx {
namespace {

constexpr int kBorderBars = 4;    // end-bar columns of a border
constexpr int kBorderGap = 6;     // band-only columns between the bars and the text
constexpr int kSeparatorCut = 2;  // blank dots the separator line takes from each end

uint16_t CodeOf(std::string_view ch) {
  const auto lead = static_cast<unsigned char>(ch[0]);
  if (ch.size() == 1) return gbk::IsLeadByte(lead) ? static_cast<uint16_t>(lead << 8) : lead;
  return static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(ch[1]));
}

}  // namespace

std::array<uint8_t, 18> ItemImage::HeaderBytes(std::string_view printer_name) const {
  std::array<uint8_t, 18> h{};
  const bool high_first = printer_name == kFirstGenerationPrinter;
  auto put = [&](int at, uint16_t v) {
    const auto hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v & 0xFF);
    h[static_cast<std::size_t>(at)] = high_first ? hi : lo;
    h[static_cast<std::size_t>(at + 1)] = high_first ? lo : hi;
  };
  put(0, LeadBlank);
  put(2, TrailBlank);
  put(4, ColumnCount);
  std::copy(SeparatorColumn.begin(), SeparatorColumn.end(), h.begin() + 6);
  return h;
}

ImageBuilder::ImageBuilder(TextCanvas& glyph_canvas, GlyphMeasurer& measurer)
    : renderer_(glyph_canvas, measurer), writer_(renderer_) {}

void ImageBuilder::Spacing(const LayoutContext& c, LinePosition pos) {
  for (int i = 0; i < c.file_state.CharSpacing; ++i) writer_.BlankColumn(pos);
}

void ImageBuilder::WalkLine(const LayoutContext& c, std::string_view text, LinePosition pos,
                            int d) {
  const bool one_line = pos == LinePosition::kSingle;
  bool drawn = false;
  std::size_t i = 0;
  auto next_char = [&]() {
    const std::string_view ch = text.substr(i, gbk::CharLen(text, i));
    i += ch.size();
    return ch;
  };
  auto put = [&](std::string_view ch) {
    if (drawn) Spacing(c, pos);
    writer_.PutGlyph(CodeOf(ch), pos);
    drawn = true;
  };
  while (i < text.size()) {
    const std::string_view ch = next_char();
    if (ch == gbk::kSuperscriptMark || ch == gbk::kSubscriptMark) {
      // Small glyphs touch the character before them and leave `drawn` as it was. Where
      // none is drawn (vertical text, print size 1, two lines, a marker at the end) the
      // marker is dropped and the next character is drawn as any other on the next step,
      // as the layout measures it.
      if (i >= text.size() || !one_line || c.values.Vertical != 0 ||
          writer_.style().print_size <= 1)
        continue;
      writer_.PutSmallGlyph(CodeOf(next_char()), ch == gbk::kSubscriptMark);
    } else if (ch == gbk::kSerialMark) {
      // The serial value's characters, each spaced as a character of its own. Without a
      // serial (D = 0) the placeholder is measured as nothing and draws nothing: it adds no
      // spacing either, wherever it stands.
      if (d >= 1 && d <= 3) {
        const std::string_view digits =
            c.serial_text.substr(0, std::min<std::size_t>(static_cast<std::size_t>(d), 3));
        for (std::size_t k = 0; k < digits.size(); ++k) put(digits.substr(k, 1));
      }
    } else {
      put(ch);
    }
  }
}

BuildStatus ImageBuilder::Build(const LayoutContext& c, const SegmentLayout& layout,
                                std::string_view text1, std::string_view text2,
                                ItemImage& out) {
  return text2.empty() ? BuildOneLine(c, layout, text1, out)
                       : BuildTwoLines(c, layout, text1, text2, out);
}

void ImageBuilder::Reset(const LayoutContext& c, const SegmentLayout& layout) {
  writer_.Reset({.print_size = layout.PrintSize,
                 .tube = !IsLabelMaterial(c.file_state.MaterialCode),
                 .decoration = c.values.DecorationCode,
                 .vertical = c.values.Vertical != 0});
}

BuildStatus ImageBuilder::BuildOneLine(const LayoutContext& c, const SegmentLayout& layout,
                                       std::string_view text, ItemImage& out) {
  Reset(c, layout);
  const bool border = c.values.DecorationCode == 1;
  int lead = layout.Line1Lead;
  int trail = layout.Line1Trail;
  if (border) {
    lead -= kBorderBars + kBorderGap;
    for (int k = 0; k < kBorderBars; ++k) writer_.BorderEdge(false);
    for (int k = 0; k < kBorderGap; ++k) writer_.BlankColumn(LinePosition::kSingle);
  }
  WalkLine(c, text, LinePosition::kSingle, c.values.SerialWidth);
  if (border) {
    trail -= kBorderBars + kBorderGap;
    for (int k = 0; k < kBorderGap; ++k) writer_.BlankColumn(LinePosition::kSingle);
    for (int k = 0; k < kBorderBars; ++k) writer_.BorderEdge(false);
  }
  return Finish(c, lead, trail, false, out);
}

BuildStatus ImageBuilder::BuildTwoLines(const LayoutContext& c, const SegmentLayout& layout,
                                        std::string_view text1, std::string_view text2,
                                        ItemImage& out) {
  Reset(c, layout);
  const bool border = c.values.DecorationCode == 1;
  const int d = c.values.SerialWidth;
  int lead = std::min(layout.Line1Lead, layout.Line2Lead);
  int trail = std::min(layout.Line1Trail, layout.Line2Trail);
  const int d1 = layout.Line1Lead - lead, d2 = layout.Line2Lead - lead;
  const int e1 = layout.Line1Trail - trail, e2 = layout.Line2Trail - trail;
  auto blanks = [&](int n, LinePosition pos) {
    for (int k = 0; k < n; ++k) writer_.BlankColumn(pos);
  };

  // First pass: the upper line. Its columns touch only the upper line's rows.
  writer_.SetCursor(0);
  if (border) {
    lead -= kBorderBars + kBorderGap;
    for (int k = 0; k < kBorderBars; ++k) writer_.BorderEdge(true);
    blanks(kBorderGap, LinePosition::kUpper);
  }
  blanks(d1, LinePosition::kUpper);
  WalkLine(c, text1, LinePosition::kUpper, d);
  blanks(e1 + (border ? kBorderGap : 0), LinePosition::kUpper);

  // Second pass: the lower line, over the same columns; the image is as long as its run.
  writer_.SetCursor(border ? kBorderBars : 0);
  if (border) blanks(kBorderGap, LinePosition::kLower);
  blanks(d2, LinePosition::kLower);
  WalkLine(c, text2, LinePosition::kLower, d);
  blanks(e2, LinePosition::kLower);
  if (border) {
    trail -= kBorderBars + kBorderGap;
    blanks(kBorderGap, LinePosition::kLower);
    for (int k = 0; k < kBorderBars; ++k) writer_.BorderEdge(true);
  }
  return Finish(c, lead, trail, true, out);
}

BuildStatus ImageBuilder::Finish(const LayoutContext& c, int lead, int trail, bool two_lines,
                                 ItemImage& out) {
  if (c.file_state.CutCode == 2) {
    separator_ = writer_.SeparatorColumn(two_lines);
    lead -= kSeparatorCut;
    trail -= kSeparatorCut;
  }
  const int count = writer_.cursor();
  if (writer_.overflowed() || count > ColumnWriter::kMaxColumns || lead < 0 || trail < 0 ||
      lead > 0xFFFF || trail > 0xFFFF)
    return BuildStatus::kTooLong;

  out.LeadBlank = static_cast<uint16_t>(lead);
  out.TrailBlank = static_cast<uint16_t>(trail);
  out.ColumnCount = static_cast<uint16_t>(count);
  out.SeparatorColumn = separator_;
  out.columns.assign(static_cast<std::size_t>(count) * kColumnBytes, 0);
  const auto& cols = writer_.columns();
  const std::size_t n = std::min(cols.size(), static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < n; ++k) ColumnToBytes(cols[k], out.columns.data() + k * kColumnBytes);
  return BuildStatus::kOk;
}

ItemResult BuildItem(ImageBuilder& builder, const LayoutContext& c, const SegmentLayout& layout,
                     std::string_view text1, std::string_view text2, ItemImage& out) {
  if (builder.Build(c, layout, text1, text2, out) != BuildStatus::kOk) return ItemResult::kTooLong;
  return out.columns.size() <= kImageStoreBytes ? ItemResult::kBuilt : ItemResult::kTooLong;
}

ItemResult MakeItem(ImageBuilder& builder, const LayoutContext& c, std::string_view text1,
                    std::string_view text2, ItemImage& out) {
  const std::optional<SegmentLayout> layout = LayoutSegment(c, text1, text2);
  if (!layout) return ItemResult::kSkipped;
  return BuildItem(builder, c, *layout, text1, text2, out);
}

}  // namespace qx
