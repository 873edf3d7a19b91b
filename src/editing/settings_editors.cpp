// The document settings editors (font face, bold, material, cut mode, alignment, spacing)
// and the buttons that copy one property of the current Segment to every Segment after it.
//
// A font face, a material or a spacing can make Segments unprintable, so those selectors
// check the whole document before they take effect and put the previous choice back when
// the check refuses. The copying buttons ask first, check the whole range, and then change
// every Segment of it or none.
#include <algorithm>

#include "app/main_form.h"
#include "app/messages.h"
#include "layout/fit.h"

namespace qx {

// --- Walking the table ------------------------------------------------------------------

void TPrintForm::StoreCurrentNumbered() {
  SegmentTable& t = doc_.table;
  t.Edit();
  t.Store();
  StoreNumbered(t);
}

Bookmark TPrintForm::DetachAt() {
  SegmentTable& t = doc_.table;
  const Bookmark at = t.TakeBookmark();
  t.DetachControls();
  doc_.para.UserEditing = false;
  return at;
}

void TPrintForm::ReturnAndAttach(const Bookmark* at, bool reload) {
  SegmentTable& t = doc_.table;
  // Back on the Segment before the editors see the table again, so that they never show
  // a Segment of the walk.
  if (at) t.GotoBookmark(*at);
  t.AttachControls();
  if (reload) ReloadWorkingValues(t, doc_.values);
}

void TPrintForm::WriteFollowing(const Bookmark& at, const std::function<void()>& set) {
  SegmentTable& t = doc_.table;
  t.GotoBookmark(at);
  SegmentTable::Batch batch(t);
  ForEachRowToEnd(t, [&] {
    t.Edit();
    set();
    t.Store();
    return true;
  });
  batch.Commit();
}

void TPrintForm::RefuseFollowing(const Bookmark& at, std::string_view message) {
  ui_.Message(message, msg::kInfo);
  ReturnAndAttach(&at, true);
  FocusLineEnd(0);
}

// --- Picking entries --------------------------------------------------------------------

// The selector's position when it is entered is the one it shows at the pick: every
// change sends the focus back to a line, and a refusal puts the entry position back. So
// each pick enters the selector first, whether or not it had the focus already.
void TPrintForm::PickSetting(Ctl selector, int index) {
  SettingsSelectors& s = doc_.settings;
  switch (selector) {
    case Ctl::MatBox:
      MatBoxEnter();
      s.MatBox = index;
      MatBoxChange();
      break;
    case Ctl::CutBox:
      CutBoxEnter();
      s.CutBox = index;
      CutBoxChange();
      break;
    case Ctl::PlBox:
      PlBoxEnter();
      s.PlBox = index;
      PlBoxChange();
      break;
    case Ctl::ZjBox:
      ZjBoxEnter();
      s.ZjBox = index;
      ZjBoxChange();
      break;
    case Ctl::NdBox:  // density: taken by the print job as it is
      s.NdBox = index;
      break;
    default:
      break;
  }
}

void TPrintForm::PickFace(int index) {
  if (index < 0 || index >= static_cast<int>(face_items_.size())) return;
  Focus(Ctl::ZitiBox);
  ZitiBoxEnter();
  doc_.settings.ZitiBox = face_items_[static_cast<std::size_t>(index)];
  ZitiBoxChange();
  Changed();
}

// --- Font face and bold -----------------------------------------------------------------

namespace {
int32_t PositionOf(const std::vector<std::string>& items, const std::string& text) {
  const auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int32_t>(it - items.begin());
}
}  // namespace

void TPrintForm::ZitiBoxEnter() {
  bak_.FaceOnEntry = PositionOf(face_items_, doc_.settings.ZitiBox);
  face_on_entry_ = doc_.settings.ZitiBox;
  doc_.para.DocModified = true;
  doc_.para.UserEditing = true;
}

void TPrintForm::ZitiBoxChange() {
  const std::string face = doc_.settings.ZitiBox;
  if (!doc_.para.UserEditing) {  // set by the program (a Document was loaded): no check
    measurer_.SetFace(face);
    return Changed();
  }
  if (PositionOf(face_items_, face) == bak_.FaceOnEntry) return;
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const Bookmark at = DetachAt();
  t.First();
  measurer_.SetFace(face);  // the document's face is the one every line is measured in
  if (!CheckFollowing(t, doc_.values, measurer_, doc_.para, FollowingChange::kRecheck, 0, 0, 0)) {
    ui_.Message(msg::kFaceTooLong, msg::kInfo);
    doc_.settings.ZitiBox = face_on_entry_;
    measurer_.SetFace(face_on_entry_);
  }
  ReturnAndAttach(&at, true);
  FocusLineEnd(0);
}

// Measuring is always bold, so the switch changes how the line editors show the text
// and how the Segments print, never a length: no check, and the Document is not changed.
void TPrintForm::BlodBtnClick() {
  SettingsSelectors& s = doc_.settings;
  s.BlodBtn = !s.BlodBtn;
  s.EditorFontBold = s.BlodBtn;
  Changed();
}

// --- Material -----------------------------------------------------------------------------

void TPrintForm::MatBoxEnter() {
  bak_.MaterialOnEntry = doc_.settings.MatBox;
  doc_.para.UserEditing = true;
  doc_.para.DocModified = true;
}

void TPrintForm::MatBoxChange() {
  if (!doc_.para.UserEditing) return;
  const int position = doc_.settings.MatBox;
  if (position == bak_.MaterialOnEntry) return;
  SegmentTable& t = doc_.table;
  const uint8_t old_code = doc_.para.MaterialCode;
  doc_.para.MaterialCode = static_cast<uint8_t>(position + 1);
  StoreCurrentNumbered();
  const Bookmark at = DetachAt();
  t.First();
  if (!MaterialAllowed(t, doc_.values, doc_.para.MaterialCode)) {
    ui_.Message(msg::kMaterialCannotPrint, msg::kInfo);
    doc_.settings.MatBox = bak_.MaterialOnEntry;
    doc_.para.MaterialCode = old_code;
  }
  ReturnAndAttach(&at, true);
  doc_.para.DocModified = true;
  FocusLineEnd(0);
}

void TPrintForm::MatBoxExit() {
  doc_.para.UserEditing = false;
}

// --- Cut mode and alignment: taken without a check ----------------------------------------

void TPrintForm::CutBoxEnter() {
  doc_.para.UserEditing = true;
  doc_.para.DocModified = true;
}

void TPrintForm::CutBoxChange() {
  if (!doc_.para.UserEditing) return;
  doc_.para.CutCode = static_cast<uint8_t>(doc_.settings.CutBox);
  doc_.para.DocModified = true;
  FocusLineEnd(0);
}

void TPrintForm::CutBoxExit() {
  doc_.para.UserEditing = false;
}

void TPrintForm::PlBoxEnter() {
  doc_.para.UserEditing = true;
  doc_.para.DocModified = true;
}

void TPrintForm::PlBoxChange() {
  if (!doc_.para.UserEditing) return;
  doc_.para.AlignCode = static_cast<uint8_t>(doc_.settings.PlBox);
  doc_.para.DocModified = true;
  FocusLineEnd(0);
}

void TPrintForm::PlBoxExit() {
  doc_.para.UserEditing = false;
}

// --- Character spacing ----------------------------------------------------------------------

void TPrintForm::ZjBoxEnter() {
  bak_.SpacingOnEntry = doc_.settings.ZjBox;
  doc_.para.DocModified = true;
  doc_.para.UserEditing = true;
}

void TPrintForm::ZjBoxChange() {
  if (!doc_.para.UserEditing) return;
  const int position = doc_.settings.ZjBox;
  if (position == bak_.SpacingOnEntry) return;
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const uint8_t old_spacing = doc_.para.CharSpacing;
  doc_.para.CharSpacing = static_cast<uint8_t>(position + 1);
  const Bookmark at = DetachAt();
  t.First();
  if (CheckFollowing(t, doc_.values, measurer_, doc_.para, FollowingChange::kRecheck, 0, 0, 0)) {
    ReturnAndAttach(&at, true);
  } else {
    ui_.Message(msg::kSpacingTooLong, msg::kInfo);
    doc_.para.CharSpacing = old_spacing;
    doc_.settings.ZjBox = bak_.SpacingOnEntry;
    // The operator is left on the first Segment that does not fit, to shorten it.
    ReturnAndAttach(nullptr, true);
  }
  doc_.para.DocModified = true;
  FocusLineEnd(0);
}

void TPrintForm::ZjBoxExit() {
  doc_.para.UserEditing = false;
}

// --- Changes to the current and every following Segment -------------------------------------
//
// None of them marks the Document changed by itself: the current Segment is stored with
// its number, and the range is written only after every check passed.

namespace {
bool Confirmed(Ui& ui, std::string_view question) {
  return ui.AskYesNo(question, msg::kConfirm, false) != Answer::kNo;  // only No cancels
}
}  // namespace

void TPrintForm::PitchLenBtnClick() {
  if (!Confirmed(ui_, msg::kAskFollowingLength)) return FocusLineEnd(0);
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const int64_t length = t.Int(kPitchLen);
  const Bookmark at = DetachAt();
  const auto refuse = [&](std::string_view message) {
    RefuseFollowing(at, message);
    doc_.para.UserEditing = true;
  };
  // An automatic length needs a fixed size on every Segment it goes to.
  if (length == 0 && !ForEachRowToEnd(t, [&] { return t.Text(kZihao) != SizeText(0); }))
    return refuse(msg::kFollowingAutoSize);
  t.GotoBookmark(at);
  if (!CheckFollowing(t, doc_.values, measurer_, doc_.para, FollowingChange::kLength,
                      LengthLimit(length), 0, 0))
    return refuse(msg::kFollowingLengthTooLong);
  WriteFollowing(at, [&] { t.SetInt(kPitchLen, length); });
  ReturnAndAttach(&at, true);
  doc_.para.UserEditing = true;
  FocusLineEnd(0);
}

void TPrintForm::RepBtnClick() {
  // Leaving the repeat editor runs its check; when that put the previous value back the
  // operator has just been told, and there is nothing to copy.
  const std::string before = NumberEditText(Ctl::RepEdit);
  Focus(Ctl::FlinEdit);
  if (NumberEditText(Ctl::RepEdit) != before) return;
  if (!Confirmed(ui_, msg::kAskFollowingRepeat)) return FocusLineEnd(0);
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const int64_t repeat = t.Int(kPitchRep);
  const Bookmark at = DetachAt();
  WriteFollowing(at, [&] { t.SetInt(kPitchRep, repeat); });
  ReturnAndAttach(&at, false);
  doc_.para.UserEditing = true;
  FocusLineEnd(0);
}

void TPrintForm::ZihaoBtnClick() {
  // The current Segment is stored before the question, so even a No keeps its size.
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  if (!Confirmed(ui_, msg::kAskFollowingSize)) return FocusLineEnd(0);
  ReloadWorkingValues(t, doc_.values);
  const uint8_t size = doc_.values.SizeCode;
  const std::string size_text = t.Text(kZihao);
  const Bookmark at = DetachAt();
  const auto refuse = [&](std::string_view message) {
    RefuseFollowing(at, message);
    doc_.para.UserEditing = true;
  };
  if (size == 0 && !ForEachRowToEnd(t, [&] { return t.Int(kPitchLen) != 0; }))
    return refuse(msg::kFollowingAutoLength);
  t.GotoBookmark(at);
  if (!SizeAllowedFollowing(t, doc_.para.MaterialCode, size))
    return refuse(msg::kFollowingSizeNotForMaterial);
  t.GotoBookmark(at);
  if (!CheckFollowing(t, doc_.values, measurer_, doc_.para, FollowingChange::kSize, 0, size, 0))
    return refuse(msg::kFollowingSizeTooLong);
  WriteFollowing(at, [&] { t.SetText(kZihao, size_text); });
  ReturnAndAttach(&at, true);
  doc_.para.UserEditing = true;
  FocusLineEnd(0);
}

// The orientation and decoration buttons leave UserEditing off: the next entry into a
// line editor or the next printable key turns it on.
void TPrintForm::DirxBtnClick() {
  if (!Confirmed(ui_, msg::kAskFollowingOrientation)) return FocusLineEnd(0);
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const std::string orientation = t.Text(kHengShu);  // what the orientation selector shows
  const uint8_t vertical = orientation == OrientationText(0) ? 0 : 1;
  const Bookmark at = DetachAt();
  if (!CheckFollowing(t, doc_.values, measurer_, doc_.para, FollowingChange::kOrientation, 0, 0,
                      vertical))
    return RefuseFollowing(at, msg::kFollowingOrientationTooLong);
  WriteFollowing(at, [&] { t.SetText(kHengShu, orientation); });
  ReturnAndAttach(&at, true);
  FocusLineEnd(0);
}

void TPrintForm::XiushiBtnClick() {
  if (!Confirmed(ui_, msg::kAskFollowingDecoration)) return FocusLineEnd(0);
  SegmentTable& t = doc_.table;
  StoreCurrentNumbered();
  const std::string decoration = t.Text(kXiuShi);  // what the decoration selector shows
  const Bookmark at = DetachAt();
  WriteFollowing(at, [&] { t.SetText(kXiuShi, decoration); });
  ReturnAndAttach(&at, false);
  FocusLineEnd(0);
}

}  // namespace qx
