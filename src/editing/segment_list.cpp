#include "editing/segment_list.h"

#include "editing/messages.h"

namespace qx {
namespace {

// A new Segment (appended or inserted) takes the length, size, orientation, decoration
// and repeat count of the Segment it was made from; its texts and serial series are empty.
struct CarriedValues {
  FieldValue length, size, orientation, decoration, repeat;
};

CarriedValues Carry(const SegmentTable& t) {
  return {t.Value(kLengthColumn), t.Value(kSizeColumn), t.Value(kOrientationColumn),
          t.Value(kDecorationColumn), t.Value(kRepeatColumn)};
}

void FillFromCarried(SegmentTable& t, const CarriedValues& v) {
  t.SetValue(kLengthColumn, v.length);
  t.SetValue(kSizeColumn, v.size);
  t.SetValue(kOrientationColumn, v.orientation);
  t.SetValue(kDecorationColumn, v.decoration);
  t.SetValue(kRepeatColumn, v.repeat);
  t.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
  t.SetText(kSerialFirstColumn, "");
  t.SetText(kSerialLastColumn, "");
  t.SetText(kUpperLineColumn, "");
  t.SetText(kLowerLineColumn, "");
}

}  // namespace

void SegmentList::StoreSegment() {
  ctx_.doc.file_state.SkipNextEnter = false;
  StoreNumbered(ctx_.doc.table);
  ctx_.controls.SetListButtons(true, true, true, true, true, false);
  ctx_.Changed();
}

void SegmentList::OnGridEntered() {
  StoreNumbered(ctx_.doc.table);
  ctx_.controls.SetListButtons(true, true, true, true, true, false);
  ctx_.controls.SetInsertTools(false);
  ctx_.Changed();
}

void SegmentList::OnGridRowClicked(int row) {
  SegmentTable& t = ctx_.doc.table;
  if (row >= 1 && row <= t.RowCount() && row != t.Position()) {
    // Leaving a row in edit mode stores it. The rows passed on the way are not shown:
    // the editors hear of the row reached once, however far down it is.
    t.DetachControls();
    t.First();
    for (int i = 1; i < row; ++i) t.Next();
    t.AttachControls();
  }
  t.Edit();
}

void SegmentList::OnFirstButton() {
  ctx_.doc.table.First();
  ctx_.controls.SetListButtons(false, true, true, true, true, false);
  ctx_.doc.file_state.SkipNextEnter = false;
  ctx_.Changed();
}

void SegmentList::OnLastButton() {
  ctx_.doc.table.Last();
  ctx_.controls.SetListButtons(true, false, true, true, true, false);
  ctx_.doc.file_state.SkipNextEnter = false;
  ctx_.Changed();
}

bool SegmentList::RefuseWhenFull() {
  if (ctx_.doc.table.RowCount() < kMaxSegments) return false;
  ctx_.ui.Message(msg::kDocumentFull, msg::kInfo);
  return true;
}

void SegmentList::AppendSegment() {
  SegmentTable& t = ctx_.doc.table;
  // A full Document keeps the Segment being edited: it is stored, and no new one follows.
  if (t.RowCount() >= kMaxSegments) {
    StoreSegment();
    RefuseWhenFull();
    return;
  }
  t.Edit();
  t.SetInt(kNumberColumn, t.Position());
  const CarriedValues carried = Carry(t);
  t.Store();
  t.Append();
  FillFromCarried(t, carried);
  t.SetInt(kUpperLengthColumn, defaults::kUpperLength);
  t.SetInt(kLowerLengthColumn, defaults::kLowerLength);
  ctx_.Line(Control::UpperLine).max_length = 100;
  t.Store();
  ReloadWorkingValues(t, ctx_.doc.values);
  ctx_.Focus(Control::UpperLine);
  ctx_.doc.file_state.SkipNextEnter = false;
  ctx_.Changed();
}

void SegmentList::OnInsertButton() {
  if (RefuseWhenFull()) return;
  SegmentTable& t = ctx_.doc.table;
  ctx_.doc.file_state.UserEditing = false;
  t.Edit();
  const CarriedValues carried = Carry(t);
  t.Insert();
  FillFromCarried(t, carried);
  t.Store();
  t.Edit();
  t.SetInt(kNumberColumn, t.Position());
  t.SetInt(kUpperLengthColumn, 0);
  t.SetInt(kLowerLengthColumn, 0);
  t.Store();

  // Every Segment after the new one moves down a place.
  const Bookmark inserted = t.TakeBookmark();
  t.DetachControls();
  t.Next();
  if (!t.Eof()) RenumberToEnd(t);
  t.GotoBookmark(inserted);
  ctx_.doc.file_state.UserEditing = true;
  t.AttachControls();
  t.Edit();
  ctx_.controls.SetListButtons(false, false, false, false, false, true);
  ctx_.Focus(Control::UpperLine);
  ctx_.doc.file_state.SkipNextEnter = false;
  ctx_.Changed();
}

void SegmentList::OnDeleteButton() {
  SegmentTable& t = ctx_.doc.table;
  ctx_.doc.file_state.SkipNextEnter = false;
  t.Edit();
  const Bookmark here = t.TakeBookmark();
  t.DetachControls();
  if (t.RowCount() == 1) {
    // The only Segment is emptied instead of deleted.
    if (ctx_.Line(Control::UpperLine).text.empty() && ctx_.Line(Control::LowerLine).text.empty()) {
      ctx_.ui.Message(msg::kFileEmpty, msg::kInfo);
    } else {
      t.SetText(kUpperLineColumn, "");
      t.SetText(kLowerLineColumn, "");
      t.SetText(kSerialTypeColumn, SerialTypeText(kNoSerial));
      t.SetText(kSerialFirstColumn, "");
      t.SetText(kSerialLastColumn, "");
      t.Store();
      t.Edit();
      ctx_.Focus(Control::UpperLine);
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
  t.SetInt(kUpperLengthColumn, 0);
  t.SetInt(kLowerLengthColumn, 0);
  ctx_.Changed();
}

}  // namespace qx
