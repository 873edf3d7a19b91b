#include "document/line_marks.h"

#include "document/gbk.h"

namespace qx {
namespace {

// Whether the two bytes before `pos` are the character `mark`.
bool MarkBefore(std::string_view text, std::size_t pos, std::string_view mark) {
  return pos >= 2 && pos <= text.size() && text.substr(pos - 2, 2) == mark && gbk::PrevCharStart(text, pos) == pos - 2;
}

}  // namespace

MarkRefusal CheckMarkInsertion(std::string_view upper, bool has_lower_line, std::size_t pos) {
  if (has_lower_line) return MarkRefusal::kTwoLines;
  if (pos == 0) return MarkRefusal::kAtStart;
  // A mark right before the position still waits for its character.
  if (pos > 2 && MarkBefore(upper, pos, gbk::kSuperscriptMark)) return MarkRefusal::kSuperscriptWaiting;
  if (pos > 2 && MarkBefore(upper, pos, gbk::kSubscriptMark)) return MarkRefusal::kSubscriptWaiting;
  if (upper.size() + 2 > kLineBytes) return MarkRefusal::kTooLong;
  return MarkRefusal::kNone;
}

std::optional<ScriptDigit> ScriptDigitOf(char32_t cp) {
  switch (cp) {
    case 0x00B9: return ScriptDigit{'1', true};
    case 0x00B2: return ScriptDigit{'2', true};
    case 0x00B3: return ScriptDigit{'3', true};
    case 0x2070: return ScriptDigit{'0', true};
    default: break;
  }
  if (cp >= 0x2074 && cp <= 0x2079) return ScriptDigit{static_cast<char>('4' + (cp - 0x2074)), true};
  if (cp >= 0x2080 && cp <= 0x2089) return ScriptDigit{static_cast<char>('0' + (cp - 0x2080)), false};
  return std::nullopt;
}

}  // namespace qx
