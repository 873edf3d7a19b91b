// Every text the main window shows in a message box, and the captions of those boxes.
#pragma once

#include <string_view>

namespace qx::msg {

// Captions.
inline constexpr std::string_view kInfo = "信息提示";
inline constexpr std::string_view kConfirm = "信息确认";
inline constexpr std::string_view kError = "错误提示";
inline constexpr std::string_view kHint = "提示";

// Main window.
inline constexpr std::string_view kStopPrintingFirst = "请先终止打印,再退出.";
// The document file a job for a shared printer is sent as could not be written.
inline constexpr std::string_view kSharedJobNotWritten = "无法写入打印任务的临时文件,请检查磁盘空间。";
inline constexpr std::string_view kRestoreLeftover =
    "上次编辑的文件未正常关闭,已保存的段落可以恢复。是否恢复?";
inline constexpr std::string_view kRestoreDamaged =
    "上次编辑的工作表已损坏,原文件已另存为:\n%s\n其中%d个段落仍可读出。是否恢复这些段落?";
inline constexpr std::string_view kDamagedNothingReadable =
    "上次编辑的工作表已损坏,没有可以读出的段落。原文件已另存为:\n%s";
inline constexpr std::string_view kStateFolderUnusable =
    "无法使用状态文件夹%s:%s\n编辑器改用临时文件夹中的工作表。修好该文件夹之前,程序意外退出后无法恢复编辑内容。";
inline constexpr std::string_view kStoreFailed =
    "段落未能存入工作表:%s\n输入的内容仍在编辑框中。可以用“另存文件”把文档存到别的位置;腾出磁盘空间或检查文件夹权限后再存段。";
// A save written from the window's rows while the working table could not be written.
inline constexpr std::string_view kSavedWithoutWorkingTable =
    "文档已保存到%s。\n但工作表无法写入:%s\n程序意外退出后无法恢复之后的修改,请经常保存。";
inline constexpr std::string_view kRestore = "恢复";
inline constexpr std::string_view kDiscard = "放弃";

// Document files.
inline constexpr std::string_view kInvalidFile = "非法文件!";
inline constexpr std::string_view kNoSegmentsInFile = "此文件中没有段落。";
inline constexpr std::string_view kSaveChanges = "当前文件已修改,是否保存？";
inline constexpr std::string_view kSaveChangesOnExit = "当前文件已修改,是否保存?";
inline constexpr std::string_view kSaveFailed = "文件保存失败,当前文件仍保持打开:";
inline constexpr std::string_view kExportFailed = "文件导出失败:";
inline constexpr std::string_view kFileReadOnly = "文件是只读的。";
inline constexpr std::string_view kImportFailed = "无法读取此Excel文件:";
inline constexpr std::string_view kImportStopped = "读取Excel文件时出错,只导入了前面的行:";
inline constexpr std::string_view kImportTooManyRows = "工作表超过65535行,只导入了前65535行。";
// Rows added to a Document (the import's "添加", pasted lines) stop where it is full.
// %d: the Segments added.
inline constexpr std::string_view kAddTooManyRows =
    "文档最多容纳65535个段落,只添加了%d个段落,以下的行未导入。";
// The Document holds 65535 Segments: nothing more can be added or inserted.
inline constexpr std::string_view kDocumentFull = "文档已有65535个段落,不能再添加段落!";
// %d: the Segments the file holds.
inline constexpr std::string_view kTooManySegmentsInFile =
    "此文件有%d个段落,超过了文档最多容纳的65535个,不能打开。";
inline constexpr std::string_view kImportReplaced = "有些字符打印机的字库中没有,已替换为“?”。";
// %d: the rows imported, then the sheet row whose first cell is empty.
inline constexpr std::string_view kImportStoppedAtEmptyCell =
    "已导入%d行;第%d行的第一格为空,以下的行未导入。";
// What happened to an imported row, for the list of changed rows.
inline constexpr std::string_view kRowUpperCut = "上行过长,已截短";
inline constexpr std::string_view kRowLowerCut = "下行过长,已截短";
inline constexpr std::string_view kRowReplaced = "字库中没有的字符已改为“?”";
inline constexpr std::string_view kRowMarked = "上标、下标数字已改为上标、下标";
inline constexpr std::string_view kRowSkipped = "上行的格为空,已跳过";
inline constexpr std::string_view kRowEndedList = "上行的格为空,导入到此为止";
inline constexpr std::string_view kRowTooManyRows = "超过65535行,以下未导入";
inline constexpr std::string_view kExportTextTooLong =
    "各段文字合计超过65535字节,本机格式文件容纳不下,请分成几个文件导出。";
inline constexpr std::string_view kDocumentFilter = "Lable File [*.kel]|*.kel";
inline constexpr std::string_view kNativeFilter = "Qx Printer  File [*.qxf]|*.qxf";
inline constexpr std::string_view kImportFilter =
    "表格 [*.xls *.xlsx *.ods *.csv *.tsv *.txt]|*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt";
inline constexpr std::string_view kSaveDialogTitle = "输出本机文件";

// Segment list.
inline constexpr std::string_view kFileEmpty = "文件已空!";

// Property editors.
inline constexpr std::string_view kLengthRange = "指定段长请输入6-100mm,自动段长请输入0!";
inline constexpr std::string_view kSizeAlreadyAuto = "字号已为自动,段长不能再设为自动!";
inline constexpr std::string_view kLengthTooLong = "段内容超长，修改无效!";
inline constexpr std::string_view kRepeatRange = "数据范围1-200.";
inline constexpr std::string_view kBothAuto = "段长字号不能同时设为自动!";
inline constexpr std::string_view kSizeNotForMaterial = "当前材料不能打印此字号,选择无效!";
inline constexpr std::string_view kSizeTooLong = "段内容超长,选择无效!";
inline constexpr std::string_view kSizeLowerTooLong = "下行内容超长,选择无效!";
inline constexpr std::string_view kOrientationTooLong = "段内容超长,修改无效!";
inline constexpr std::string_view kOrientationLowerTooLong = "下行内容超长,修改无效!";

// Line editors.
inline constexpr std::string_view kContentTooLong = "段内容超长.";
inline constexpr std::string_view kUpperFirst = "请先输入上行字符!";
inline constexpr std::string_view kNoTwoLines6mm = "6mm贴纸不允许双行打印!";
inline constexpr std::string_view kSizeNoTwoLines = "当前字号无法正确打印双行!";
inline constexpr std::string_view kMaterialNoTwoLines = "当前材料不允许双行打印!";
inline constexpr std::string_view kNotGbk = "无法输入字符“%s”:打印机的字库中没有这个字符。";

// Document settings.
inline constexpr std::string_view kFaceTooLong = "所选字体引起某段内容超长,修改无效!";
inline constexpr std::string_view kMaterialCannotPrint = "所选材料无法正确打印,修改无效!";
inline constexpr std::string_view kSpacingTooLong = "所选字距引起某段内容超长,选择无效!";

// Changes to the following Segments.
inline constexpr std::string_view kAskFollowingLength = "修改后部所有字段的段长值？";
inline constexpr std::string_view kAskFollowingRepeat = "修改后部所有字段的重复值？";
inline constexpr std::string_view kAskFollowingSize = "修改后部所有字段的字号值？";
inline constexpr std::string_view kAskFollowingOrientation = "修改后部所有字段的印字方向？";
inline constexpr std::string_view kAskFollowingDecoration = "修改后部所有字段的修饰类型？";
inline constexpr std::string_view kFollowingAutoSize = "后部段存在自动字号，修改无效!";
inline constexpr std::string_view kFollowingLengthTooLong = "某段内容超长,后部段段长修改无效!";
inline constexpr std::string_view kFollowingAutoLength = "后部段存在自动段长，修改无效!";
inline constexpr std::string_view kFollowingSizeNotForMaterial =
    "某段字号超出材料允许,后部段字号修改无效!";
inline constexpr std::string_view kFollowingSizeTooLong = "某段内容超长,后部段字号修改无效!";
inline constexpr std::string_view kFollowingOrientationTooLong = "某段内容超长,后部段横竖修改无效!";

// Superscripts, serial numbers and symbols.
inline constexpr std::string_view kMarksTwoLines = "双行不能打印上下标!";
inline constexpr std::string_view kMarksAtStart = "段首不能打印上下标!";
inline constexpr std::string_view kSuperscriptFirst = "请先输入上标字符!";
inline constexpr std::string_view kSubscriptFirstUp = "请先输入下标字符!";
inline constexpr std::string_view kSubscriptFirstDown = "请先输入下标字符.";
inline constexpr std::string_view kSerialEnterFirst = "请输入起始序号.";
inline constexpr std::string_view kSerialEnterLast = "请输入结束序号.";
inline constexpr std::string_view kSerialEnterNumber = "请输入数字.";
inline constexpr std::string_view kSerialRange = "数字范围:0-999.";
inline constexpr std::string_view kSerialEnterCapital = "请输入大写字母.";
inline constexpr std::string_view kSerialEnterSmall = "请输入小写字母.";

// The tool bar of the five following-Segment buttons.
inline constexpr std::string_view kFollowingBarHint = "后部段落设置";

// Status bar.
inline constexpr std::string_view kStateEditing = "当前状态:文件编辑";
inline constexpr std::string_view kStatePrinting = "信息提示: 数据打印中......";
inline constexpr std::string_view kFilePath = "文件路径:";

// Titles.
inline constexpr std::string_view kApplicationTitle = "QX  Editor";
inline constexpr std::string_view kWindowCaption = "QX Editor  8.30";
inline constexpr std::string_view kUntitled = "未命名";

// Recent files and files dropped on the window.
inline constexpr std::string_view kRecentFileMissing = "文件不存在,已从最近的文件中删除:\n%s";
inline constexpr std::string_view kCannotOpenFileKind =
    "不能打开这种文件:\n%s\n请拖入文档文件(*.kel)或Excel文件(*.xls, *.xlsx)。";

// Undo and redo: the commands, named after the step they take back or make again.
inline constexpr std::string_view kUndo = "撤销";
inline constexpr std::string_view kRedo = "重做";
inline constexpr std::string_view kStepTyping = "输入";
inline constexpr std::string_view kStepImport = "导入";
inline constexpr std::string_view kStepOpen = "打开";
inline constexpr std::string_view kStepPaste = "粘贴";
inline constexpr std::string_view kPasteAsSegments = "每行一个段落?";
inline constexpr std::string_view kStepEdit = "编辑";
// The commands that change the following Segments, told apart from the current Segment's
// editors of the same caption.
inline constexpr std::string_view kStepFollowingLength = "段长 (后部段落)";
inline constexpr std::string_view kStepFollowingRepeat = "重复 (后部段落)";
inline constexpr std::string_view kStepFollowingSize = "字号 (后部段落)";
inline constexpr std::string_view kStepFollowingOrientation = "横竖 (后部段落)";
inline constexpr std::string_view kStepFollowingDecoration = "修饰 (后部段落)";

}  // namespace qx::msg
