// The Segment record: its thirteen columns, the coded texts stored in four of them and
// the numeric codes the rest of the program works with.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace qx {

// Column indexes, in table order.
enum Column : int {
  kNumberColumn = 0,       // 1-based position, null until first stored with its number
  kUpperLineColumn = 1,      // upper (or only) line, GBK
  kLowerLineColumn = 2,      // lower line, GBK; empty makes a one-line Segment
  kLengthColumn = 3,  // length in mm: 0 automatic, else 6..100
  kSizeColumn = 4,     // font size, coded text
  kOrientationColumn = 5,   // orientation, coded text
  kDecorationColumn = 6,    // decoration, coded text
  kRepeatColumn = 7,  // repeat count 1..200
  kSerialTypeColumn = 8,     // serial type, coded text
  kSerialFirstColumn = 9,   // first serial value
  kSerialLastColumn = 10,    // last serial value
  kUpperLengthColumn = 11,    // running length of the upper line in dots
  kLowerLengthColumn = 12,    // running length of the lower line in dots
};
inline constexpr int kColumnCount = 13;

enum class ColumnType { kInt32, kUInt16, kText };

struct ColumnDef {
  std::string_view name;
  ColumnType type;
  int max_bytes;  // text columns only
};

inline constexpr std::array<ColumnDef, kColumnCount> kColumns = {{
    {"Num", ColumnType::kInt32, 0},
    {"Flin", ColumnType::kText, 100},
    {"Slin", ColumnType::kText, 100},
    {"PitchLen", ColumnType::kInt32, 0},
    {"Zihao", ColumnType::kText, 4},
    {"HengShu", ColumnType::kText, 4},
    {"XiuShi", ColumnType::kText, 8},
    {"PitchRep", ColumnType::kUInt16, 0},
    {"XuLei", ColumnType::kText, 12},
    {"XuFirst", ColumnType::kText, 3},
    {"XuEnd", ColumnType::kText, 3},
    {"UpLen", ColumnType::kInt32, 0},
    {"DnLen", ColumnType::kInt32, 0},
}};

// A coded text and its code. The texts are GBK, as stored.
struct CodedText {
  std::string_view text;
  uint8_t code;
};

// The tables of coded texts, in the order the selectors list them. A text found in none
// of them takes the fallback code of its column.
std::span<const CodedText> SizeTexts();         // Zihao: "自动", "1 号".."7 号"
std::span<const CodedText> OrientationTexts();  // HengShu: "横向", "纵向"
std::span<const CodedText> DecorationTexts();   // XiuShi: "取消修饰", "加 边 框", "加下划线"
std::span<const CodedText> SerialTypeTexts();   // XuLei: "无序号", "序号0-999", ...

inline constexpr uint8_t kSizeFallback = 1;
inline constexpr uint8_t kOrientationFallback = 1;  // vertical
inline constexpr uint8_t kDecorationFallback = 2;   // underline
inline constexpr uint8_t kSerialTypeFallback = 0;   // no serial

enum SerialType : uint8_t {
  kNoSerial = 0,
  kSerialDecimal = 1,        // "序号0-999": no leading zeros
  kSerialDecimalPadded = 2,  // "序号000-999": zero-padded to the width of the last value
  kSerialCapital = 3,        // "大写字母"
  kSerialSmall = 4,          // "小写字母"
};

uint8_t SizeCodeOf(std::string_view size_text);
uint8_t OrientationCodeOf(std::string_view orientation_text);
uint8_t DecorationCodeOf(std::string_view decoration_text);
uint8_t SerialTypeOf(std::string_view serial_type_text);

// The stored text of a code (the first text of the table with that code).
std::string_view SizeText(uint8_t code);
std::string_view OrientationText(uint8_t code);
std::string_view DecorationText(uint8_t code);
std::string_view SerialTypeText(uint8_t code);

// Values of the first Segment of a new Document.
namespace defaults {
inline constexpr int32_t kLength = 25;
inline constexpr int32_t kRepeat = 1;
inline constexpr uint8_t kSizeCode = 4;
inline constexpr uint8_t kOrientation = 0;
inline constexpr uint8_t kDecoration = 0;
inline constexpr int32_t kUpperLength = 48;
inline constexpr int32_t kLowerLength = 0;
}  // namespace defaults

// Number of characters of a decimal serial value: 3 above 99, 2 above 9, else 1.
uint8_t DecimalWidth(uint16_t value);

// Editing limit of a Segment in dots: PitchLen x 11, or 1100 for automatic length.
// Lengths from foreign files are not range-checked; the result saturates instead of
// overflowing.
int32_t LengthLimit(int64_t length_mm);

}  // namespace qx
