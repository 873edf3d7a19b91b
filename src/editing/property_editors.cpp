// The editors of the current Segment's length, repeat count, font size, orientation and
// decoration, with their checks, messages and restoring.
#include "editing/property_editors.h"

#include <algorithm>

#include "document/gbk.h"
#include "editing/control_values.h"
#include "editing/messages.h"
#include "editing/refusal_figures.h"
#include "layout/fit.h"

namespace qx {
namespace {
constexpr int kEnterKey = 13;
}

// --- Length -----------------------------------------------------------------------------

void PropertyEditors::OnLengthEditEntered() {
  SegmentTable& t = ctx_.doc.table;
  t.Edit();
  ctx_.before_edit.LengthOnEntry = static_cast<int32_t>(t.Int(kLengthColumn));
  ReloadWorkingValues(t, ctx_.doc.values);
  ctx_.controls.SetEnabled(Control::UpperToolBar, false);
  ctx_.controls.DisableListButtons();
}

void PropertyEditors::OnLengthEditKeyUp(int key) {
  if (key == kEnterKey) ctx_.Focus(Control::UpperLine);
}

void PropertyEditors::OnLengthEditLeft() {
  SegmentTable& t = ctx_.doc.table;
  t.Store();
  t.Edit();
  const bool empty = t.IsNull(kLengthColumn);
  const int64_t v = t.Int(kLengthColumn);
  auto restore = [&](std::string_view message, bool to_line, std::string figures = {}) {
    ctx_.ui.Message(message, msg::kInfo);
    t.SetInt(kLengthColumn, ctx_.before_edit.LengthOnEntry);
    if (!figures.empty()) ctx_.ReportRefusal(std::move(figures));
    ctx_.controls.SetEnabled(Control::StoreButton, true);
    ctx_.controls.SetEnabled(Control::UpperToolBar, true);
    ctx_.ShowCurrentRow();
    if (to_line) ctx_.FocusLineEnd(0);
  };
  if (empty || v > 100 || v < 6) {
    if (empty || v != 0) return restore(msg::kLengthRange, false);
    if (gbk::ToUtf8(t.Text(kSizeColumn)) == "自动") return restore(msg::kSizeAlreadyAuto, false);
    ctx_.doc.values.LengthDots = 0;
    ctx_.controls.SetEnabled(Control::StoreButton, true);
    ctx_.controls.SetEnabled(Control::UpperToolBar, true);
    ctx_.FocusLineEnd(0);
    return;
  }
  const int limit = static_cast<int>(v) * 11;
  const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
  const bool two = !lower_text.empty();
  // Reaching the limit refuses here (the selectors refuse only beyond it).
  for (const auto& [text, two_lines] : {std::pair{upper_text, two}, std::pair{lower_text, true}}) {
    if (text.empty()) continue;
    const int need = ctx_.LineLengthOf(text, two_lines);
    if (limit <= need) return restore(msg::kLengthTooLong, true, TooLongFigures(need, limit, false));
  }
  ctx_.doc.values.LengthDots = limit;
  ctx_.controls.SetEnabled(Control::StoreButton, true);
  ctx_.controls.SetEnabled(Control::UpperToolBar, true);
  ctx_.FocusLineEnd(0);
}

// --- Repeat -----------------------------------------------------------------------------

void PropertyEditors::OnRepeatEditEntered() {
  SegmentTable& t = ctx_.doc.table;
  t.Edit();
  ctx_.before_edit.RepeatOnEntry = static_cast<int32_t>(t.Int(kRepeatColumn));
  ctx_.controls.SetEnabled(Control::UpperToolBar, false);
  ctx_.controls.DisableListButtons();
}

void PropertyEditors::OnRepeatEditKeyUp(int key) {
  if (key == kEnterKey) ctx_.Focus(Control::UpperLine);
}

void PropertyEditors::OnRepeatEditLeft() {
  SegmentTable& t = ctx_.doc.table;
  const bool empty = t.IsNull(kRepeatColumn);
  const int64_t r = t.Int(kRepeatColumn);
  if (empty || r > 200 || r < 1) {
    ctx_.ui.Message(msg::kRepeatRange, msg::kInfo);
    t.Edit();
    t.SetInt(kRepeatColumn, ctx_.before_edit.RepeatOnEntry);
    ctx_.ShowCurrentRow();
  }
  ctx_.controls.SetEnabled(Control::StoreButton, true);
  ctx_.controls.SetEnabled(Control::UpperToolBar, true);
  ctx_.FocusLineEnd(0);
}

void PropertyEditors::OnNumberEditKey(Control editor, char ch) {
  const bool allowed = (ch >= '0' && ch <= '9') || ch == '+' || ch == '-';
  // A key replaces a text that is selected whole.
  std::string text = ctx_.NumberEditAllSelected(editor) && allowed ? std::string()
                                                                   : ctx_.NumberEditText(editor);
  if (!allowed || text.size() >= 3) {
    ctx_.ui.Beep();
    return;
  }
  text += ch;
  ctx_.SetNumberEditText(editor, std::move(text));
}

bool PropertyEditors::CommitNumberEdit(Control c) {
  const std::string text = ctx_.NumberEditText(c);
  SegmentTable& t = ctx_.doc.table;
  const int col = c == Control::RepeatEdit ? kRepeatColumn : kLengthColumn;
  if (!t.IsOpen() || t.IsEmpty()) return true;
  t.Edit();
  if (text.empty()) {
    t.SetNull(col);
    return true;
  }
  // A whole number: an optional sign, then digits.
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size() || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                       [](char ch) { return ch >= '0' && ch <= '9'; }))
    return false;
  const int64_t v = std::stoll(text);
  // Out of the column's range (a negative repeat): as far below the editor's range as
  // it can be stored; the exit check refuses it.
  if (c == Control::RepeatEdit && v < 0) {
    t.SetInt(col, 0);
  } else {
    t.SetInt(col, v);
  }
  return true;
}

