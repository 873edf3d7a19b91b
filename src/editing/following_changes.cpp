#include "editing/following_changes.h"

#include "editing/messages.h"
#include "editing/refusal_figures.h"
#include "editing/table_walk.h"
#include "layout/fit.h"

namespace qx {

void FollowingSegmentChanges::Refuse(const Bookmark& at, std::string_view message,
                                     std::string_view why) {
  // The check left the table on the Segment that stops the change.
  std::string figures = BlockingSegmentFigures(ctx_.doc.table.Position(), why);
  ReturnAndAttach(ctx_, &at, true);
  ctx_.ReportRefusal(std::move(figures));
  ctx_.ui.Message(message, msg::kInfo);
  ctx_.FocusLineEnd(0);
}

// Why the Segment the fit check stopped on does not fit: what its lines need against its
// length, with the change in place (the check left its working values so).
std::string FollowingSegmentChanges::TooLongHere() {
  const SegmentTable& t = ctx_.doc.table;
  const SegmentValues& v = ctx_.doc.values;
  const int limit = v.LengthDots == 0 ? 1100 : v.LengthDots;
  const std::string upper_text = t.Text(kUpperLineColumn), lower_text = t.Text(kLowerLineColumn);
  const LayoutContext c{ctx_.measurer, v, ctx_.doc.file_state};
  int need = LineLength(c, upper_text, v.SerialWidth, !lower_text.empty());
  if (need < limit && !lower_text.empty()) need = LineLength(c, lower_text, v.SerialWidth, true);
  return TooLongFigures(need, limit, v.LengthDots == 0);
}

// The current Segment is stored with its number, and the range is written only after every
// check passed.

namespace {
bool Confirmed(Ui& ui, std::string_view question) {
  return ui.AskYesNo(question, msg::kConfirm, false) != Answer::kNo;  // only No cancels
}
}  // namespace

void FollowingSegmentChanges::OnFollowingLengthButton() {
  if (!Confirmed(ctx_.ui, msg::kAskFollowingLength)) return ctx_.FocusLineEnd(0);
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const int64_t length = t.Int(kLengthColumn);
  const Bookmark at = DetachAt(ctx_);
  const auto refuse = [&](std::string_view message, const std::string& why) {
    Refuse(at, message, why);
    ctx_.doc.file_state.UserEditing = true;
  };
  // An automatic length needs a fixed size on every Segment it goes to.
  if (length == 0 && !ForEachRowToEnd(t, [&] { return t.Text(kSizeColumn) != SizeText(0); }))
    return refuse(msg::kFollowingAutoSize, "字号为自动");
  t.GotoBookmark(at);
  if (!CheckFollowing(t, ctx_.doc.values, ctx_.measurer, ctx_.doc.file_state,
                      FollowingChange::kLength, LengthLimit(length), 0, 0))
    return refuse(msg::kFollowingLengthTooLong, TooLongHere());
  WriteFollowing(t, at, [&] { t.SetInt(kLengthColumn, length); });
  ReturnAndAttach(ctx_, &at, true);
  ctx_.doc.file_state.UserEditing = true;
  ctx_.FocusLineEnd(0);
}

void FollowingSegmentChanges::OnFollowingRepeatButton() {
  // Leaving the repeat editor runs its check; when that put the previous value back the
  // operator has just been told, and there is nothing to copy.
  const std::string before = ctx_.NumberEditText(Control::RepeatEdit);
  ctx_.Focus(Control::UpperLine);
  if (ctx_.NumberEditText(Control::RepeatEdit) != before) return;
  if (!Confirmed(ctx_.ui, msg::kAskFollowingRepeat)) return ctx_.FocusLineEnd(0);
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const int64_t repeat = t.Int(kRepeatColumn);
  const Bookmark at = DetachAt(ctx_);
  WriteFollowing(t, at, [&] { t.SetInt(kRepeatColumn, repeat); });
  ReturnAndAttach(ctx_, &at, false);
  ctx_.doc.file_state.UserEditing = true;
  ctx_.FocusLineEnd(0);
}

void FollowingSegmentChanges::OnFollowingSizeButton() {
  // The current Segment is stored before the question, so even a No keeps its size.
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  if (!Confirmed(ctx_.ui, msg::kAskFollowingSize)) return ctx_.FocusLineEnd(0);
  ReloadWorkingValues(t, ctx_.doc.values);
  const uint8_t size = ctx_.doc.values.SizeCode;
  const std::string size_text = t.Text(kSizeColumn);
  const Bookmark at = DetachAt(ctx_);
  const auto refuse = [&](std::string_view message, const std::string& why) {
    Refuse(at, message, why);
    ctx_.doc.file_state.UserEditing = true;
  };
  if (size == 0 && !ForEachRowToEnd(t, [&] { return t.Int(kLengthColumn) != 0; }))
    return refuse(msg::kFollowingAutoLength, "段长为自动");
  t.GotoBookmark(at);
  if (!SizeAllowedFollowing(t, ctx_.doc.file_state.MaterialCode, size))
    return refuse(msg::kFollowingSizeNotForMaterial,
                  t.Text(kLowerLineColumn).empty() ? "当前材料不能打印此字号"
                                                   : "有下行，" + LowerLineFigures(
                                                         ctx_.doc.file_state.MaterialCode, size));
  t.GotoBookmark(at);
  if (!CheckFollowing(t, ctx_.doc.values, ctx_.measurer, ctx_.doc.file_state,
                      FollowingChange::kSize, 0, size, 0))
    return refuse(msg::kFollowingSizeTooLong, TooLongHere());
  WriteFollowing(t, at, [&] { t.SetText(kSizeColumn, size_text); });
  ReturnAndAttach(ctx_, &at, true);
  ctx_.doc.file_state.UserEditing = true;
  ctx_.FocusLineEnd(0);
}

// The orientation and decoration buttons leave UserEditing off: the next entry into a
// line editor or the next printable key turns it on.
void FollowingSegmentChanges::OnFollowingOrientationButton() {
  if (!Confirmed(ctx_.ui, msg::kAskFollowingOrientation)) return ctx_.FocusLineEnd(0);
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const std::string orientation =
      t.Text(kOrientationColumn);  // what the orientation selector shows
  const uint8_t vertical = orientation == OrientationText(0) ? 0 : 1;
  const Bookmark at = DetachAt(ctx_);
  if (!CheckFollowing(t, ctx_.doc.values, ctx_.measurer, ctx_.doc.file_state,
                      FollowingChange::kOrientation, 0, 0, vertical))
    return Refuse(at, msg::kFollowingOrientationTooLong, TooLongHere());
  WriteFollowing(t, at, [&] { t.SetText(kOrientationColumn, orientation); });
  ReturnAndAttach(ctx_, &at, true);
  ctx_.FocusLineEnd(0);
}

void FollowingSegmentChanges::OnFollowingDecorationButton() {
  if (!Confirmed(ctx_.ui, msg::kAskFollowingDecoration)) return ctx_.FocusLineEnd(0);
  SegmentTable& t = ctx_.doc.table;
  StoreCurrentNumbered(t);
  const std::string decoration = t.Text(kDecorationColumn);  // what the decoration selector shows
  const Bookmark at = DetachAt(ctx_);
  WriteFollowing(t, at, [&] { t.SetText(kDecorationColumn, decoration); });
  ReturnAndAttach(ctx_, &at, false);
  ctx_.FocusLineEnd(0);
}

}  // namespace qx
