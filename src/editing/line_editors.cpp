#include "editing/line_editors.h"

#include <algorithm>
#include <cstdio>

#include "document/gbk.h"
#include "editing/messages.h"
#include "editing/refusal_figures.h"
#include "editing/segment_list.h"
#include "layout/fit.h"
#include "layout/sizes.h"

namespace qx {
namespace {
constexpr int kBackspace = 8;
constexpr int kEnter = 13;
constexpr int kDeleteKey = 46;
constexpr int kNotMeasured = 49;  // running lengths below this are measured afresh
}  // namespace

void LineEditors::OnUpperLineEntered() {
  if (ctx_.doc.file_state.DocBusy) return;
  ctx_.doc.file_state.ActiveLine = 0;
  ctx_.controls.SetInsertTools(true);
  ctx_.doc.file_state.UserEditing = true;
  ReloadWorkingValues(ctx_.doc.table, ctx_.doc.values);
}

void LineEditors::OnLowerLineEntered() {
  if (ctx_.doc.file_state.DocBusy) return;
  SegmentTable& t = ctx_.doc.table;
  ctx_.doc.file_state.ActiveLine = 1;
  ctx_.controls.SetInsertTools(true);
  ctx_.doc.file_state.UserEditing = true;
  ReloadWorkingValues(t, ctx_.doc.values);
  if (t.Int(kLowerLengthColumn) == 0) {
    const std::string lower_text = t.Text(kLowerLineColumn);
    t.SetInt(kLowerLengthColumn, lower_text.empty() ? 48 : ctx_.LineLengthOf(lower_text, true));
  }
}

void LineEditors::OnUpperLineLeft() {
  LineEditor& e = ctx_.Line(Control::UpperLine);
  e.max_length = 100;
  ctx_.doc.file_state.SavedCaret = e.caret;
  ctx_.doc.file_state.UserEditing = false;
}

void LineEditors::OnLowerLineLeft() {
  LineEditor& e = ctx_.Line(Control::LowerLine);
  e.max_length = 100;
  ctx_.doc.file_state.SavedCaret = e.caret;
  ctx_.doc.file_state.UserEditing = false;
  ctx_.controls.SetEnabled(Control::SymbolButton, false);
}

void LineEditors::OnUpperLineClicked() {
  ctx_.doc.table.Edit();
}

void LineEditors::OnUpperLineChanged() {
  if (!ctx_.doc.file_state.UserEditing) return;
  ctx_.doc.file_state.SkipNextEnter = false;
}

void LineEditors::OnLowerLineChanged() {
  OnUpperLineChanged();
}

void LineEditors::OnUpperLineKeyDown(int key) {
  KeyDown(Control::UpperLine, key);
}

void LineEditors::OnLowerLineKeyDown(int key) {
  KeyDown(Control::LowerLine, key);
}

// Delete before the end of the text: the line is measured afresh at the next key.
void LineEditors::KeyDown(Control c, int key) {
  LineEditor& e = ctx_.Line(c);
  if (key != kDeleteKey || e.caret >= static_cast<int>(e.text.size())) return;
  e.max_length = 100;
  ctx_.doc.table.Edit();
  ctx_.doc.table.SetInt(c == Control::UpperLine ? kUpperLengthColumn : kLowerLengthColumn, 0);
  ctx_.doc.file_state.UserEditing = false;
}

void LineEditors::OnUpperLineKey(unsigned char key) {
  KeyPress(Control::UpperLine, key);
}
void LineEditors::OnLowerLineKey(unsigned char key) {
  KeyPress(Control::LowerLine, key);
}

void LineEditors::KeyPress(Control c, unsigned char key) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  SegmentValues& v = ctx_.doc.values;
  const bool upper = c == Control::UpperLine;
  LineEditor& e = ctx_.Line(c);
  if (key == kEnter) {
    if (upper && p.SkipNextEnter) {
      p.SkipNextEnter = false;
      return;
    }
    return list_.AppendSegment();
  }
  if (key == kBackspace) {
    if (upper) {
      p.SavedCaret = e.caret;
      // The serial placeholder about to go takes the Segment's serial number with it.
      const std::string_view before =
          std::string_view(e.text).substr(0, static_cast<std::size_t>(e.caret));
      const std::string_view selected = std::string_view(e.text).substr(
          static_cast<std::size_t>(e.sel_start), static_cast<std::size_t>(e.sel_length));
      const bool goes = e.sel_length > 0
                            ? selected.find(gbk::kSerialMark) != std::string_view::npos &&
                                  gbk::IsCharBoundary(e.text, static_cast<std::size_t>(e.sel_start))
                            : before.size() >= 2 &&
                                  before.substr(before.size() - 2) == gbk::kSerialMark &&
                                  gbk::PrevCharStart(e.text, before.size()) == before.size() - 2;
      if (goes) {
        t.Edit();
        t.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
        t.SetText(kSerialFirstColumn, "");
        t.SetText(kSerialLastColumn, "");
        t.Store();
        t.Edit();
      }
    }
    e.max_length = 100;
    t.Edit();
    t.SetInt(upper ? kUpperLengthColumn : kLowerLengthColumn, 0);
    p.UserEditing = false;
    return;
  }
  if (key < 32) return;  // other control codes pass without any action

