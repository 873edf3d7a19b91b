// The two line editors of the current Segment: entering and leaving them, the byte-wise key
// model with its running length check, Enter, Backspace, Delete and paste, and where a
// lower line is allowed.
#pragma once

#include <string>
#include <string_view>

#include "editing/editing_context.h"

namespace qx {

class SegmentList;

class LineEditors {
 public:
  LineEditors(EditingContext& ctx, SegmentList& list) : ctx_(ctx), list_(list) {}

  // Events of the upper (or only) line.
  void OnUpperLineEntered();
  void OnUpperLineLeft();
  void OnUpperLineChanged();
  void OnUpperLineClicked();
  void OnUpperLineKeyDown(int key);
  void OnUpperLineKey(unsigned char key);
  // Events of the lower line.
  void OnLowerLineEntered();
  void OnLowerLineLeft();
  void OnLowerLineChanged();
  void OnLowerLineClicked();
  void OnLowerLineKeyDown(int key);
  void OnLowerLineKey(unsigned char key);

  // Typing into a line editor as the keyboard and input methods do: each character's GBK
  // bytes go to the key handler one at a time, lead byte first, and the character enters
  // the text only when every byte is accepted under the maximum-length rule. A character
  // GBK cannot hold is refused with a message. Returns the characters inserted.
  int TypeText(Control editor, std::string_view utf8);
  void PressBackspace(Control editor);
  void PressDelete(Control editor);
  void PressEnter(Control editor);
  // Pasted text: not measured; never takes the line past the editor's maximum length (100
  // bytes, lowered after a refused key) or splits a character.
  void PasteText(Control editor, std::string_view utf8);
  // Caret and selection set by the operator (mouse, arrow keys), in bytes; snapped to
  // character boundaries.
  void SetCaret(Control editor, int caret, int sel_start = 0, int sel_length = 0);
  // Puts `text` into the editor and its field; the editor's change handler runs when
  // `run_change_handler` (an edit, as opposed to the program showing a row).
  void SetLineText(Control editor, std::string text, bool run_change_handler);

 private:
  void KeyPress(Control c, unsigned char key);
  void KeyDown(Control c, int key);
  void ReplaceSelection(Control c, std::string_view bytes);

  EditingContext& ctx_;
  SegmentList& list_;
  bool key_refused_ = false;  // the last printable key was refused
};

}  // namespace qx
