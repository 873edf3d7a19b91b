// The editors of the current Segment's length, repeat count, font size, orientation and
// decoration, with their checks, messages and restoring.
#include "app/main_form.h"
#include "app/messages.h"
#include "document/gbk.h"
#include "layout/fit.h"

namespace qx {
namespace {
constexpr int kEnterKey = 13;
}

// --- Length -----------------------------------------------------------------------------

void TPrintForm::PlenEditEnter() {
  SegmentTable& t = doc_.table;
  t.Edit();
  bak_.LengthOnEntry = static_cast<int32_t>(t.Int(kPitchLen));
  ReloadWorkingValues(t, doc_.values);
  SetEnabled(Ctl::ControlBar1, false);
  DisableListButtons();
  doc_.para.DocModified = true;
}

void TPrintForm::PlenEditKeyUp(int key) {
  if (key == kEnterKey) Focus(Ctl::FlinEdit);
}

void TPrintForm::OnlenExit() {
  SegmentTable& t = doc_.table;
  t.Store();
  t.Edit();
  const bool empty = t.IsNull(kPitchLen);
  const int64_t v = t.Int(kPitchLen);
  auto restore = [&](std::string_view message, bool to_line) {
    ui_.Message(message, msg::kInfo);
    t.SetInt(kPitchLen, bak_.LengthOnEntry);
    SetEnabled(Ctl::PostBtn, true);
    SetEnabled(Ctl::ControlBar1, true);
    RefreshBound();
    if (to_line) FocusLineEnd(0);
  };
  if (empty || v > 100 || v < 6) {
    if (empty || v != 0) return restore(msg::kLengthRange, false);
    if (gbk::ToUtf8(t.Text(kZihao)) == "自动") return restore(msg::kSizeAlreadyAuto, false);
    doc_.values.LengthDots = 0;
    SetEnabled(Ctl::PostBtn, true);
    SetEnabled(Ctl::ControlBar1, true);
    FocusLineEnd(0);
    return;
  }
  const int limit = static_cast<int>(v) * 11;
  const std::string flin = t.Text(kFlin), slin = t.Text(kSlin);
  const bool two = !slin.empty();
  // Reaching the limit refuses here (the selectors refuse only beyond it).
  if ((!flin.empty() && limit <= LineLengthOf(flin, two)) ||
      (!slin.empty() && limit <= LineLengthOf(slin, true)))
    return restore(msg::kLengthTooLong, true);
  doc_.values.LengthDots = limit;
  SetEnabled(Ctl::PostBtn, true);
  SetEnabled(Ctl::ControlBar1, true);
  FocusLineEnd(0);
}

// --- Repeat -----------------------------------------------------------------------------

void TPrintForm::RepEditEnter() {
  SegmentTable& t = doc_.table;
  t.Edit();
  bak_.RepeatOnEntry = static_cast<int32_t>(t.Int(kPitchRep));
  SetEnabled(Ctl::ControlBar1, false);
  DisableListButtons();
  doc_.para.DocModified = true;
}

void TPrintForm::RepEditKeyUp(int key) {
  if (key == kEnterKey) Focus(Ctl::FlinEdit);
}

void TPrintForm::OnrepExit() {
  SegmentTable& t = doc_.table;
  const bool empty = t.IsNull(kPitchRep);
  const int64_t r = t.Int(kPitchRep);
  if (empty || r > 200 || r < 1) {
    ui_.Message(msg::kRepeatRange, msg::kInfo);
    t.Edit();
    t.SetInt(kPitchRep, bak_.RepeatOnEntry);
    RefreshBound();
  }
  SetEnabled(Ctl::PostBtn, true);
  SetEnabled(Ctl::ControlBar1, true);
  FocusLineEnd(0);
}

void TPrintForm::NumberEditKeyPress(Ctl editor, char ch) {
  const bool allowed = (ch >= '0' && ch <= '9') || ch == '+' || ch == '-';
  std::string text = NumberEditText(editor);
  if (!allowed || text.size() >= 3) {
    ui_.Beep();
    return;
  }
  text += ch;
  SetNumberEditText(editor, std::move(text));
}

// --- Selectors --------------------------------------------------------------------------

void TPrintForm::PickSelector(Ctl selector, int index) {
  if (selector == Ctl::ZitiBox) return PickFace(index);  // its items are the installed faces
  const auto items = SelectorItems(selector);
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  Focus(selector);
  SegmentTable& t = doc_.table;
  const std::string picked = gbk::Encode(items[static_cast<std::size_t>(index)]);
  auto pick = [&](int column) {
    t.Edit();
    t.SetText(column, picked);
  };
  switch (selector) {
    case Ctl::ZhBox: ZhBoxClick(); pick(kZihao); ZhBoxChange(); break;
    case Ctl::DirxBox: DirxBoxClick(); pick(kHengShu); DirxBoxChange(); break;
    case Ctl::XsBox: XsBoxClick(); pick(kXiuShi); XsBoxChange(); break;
    case Ctl::MatBox:
    case Ctl::CutBox:
    case Ctl::PlBox:
    case Ctl::ZjBox:
    case Ctl::NdBox: PickSetting(selector, index); break;
    default: break;
  }
  Changed();
}

void TPrintForm::ZhBoxClick() {
  doc_.table.Edit();
  bak_.SizeOnPick = doc_.table.Text(kZihao);
  doc_.para.UserEditing = true;
}

void TPrintForm::ZhBoxChange() {
  if (!doc_.para.UserEditing) return;
  SegmentTable& t = doc_.table;
  SegmentValues& v = doc_.values;
  doc_.para.DocModified = true;
  const std::string picked = t.Text(kZihao);
  if (picked == SizeText(0) && t.Int(kPitchLen) == 0) {
    ui_.Message(msg::kBothAuto, msg::kInfo);
    t.SetText(kZihao, bak_.SizeOnPick);
    return FocusLineEnd(0);
  }
  t.Store();
  t.Edit();
  const uint8_t old_code = v.SizeCode;
  ReloadWorkingValues(t, v);
  auto refuse = [&](std::string_view message, std::string_view caption, int line) {
    t.SetText(kZihao, bak_.SizeOnPick);
    v.SizeCode = old_code;
    ui_.Message(message, caption);
    FocusLineEnd(line);
  };
  if (!SizeAllowed(doc_.para.MaterialCode, v.SizeCode, !t.Text(kSlin).empty()))
    return refuse(msg::kSizeNotForMaterial, msg::kInfo, 0);
  const int limit = LengthLimit(t.Int(kPitchLen));
  const std::string flin = t.Text(kFlin), slin = t.Text(kSlin);
  int need1 = 0, need2 = 0;
  if (!flin.empty()) {
    need1 = LineLengthOf(flin, !slin.empty());
    if (need1 > limit) return refuse(msg::kSizeTooLong, msg::kInfo, 0);
  }
  if (!slin.empty()) {
    need2 = LineLengthOf(slin, true);
    if (need2 > limit) return refuse(msg::kSizeLowerTooLong, msg::kHint, 1);
  }
  SetEnabled(Ctl::PostBtn, true);
  t.SetInt(kUpLen, need1);
  if (!slin.empty()) t.SetInt(kDnLen, need2);
  FocusLineEnd(0);
}

void TPrintForm::ZhBoxExit() { doc_.para.UserEditing = false; }

void TPrintForm::DirxBoxClick() {
  doc_.table.Edit();
  bak_.OrientationOnPick = doc_.table.Text(kHengShu);
  doc_.para.UserEditing = true;
}

void TPrintForm::DirxBoxChange() {
  if (!doc_.para.UserEditing) return;
  SegmentTable& t = doc_.table;
  SegmentValues& v = doc_.values;
  doc_.para.DocModified = true;
  if (t.Text(kHengShu) == OrientationText(0)) {  // horizontal is never refused
    v.Vertical = 0;
    return FocusLineEnd(0);
  }
  t.Store();
  t.Edit();
  const uint8_t old_vertical = v.Vertical;
  ReloadWorkingValues(t, v);
  v.Vertical = 1;
  const int limit = LengthLimit(t.Int(kPitchLen));
  const std::string flin = t.Text(kFlin), slin = t.Text(kSlin);
  auto refuse = [&](std::string_view message, int line) {
    t.SetText(kHengShu, bak_.OrientationOnPick);
    v.Vertical = old_vertical;
    ui_.Message(message, msg::kInfo);
    FocusLineEnd(line);
  };
  if (!flin.empty() && LineLengthOf(flin, !slin.empty()) > limit)
    return refuse(msg::kOrientationTooLong, 0);
  if (!slin.empty() && LineLengthOf(slin, true) > limit)
    return refuse(msg::kOrientationLowerTooLong, 1);
  SetEnabled(Ctl::PostBtn, true);
  FocusLineEnd(0);
}

void TPrintForm::DirxBoxExit() { doc_.para.UserEditing = false; }

void TPrintForm::XsBoxClick() {
  doc_.table.Edit();
  doc_.para.UserEditing = true;
  doc_.para.DocModified = true;
}

void TPrintForm::XsBoxChange() {
  if (!doc_.para.UserEditing) return;
  SetEnabled(Ctl::PostBtn, true);
  doc_.para.DocModified = true;
  FocusLineEnd(0);
}

void TPrintForm::XsBoxExit() { doc_.para.UserEditing = false; }

}  // namespace qx
