// The editors of the current Segment's properties: length and repeat count (number
// editors) and the size, orientation and decoration selectors, with their checks, messages
// and the values they put back when a check refuses.
#pragma once

#include "editing/editing_context.h"

namespace qx {

class PropertyEditors {
 public:
  explicit PropertyEditors(EditingContext& ctx) : ctx_(ctx) {}

  // The group of the current Segment gains the focus from outside it.
  void OnGroupEntered() { ctx_.controls.SetInsertTools(false); }

  void OnLengthEditEntered();
  void OnLengthEditLeft();
  void OnLengthEditKeyUp(int key);
  void OnRepeatEditEntered();
  void OnRepeatEditLeft();
  void OnRepeatEditKeyUp(int key);
  // A key typed into the length or repeat editor: digits, "+" and "-" only.
  void OnNumberEditKey(Control editor, char ch);
  // The number editors hand their text to the field when left; false when it is not a
  // whole number (the editor then keeps the focus and its exit check does not run).
  bool CommitNumberEdit(Control editor);

  void OnSizeSelectorClicked();
  void OnSizeChosen();
  void OnSizeSelectorLeft();
  void OnOrientationSelectorClicked();
  void OnOrientationChosen();
  void OnOrientationSelectorLeft();
  void OnDecorationSelectorClicked();
  void OnDecorationChosen();
  void OnDecorationSelectorLeft();
  // The operator picks entry `index` of the size, orientation or decoration selector:
  // click, the pick reaches the field, change.
  void Pick(Control selector, int index);

 private:
  EditingContext& ctx_;
};

}  // namespace qx
