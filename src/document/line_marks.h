// Where a superscript or subscript mark may stand in a Segment's lines: the rule the
// 上标/下标 buttons apply, and the import when it turns "²" or "₂" into a mark and a digit.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qx {

// A line holds at most this many bytes (GBK), the width of its field.
inline constexpr std::size_t kLineBytes = 100;

enum class MarkRefusal {
  kNone,                // the mark may stand there
  kTwoLines,            // the Segment has a lower line: marks need a one-line Segment
  kAtStart,             // the mark would start the line
  kSuperscriptWaiting,  // right after a superscript mark that still waits for its character
  kSubscriptWaiting,    // right after a subscript mark that still waits for its character
  kTooLong,             // the line has no room for the two bytes of a mark
};

// Whether a mark may be put at byte position `pos` of the upper line `upper` (GBK), the
// Segment having a lower line or not. A mark is refused at position 0, right after another
// mark when the position is past byte 2, and when the line would grow past kLineBytes.
MarkRefusal CheckMarkInsertion(std::string_view upper, bool has_lower_line, std::size_t pos);

// The digit a superscript ("¹²³⁰…⁹") or subscript ("₀…₉") digit stands for, and whether it
// is raised; nullopt for any other character.
struct ScriptDigit {
  char digit;
  bool superscript;
};
std::optional<ScriptDigit> ScriptDigitOf(char32_t cp);

}  // namespace qx
