// The file commands of the main window: open, new, save, save as, the question before a
// changed Document is given up, the native export and the Excel import.
//
// Unlike a plain implementation of these commands, nothing here can lose work: a document
// file is replaced only once its new version is completely written, a failed write keeps
// the Document open and marked as changed, and cancelling a save dialog keeps the changed
// flag (and keeps the window open when it was the question before closing).
#include <string>

#include "app/main_form.h"
#include "app/messages.h"
#include "document/atomic_file.h"
#include "document/document_file.h"
#include "document/excel_import.h"
#include "document/gbk.h"
#include "document/native_export.h"
#include "document/workbook.h"

namespace qx {
namespace {

std::string WithReason(std::string_view message, std::string_view reason) {
  std::string s(message);
  if (!reason.empty()) s += "\n" + std::string(reason);
  return s;
}

std::string_view WorkbookReason(WorkbookError e) {
  switch (e) {
    case WorkbookError::kNotWorkbook: return "这不是Excel工作簿。";
    case WorkbookError::kDamaged: return "文件已损坏。";
    case WorkbookError::kProtected: return "文件有密码保护。";
    case WorkbookError::kUnsupported: return "不支持这种文件格式。";
    case WorkbookError::kTooLarge: return "文件太大。";
    case WorkbookError::kCannotRead: return "无法读取文件。";
    default: return "";
  }
}

}  // namespace

FileDialog TPrintForm::DocumentDialog(bool save) const {
  FileDialog d;
  d.title = save ? std::string(msg::kSaveDialogTitle) : std::string();
  d.filter = std::string(msg::kDocumentFilter);
  d.default_suffix = "kel";
  d.initial_name = "*.kel";
  d.folder = app_dir_ / "Sample";
  return d;
}

void TPrintForm::DropWorkingTable() {
  doc_.table.Close();
  RemoveTableFiles(doc_.para.TempPath);
}

bool TPrintForm::WriteAndDrop(const std::filesystem::path& file) {
  try {
    WriteDocumentFile(doc_.table, doc_.settings, file, DocumentRows::kWithUpperLine);
  } catch (const TableError& e) {
    doc_.para.DocModified = true;
    ui_.Message(WithReason(msg::kSaveFailed, e.what()), msg::kInfo);
    return false;
  }
  DropWorkingTable();
  return true;
}

bool TPrintForm::GiveUpDocument(GiveUp command) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  if (!p.DocModified) {
    DropWorkingTable();
    return true;
  }
  t.Store();
  if (t.RowCount() == 1 && t.Text(kFlin).empty()) {
    DropWorkingTable();
    return true;
  }
  const Answer a = ui_.AskYesNo(command == GiveUp::kExit ? msg::kSaveChangesOnExit
                                                         : msg::kSaveChanges,
                                msg::kConfirm, command == GiveUp::kNew);
  if (a == Answer::kCancel) return false;
  if (a == Answer::kNo) {
    DropWorkingTable();
    return true;
  }
  t.Edit();
  t.Store();
  if (command == GiveUp::kOpen || command == GiveUp::kImport) StoreNumbered(t);
  std::filesystem::path target = p.DocPath;
  if (!p.HasFile) {
    const std::optional<std::filesystem::path> chosen = ui_.SaveFile(DocumentDialog(true));
    if (!chosen) {
      // Nothing is given up without being saved: every command stays in the Document.
      t.Edit();
      if (command == GiveUp::kNew) {
        p.SkipNextEnter = false;
      } else {
        ListButtons(true, true, true, true, true, false);
        p.UserEditing = true;
        FocusLineEnd(0);
      }
      return false;
    }
    target = *chosen;
  }
  return WriteAndDrop(target);
}

bool TPrintForm::LoadDocument(const std::filesystem::path* given) {
  FILEPARA& p = doc_.para;
  SegmentTable& t = doc_.table;
  p.UserEditing = false;
  const std::optional<std::filesystem::path> file =
      given ? std::optional<std::filesystem::path>(*given) : ui_.OpenFile(DocumentDialog(false));
  if (!file) return false;
  t.Bind(p.TempPath);
  try {
    if (!ReadDocumentFile(*file, t, doc_.settings)) {
      if (t.IsOpen()) t.Close();
      return false;
    }
  } catch (const TableError&) {
    if (t.IsOpen()) t.Close();
    ui_.Message(msg::kInvalidFile, msg::kInfo);
    return false;
  }
  p.DocPath = *file;
  measurer_.SetFace(doc_.settings.ZitiBox);
  t.Edit();
  p.HasFile = true;
  p.DocModified = p.UserEditing = p.DocBusy = false;
  ListButtons(true, true, true, true, true, Enabled(Ctl::PostBtn));
  SetStatus(1, std::string(msg::kFilePath) + p.DocPath.string());
  FocusLineEnd(0);
  return true;
}

void TPrintForm::OpenFilebtn() { OpenDocument(nullptr); }

void TPrintForm::OpenDocumentFile(const std::filesystem::path& file) { OpenDocument(&file); }

void TPrintForm::OpenDocument(const std::filesystem::path* given) {
  FILEPARA& p = doc_.para;
  p.UserEditing = false;
  if (!GiveUpDocument(GiveUp::kOpen)) return;
  if (!LoadDocument(given)) {
    NewDocumentWindow();
    FocusLineEnd(0);
  }
  ReadDocumentSettings(doc_.settings, p);
  p.SkipNextEnter = false;
  p.UserEditing = true;
  p.DocModified = false;
  Changed();
}