// --- Selectors --------------------------------------------------------------------------

void PropertyEditors::Pick(Control selector, int index) {
  const auto items = SelectorItems(selector);
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  ctx_.Focus(selector);
  SegmentTable& t = ctx_.doc.table;
  const std::string picked = gbk::Encode(items[static_cast<std::size_t>(index)]);
  auto pick = [&](int column) {
    t.Edit();
    t.SetText(column, picked);
  };
  switch (selector) {
    case Control::SizeSelector:
      OnSizeSelectorClicked();
      pick(kSizeColumn);
      OnSizeChosen();
      break;
    case Control::OrientationSelector:
      OnOrientationSelectorClicked();
      pick(kOrientationColumn);
      OnOrientationChosen();
      break;
    case Control::DecorationSelector:
      OnDecorationSelectorClicked();
      pick(kDecorationColumn);
      OnDecorationChosen();
      break;
    default:
      break;
  }
  ctx_.Changed();
}

void PropertyEditors::OnSizeSelectorClicked() {
  ctx_.doc.table.Edit();
  ctx_.before_edit.SizeOnPick = ctx_.doc.table.Text(kSizeColumn);
  ctx_.doc.file_state.UserEditing = true;
}

void PropertyEditors::OnSizeChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  SegmentTable& t = ctx_.doc.table;
  SegmentValues& v = ctx_.doc.values;
  const std::string picked = t.Text(kSizeColumn);
  if (picked == SizeText(0) && t.Int(kLengthColumn) == 0) {
    ctx_.ui.Message(msg::kBothAuto, msg::kInfo);
    t.SetText(kSizeColumn, ctx_.before_edit.SizeOnPick);
    return ctx_.FocusLineEnd(0);
  }
  t.Store();
  t.Edit();
  const uint8_t old_code = v.SizeCode;
  ReloadWorkingValues(t, v);
  auto refuse = [&](std::string_view message, std::string_view caption, int line,
                    std::string figures = {}) {
    t.SetText(kSizeColumn, ctx_.before_edit.SizeOnPick);
    v.SizeCode = old_code;
    if (!figures.empty()) ctx_.ReportRefusal(std::move(figures));
    ctx_.ui.Message(message, caption);
    ctx_.FocusLineEnd(line);
  };
  if (!SizeAllowed(ctx_.doc.file_state.MaterialCode, v.SizeCode, !t.Text(kLowerLineColumn).empty()))
    return refuse(msg::kSizeNotForMaterial, msg::kInfo, 0);
  const int limit = LengthLimit(t.Int(kLengthColumn));
  const bool automatic = t.Int(kLengthColumn) == 0;
  const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
  int need1 = 0, need2 = 0;
  if (!upper_text.empty()) {
    need1 = ctx_.LineLengthOf(upper_text, !lower_text.empty());
    if (need1 > limit)
      return refuse(msg::kSizeTooLong, msg::kInfo, 0, TooLongFigures(need1, limit, automatic));
  }
  if (!lower_text.empty()) {
    need2 = ctx_.LineLengthOf(lower_text, true);
    if (need2 > limit)
      return refuse(msg::kSizeLowerTooLong, msg::kHint, 1, TooLongFigures(need2, limit, automatic));
  }
  ctx_.controls.SetEnabled(Control::StoreButton, true);
  t.SetInt(kUpperLengthColumn, need1);
  if (!lower_text.empty()) t.SetInt(kLowerLengthColumn, need2);
  ctx_.FocusLineEnd(0);
}

