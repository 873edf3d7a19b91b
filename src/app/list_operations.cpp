// The Segment list: the six list buttons, the grid and the group boxes.
#include "app/main_form.h"
#include "app/messages.h"

namespace qx {

void TPrintForm::DisableListButtons() { ListButtons(false, false, false, false, false, false); }

void TPrintForm::StoreSegment() {
  doc_.para.SkipNextEnter = false;
  StoreNumbered(doc_.table);
  ListButtons(true, true, true, true, true, false);
  Changed();
}

void TPrintForm::DBGrid1Enter() {
  StoreNumbered(doc_.table);
  ListButtons(true, true, true, true, true, false);
  SetInsertTools(false);
  Changed();
}

void TPrintForm::DBGrid1CellClick(int row) {
  SegmentTable& t = doc_.table;
  if (row >= 1 && row <= t.RowCount() && row != t.Position()) {
    // Leaving a row in edit mode stores it.
    t.First();
    for (int i = 1; i < row; ++i) t.Next();
  }
  t.Edit();
}

void TPrintForm::GroupBox1Enter() { SetInsertTools(false); }
void TPrintForm::GroupBox3Enter() { SetInsertTools(false); }

void TPrintForm::FirstClick() {
  doc_.table.First();
  ListButtons(false, true, true, true, true, false);
  doc_.para.SkipNextEnter = false;
  Changed();
}

void TPrintForm::LastClick() {
  doc_.table.Last();
  ListButtons(true, false, true, true, true, false);
  doc_.para.SkipNextEnter = false;
  Changed();
}

void TPrintForm::AppendSegment() {
  SegmentTable& t = doc_.table;
  t.Edit();
  t.SetInt(kNum, t.Position());
  // The new Segment takes the length, size, orientation, decoration and repeat count.
  const FieldValue len = t.Value(kPitchLen), size = t.Value(kZihao), dir = t.Value(kHengShu),
                   deco = t.Value(kXiuShi), rep = t.Value(kPitchRep);
  t.Store();
  t.Append();
  t.SetValue(kPitchLen, len);
  t.SetValue(kZihao, size);
  t.SetValue(kHengShu, dir);
  t.SetValue(kXiuShi, deco);
  t.SetValue(kPitchRep, rep);
  t.SetText(kXuLei, SerialTypeText(kNoSerial));
  t.SetText(kXuFirst, "");
  t.SetText(kXuEnd, "");
  t.SetText(kFlin, "");
  t.SetText(kSlin, "");
  t.SetInt(kUpLen, defaults::kUpLen);
  t.SetInt(kDnLen, defaults::kDnLen);
  flin_.max_length = 100;
  t.Store();
  ReloadWorkingValues(t, doc_.values);
  Focus(Ctl::FlinEdit);
  doc_.para.SkipNextEnter = false;
  Changed();
}

void TPrintForm::InsertClick() {
  SegmentTable& t = doc_.table;
  doc_.para.UserEditing = false;
  t.Edit();
  const FieldValue len = t.Value(kPitchLen), size = t.Value(kZihao), dir = t.Value(kHengShu),
                   deco = t.Value(kXiuShi), rep = t.Value(kPitchRep);
  t.Insert();
  t.SetValue(kPitchLen, len);
  t.SetValue(kZihao, size);
  t.SetValue(kHengShu, dir);
  t.SetValue(kXiuShi, deco);
  t.SetValue(kPitchRep, rep);
  t.SetText(kXuLei, SerialTypeText(kNoSerial));
  t.SetText(kXuFirst, "");
  t.SetText(kXuEnd, "");
  t.SetText(kFlin, "");
  t.SetText(kSlin, "");
  t.Store();
  t.Edit();
  t.SetInt(kNum, t.Position());
  t.SetInt(kUpLen, 0);
  t.SetInt(kDnLen, 0);
  t.Store();

  // Every Segment after the new one moves down a place.
  const Bookmark inserted = t.TakeBookmark();
  t.DetachControls();
  t.Next();
  if (!t.Eof()) RenumberToEnd(t);
  t.GotoBookmark(inserted);
  doc_.para.UserEditing = true;
  t.AttachControls();
  t.Edit();
  ListButtons(false, false, false, false, false, true);
  Focus(Ctl::FlinEdit);
  doc_.para.SkipNextEnter = false;
  Changed();
}

void TPrintForm::DeleteClick() {
  SegmentTable& t = doc_.table;
  doc_.para.SkipNextEnter = false;
  t.Edit();
  const Bookmark here = t.TakeBookmark();
  t.DetachControls();
  if (t.RowCount() == 1) {
    // The only Segment is emptied instead of deleted.
    if (flin_.text.empty() && slin_.text.empty()) {
      ui_.Message(msg::kFileEmpty, msg::kInfo);
    } else {
      t.SetText(kFlin, "");
      t.SetText(kSlin, "");
      t.SetText(kXuLei, SerialTypeText(kNoSerial));
      t.SetText(kXuFirst, "");
      t.SetText(kXuEnd, "");
      t.Store();
      t.Edit();
      Focus(Ctl::FlinEdit);
    }
  } else {
    t.GotoBookmark(here);
    t.Delete();
    // The row that took the deleted one's place, and every row after it, move up.
    if (!t.Eof()) {
      const Bookmark next = t.TakeBookmark();
      RenumberToEnd(t);
      t.GotoBookmark(next);
    }
  }
  t.AttachControls();
  t.Edit();
  t.SetInt(kUpLen, 0);
  t.SetInt(kDnLen, 0);
  Changed();
}

void TPrintForm::XuhaoBitClick() {
  // The button takes the focus: the line editor is left and keeps its caret.
  Focus(Ctl::XuhaoBit);
  doc_.table.Edit();
  ui_.ShowSerialDialog(xuho_);  // inserts or changes the series (src/editing/insertions.cpp)
  const Ctl line = doc_.para.ActiveLine == 1 ? Ctl::SlinEdit : Ctl::FlinEdit;
  Focus(line);
  LineEditor& e = Line(line);
  e.caret = std::clamp(doc_.para.SavedCaret, 0, static_cast<int32_t>(e.text.size()));
  e.sel_start = e.caret;
  e.sel_length = 0;
  Changed();
}

}  // namespace qx
