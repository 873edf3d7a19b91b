#include "editing/document_settings.h"

#include <algorithm>

#include "editing/control_values.h"
#include "editing/messages.h"
#include "editing/table_walk.h"
#include "layout/fit.h"

namespace qx {

// --- Picking entries --------------------------------------------------------------------

void DocumentSettingsEditors::Pick(Control selector, int index) {
  const auto items = SelectorItems(selector);
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  ctx_.Focus(selector);
  PickSetting(selector, index);
  ctx_.Changed();
}

// The selector's position when it is entered is the one it shows at the pick: every
// change sends the focus back to a line, and a refusal puts the entry position back. So
// each pick enters the selector first, whether or not it had the focus already.
void DocumentSettingsEditors::PickSetting(Control selector, int index) {
  DocumentSettings& s = ctx_.doc.settings;
  switch (selector) {
    case Control::MaterialSelector:
      OnMaterialEntered();
      s.material_index = index;
      OnMaterialChosen();
      break;
    case Control::CutSelector:
      OnCutEntered();
      s.cut_index = index;
      OnCutChosen();
      break;
    case Control::AlignmentSelector:
      OnAlignmentEntered();
      s.alignment_index = index;
      OnAlignmentChosen();
      break;
    case Control::SpacingSelector:
      OnSpacingEntered();
      s.spacing_index = index;
      OnSpacingChosen();
      break;
    case Control::DensitySelector:  // density: taken by the print job as it is
      s.density_index = index;
      break;
    default:
      break;
  }
}

void DocumentSettingsEditors::PickFace(int index) {
  if (index < 0 || index >= static_cast<int>(face_items_.size())) return;
  ctx_.Focus(Control::FontFaceSelector);
  OnFontFaceEntered();
  ctx_.doc.settings.font_face = face_items_[static_cast<std::size_t>(index)];
  OnFontFaceChosen();
  ctx_.Changed();
}

// --- Font face and bold -----------------------------------------------------------------

namespace {
int32_t PositionOf(const std::vector<std::string>& items, const std::string& text) {
  const auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int32_t>(it - items.begin());
}
}  // namespace

void DocumentSettingsEditors::OnFontFaceEntered() {
  ctx_.before_edit.FaceOnEntry = PositionOf(face_items_, ctx_.doc.settings.font_face);
  face_on_entry_ = ctx_.doc.settings.font_face;
  ctx_.doc.file_state.UserEditing = true;
}

void DocumentSettingsEditors::OnFontFaceChosen() {
  const std::string face = ctx_.doc.settings.font_face;
  if (!ctx_.doc.file_state.UserEditing) {  // set by the program (a Document was loaded): no check
    ctx_.measurer.SetFace(face);
    return ctx_.Changed();
  }
  if (PositionOf(face_items_, face) == ctx_.before_edit.FaceOnEntry) return;
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const Bookmark at = DetachAt(ctx_);
  t.First();
  ctx_.measurer.SetFace(face);  // the document's face is the one every line is measured in
  if (!CheckFollowing(t, ctx_.doc.values, ctx_.measurer, ctx_.doc.file_state,
                      FollowingChange::kRecheck, 0, 0, 0)) {
    ctx_.ui.Message(msg::kFaceTooLong, msg::kInfo);
    ctx_.doc.settings.font_face = face_on_entry_;
    ctx_.measurer.SetFace(face_on_entry_);
  }
  ReturnAndAttach(ctx_, &at, true);
  ctx_.FocusLineEnd(0);
}

// Measuring is always bold, so the switch changes how the line editors show the text
// and how the Segments print, never a length: no check, and the Document is not changed.
void DocumentSettingsEditors::OnBoldButton() {
  DocumentSettings& s = ctx_.doc.settings;
  s.bold = !s.bold;
  s.editor_bold = s.bold;
  ctx_.Changed();
}

// --- Material -----------------------------------------------------------------------------

void DocumentSettingsEditors::OnMaterialEntered() {
  ctx_.before_edit.MaterialOnEntry = ctx_.doc.settings.material_index;
  ctx_.doc.file_state.UserEditing = true;
}

void DocumentSettingsEditors::OnMaterialChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  const int position = ctx_.doc.settings.material_index;
  if (position == ctx_.before_edit.MaterialOnEntry) return;
  SegmentTable& t = ctx_.doc.table;
  const uint8_t old_code = ctx_.doc.file_state.MaterialCode;
  ctx_.doc.file_state.MaterialCode = static_cast<uint8_t>(position + 1);
  StoreCurrentNumbered(t);
  const Bookmark at = DetachAt(ctx_);
  t.First();
  if (!MaterialAllowed(t, ctx_.doc.values, ctx_.doc.file_state.MaterialCode)) {
    ctx_.ui.Message(msg::kMaterialCannotPrint, msg::kInfo);
    ctx_.doc.settings.material_index = ctx_.before_edit.MaterialOnEntry;
    ctx_.doc.file_state.MaterialCode = old_code;
  }
  ReturnAndAttach(ctx_, &at, true);
  ctx_.FocusLineEnd(0);
}

void DocumentSettingsEditors::OnMaterialLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

// --- Cut mode and alignment: taken without a check ----------------------------------------

void DocumentSettingsEditors::OnCutEntered() {
  ctx_.doc.file_state.UserEditing = true;
}

void DocumentSettingsEditors::OnCutChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  ctx_.doc.file_state.CutCode = static_cast<uint8_t>(ctx_.doc.settings.cut_index);
  ctx_.FocusLineEnd(0);
}

void DocumentSettingsEditors::OnCutLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

void DocumentSettingsEditors::OnAlignmentEntered() {
  ctx_.doc.file_state.UserEditing = true;
}

void DocumentSettingsEditors::OnAlignmentChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  ctx_.doc.file_state.AlignCode = static_cast<uint8_t>(ctx_.doc.settings.alignment_index);
  ctx_.FocusLineEnd(0);
}

void DocumentSettingsEditors::OnAlignmentLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

// --- Character spacing ----------------------------------------------------------------------

void DocumentSettingsEditors::OnSpacingEntered() {
  ctx_.before_edit.SpacingOnEntry = ctx_.doc.settings.spacing_index;
  ctx_.doc.file_state.UserEditing = true;
}

void DocumentSettingsEditors::OnSpacingChosen() {
  if (!ctx_.doc.file_state.UserEditing) return;
  const int position = ctx_.doc.settings.spacing_index;
  if (position == ctx_.before_edit.SpacingOnEntry) return;
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const uint8_t old_spacing = ctx_.doc.file_state.CharSpacing;
  ctx_.doc.file_state.CharSpacing = static_cast<uint8_t>(position + 1);
  const Bookmark at = DetachAt(ctx_);
  t.First();
  if (CheckFollowing(t, ctx_.doc.values, ctx_.measurer, ctx_.doc.file_state,
                     FollowingChange::kRecheck, 0, 0, 0)) {
    ReturnAndAttach(ctx_, &at, true);
  } else {
    ctx_.ui.Message(msg::kSpacingTooLong, msg::kInfo);
    ctx_.doc.file_state.CharSpacing = old_spacing;
    ctx_.doc.settings.spacing_index = ctx_.before_edit.SpacingOnEntry;
    // The operator is left on the first Segment that does not fit, to shorten it.
    ReturnAndAttach(ctx_, nullptr, true);
  }
  ctx_.FocusLineEnd(0);
}

void DocumentSettingsEditors::OnSpacingLeft() {
  ctx_.doc.file_state.UserEditing = false;
}

}  // namespace qx
