// Insertions into the line being edited: superscript and subscript prefixes, the serial
// placeholder with its series (the serial-number dialog) and symbols (the symbol picker).
//
// A line holds at most 100 bytes, the width of its field. Every insertion here adds one
// two-byte character, so each refuses, with the same message as a key that no longer
// fits, when the line already holds more than 98 bytes; nothing is cut or changed then.
#include <algorithm>

#include "app/main_form.h"
#include "app/messages.h"
#include "document/gbk.h"
#include "layout/fit.h"

namespace qx {
namespace {

constexpr std::size_t kLineBytes = 100;

// Whether the two bytes before `pos` are the character `mark`.
bool MarkBefore(std::string_view text, std::size_t pos, std::string_view mark) {
  return pos >= 2 && text.substr(pos - 2, 2) == mark && gbk::PrevCharStart(text, pos) == pos - 2;
}

bool HasSerialMark(std::string_view text) {
  bool found = false;
  gbk::ForEachChar(text,
                   [&](std::size_t, std::string_view ch) { found |= ch == gbk::kSerialMark; });
  return found;
}

}  // namespace

// --- Superscript and subscript ------------------------------------------------------------

void TPrintForm::UpBiaoClick() {
  InsertMark(true);
}
void TPrintForm::DwBiaoClick() {
  InsertMark(false);
}

void TPrintForm::InsertMark(bool superscript) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  // The button takes the focus: the line editor that had it is left.
  Focus(superscript ? Ctl::UpBiaoBit : Ctl::DwBiaoBit);
  p.SkipNextEnter = false;
  t.Edit();
  const int c = flin_.caret;
  p.SavedCaret = c;
  const auto refuse = [&](std::string_view text, int caret) {
    ui_.Message(text, msg::kInfo);
    Focus(Ctl::FlinEdit);
    SetCaret(Ctl::FlinEdit, caret);
  };
  // A prefix marks one character of a one-line Segment.
  if (!slin_.text.empty()) return refuse(msg::kMarksTwoLines, c);
  if (c == 0) return refuse(msg::kMarksAtStart, 0);
  // A prefix right before the caret still waits for its character.
  const auto pos = static_cast<std::size_t>(c);
  if (c > 2 && MarkBefore(flin_.text, pos, gbk::kSuperscriptMark))
    return refuse(msg::kSuperscriptFirst, c);
  if (c > 2 && MarkBefore(flin_.text, pos, gbk::kSubscriptMark))
    return refuse(superscript ? msg::kSubscriptFirstUp : msg::kSubscriptFirstDown, c);
  if (flin_.text.size() + 2 > kLineBytes) return refuse(msg::kContentTooLong, c);

  std::string text = flin_.text;
  text.insert(pos, superscript ? gbk::kSuperscriptMark : gbk::kSubscriptMark);
  // Back in the editor, the new text reaches its change handler as an edit.
  Focus(Ctl::FlinEdit);
  flin_.caret = c + 2;
  flin_.sel_start = flin_.caret;
  flin_.sel_length = 0;
  SetLineText(Ctl::FlinEdit, std::move(text), true);
  if (superscript) {
    t.Store();
    t.Edit();
  }
  // The next key measures the whole line again, the prefix included.
  t.SetInt(kUpLen, 0);
  Changed();
}

// --- Serial number --------------------------------------------------------------------------

SerialSeries TPrintForm::CurrentSeries() const {
  const SegmentTable& t = doc_.table;
  if (!t.IsOpen() || t.IsEmpty()) return {};
  return {t.Text(kXuLei), t.Text(kXuFirst), t.Text(kXuEnd), 0};
}

namespace {

// The series into the current row (put into edit mode).
void WriteSeries(SegmentTable& t, const SerialSeries& s) {
  t.Edit();
  t.SetText(kXuLei, s.type);
  t.SetText(kXuFirst, s.first);
  t.SetText(kXuEnd, s.last);
}

}  // namespace

bool TPrintForm::CommitSeries(const SerialSeries& s, bool insert) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  // The text changes that follow are the program's, not the operator's.
  p.UserEditing = false;
  ReloadWorkingValues(t, doc_.values);
  const LayoutContext lc{measurer_, doc_.values, doc_.para};
  const int limit = LengthLimit(t.Int(kPitchLen));
  if (insert) {
    const bool lower = p.ActiveLine == 1;
    const Ctl target = lower ? Ctl::SlinEdit : Ctl::FlinEdit;
    LineEditor& e = Line(target);
    const int c = e.caret;
    p.SavedCaret = c;
    std::string text = e.text;
    text.insert(static_cast<std::size_t>(c), gbk::kSerialMark);
    const int need = LineLength(lc, text, s.width, lower || !slin_.text.empty());
    if (need > limit || text.size() > kLineBytes) {
      ui_.Message(msg::kContentTooLong, msg::kHint);
      return false;
    }
    WriteSeries(t, s);
    e.caret = c + 2;
    e.sel_start = e.caret;
    e.sel_length = 0;
    SetLineText(target, std::move(text), true);
    t.Store();
    p.SavedCaret = c + 2;
    t.Edit();
    t.SetInt(lower ? kDnLen : kUpLen, need);
    // The series is part of the Document: closing must not drop it without asking.
    p.DocModified = true;
    Changed();
    return true;
  }
  // A change of the series leaves the text alone; the line with the placeholder is
  // measured with the new width.
  const bool upper = HasSerialMark(flin_.text);
  const int need = upper ? LineLength(lc, flin_.text, s.width, !slin_.text.empty())
                         : LineLength(lc, slin_.text, s.width, true);
  if (need > limit) {
    ui_.Message(msg::kContentTooLong, msg::kHint);
    return false;
  }
  WriteSeries(t, s);
  t.SetInt(upper ? kUpLen : kDnLen, need);
  t.Store();
  p.DocModified = true;
  Changed();
  return true;
}

// --- Symbols ------------------------------------------------------------------------------

void TPrintForm::FuhaoBtnClick() {
  doc_.table.Edit();
  ui_.ShowSymbolPicker(fuhao_);
  LineEditor& e = Line(doc_.para.ActiveLine == 1 ? Ctl::SlinEdit : Ctl::FlinEdit);
  e.caret = std::clamp(doc_.para.SavedCaret, 0, static_cast<int32_t>(e.text.size()));
  e.sel_start = e.caret;
  e.sel_length = 0;
  Changed();
}

void TPrintForm::InsertSymbol(std::string_view symbol) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  const bool lower = p.ActiveLine == 1;
  const Ctl target = lower ? Ctl::SlinEdit : Ctl::FlinEdit;
  LineEditor& e = Line(target);
  const int c = e.caret;
  p.SavedCaret = c;
  std::string text = e.text;
  text.insert(static_cast<std::size_t>(c), symbol);
  ReloadWorkingValues(t, doc_.values);
  const LayoutContext lc{measurer_, doc_.values, doc_.para};
  const int need = LineLength(lc, text, doc_.values.SerialWidth, lower || !slin_.text.empty());
  if (need > LengthLimit(t.Int(kPitchLen)) || text.size() > kLineBytes) {
    ui_.Message(msg::kContentTooLong, msg::kHint);
    SetCaret(target, c);
    return;
  }
  t.Edit();
  t.SetInt(lower ? kDnLen : kUpLen, need);
  e.caret = c + 2;
  e.sel_start = e.caret;
  e.sel_length = 0;
  SetLineText(target, std::move(text), true);
  p.SavedCaret = c + 2;
  Changed();
}

}  // namespace qx
