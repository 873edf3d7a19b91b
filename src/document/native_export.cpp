#include "document/native_export.h"

#include <algorithm>
#include <string_view>

#include "document/gbk.h"

namespace qx {
namespace {

constexpr std::string_view kSignature = "Qx series printer files v1.00";

uint16_t DecimalValue(const std::string& s) {
  unsigned v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return static_cast<uint16_t>(v);  // compared as 16-bit numbers
}

uint8_t SizeBits(std::string_view size_text) {
  const uint8_t code = SizeCodeOf(size_text);
  return (size_text == SizeText(code) && code <= 6) ? code : 1;  // "7 号" and anything else: 1
}

// A line with its markers as one-byte codes and its placeholder as the serial code. The
// marker test is made at every byte position.
void AppendLine(std::string& out, std::string_view line, const std::string& serial) {
  for (std::size_t p = 0; p < line.size();) {
    const auto b = static_cast<unsigned char>(line[p]);
    const auto n = p + 1 < line.size() ? static_cast<unsigned char>(line[p + 1]) : 0;
    if (b == 0xA8 && n == 0x49) {
      out += '\x95';
      p += 2;
    } else if (b == 0xA8 && n == 0x4C) {
      out += '\x96';
      p += 2;
    } else if (b == 0xA1 && n == 0xED) {
      out += serial;
      p += 2;
    } else {
      out += static_cast<char>(b);
      ++p;
    }
  }
}

}  // namespace

std::string SerialCode(const SegmentTable& t) {
  const uint8_t type = SerialTypeOf(t.Text(kSerialTypeColumn));
  const std::string first = t.Text(kSerialFirstColumn), last = t.Text(kSerialLastColumn);
  std::string code;
  if (type == kSerialDecimal || type == kSerialDecimalPadded) {
    const uint16_t a = DecimalValue(first), b = DecimalValue(last);
    const uint16_t lo = std::min(a, b), hi = std::max(a, b);
    const char mark = type == kSerialDecimal ? '\x97' : '\x98';
    code = {mark, static_cast<char>(lo >> 8), static_cast<char>(lo & 0xFF),
            static_cast<char>(hi >> 8), static_cast<char>(hi & 0xFF), mark};
  } else if (type == kSerialCapital || type == kSerialSmall) {
    const auto a = static_cast<unsigned char>(first.empty() ? 0 : first[0]);
    const auto b = static_cast<unsigned char>(last.empty() ? 0 : last[0]);
    const char mark = type == kSerialCapital ? '\x99' : '\x9A';
    code = {mark, static_cast<char>(std::min(a, b)), static_cast<char>(std::max(a, b)), mark};
  }
  return code;
}

void DropTrailingEmptySegments(SegmentTable& t) {
  // The first Segment is told by its place, not by its number: a Segment appended and never
  // stored has no number yet, and an older file's numbers need not follow the places.
  t.Last();
  while (t.RowCount() > 1 && t.Text(kUpperLineColumn).empty()) {
    t.Delete();
    t.Last();
  }
}

NativeFile BuildNativeFile(SegmentTable& t, const DocumentSettings& s) {
  t.First();
  RenumberToEnd(t);
  const int n = std::min(t.RowCount(), kMaxExportedSegments);

  std::string entries, text;
  t.First();
  for (int i = 0; i < n; ++i) {
    const std::size_t offset = text.size();
    const std::string serial = SerialCode(t);
    const std::string lower_text = t.Text(kLowerLineColumn);
    AppendLine(text, t.Text(kUpperLineColumn), serial);
    if (!lower_text.empty()) {
      text += '\x0D';
      AppendLine(text, lower_text, serial);
    }
    const std::size_t count = text.size() - offset;
    text += '\x0A';

    const std::string decoration_text = t.Text(kDecorationColumn);
    uint8_t attr = static_cast<uint8_t>(SizeBits(t.Text(kSizeColumn)) << 4);
    if (!lower_text.empty()) attr |= 0x08;
    if (t.Text(kOrientationColumn) == OrientationText(1)) attr |= 0x04;
    if (decoration_text == DecorationText(2)) {
      attr |= 0x02;
    } else if (decoration_text == DecorationText(1)) {
      attr |= 0x01;
    }
    entries += static_cast<char>(offset & 0xFF);
    entries += static_cast<char>((offset >> 8) & 0xFF);
    entries += static_cast<char>(i);
    entries += static_cast<char>(t.Int(kLengthColumn) & 0xFF);
    entries += static_cast<char>(attr);
    entries += '\0';
    entries += static_cast<char>(t.Int(kRepeatColumn) & 0xFF);
    entries += static_cast<char>(count & 0xFF);
    if (i + 1 < n) t.Next();
  }
  if (n < t.RowCount()) t.Next();  // the row after the last exported one
  text += '\0';

  NativeFile file;
  file.text_bytes = text.size();
  if (!file.ok()) return file;
  std::vector<uint8_t>& out = file.bytes;
  out.assign(kSignature.begin(), kSignature.end());
  out.insert(out.end(), 3, 0);
  out.push_back(static_cast<uint8_t>(s.material_index + 1));
  out.push_back(static_cast<uint8_t>(s.cut_index));
  out.push_back(static_cast<uint8_t>(s.alignment_index));
  out.push_back(static_cast<uint8_t>(s.spacing_index));
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), 3, 0);
  out.push_back(static_cast<uint8_t>(text.size() & 0xFF));
  out.push_back(static_cast<uint8_t>((text.size() >> 8) & 0xFF));
  out.insert(out.end(), entries.begin(), entries.end());
  out.insert(out.end(), text.begin(), text.end());
  return file;
}

}  // namespace qx