void TPrintForm::CloseFilebtn() {
  FILEPARA& p = doc_.para;
  p.SkipNextEnter = true;
  p.UserEditing = false;
  if (!GiveUpDocument(GiveUp::kNew)) return;
  NewDocumentWindow();
  p.UserEditing = true;
  Focus(Ctl::FlinEdit);
  Changed();
}

void TPrintForm::SaveDocument(bool ask) {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  StoreNumbered(t);
  const int64_t current = t.Int(kNum);
  DropTrailingEmptySegments(t);
  t.DetachControls();
  p.UserEditing = false;

  std::filesystem::path target = p.DocPath;
  bool written = false;
  std::optional<std::filesystem::path> chosen;
  if (ask) chosen = ui_.SaveFile(DocumentDialog(true));
  if (!ask || chosen) {
    if (chosen) target = *chosen;
    try {
      WriteDocumentFile(t, doc_.settings, target, DocumentRows::kAll);
      written = true;
    } catch (const TableError& e) {
      ui_.Message(WithReason(msg::kSaveFailed, e.what()), msg::kInfo);
    }
  }
  // Back to the Segment that was current, found by its number.
  t.First();
  while (t.Int(kNum) != current && t.Position() < t.RowCount()) t.Next();
  if (written) {
    p.DocPath = target;
    p.HasFile = true;
    p.DocModified = false;
    if (chosen) SetStatus(1, std::string(msg::kFilePath) + p.DocPath.string());
  }
  t.AttachControls();
  t.Edit();
  ListButtons(true, true, true, true, true, false);
  p.UserEditing = true;
  FocusLineEnd(0);
  // The first Enter after a save only clears this flag.
  p.SkipNextEnter = true;
}

void TPrintForm::SaveFileBtn() { SaveDocument(!doc_.para.HasFile); }
void TPrintForm::SaveFileAsBtn() { SaveDocument(true); }

bool TPrintForm::SaveBeforeExit() {
  doc_.para.UserEditing = false;
  const bool close = GiveUpDocument(GiveUp::kExit);
  if (!close) doc_.para.UserEditing = true;
  return close;
}

// --- Native export ------------------------------------------------------------------

void TPrintForm::ExportFileBtn() {
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  StoreNumbered(t);
  DropTrailingEmptySegments(t);
  t.DetachControls();
  p.UserEditing = false;
  FileDialog d;
  d.filter = std::string(msg::kNativeFilter);
  d.default_suffix = "qxf";
  d.initial_name = "*.qxf";
  const std::optional<std::filesystem::path> file = ui_.SaveFile(d);
  if (!file) {
    t.AttachControls();
    t.Edit();
    p.UserEditing = true;
    return;
  }
  const std::vector<uint8_t> bytes = BuildNativeFile(t, doc_.settings);
  std::string error;
  if (!WriteFileAtomically(*file, bytes, &error))
    ui_.Message(WithReason(msg::kExportFailed, error), msg::kInfo);
  t.AttachControls();
  t.Edit();
  ListButtons(true, true, true, true, true, false);
  p.UserEditing = true;
  Changed();
}

// --- Excel import -------------------------------------------------------------------

void TPrintForm::OpenExcelBtnClick() {
  FILEPARA& p = doc_.para;
  p.UserEditing = false;
  if (!GiveUpDocument(GiveUp::kImport)) return;
  NewDocumentWindow();
  ImportExcel();
  ReadDocumentSettings(doc_.settings, p);
  p.SkipNextEnter = false;
  p.UserEditing = true;
  FocusLineEnd(0);
}

void TPrintForm::ImportExcel() {
  FileDialog d;
  d.filter = std::string(msg::kExcelFilter);
  d.default_suffix = "xls";
  d.folder = app_dir_ / "Sample";
  const std::optional<std::filesystem::path> file = ui_.OpenFile(d);
  if (!file) return;
  WorkbookError error = WorkbookError::kNone;
  std::unique_ptr<SheetRows> rows = OpenFirstSheet(*file, &error);
  if (!rows) {
    ui_.Message(WithReason(msg::kImportFailed, WorkbookReason(error)), msg::kInfo);
    return;
  }
  SegmentTable& t = doc_.table;
  FILEPARA& p = doc_.para;
  p.DocBusy = true;
  p.UserEditing = false;
  t.DetachControls();
  ImportResult r;
  try {
    r = ImportSheet(t, *rows);
  } catch (const TableError& e) {
    r.error = WorkbookError::kCannotRead;
    ui_.Message(WithReason(msg::kImportFailed, e.what()), msg::kInfo);
  }
  if (r.two_lines) doc_.settings.MatBox = 5;
  t.First();
  t.Edit();
  t.AttachControls();
  ReloadWorkingValues(t, doc_.values);
  p.DocBusy = false;
  p.DocModified = true;
  if (r.error != WorkbookError::kNone)
    ui_.Message(WithReason(msg::kImportStopped, WorkbookReason(r.error)), msg::kInfo);
  if (r.truncated) ui_.Message(msg::kImportTooManyRows, msg::kInfo);
  if (r.replaced > 0) ui_.Message(msg::kImportReplaced, msg::kInfo);
}

}  // namespace qx
