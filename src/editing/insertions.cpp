// Insertions into the line being edited: superscript and subscript prefixes, the serial
// placeholder with its series (the serial-number dialog) and symbols (the symbol picker).
//
// A line holds at most 100 bytes, the width of its field. Every insertion here adds one
// two-byte character, so each refuses, with the same message as a key that no longer
// fits, when the line already holds more than 98 bytes; nothing is cut or changed then.
#include "editing/insertions.h"

#include <algorithm>

#include "document/gbk.h"
#include "document/line_marks.h"
#include "editing/line_editors.h"
#include "editing/messages.h"
#include "layout/fit.h"

namespace qx {
namespace {

bool HasSerialMark(std::string_view text) {
  bool found = false;
  gbk::ForEachChar(text,
                   [&](std::size_t, std::string_view ch) { found |= ch == gbk::kSerialMark; });
  return found;
}

}  // namespace

// --- Superscript and subscript ------------------------------------------------------------

void Insertions::InsertMark(bool superscript) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  // The button takes the focus: the line editor that had it is left.
  ctx_.Focus(superscript ? Control::SuperscriptButton : Control::SubscriptButton);
  p.SkipNextEnter = false;
  t.Edit();
  LineEditor& upper = ctx_.Line(Control::UpperLine);
  const int c = upper.caret;
  p.SavedCaret = c;
  const auto refuse = [&](std::string_view text, int caret) {
    ctx_.ui.Message(text, msg::kInfo);
    ctx_.Focus(Control::UpperLine);
    lines_.SetCaret(Control::UpperLine, caret);
  };
  const auto pos = static_cast<std::size_t>(c);
  switch (CheckMarkInsertion(upper.text, HasLowerLine(), pos)) {
    case MarkRefusal::kNone: break;
    case MarkRefusal::kTwoLines: return refuse(msg::kMarksTwoLines, c);
    case MarkRefusal::kAtStart: return refuse(msg::kMarksAtStart, 0);
    case MarkRefusal::kSuperscriptWaiting: return refuse(msg::kSuperscriptFirst, c);
    case MarkRefusal::kSubscriptWaiting:
      return refuse(superscript ? msg::kSubscriptFirstUp : msg::kSubscriptFirstDown, c);
    case MarkRefusal::kTooLong: return refuse(msg::kContentTooLong, c);
  }

  std::string text = upper.text;
  text.insert(pos, superscript ? gbk::kSuperscriptMark : gbk::kSubscriptMark);
  // Back in the editor, the new text reaches its change handler as an edit.
  ctx_.Focus(Control::UpperLine);
  upper.caret = c + 2;
  upper.sel_start = upper.caret;
  upper.sel_length = 0;
  lines_.SetLineText(Control::UpperLine, std::move(text), true);
  if (superscript) {
    t.Store();
    t.Edit();
  }
  // The next key measures the whole line again, the prefix included.
  t.SetInt(kUpperLengthColumn, 0);
  ctx_.Changed();
}

// --- Serial number --------------------------------------------------------------------------

void Insertions::BeforeSerialDialog() {
  ctx_.Focus(Control::SerialButton);
  ctx_.doc.table.Edit();
}

void Insertions::AfterSerialDialog() {
  ctx_.Focus(ctx_.doc.file_state.ActiveLine == 1 ? Control::LowerLine : Control::UpperLine);
  RestoreActiveCaret();
  ctx_.Changed();
}

SerialSeries Insertions::CurrentSeries() const {
  const SegmentTable& t = ctx_.doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return {};
  return {t.Text(kSerialTypeColumn), t.Text(kSerialFirstColumn), t.Text(kSerialLastColumn), 0};
}

namespace {

// The series into the current row (put into edit mode).
void WriteSeries(SegmentTable& t, const SerialSeries& s) {
  t.Edit();
  t.SetText(kSerialTypeColumn, s.type);
  t.SetText(kSerialFirstColumn, s.first);
  t.SetText(kSerialLastColumn, s.last);
}

}  // namespace

