// The controls of the main window as data: names, captions, hints and which tool bar or
// group holds them. The window model keeps their states; the Qt view builds its widgets
// from this table.
#pragma once

#include <array>
#include <string_view>

namespace qx {

enum class Control : int {
  // Upper tool bar.
  OpenButton,
  NewButton,
  PrintButton,
  PreviewButton,
  StopButton,
  SaveButton,
  SaveAsButton,
  HelpButton,
  ImportExcelButton,
  ExportButton,
  FontFaceSelector,
  BoldButton,
  SymbolButton,
  FollowingLengthButton,
  FollowingRepeatButton,
  FollowingSizeButton,
  FollowingOrientationButton,
  FollowingDecorationButton,
  // Lower tool bar.
  FirstButton,
  LastButton,
  AppendButton,
  InsertButton,
  DeleteButton,
  StoreButton,
  SuperscriptButton,
  SubscriptButton,
  SerialButton,
  SerialTypeField,
  SerialFirstField,
  SerialLastField,
  // The current Segment's group.
  LengthEdit,
  RepeatEdit,
  SizeSelector,
  OrientationSelector,
  DecorationSelector,
  // The document's group.
  MaterialSelector,
  CutSelector,
  AlignmentSelector,
  SpacingSelector,
  DensitySelector,
  // The rest.
  SegmentGrid,
  UpperLine,
  LowerLine,
  // Containers.
  UpperToolBar,
  LowerToolBar,
  SegmentGroup,
  DocumentGroup,
  None,
};
inline constexpr int kControlCount = static_cast<int>(Control::None);

struct ControlInfo {
  Control id;
  std::string_view name;
  std::string_view caption;  // button caption or group title; empty for icon buttons
  std::string_view hint;
  Control parent;  // container, or None
};

const ControlInfo& Info(Control c);
// The name of the step a control's command or editor makes, as undo and redo show it: the
// same for a command however it is given. It is the caption (else the hint), except where
// that would not say which command it was: the import ("导入", as the import window and a
// dropped workbook name it) and the changes to the following Segments, whose captions are
// those of the current Segment's editors.
std::string_view StepName(Control c);
const std::array<ControlInfo, kControlCount>& AllControls();

}  // namespace qx
