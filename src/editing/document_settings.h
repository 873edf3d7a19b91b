// The document settings editors: font face, bold, material, cut mode, alignment, spacing
// and density. A face, a material or a spacing can make Segments unprintable, so those
// selectors check the whole Document before they take effect and put the previous choice
// back when the check refuses.
#pragma once

#include <string>
#include <vector>

#include "editing/editing_context.h"

namespace qx {

class DocumentSettingsEditors {
 public:
  explicit DocumentSettingsEditors(EditingContext& ctx) : ctx_(ctx) {}

  // The font faces the font-face selector offers, in its order (the view fills it from the
  // installed faces). The Document's face may be missing from the list.
  void SetFaceItems(std::vector<std::string> faces) { face_items_ = std::move(faces); }
  const std::vector<std::string>& FaceItems() const { return face_items_; }
  // The face the line editors show the text in (bold: doc.settings.editor_bold). A refused
  // face puts the selector back, so the editors' face is always its text.
  const std::string& editor_face() const { return ctx_.doc.settings.font_face; }

  // The document group gains the focus from outside it.
  void OnGroupEntered() { ctx_.controls.SetInsertTools(false); }

  void OnFontFaceEntered();
  void OnFontFaceChosen();
  void OnBoldButton();  // the bold switch flips, then its click
  void OnMaterialEntered();
  void OnMaterialChosen();
  void OnMaterialLeft();
  void OnCutEntered();
  void OnCutChosen();
  void OnCutLeft();
  void OnAlignmentEntered();
  void OnAlignmentChosen();
  void OnAlignmentLeft();
  void OnSpacingEntered();
  void OnSpacingChosen();
  void OnSpacingLeft();
  // The operator picks entry `index` of a document-settings selector (material, cut,
  // alignment, spacing, density): the selector gains the focus, then enter, pick, change.
  void Pick(Control selector, int index);
  // The operator picks entry `index` of the font-face selector.
  void PickFace(int index);

 private:
  void PickSetting(Control selector, int index);

  EditingContext& ctx_;
  std::vector<std::string> face_items_;
  std::string face_on_entry_;  // the font-face selector's text when it was entered
};

}  // namespace qx