  // A printable byte, alone or one of a two-byte character.
  p.UserEditing = true;
  t.Edit();
  ctx_.controls.SetListButtons(false, false, false, false, false, true);
  const int running_col = upper ? kUpperLengthColumn : kLowerLengthColumn;
  if (t.Int(running_col) < kNotMeasured) {
    ReloadWorkingValues(t, v);
    const bool two = upper ? !ctx_.Line(Control::LowerLine).text.empty() : true;
    t.SetInt(running_col, ctx_.LineLengthOf(e.text, two));
  }
  const uint8_t size = v.SizeCode == 0 ? 1 : v.SizeCode;
  const int limit = LengthLimit(t.Int(kLengthColumn));
  const int w =
      (key < 0x80 && v.Vertical == 0) ? ctx_.measurer.MeasureGlyph(key, size) : SizeHeight(size);
  const int running = static_cast<int>(t.Int(running_col));
  const int spacing = p.CharSpacing;
  const int next = upper ? running + w : running + w + spacing;
  if (next > limit) {
    // Refused. A refused character never enters the editor; in a line that has text the
    // editor also stops taking characters until Backspace, Delete or leaving it. In an
    // empty line the byte goes in and straight out again: that change is handled as any
    // change of the line (the Document is changed, a pending Enter is no longer skipped).
    if (!e.text.empty()) {
      e.max_length = static_cast<int>(e.text.size());
    } else if (upper) {
      OnUpperLineChanged();
    } else {
      OnLowerLineChanged();
    }
    key_refused_ = true;
    ctx_.ReportRefusal(TooLongFigures(next, limit, t.Int(kLengthColumn) == 0));
    ctx_.ui.Message(msg::kContentTooLong, msg::kInfo);
    return;
  }
  t.SetInt(running_col, upper ? next + spacing : next);
}

void LineEditors::SetLineText(Control c, std::string text, bool run_change_handler) {
  ctx_.Line(c).text = std::move(text);
  ctx_.WriteLineField(c);
  if (run_change_handler) {
    if (c == Control::UpperLine) {
      OnUpperLineChanged();
    } else {
      OnLowerLineChanged();
    }
  }
  ctx_.Changed();
}

// --- Keys as the keyboard and input methods deliver them ------------------------------

int LineEditors::TypeText(Control c, std::string_view utf8) {
  if (!EditingContext::IsLine(c) || !ctx_.controls.Enabled(c)) return 0;
  if (ctx_.focus() != c) ctx_.Focus(c);
  int inserted = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    std::size_t len;
    const char32_t cp = gbk::DecodeUtf8(utf8, pos, len);
    const std::string_view one = utf8.substr(pos, len);
    pos += len;
    if (cp < 0x20 || cp == 0x7F) continue;  // keys of their own (Enter, Backspace, ...)
    const std::optional<std::string> bytes = gbk::EncodeChar(cp);
    if (!bytes || cp == gbk::kReplacement) {
      std::string text(msg::kNotGbk);
      text.replace(text.find("%s"), 2, one);
      ctx_.ui.Message(text, msg::kInfo);
      continue;
    }
    // Each byte goes through the key handler; the character enters only when no byte
    // was refused and every byte fits the editor's maximum length.
    LineEditor& e = ctx_.Line(c);
    key_refused_ = false;
    bool fits = true;
    for (std::size_t k = 0; k < bytes->size(); ++k) {
      KeyPress(c, static_cast<unsigned char>((*bytes)[k]));
      const int after = static_cast<int>(e.text.size()) - e.sel_length + static_cast<int>(k) + 1;
      if (after > e.max_length) fits = false;
    }
    if (key_refused_ || !fits) continue;
    ReplaceSelection(c, *bytes);
    ++inserted;
  }
  return inserted;
}

void LineEditors::ReplaceSelection(Control c, std::string_view bytes) {
  LineEditor& e = ctx_.Line(c);
  std::string text = e.text;
  int at = e.caret;
  if (e.sel_length > 0) {
    text.erase(static_cast<std::size_t>(e.sel_start), static_cast<std::size_t>(e.sel_length));
    at = e.sel_start;
  }
  text.insert(static_cast<std::size_t>(at), bytes);
  e.caret = at + static_cast<int>(bytes.size());
  e.sel_start = e.caret;
  e.sel_length = 0;
  SetLineText(c, std::move(text), true);
}

