// The two line editors: entering and leaving them, the byte-wise key model with its
// running length check, Enter, Backspace and Delete, and the rules for a lower line.
#include <algorithm>
#include <cstdio>

#include "app/main_form.h"
#include "app/messages.h"
#include "document/gbk.h"
#include "layout/fit.h"
#include "layout/sizes.h"

namespace qx {
namespace {
constexpr int kBackspace = 8;
constexpr int kEnter = 13;
constexpr int kDeleteKey = 46;
constexpr int kNotMeasured = 49;  // running lengths below this are measured afresh
}  // namespace

void TPrintForm::FlinEditEnter() {
  if (doc_.para.DocBusy) return;
  doc_.para.ActiveLine = 0;
  SetInsertTools(true);
  doc_.para.UserEditing = true;
  ReloadWorkingValues(doc_.table, doc_.values);
}

void TPrintForm::SlinEditEnter() {
  if (doc_.para.DocBusy) return;
  SegmentTable& t = doc_.table;
  doc_.para.ActiveLine = 1;
  SetInsertTools(true);
  doc_.para.UserEditing = true;
  ReloadWorkingValues(t, doc_.values);
  if (t.Int(kDnLen) == 0) {
    const std::string slin = t.Text(kSlin);
    t.SetInt(kDnLen, slin.empty() ? 48 : LineLengthOf(slin, true));
  }
}

void TPrintForm::OnFlinExit() {
  flin_.max_length = 100;
  doc_.para.SavedCaret = flin_.caret;
  doc_.para.UserEditing = false;
}

void TPrintForm::OnSlinExit() {
  slin_.max_length = 100;
  doc_.para.SavedCaret = slin_.caret;
  doc_.para.UserEditing = false;
  SetEnabled(Ctl::FuhaoBtn, false);
}

void TPrintForm::FlinEditClick() { doc_.table.Edit(); }

void TPrintForm::FlinEditChange() {
  if (!doc_.para.UserEditing) return;
  doc_.para.DocModified = true;
  doc_.para.SkipNextEnter = false;
}

void TPrintForm::SlinEditChange() { FlinEditChange(); }

void TPrintForm::FlinEditKeyDown(int key) {
  if (key != kDeleteKey || flin_.caret >= static_cast<int>(flin_.text.size())) return;
  flin_.max_length = 100;
  doc_.table.Edit();
  doc_.table.SetInt(kUpLen, 0);
  doc_.para.UserEditing = false;
}

void TPrintForm::SlinEditKeyDown(int key) {
  if (key != kDeleteKey || slin_.caret >= static_cast<int>(slin_.text.size())) return;
  slin_.max_length = 100;
  doc_.table.Edit();
  doc_.table.SetInt(kDnLen, 0);
  doc_.para.UserEditing = false;
}

void TPrintForm::FlinEditKeyPress(unsigned char key) { KeyPress(Ctl::FlinEdit, key); }
void TPrintForm::SlinEditKeyPress(unsigned char key) { KeyPress(Ctl::SlinEdit, key); }

void TPrintForm::KeyPress(Ctl c, unsigned char key) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  SegmentValues& v = doc_.values;
  const bool upper = c == Ctl::FlinEdit;
  LineEditor& e = Line(c);
  if (key == kEnter) {
    if (upper && p.SkipNextEnter) {
      p.SkipNextEnter = false;
      return;
    }
    return AppendSegment();
  }
  if (key == kBackspace) {
    if (upper) {
      p.SavedCaret = e.caret;
      // The serial placeholder about to go takes the Segment's serial number with it.
      const std::string_view before = std::string_view(e.text).substr(0, static_cast<std::size_t>(e.caret));
      const std::string_view selected =
          std::string_view(e.text).substr(static_cast<std::size_t>(e.sel_start), static_cast<std::size_t>(e.sel_length));
      const bool goes = e.sel_length > 0
                            ? selected.find(gbk::kSerialMark) != std::string_view::npos &&
                                  gbk::IsCharBoundary(e.text, static_cast<std::size_t>(e.sel_start))
                            : before.size() >= 2 && before.substr(before.size() - 2) == gbk::kSerialMark &&
                                  gbk::PrevCharStart(e.text, before.size()) == before.size() - 2;
      if (goes) {
        t.Edit();
        t.SetText(kXuLei, SerialTypeText(kNoSerial));
        t.SetText(kXuFirst, "");
        t.SetText(kXuEnd, "");
        t.Store();
        t.Edit();
      }
    }
    e.max_length = 100;
    t.Edit();
    t.SetInt(upper ? kUpLen : kDnLen, 0);
    p.UserEditing = false;
    return;
  }
  if (key < 32) return;  // other control codes pass without any action

  // A printable byte, alone or one of a two-byte character.
  p.UserEditing = true;
  t.Edit();
  ListButtons(false, false, false, false, false, true);
  const int running_col = upper ? kUpLen : kDnLen;
  if (t.Int(running_col) < kNotMeasured) {
    ReloadWorkingValues(t, v);
    const bool two = upper ? !slin_.text.empty() : true;
    t.SetInt(running_col, LineLengthOf(e.text, two));
  }
  const uint8_t size = v.SizeCode == 0 ? 1 : v.SizeCode;
  const int limit = LengthLimit(t.Int(kPitchLen));
  const int w = (key < 0x80 && v.Vertical == 0) ? measurer_.MeasureGlyph(key, size)
                                                 : SizeHeight(size);
  const int running = static_cast<int>(t.Int(running_col));
  const int spacing = p.CharSpacing;
  const int next = upper ? running + w : running + w + spacing;
  if (next > limit) {
    // Refused. A refused character never enters the editor; in a line that has text the
    // editor also stops taking characters until Backspace, Delete or leaving it.
    if (!e.text.empty()) e.max_length = static_cast<int>(e.text.size());
    key_refused_ = true;
    ui_.Message(msg::kContentTooLong, msg::kInfo);
    return;
  }
  t.SetInt(running_col, upper ? next + spacing : next);
}