bool Insertions::CommitSeries(const SerialSeries& s, bool insert) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  // The text changes that follow are the program's, not the operator's.
  p.UserEditing = false;
  ReloadWorkingValues(t, ctx_.doc.values);
  const LayoutContext lc{ctx_.measurer, ctx_.doc.values, ctx_.doc.file_state};
  const int limit = LengthLimit(t.Int(kLengthColumn));
  if (insert) {
    const bool lower = p.ActiveLine == 1;
    const Control target = lower ? Control::LowerLine : Control::UpperLine;
    LineEditor& e = ctx_.Line(target);
    const int c = e.caret;
    p.SavedCaret = c;
    std::string text = e.text;
    text.insert(static_cast<std::size_t>(c), gbk::kSerialMark);
    const int need = LineLength(lc, text, s.width, lower || HasLowerLine());
    if (need > limit || text.size() > kLineBytes) {
      ctx_.ui.Message(msg::kContentTooLong, msg::kHint);
      return false;
    }
    WriteSeries(t, s);
    e.caret = c + 2;
    e.sel_start = e.caret;
    e.sel_length = 0;
    lines_.SetLineText(target, std::move(text), true);
    t.Store();
    p.SavedCaret = c + 2;
    t.Edit();
    t.SetInt(lower ? kLowerLengthColumn : kUpperLengthColumn, need);
    ctx_.Changed();
    return true;
  }
  // A change of the series leaves the text alone; the line with the placeholder is
  // measured with the new width.
  const std::string& upper_text = ctx_.editor(Control::UpperLine).text;
  const bool upper = HasSerialMark(upper_text);
  const int need = upper ? LineLength(lc, upper_text, s.width, HasLowerLine())
                         : LineLength(lc, ctx_.editor(Control::LowerLine).text, s.width, true);
  if (need > limit) {
    ctx_.ui.Message(msg::kContentTooLong, msg::kHint);
    return false;
  }
  WriteSeries(t, s);
  t.SetInt(upper ? kUpperLengthColumn : kLowerLengthColumn, need);
  t.Store();
  ctx_.Changed();
  return true;
}

// --- Symbols ------------------------------------------------------------------------------

void Insertions::AfterSymbolPicker() {
  RestoreActiveCaret();
  ctx_.Changed();
}

void Insertions::RestoreActiveCaret() {
  LineEditor& e =
      ctx_.Line(ctx_.doc.file_state.ActiveLine == 1 ? Control::LowerLine : Control::UpperLine);
  e.caret = std::clamp(ctx_.doc.file_state.SavedCaret, 0, static_cast<int32_t>(e.text.size()));
  e.sel_start = e.caret;
  e.sel_length = 0;
}

void Insertions::InsertSymbol(std::string_view symbol) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  const bool lower = p.ActiveLine == 1;
  const Control target = lower ? Control::LowerLine : Control::UpperLine;
  LineEditor& e = ctx_.Line(target);
  const int c = e.caret;
  p.SavedCaret = c;
  std::string text = e.text;
  text.insert(static_cast<std::size_t>(c), symbol);
  ReloadWorkingValues(t, ctx_.doc.values);
  const LayoutContext lc{ctx_.measurer, ctx_.doc.values, ctx_.doc.file_state};
  const int need = LineLength(lc, text, ctx_.doc.values.SerialWidth, lower || HasLowerLine());
  if (need > LengthLimit(t.Int(kLengthColumn)) || text.size() > kLineBytes) {
    ctx_.ui.Message(msg::kContentTooLong, msg::kHint);
    lines_.SetCaret(target, c);
    return;
  }
  t.Edit();
  t.SetInt(lower ? kLowerLengthColumn : kUpperLengthColumn, need);
  e.caret = c + 2;
  e.sel_start = e.caret;
  e.sel_length = 0;
  lines_.SetLineText(target, std::move(text), true);
  p.SavedCaret = c + 2;
  ctx_.Changed();
}

}  // namespace qx
