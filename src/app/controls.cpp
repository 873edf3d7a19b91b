#include "app/controls.h"

namespace qx {
namespace {

constexpr Ctl B1 = Ctl::ControlBar1, B2 = Ctl::ControlBar2, G1 = Ctl::GroupBox1,
              G3 = Ctl::GroupBox3, No = Ctl::None;

constexpr std::array<ControlInfo, kControlCount> kControls = {{
    {Ctl::OpenBtn, "OpenBtn", "", "打开文件", B1},
    {Ctl::CloseBtn, "CloseBtn", "", "新建文件", B1},
    {Ctl::PrintBtn, "PrintBtn", "", "打印文件", B1},
    {Ctl::StopBtn, "StopBtn", "", "停止打印", B1},
    {Ctl::SaveBtn, "SaveBtn", "", "存储文件", B1},
    {Ctl::SaveAsBtn, "SaveAsBtn", "", "另存文件", B1},
    {Ctl::AboutBtn, "AboutBtn", "", "帮助", B1},
    {Ctl::OpenExcelBtn, "OpenExcelBtn", "", "导入Excel 文件", B1},
    {Ctl::ExportBtn, "ExportBtn", "", "导出本机格式文件", B1},
    {Ctl::ZitiBox, "ZitiBox", "", "字体选择", B1},
    {Ctl::BlodBtn, "BlodBtn", "", "字体正常或加粗", B1},
    {Ctl::FuhaoBtn, "FuhaoBtn", "", "符号输入", B1},
    {Ctl::PitchLenBtn, "PitchLenBtn", "段长", "修改当前段以后所有段落的段长值", B1},
    {Ctl::RepBtn, "RepBtn", "重复", "修改当前段以后所有段落的重复值", B1},
    {Ctl::ZihaoBtn, "ZihaoBtn", "字号", "修改当前段以后所有段落的字号值", B1},
    {Ctl::DirxBtn, "DirxBtn", "横竖", "修改当前段以后所有字段落的印字方向", B1},
    {Ctl::XiushiBtn, "XiushiBtn", "修饰", "修改当前段以后所有字段落的修饰类型", B1},
    {Ctl::FirstBtn, "FirstBtn", "文首", "", B2},
    {Ctl::LastBtn, "LastBtn", "文末", "", B2},
    {Ctl::AppendBtn, "AppendBtn", "添加", "", B2},
    {Ctl::InsertBtn, "InsertBtn", "插入", "", B2},
    {Ctl::DeleteBtn, "DeleteBtn", "删段", "", B2},
    {Ctl::PostBtn, "PostBtn", "存段", "", B2},
    {Ctl::UpBiaoBit, "UpBiaoBit", "上标", "插入上标", B2},
    {Ctl::DwBiaoBit, "DwBiaoBit", "下标", "插入下标", B2},
    {Ctl::XuhaoBit, "XuhaoBit", "序号", "插入序号", B2},
    {Ctl::XhlxEdit, "XhlxEdit", "", "", B2},
    {Ctl::FxuEdit, "FxuEdit", "", "起始序号", B2},
    {Ctl::ExuEdit, "ExuEdit", "", "终止序号", B2},
    {Ctl::PlenEdit, "PlenEdit", "段长", "段长值:6至100mm", G1},
    {Ctl::RepEdit, "RepEdit", "重复", "当前段重复值1至200", G1},
    {Ctl::ZhBox, "ZhBox", "字号", "", G1},
    {Ctl::DirxBox, "DirxBox", "横竖", "", G1},
    {Ctl::XsBox, "XsBox", "修饰", "", G1},
    {Ctl::MatBox, "MatBox", "材料", "", G3},
    {Ctl::CutBox, "CutBox", "半切", "", G3},
    {Ctl::PlBox, "PlBox", "排列", "", G3},
    {Ctl::ZjBox, "ZjBox", "字距", "", G3},
    {Ctl::NdBox, "NdBox", "浓度", "", G3},
    {Ctl::DBGrid1, "DBGrid1", "", "浏览框", No},
    {Ctl::FlinEdit, "FlinEdit", "", "单行或上行文字编辑框", No},
    {Ctl::SlinEdit, "SlinEdit", "", "下行文字编辑框", No},
    {Ctl::ControlBar1, "ControlBar1", "", "", No},
    {Ctl::ControlBar2, "ControlBar2", "", "", No},
    {Ctl::GroupBox1, "GroupBox1", "当前段落信息", "", No},
    {Ctl::GroupBox3, "GroupBox3", "文件信息", "", No},
}};

// The table is indexed by the enumeration; a misplaced row fails to compile.
constexpr bool InOrder() {
  for (int i = 0; i < kControlCount; ++i)
    if (static_cast<int>(kControls[static_cast<std::size_t>(i)].id) != i) return false;
  return true;
}
static_assert(InOrder(), "control table out of order");

}  // namespace

const ControlInfo& Info(Ctl c) { return kControls[static_cast<std::size_t>(c)]; }
const std::array<ControlInfo, kControlCount>& AllControls() { return kControls; }

}  // namespace qx