// --- Keys as the keyboard and input methods deliver them ------------------------------

int TPrintForm::TypeText(Ctl c, std::string_view utf8) {
  if (!IsLine(c) || !Enabled(c)) return 0;
  if (focus_ != c) Focus(c);
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
      ui_.Message(text, msg::kInfo);
      continue;
    }
    // Each byte goes through the key handler; the character enters only when no byte
    // was refused and every byte fits the editor's maximum length.
    LineEditor& e = Line(c);
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

void TPrintForm::ReplaceSelection(Ctl c, std::string_view bytes) {
  LineEditor& e = Line(c);
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

void TPrintForm::PressBackspace(Ctl c) {
  if (!IsLine(c)) return;
  if (focus_ != c) Focus(c);
  KeyPress(c, kBackspace);
  LineEditor& e = Line(c);
  if (e.sel_length > 0) return ReplaceSelection(c, "");
  if (e.caret == 0) return;
  const int start = static_cast<int>(gbk::PrevCharStart(e.text, static_cast<std::size_t>(e.caret)));
  e.sel_start = start;
  e.sel_length = e.caret - start;
  ReplaceSelection(c, "");
}

void TPrintForm::PressDelete(Ctl c) {
  if (!IsLine(c)) return;
  if (focus_ != c) Focus(c);
  if (c == Ctl::FlinEdit) {
    FlinEditKeyDown(kDeleteKey);
  } else {
    SlinEditKeyDown(kDeleteKey);
  }
  LineEditor& e = Line(c);
  if (e.sel_length > 0) return ReplaceSelection(c, "");
  if (e.caret >= static_cast<int>(e.text.size())) return;
  e.sel_start = e.caret;
  e.sel_length = static_cast<int>(gbk::CharLen(e.text, static_cast<std::size_t>(e.caret)));
  ReplaceSelection(c, "");
}

void TPrintForm::PressEnter(Ctl c) {
  if (!IsLine(c)) return;
  if (focus_ != c) Focus(c);
  KeyPress(c, kEnter);
}

void TPrintForm::PasteText(Ctl c, std::string_view utf8) {
  if (!IsLine(c) || !Enabled(c)) return;
  if (focus_ != c) Focus(c);
  gbk::EncodeResult r = gbk::FromUtf8(utf8);
  if (!r.ok()) {
    std::string text(msg::kNotGbk);
    std::string bad;
    gbk::AppendUtf8(bad, r.rejected.front().codepoint);
    text.replace(text.find("%s"), 2, bad);
    ui_.Message(text, msg::kInfo);
    return;
  }
  // Line breaks and other control characters do not belong in a line.
  std::string clean;
  gbk::ForEachChar(r.gbk, [&](std::size_t, std::string_view ch) {
    if (ch.size() == 2 || static_cast<unsigned char>(ch[0]) >= 0x20) clean += ch;
  });
  LineEditor& e = Line(c);
  const std::size_t room = 100 - (e.text.size() - static_cast<std::size_t>(e.sel_length));
  ReplaceSelection(c, gbk::TruncateToBytes(clean, room));
}

void TPrintForm::SetCaret(Ctl c, int caret, int sel_start, int sel_length) {
  LineEditor& e = Line(c);
  const auto snap = [&](int pos) {
    pos = std::clamp(pos, 0, static_cast<int>(e.text.size()));
    while (!gbk::IsCharBoundary(e.text, static_cast<std::size_t>(pos))) --pos;
    return pos;
  };
  e.caret = snap(caret);
  const int a = snap(sel_start), b = snap(sel_start + sel_length);
  e.sel_start = sel_length > 0 ? a : e.caret;
  e.sel_length = sel_length > 0 ? b - a : 0;
  Changed();
}

// --- A lower line, and where it is allowed ----------------------------------------------

void TPrintForm::OnSlinClick() {
  SegmentTable& t = doc_.table;
  t.Edit();
  doc_.para.SkipNextEnter = false;
  if (flin_.text.empty()) {
    ui_.Message(msg::kUpperFirst, msg::kInfo);
    return Focus(Ctl::FlinEdit);
  }
  const uint8_t size = doc_.values.SizeCode;
  std::string_view refusal;
  switch (doc_.para.MaterialCode) {
    case 1: refusal = msg::kNoTwoLines6mm; break;
    case 2:
    case 6: refusal = size <= 2 ? std::string_view() : msg::kSizeNoTwoLines; break;
    case 3: refusal = size <= 3 ? std::string_view() : msg::kSizeNoTwoLines; break;
    case 4:
    case 5: refusal = msg::kMaterialNoTwoLines; break;
    default: break;  // heat-shrink tube takes a lower line at every size
  }
  if (!refusal.empty()) {
    ui_.Message(refusal, msg::kInfo);
    return Focus(Ctl::FlinEdit);
  }
  ListButtons(false, false, false, false, false, true);
}

}  // namespace qx
