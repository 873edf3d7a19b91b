#include "document/segment.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "document/gbk.h"

namespace qx {
namespace {

// The tables are written in UTF-8 here and held in GBK, the form the columns store.
struct Table {
  std::vector<std::string> storage;
  std::vector<CodedText> entries;

  Table(std::initializer_list<std::pair<std::string_view, uint8_t>> rows) {
    storage.reserve(rows.size());
    for (const auto& [utf8, code] : rows) storage.push_back(gbk::Encode(utf8));
    std::size_t i = 0;
    for (const auto& row : rows) entries.push_back({storage[i++], row.second});
  }
};

const Table& Sizes() {
  static const Table t{{"自动", 0}, {"1 号", 1}, {"2 号", 2}, {"3 号", 3},
                       {"4 号", 4}, {"5 号", 5}, {"6 号", 6}, {"7 号", 7}};
  return t;
}
const Table& Orientations() {
  static const Table t{{"横向", 0}, {"纵向", 1}};
  return t;
}
const Table& Decorations() {
  static const Table t{{"取消修饰", 0}, {"加 边 框", 1}, {"加下划线", 2}};
  return t;
}
const Table& SerialTypes() {
  static const Table t{{"无序号", kNoSerial},
                       {"序号0-999", kSerialDecimal},
                       {"序号000-999", kSerialDecimalPadded},
                       {"大写字母", kSerialCapital},
                       {"小写字母", kSerialSmall}};
  return t;
}

// Exact comparison in table order; any other text takes the fallback.
uint8_t CodeOf(const Table& t, std::string_view text, uint8_t fallback) {
  for (const CodedText& e : t.entries)
    if (e.text == text) return e.code;
  return fallback;
}

std::string_view TextOf(const Table& t, uint8_t code) {
  for (const CodedText& e : t.entries)
    if (e.code == code) return e.text;
  return {};
}

}  // namespace

std::span<const CodedText> SizeTexts() { return Sizes().entries; }
std::span<const CodedText> OrientationTexts() { return Orientations().entries; }
std::span<const CodedText> DecorationTexts() { return Decorations().entries; }
std::span<const CodedText> SerialTypeTexts() { return SerialTypes().entries; }

uint8_t SizeCodeOf(std::string_view size_text) { return CodeOf(Sizes(), size_text, kSizeFallback); }
uint8_t OrientationCodeOf(std::string_view orientation_text) {
  return CodeOf(Orientations(), orientation_text, kOrientationFallback);
}
uint8_t DecorationCodeOf(std::string_view decoration_text) {
  return CodeOf(Decorations(), decoration_text, kDecorationFallback);
}
uint8_t SerialTypeOf(std::string_view serial_type_text) {
  return CodeOf(SerialTypes(), serial_type_text, kSerialTypeFallback);
}

std::string_view SizeText(uint8_t code) { return TextOf(Sizes(), code); }
std::string_view OrientationText(uint8_t code) { return TextOf(Orientations(), code); }
std::string_view DecorationText(uint8_t code) { return TextOf(Decorations(), code); }
std::string_view SerialTypeText(uint8_t code) { return TextOf(SerialTypes(), code); }

uint8_t DecimalWidth(uint16_t value) { return value > 99 ? 3 : value > 9 ? 2 : 1; }

int32_t LengthLimit(int64_t length_mm) {
  const int64_t dots = length_mm == 0 ? 1100 : length_mm * 11;
  return static_cast<int32_t>(std::clamp<int64_t>(dots, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace qx
