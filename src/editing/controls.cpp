#include "editing/controls.h"

#include "editing/messages.h"

namespace qx {
namespace {

constexpr Control B1 = Control::UpperToolBar, B2 = Control::LowerToolBar,
                  G1 = Control::SegmentGroup, G3 = Control::DocumentGroup, No = Control::None;

constexpr std::array<ControlInfo, kControlCount> kControls = {{
    {Control::OpenButton, "OpenButton", "", "打开文件", B1},
    {Control::NewButton, "NewButton", "", "新建文件", B1},
    {Control::PrintButton, "PrintButton", "", "打印文件", B1},
    {Control::PreviewButton, "PreviewButton", "", "任务预览:查看整个打印任务", B1},
    {Control::StopButton, "StopButton", "", "停止打印", B1},
    {Control::SaveButton, "SaveButton", "", "存储文件", B1},
    {Control::SaveAsButton, "SaveAsButton", "", "另存文件", B1},
    {Control::HelpButton, "HelpButton", "", "帮助", B1},
    {Control::ImportExcelButton, "ImportExcelButton", "", "导入Excel 文件", B1},
    {Control::ExportButton, "ExportButton", "", "导出本机格式文件", B1},
    {Control::FontFaceSelector, "FontFaceSelector", "", "字体选择", B1},
    {Control::BoldButton, "BoldButton", "", "字体正常或加粗", B1},
    {Control::SymbolButton, "SymbolButton", "", "符号输入", B1},
    {Control::FollowingLengthButton, "FollowingLengthButton", "段长",
     "修改当前段以后所有段落的段长值", B1},
    {Control::FollowingRepeatButton, "FollowingRepeatButton", "重复",
     "修改当前段以后所有段落的重复值", B1},
    {Control::FollowingSizeButton, "FollowingSizeButton", "字号", "修改当前段以后所有段落的字号值",
     B1},
    {Control::FollowingOrientationButton, "FollowingOrientationButton", "横竖",
     "修改当前段以后所有字段落的印字方向", B1},
    {Control::FollowingDecorationButton, "FollowingDecorationButton", "修饰",
     "修改当前段以后所有字段落的修饰类型", B1},
    {Control::FirstButton, "FirstButton", "文首", "", B2},
    {Control::LastButton, "LastButton", "文末", "", B2},
    {Control::AppendButton, "AppendButton", "添加", "", B2},
    {Control::InsertButton, "InsertButton", "插入", "", B2},
    {Control::DeleteButton, "DeleteButton", "删段", "", B2},
    {Control::StoreButton, "StoreButton", "存段", "", B2},
    {Control::SuperscriptButton, "SuperscriptButton", "上标", "插入上标", B2},
    {Control::SubscriptButton, "SubscriptButton", "下标", "插入下标", B2},
    {Control::SerialButton, "SerialButton", "序号", "插入序号", B2},
    {Control::SerialTypeField, "SerialTypeField", "", "", B2},
    {Control::SerialFirstField, "SerialFirstField", "", "起始序号", B2},
    {Control::SerialLastField, "SerialLastField", "", "终止序号", B2},
    {Control::LengthEdit, "LengthEdit", "段长", "段长值:6至100mm", G1},
    {Control::RepeatEdit, "RepeatEdit", "重复", "当前段重复值1至200", G1},
    {Control::SizeSelector, "SizeSelector", "字号", "", G1},
    {Control::OrientationSelector, "OrientationSelector", "横竖", "", G1},
    {Control::DecorationSelector, "DecorationSelector", "修饰", "", G1},
    {Control::MaterialSelector, "MaterialSelector", "材料", "", G3},
    {Control::CutSelector, "CutSelector", "半切", "", G3},
    {Control::AlignmentSelector, "AlignmentSelector", "排列", "", G3},
    {Control::SpacingSelector, "SpacingSelector", "字距", "", G3},
    {Control::DensitySelector, "DensitySelector", "浓度", "", G3},
    {Control::SegmentGrid, "SegmentGrid", "", "浏览框", No},
    {Control::UpperLine, "UpperLine", "", "单行或上行文字编辑框", No},
    {Control::LowerLine, "LowerLine", "", "下行文字编辑框", No},
    {Control::UpperToolBar, "UpperToolBar", "", "", No},
    {Control::LowerToolBar, "LowerToolBar", "", "", No},
    {Control::SegmentGroup, "SegmentGroup", "当前段落信息", "", No},
    {Control::DocumentGroup, "DocumentGroup", "文件信息", "", No},
}};

// The table is indexed by the enumeration; a misplaced row fails to compile.
constexpr bool InOrder() {
  for (int i = 0; i < kControlCount; ++i)
    if (static_cast<int>(kControls[static_cast<std::size_t>(i)].id) != i) return false;
  return true;
}
static_assert(InOrder(), "control table out of order");

}  // namespace

const ControlInfo& Info(Control c) {
  return kControls[static_cast<std::size_t>(c)];
}
std::string_view StepName(Control c) {
  switch (c) {
    case Control::ImportExcelButton:
      return msg::kStepImport;
    case Control::FollowingLengthButton:
      return msg::kStepFollowingLength;
    case Control::FollowingRepeatButton:
      return msg::kStepFollowingRepeat;
    case Control::FollowingSizeButton:
      return msg::kStepFollowingSize;
    case Control::FollowingOrientationButton:
      return msg::kStepFollowingOrientation;
    case Control::FollowingDecorationButton:
      return msg::kStepFollowingDecoration;
    default:
      break;
  }
  const ControlInfo& info = Info(c);
  return info.caption.empty() ? info.hint : info.caption;
}

const std::array<ControlInfo, kControlCount>& AllControls() {
  return kControls;
}

}  // namespace qx