void PropertyEditors::OnSizeSelectorLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

void PropertyEditors::OnOrientationSelectorClicked() {
  ctx_.doc.table.Edit();
  ctx_.before_edit.OrientationOnPick = ctx_.doc.table.Text(kOrientationColumn);
  ctx_.doc.file_state.UserEditing = true;
}

void PropertyEditors::OnOrientationChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  SegmentTable& t = ctx_.doc.table;
  SegmentValues& v = ctx_.doc.values;
  if (t.Text(kOrientationColumn) == OrientationText(0)) {  // horizontal is never refused
    v.Vertical = 0;
    return ctx_.FocusLineEnd(0);
  }
  t.Store();
  t.Edit();
  const uint8_t old_vertical = v.Vertical;
  ReloadWorkingValues(t, v);
  v.Vertical = 1;
  const int limit = LengthLimit(t.Int(kLengthColumn));
  const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
  const bool automatic = t.Int(kLengthColumn) == 0;
  auto refuse = [&](std::string_view message, int line, int need) {
    t.SetText(kOrientationColumn, ctx_.before_edit.OrientationOnPick);
    v.Vertical = old_vertical;
    ctx_.ReportRefusal(TooLongFigures(need, limit, automatic));
    ctx_.ui.Message(message, msg::kInfo);
    ctx_.FocusLineEnd(line);
  };
  if (!upper_text.empty()) {
    const int need = ctx_.LineLengthOf(upper_text, !lower_text.empty());
    if (need > limit) return refuse(msg::kOrientationTooLong, 0, need);
  }
  if (!lower_text.empty()) {
    const int need = ctx_.LineLengthOf(lower_text, true);
    if (need > limit) return refuse(msg::kOrientationLowerTooLong, 1, need);
  }
  ctx_.controls.SetEnabled(Control::StoreButton, true);
  ctx_.FocusLineEnd(0);
}

void PropertyEditors::OnOrientationSelectorLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

void PropertyEditors::OnDecorationSelectorClicked() {
  ctx_.doc.table.Edit();
  ctx_.doc.file_state.UserEditing = true;
}

void PropertyEditors::OnDecorationChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  ctx_.controls.SetEnabled(Control::StoreButton, true);
  ctx_.FocusLineEnd(0);
}

void PropertyEditors::OnDecorationSelectorLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

}  // namespace qx