void LineEditors::PressBackspace(Control c) {
  if (!EditingContext::IsLine(c)) return;
  if (ctx_.focus() != c) ctx_.Focus(c);
  KeyPress(c, kBackspace);
  LineEditor& e = ctx_.Line(c);
  if (e.sel_length > 0) return ReplaceSelection(c, "");
  if (e.caret == 0) return;
  const int start = static_cast<int>(gbk::PrevCharStart(e.text, static_cast<std::size_t>(e.caret)));
  e.sel_start = start;
  e.sel_length = e.caret - start;
  ReplaceSelection(c, "");
}

void LineEditors::PressDelete(Control c) {
  if (!EditingContext::IsLine(c)) return;
  if (ctx_.focus() != c) ctx_.Focus(c);
  if (c == Control::UpperLine) {
    OnUpperLineKeyDown(kDeleteKey);
  } else {
    OnLowerLineKeyDown(kDeleteKey);
  }
  LineEditor& e = ctx_.Line(c);
  if (e.sel_length > 0) return ReplaceSelection(c, "");
  if (e.caret >= static_cast<int>(e.text.size())) return;
  e.sel_start = e.caret;
  e.sel_length = static_cast<int>(gbk::CharLen(e.text, static_cast<std::size_t>(e.caret)));
  ReplaceSelection(c, "");
}

void LineEditors::PressEnter(Control c) {
  if (!EditingContext::IsLine(c)) return;
  if (ctx_.focus() != c) ctx_.Focus(c);
  KeyPress(c, kEnter);
}

void LineEditors::PasteText(Control c, std::string_view utf8) {
  if (!EditingContext::IsLine(c) || !ctx_.controls.Enabled(c)) return;
  if (ctx_.focus() != c) ctx_.Focus(c);
  gbk::EncodeResult r = gbk::FromUtf8(utf8);
  if (!r.ok()) {
    std::string text(msg::kNotGbk);
    std::string bad;
    gbk::AppendUtf8(bad, r.rejected.front().codepoint);
    text.replace(text.find("%s"), 2, bad);
    ctx_.ui.Message(text, msg::kInfo);
    return;
  }
  // Line breaks and other control characters do not belong in a line.
  std::string clean;
  gbk::ForEachChar(r.gbk, [&](std::size_t, std::string_view ch) {
    if (ch.size() == 2 || static_cast<unsigned char>(ch[0]) >= 0x20) clean += ch;
  });
  // Within the editor's maximum length: 100 bytes, or the text's length after a refused
  // key, when only a selection can still be replaced.
  LineEditor& e = ctx_.Line(c);
  const int room = e.max_length - (static_cast<int>(e.text.size()) - e.sel_length);
  if (room <= 0 && e.sel_length == 0) return;
  ReplaceSelection(c, gbk::TruncateToBytes(clean, static_cast<std::size_t>(std::max(room, 0))));
}

void LineEditors::SetCaret(Control c, int caret, int sel_start, int sel_length) {
  LineEditor& e = ctx_.Line(c);
  const auto snap = [&](int pos) {
    pos = std::clamp(pos, 0, static_cast<int>(e.text.size()));
    while (!gbk::IsCharBoundary(e.text, static_cast<std::size_t>(pos))) --pos;
    return pos;
  };
  e.caret = snap(caret);
  const int a = snap(sel_start), b = snap(sel_start + sel_length);
  e.sel_start = sel_length > 0 ? a : e.caret;
  e.sel_length = sel_length > 0 ? b - a : 0;
  ctx_.Changed();
}

// --- A lower line, and where it is allowed ----------------------------------------------

void LineEditors::OnLowerLineClicked() {
  SegmentTable& t = ctx_.doc.table;
  t.Edit();
  ctx_.doc.file_state.SkipNextEnter = false;
  if (ctx_.Line(Control::UpperLine).text.empty()) {
    ctx_.ui.Message(msg::kUpperFirst, msg::kInfo);
    return ctx_.Focus(Control::UpperLine);
  }
  const uint8_t size = ctx_.doc.values.SizeCode;
  const uint8_t material = ctx_.doc.file_state.MaterialCode;
  if (!LowerLineAllowed(material, size)) {
    // Label 6 mm has a message of its own; the other materials that never take a lower
    // line one for all of them; the rest refuse the size.
    const std::string_view refusal = material == 1                          ? msg::kNoTwoLines6mm
                                     : LowerLineLargestSize(material) < 0 ? msg::kMaterialNoTwoLines
                                                                          : msg::kSizeNoTwoLines;
    ctx_.ReportRefusal(LowerLineFigures(material, size));
    ctx_.ui.Message(refusal, msg::kInfo);
    return ctx_.Focus(Control::UpperLine);
  }
  ctx_.controls.SetListButtons(false, false, false, false, false, true);
}

}  // namespace qx
