// The controls of the main window as data: names, captions, hints and which tool bar or
// group holds them. The window model keeps their states; the Qt view builds its widgets
// from this table.
#pragma once

#include <array>
#include <string_view>

namespace qx {

enum class Ctl : int {
  // Upper tool bar (ControlBar1).
  OpenBtn, CloseBtn, PrintBtn, StopBtn, SaveBtn, SaveAsBtn, AboutBtn, OpenExcelBtn, ExportBtn,
  ZitiBox, BlodBtn, FuhaoBtn, PitchLenBtn, RepBtn, ZihaoBtn, DirxBtn, XiushiBtn,
  // Lower tool bar (ControlBar2).
  FirstBtn, LastBtn, AppendBtn, InsertBtn, DeleteBtn, PostBtn, UpBiaoBit, DwBiaoBit, XuhaoBit,
  XhlxEdit, FxuEdit, ExuEdit,
  // Current Segment (GroupBox1).
  PlenEdit, RepEdit, ZhBox, DirxBox, XsBox,
  // File settings (GroupBox3).
  MatBox, CutBox, PlBox, ZjBox, NdBox,
  // The rest.
  DBGrid1, FlinEdit, SlinEdit,
  // Containers.
  ControlBar1, ControlBar2, GroupBox1, GroupBox3,
  None,
};
inline constexpr int kControlCount = static_cast<int>(Ctl::None);

struct ControlInfo {
  Ctl id;
  std::string_view name;
  std::string_view caption;  // button caption or group title; empty for icon buttons
  std::string_view hint;
  Ctl parent;  // container, or None
};

const ControlInfo& Info(Ctl c);
const std::array<ControlInfo, kControlCount>& AllControls();

}  // namespace qx
