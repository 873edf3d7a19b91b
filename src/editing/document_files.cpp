#include "editing/document_files.h"

#include <unistd.h>

#include <fstream>
#include <string>

#include "document/atomic_file.h"
#include "document/document_file.h"
#include "document/excel_import.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/native_export.h"
#include "document/workbook.h"
#include "editing/import_notes.h"
#include "editing/messages.h"

namespace qx {
namespace {

// The messages about full Documents name the limit in words.
static_assert(kMaxSegments == 65535, "the messages say 65535");

std::string WithReason(std::string_view message, std::string_view reason) {
  std::string s(message);
  if (!reason.empty()) s += "\n" + std::string(reason);
  return s;
}

// A message with its first "%s" filled in.
std::string Filled(std::string_view message, std::string_view value) {
  std::string s(message);
  if (const auto at = s.find("%s"); at != std::string::npos) s.replace(at, 2, value);
  return s;
}

// The reason a file could not be written, as the failure message shows it: a read-only
// target in words of its own, anything else as the writer put it.
std::string_view WriteReason(WriteFailure failure, std::string_view error) {
  return failure == WriteFailure::kReadOnly ? msg::kFileReadOnly : error;
}

std::string SaveFailedMessage(const TableError& e) {
  const auto* write = dynamic_cast<const FileWriteError*>(&e);
  return WithReason(msg::kSaveFailed,
                    WriteReason(write ? write->failure() : WriteFailure::kNone, e.what()));
}

}  // namespace

std::string_view WorkbookReason(WorkbookError e) {
  switch (e) {
    case WorkbookError::kNotWorkbook:
      return "这不是Excel工作簿。";
    case WorkbookError::kDamaged:
      return "文件已损坏。";
    case WorkbookError::kProtected:
      return "文件有密码保护。";
    case WorkbookError::kUnsupported:
      return "不支持这种文件格式。";
    case WorkbookError::kTooLarge:
      return "文件太大。";
    case WorkbookError::kCannotRead:
      return "无法读取文件。";
    default:
      return "";
  }
}


// --- Where the file dialogs start ------------------------------------------------------

std::filesystem::path StartingFolder(
    DialogPurpose purpose, const DialogFolders& folders,
    const std::function<FolderState(const std::filesystem::path&)>& state_of) {
  const bool writing = purpose == DialogPurpose::kWrite;
  for (const std::filesystem::path* folder :
       {&folders.last_used, writing ? nullptr : &folders.samples, &folders.documents,
        &folders.home}) {
    if (!folder || folder->empty()) continue;
    const FolderState state = state_of(*folder);
    if (state == FolderState::kWritable || (!writing && state == FolderState::kReadOnly))
      return *folder;
  }
  return {};
}

FolderState FolderStateOf(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return FolderState::kMissing;
  return access(folder.c_str(), W_OK | X_OK) == 0 ? FolderState::kWritable
                                                  : FolderState::kReadOnly;
}

std::filesystem::path DocumentFiles::DialogFolder(DialogPurpose purpose) const {
  return StartingFolder(purpose,
                        {.last_used = last_folder_,
                         .samples = ctx_.app_dir / "Sample",
                         .documents = ctx_.documents_dir,
                         .home = ctx_.home_dir},
                        FolderStateOf);
}

void DocumentFiles::RememberFolderOf(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(file, ec).parent_path();
  if (ec || folder.empty() || folder == last_folder_) return;
  last_folder_ = std::move(folder);
  if (last_folder_file_.empty()) return;
  // Only a convenience: a folder that cannot be kept is simply not offered next run.
  const std::string line = last_folder_.string() + "\n";
  std::string error;
  WriteFileAtomically(last_folder_file_,
                      std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()),
                      &error);
}

// --- Start-up and a new Document -------------------------------------------------------

void DocumentFiles::StartSession(const WorkingTableStart& start) {
  if (!start.state_folder.empty()) {
    last_folder_file_ = start.state_folder / "last-folder";
    std::ifstream kept(last_folder_file_);
    std::string line;
    if (std::getline(kept, line) && std::filesystem::path(line).is_absolute())
      last_folder_ = line;
  }
  if (!start.storage_problem.empty()) {
    std::string text = Filled(msg::kStateFolderUnusable, start.state_folder.string());
    text = Filled(text, start.storage_problem);
    ctx_.ui.Message(text, msg::kInfo);
  }
  ctx_.doc.file_state.TempPath = start.table;
  bool restore = false;
  if (!start.damaged_kept_as.empty() && start.salvaged_rows == 0) {
    ctx_.ui.Message(Filled(msg::kDamagedNothingReadable, start.damaged_kept_as.string()),
                    msg::kInfo);
  } else if (!start.damaged_kept_as.empty()) {
    std::string text = Filled(msg::kRestoreDamaged, start.damaged_kept_as.string());
    text.replace(text.find("%d"), 2, std::to_string(start.salvaged_rows));
    restore = ctx_.ui.Ask(text, msg::kConfirm, msg::kRestore, msg::kDiscard);
  } else if (start.offer_restore) {
    restore = ctx_.ui.Ask(msg::kRestoreLeftover, msg::kConfirm, msg::kRestore, msg::kDiscard);
  }
  if (restore) return RestoreLeftover();
  StartNewDocument();
}

void DocumentFiles::StartNewDocument(bool in_open_table) {
  if (in_open_table && ctx_.doc.table.IsOpen()) {
    NewDocumentInOpenTable(ctx_.doc);
  } else {
    NewDocument(ctx_.doc, ctx_.doc.file_state.TempPath);
  }
  ctx_.measurer.SetFace(ctx_.doc.settings.font_face);
  ControlStates& c = ctx_.controls;
  for (Control b : {Control::OpenButton, Control::SaveButton, Control::NewButton,
                    Control::SymbolButton, Control::FollowingLengthButton,
                    Control::FollowingRepeatButton, Control::FollowingSizeButton,
                    Control::FollowingOrientationButton, Control::FollowingDecorationButton})
    c.SetEnabled(b, true);
  c.SetEnabled(Control::StopButton, false);
  c.SetListButtons(false, false, false, false, false, true);
  c.SetStatus(0, std::string(msg::kStateEditing));
  c.SetStatus(1, std::string(msg::kFilePath));
  ctx_.MarkSaved();
  ctx_.ShowCurrentRow();
}

// A working table left by a run that did not end: its stored Segments and the session
// kept with them (settings, document file) become the Document. It counts as changed until
// the history kept with the rows tells how far it is from the point its file was saved at.
void DocumentFiles::RestoreLeftover() {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  t.Bind(p.TempPath);
  // The session kept in the table is read before anything is shown (and written back).
  t.DetachControls();
  t.Open();
  p.DocPath.clear();
  p.HasFile = false;
  RestoreSession(t.ReadSession(), ctx_.doc);
  t.AttachControls();
  ctx_.measurer.SetFace(ctx_.doc.settings.font_face);
  p.DocModified = true;
  p.UserEditing = false;
  ReadDocumentSettings(ctx_.doc.settings, p);
  ctx_.controls.SetEnabled(Control::StopButton, false);
  ctx_.controls.SetListButtons(true, true, true, true, true, false);
  ctx_.controls.SetStatus(0, std::string(msg::kStateEditing));
  ctx_.controls.SetStatus(1, std::string(msg::kFilePath) + (p.HasFile ? p.DocPath.string() : ""));
  t.First();
  ReloadWorkingValues(t, ctx_.doc.values);
  ctx_.ShowCurrentRow();
}

FileDialog DocumentFiles::DocumentDialog(bool save) const {
  FileDialog d;
  d.title = save ? std::string(msg::kSaveDialogTitle) : std::string();
  d.filter = std::string(msg::kDocumentFilter);
  d.default_suffix = "kel";
  d.initial_name = "*.kel";
  d.folder = DialogFolder(save ? DialogPurpose::kWrite : DialogPurpose::kRead);
  return d;
}

void DocumentFiles::DropWorkingTable() {
  ctx_.doc.table.Close();
  RemoveTableFiles(ctx_.doc.file_state.TempPath);
}

bool DocumentFiles::WriteGivenUp(const std::filesystem::path& file) {
  try {
    WriteDocumentFile(ctx_.doc.table, ctx_.doc.settings, file, DocumentRows::kWithUpperLine);
  } catch (const TableError& e) {
    ctx_.ui.Message(SaveFailedMessage(e), msg::kInfo);
    return false;
  }
  return true;
}

bool DocumentFiles::GiveUpDocument(GiveUp command) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  // Open and import replace the rows in the working table as one undo step, so that the
  // Document given up can come back: the table stays. New and exit drop it, but only once
  // the Document was saved or the operator gave it up.
  const bool keep_table = command == GiveUp::kOpen || command == GiveUp::kImport;
  auto give_up = [&] {
    if (!keep_table) DropWorkingTable();
    return true;
  };
  // What the command leaves when it does not go on: the Document as it was, the row being
  // edited still in edit mode.
  auto stay = [&] {
    t.Edit();
    if (command != GiveUp::kNew) p.UserEditing = true;
    return false;
  };
  if (!p.DocModified) return give_up();
  t.Store();
  if (t.RowCount() == 1 && t.Text(kUpperLineColumn).empty()) return give_up();
  // Escape and the box's close button answer 取消: nothing is given up.
  const Answer a =
      ctx_.ui.AskYesNo(command == GiveUp::kExit ? msg::kSaveChangesOnExit : msg::kSaveChanges,
                       msg::kConfirm, true);
  if (a == Answer::kCancel) return stay();
  if (a == Answer::kNo) return give_up();
  t.Edit();
  t.Store();
  if (keep_table) StoreNumbered(t);
  std::filesystem::path target = p.DocPath;
  if (!p.HasFile) {
    const std::optional<std::filesystem::path> chosen = ctx_.ui.SaveFile(DocumentDialog(true));
    if (!chosen) {
      // Nothing is given up without being saved: every command stays in the Document.
      t.Edit();
      if (command == GiveUp::kNew) {
        p.SkipNextEnter = false;
      } else {
        ctx_.controls.SetListButtons(true, true, true, true, true, false);
        p.UserEditing = true;
        ctx_.FocusLineEnd(0);
      }
      return false;
    }
    target = *chosen;
    RememberFolderOf(target);
  }
  if (!WriteGivenUp(target)) return stay();
  if (!keep_table) return give_up();
  // The Document stays in the undo history as it is now: saved in `target`.
  p.DocPath = target;
  p.HasFile = true;
  ctx_.MarkSaved();
  ctx_.controls.SetStatus(1, std::string(msg::kFilePath) + p.DocPath.string());
  FileUsed(target);
  return true;
}

int DocumentFiles::CheckDocument(const std::filesystem::path& file, DocumentSettings& settings) {
  try {
    if (const int rows = CheckDocumentFile(file, settings)) return rows;
    ctx_.ui.Message(msg::kNoSegmentsInFile, msg::kInfo);
  } catch (const TooManySegmentsError& e) {
    std::string text(msg::kTooManySegmentsInFile);
    text.replace(text.find("%d"), 2, std::to_string(e.segments()));
    ctx_.ui.Message(text, msg::kInfo);
  } catch (const TableError&) {
    ctx_.ui.Message(msg::kInvalidFile, msg::kInfo);
  }
  return 0;
}

void DocumentFiles::LoadDocument(const std::filesystem::path& file, int rows,
                                 const DocumentSettings& settings) {
  DocumentFileState& p = ctx_.doc.file_state;
  SegmentTable& t = ctx_.doc.table;
  p.UserEditing = false;
  if (!t.IsOpen()) {
    t.Bind(p.TempPath);
    t.Create();
    t.Open();
  }
  // The rows given up are deleted one by one, so that undo can put them back; the file's
  // rows go straight into the table, and the views hear of them once.
  t.DetachControls();
  {
    SegmentTable::Batch batch(t);
    DeleteAllRows(t);
    try {
      AppendDocumentSegments(file, rows, t);
    } catch (const TableError&) {
      // The file changed since it was checked: what was read stays, and the operator is
      // told; undo brings the Document given up back.
      ctx_.ui.Message(msg::kInvalidFile, msg::kInfo);
      if (t.IsEmpty()) {
        t.Append();
        FillNewSegment(t);
        t.Store();
      }
    }
    batch.Commit();
  }
  t.First();
  t.AttachControls();
  ctx_.doc.settings = settings;
  p.DocPath = file;
  ctx_.measurer.SetFace(ctx_.doc.settings.font_face);
  t.Edit();
  p.HasFile = true;
  p.UserEditing = p.DocBusy = false;
  ctx_.MarkSaved();
  ctx_.controls.SetListButtons(true, true, true, true, true,
                               ctx_.controls.Enabled(Control::StoreButton));
  ctx_.controls.SetStatus(1, std::string(msg::kFilePath) + p.DocPath.string());
  ctx_.FocusLineEnd(0);
  FileUsed(p.DocPath);
}

void DocumentFiles::OnOpenButton() {
  OpenDocument(nullptr);
}

void DocumentFiles::OpenDocumentFile(const std::filesystem::path& file) {
  OpenDocument(&file);
}

void DocumentFiles::OpenDocument(const std::filesystem::path* given) {
  DocumentFileState& p = ctx_.doc.file_state;
  // The file is chosen and read before the open Document is given up: a cancelled
  // dialog or a file that cannot be read leaves it as it was.
  const std::optional<std::filesystem::path> file =
      given ? std::optional<std::filesystem::path>(*given)
            : ctx_.ui.OpenFile(DocumentDialog(false));
  if (!file) return;
  RememberFolderOf(*file);
  // The settings the file does not carry stay as they are (density, bold).
  DocumentSettings settings = ctx_.doc.settings;
  const int rows = CheckDocument(*file, settings);
  if (rows == 0) return;
  p.UserEditing = false;
  if (!GiveUpDocument(GiveUp::kOpen)) return;
  // From here the event is one undo step that brings the Document given up back.
  ctx_.StartReplacingDocument();
  ctx_.NameStep(msg::kStepOpen);
  LoadDocument(*file, rows, settings);
  ReadDocumentSettings(ctx_.doc.settings, p);
  p.SkipNextEnter = false;
  p.UserEditing = true;
  ctx_.Changed();
}

void DocumentFiles::OnNewButton() {
  DocumentFileState& p = ctx_.doc.file_state;
  p.SkipNextEnter = true;
  p.UserEditing = false;
  if (!GiveUpDocument(GiveUp::kNew)) return;
  StartNewDocument();
  p.UserEditing = true;
  ctx_.Focus(Control::UpperLine);
  ctx_.Changed();
}

void DocumentFiles::SaveDocument(bool ask) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  // The working table first: the Segment being edited stored with its number, the empty
  // Segments at the end dropped. When the table cannot be written (a full or failing disk)
  // the file is still written, from the rows as the window holds them, so that the
  // Document can always be saved elsewhere.
  int current = t.Position();
  std::optional<std::string> table_failure;
  try {
    StoreNumbered(t);
    current = t.Position();
    DropTrailingEmptySegments(t);
  } catch (const TableError& e) {
    table_failure = e.what();
  }
  t.DetachControls();
  p.UserEditing = false;

  std::filesystem::path target = p.DocPath;
  bool written = false;
  std::optional<std::filesystem::path> chosen;
  if (ask) chosen = ctx_.ui.SaveFile(DocumentDialog(true));
  if (chosen) RememberFolderOf(*chosen);
  if (!ask || chosen) {
    if (chosen) target = *chosen;
    try {
      WriteDocumentFile(t, ctx_.doc.settings, target,
                        table_failure ? DocumentRows::kAsSavedWithoutTidying : DocumentRows::kAll);
      written = true;
    } catch (const TableError& e) {
      ctx_.ui.Message(SaveFailedMessage(e), msg::kInfo);
    }
  }
  // Back to the Segment that was current, by its place: the numbers of the other rows need
  // not follow their places. When it was an empty one at the end, the last one left.
  // (A table that could not be written stays where it is, with the edit it could not store.)
  if (!table_failure) GoToPosition(t, current);
  if (written && table_failure) {
    std::string text(msg::kSavedWithoutWorkingTable);
    text.replace(text.find("%s"), 2, target.string());
    text.replace(text.find("%s"), 2, *table_failure);
    ctx_.ui.Message(text, msg::kInfo);
    ctx_.StorageFailureTold();
  }
  if (written) {
    p.DocPath = target;
    p.HasFile = true;
    ctx_.MarkSaved();
    if (chosen) ctx_.controls.SetStatus(1, std::string(msg::kFilePath) + p.DocPath.string());
    FileUsed(p.DocPath);
  }
  t.AttachControls();
  t.Edit();
  ctx_.controls.SetListButtons(true, true, true, true, true, false);
  p.UserEditing = true;
  ctx_.FocusLineEnd(0);
  // The first Enter after a save only clears this flag.
  p.SkipNextEnter = true;
}

void DocumentFiles::OnSaveButton() {
  SaveDocument(!ctx_.doc.file_state.HasFile);
}
void DocumentFiles::OnSaveAsButton() {
  SaveDocument(true);
}

bool DocumentFiles::SaveBeforeExit() {
  ctx_.doc.file_state.UserEditing = false;
  const bool close = GiveUpDocument(GiveUp::kExit);
  if (!close) ctx_.doc.file_state.UserEditing = true;
  return close;
}

// --- Native export ------------------------------------------------------------------

void DocumentFiles::OnExportButton() {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  StoreNumbered(t);
  DropTrailingEmptySegments(t);
  t.DetachControls();
  p.UserEditing = false;
  FileDialog d;
  d.filter = std::string(msg::kNativeFilter);
  d.default_suffix = "qxf";
  d.initial_name = "*.qxf";
  d.folder = DialogFolder(DialogPurpose::kWrite);
  const std::optional<std::filesystem::path> file = ctx_.ui.SaveFile(d);
  if (!file) {
    t.AttachControls();
    t.Edit();
    p.UserEditing = true;
    return;
  }
  RememberFolderOf(*file);
  const NativeFile native = BuildNativeFile(t, ctx_.doc.settings);
  std::string error;
  WriteFailure failure = WriteFailure::kNone;
  if (!native.ok())
    ctx_.ui.Message(WithReason(msg::kExportFailed, msg::kExportTextTooLong), msg::kInfo);
  else if (!WriteFileAtomically(*file, native.bytes, &error, &failure))
    ctx_.ui.Message(WithReason(msg::kExportFailed, WriteReason(failure, error)), msg::kInfo);
  t.AttachControls();
  t.Edit();
  ctx_.controls.SetListButtons(true, true, true, true, true, false);
  p.UserEditing = true;
  ctx_.Changed();
}

// --- Excel import -------------------------------------------------------------------

void DocumentFiles::OnImportExcelButton() {
  ImportFromExcel(nullptr);
}

void DocumentFiles::ImportExcelFile(const std::filesystem::path& workbook) {
  ImportFromExcel(&workbook);
}

void DocumentFiles::ImportFromExcel(const std::filesystem::path* given) {
  // The workbook is chosen and opened before the open Document is given up: a cancelled
  // dialog or a workbook that cannot be read leaves it as it was.
  const std::optional<std::filesystem::path> file = given ? *given : ChooseImportFile();
  if (!file) return;
  std::unique_ptr<Workbook> book = OpenImportSource(*file);
  if (book) ImportFromSource(*file, *book, ImportOptions{});
}

std::optional<std::filesystem::path> DocumentFiles::ChooseImportFile() {
  FileDialog d;
  d.filter = std::string(msg::kImportFilter);
  d.default_suffix = "xls";
  d.folder = DialogFolder(DialogPurpose::kRead);
  std::optional<std::filesystem::path> file = ctx_.ui.OpenFile(d);
  if (file) RememberFolderOf(*file);
  return file;
}

std::unique_ptr<Workbook> DocumentFiles::OpenImportSource(const std::filesystem::path& file) {
  WorkbookError error = WorkbookError::kNone;
  std::unique_ptr<Workbook> book = OpenWorkbook(file, &error);
  if (!book) ctx_.ui.Message(WithReason(msg::kImportFailed, WorkbookReason(error)), msg::kInfo);
  return book;
}

int DocumentFiles::SegmentsToFollow() const {
  const SegmentTable& t = ctx_.doc.table;
  if (!t.IsOpen() || t.IsEmpty()) return 0;
  // A Document whose only Segment is still empty is filled as a new one.
  if (t.RowCount() == 1 && t.TextAt(0, kUpperLineColumn).empty() &&
      t.TextAt(0, kLowerLineColumn).empty())
    return 0;
  return t.RowCount();
}

void DocumentFiles::ImportFromSource(const std::filesystem::path& file, Workbook& book,
                                     const ImportOptions& options) {
  DocumentFileState& p = ctx_.doc.file_state;
  WorkbookError error = WorkbookError::kNone;
  std::unique_ptr<SheetRows> rows = book.OpenSheet(options.sheet, options.columns(), &error);
  if (!rows) {
    ctx_.ui.Message(WithReason(msg::kImportFailed, WorkbookReason(error)), msg::kInfo);
    return;
  }
  p.UserEditing = false;
  if (options.append) {
    // Added after the last Segment: one step of the open Document's history.
    ctx_.NameStep(msg::kStepImport);
    ctx_.doc.table.Store();
  } else {
    if (!GiveUpDocument(GiveUp::kImport)) {
      p.UserEditing = true;
      return;
    }
    // From here the event is one undo step that brings the Document given up back.
    ctx_.StartReplacingDocument();
    ctx_.NameStep(msg::kStepImport);
    StartNewDocument(true);
  }
  FileUsed(file);
  ImportRows(*rows, options);
  ReadDocumentSettings(ctx_.doc.settings, p);
  p.SkipNextEnter = false;
  p.UserEditing = true;
  ctx_.FocusLineEnd(0);
}


void DocumentFiles::PasteRows(std::string_view utf8) {
  // The pasted text is read as a text table copied from a spreadsheet: a line a row, a
  // tab between the upper and the lower line, quoted cells kept whole.
  WorkbookError error = WorkbookError::kNone;
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  std::unique_ptr<Workbook> book =
      OpenWorkbook(std::span(bytes, utf8.size()), &error, {}, nullptr, "clipboard.tsv");
  ImportOptions options;
  options.append = true;
  options.after_current = true;
  std::unique_ptr<SheetRows> rows =
      book ? book->OpenSheet(0, options.columns(), &error) : nullptr;
  if (!rows) {
    ctx_.ui.Message(WithReason(msg::kImportFailed, WorkbookReason(error)), msg::kInfo);
    return;
  }
  DocumentFileState& p = ctx_.doc.file_state;
  ctx_.NameStep(msg::kStepPaste);
  p.UserEditing = false;
  ctx_.doc.table.Store();
  ImportRows(*rows, options);
  ReadDocumentSettings(ctx_.doc.settings, p);
  p.SkipNextEnter = false;
  p.UserEditing = true;
  ctx_.FocusLineEnd(0);
}

std::string ImportReportText(const std::vector<RowReport>& reports) {
  constexpr std::size_t kMostLines = 15;
  std::string text;
  std::size_t lines = 0, rows = 0;
  int last_row = -1;
  for (const RowReport& r : reports) {
    if (r.row != last_row) ++rows;
    last_row = r.row;
    if (lines >= kMostLines) continue;
    text += "\n第" + std::to_string(r.row) + "行: " + std::string(RowNoteText(r.note));
    ++lines;
  }
  if (reports.empty()) return {};
  if (lines < reports.size()) text += "\n……";
  return "导入时有" + std::to_string(rows) + "行有改动或未导入:" + text;
}

void DocumentFiles::ImportRows(SheetRows& rows, const ImportOptions& options) {
  SegmentTable& t = ctx_.doc.table;
  DocumentFileState& p = ctx_.doc.file_state;
  // The Segments before the first one imported.
  int before = options.append ? SegmentsToFollow() : 0;
  if (options.after_current && before > 0) before = t.Position();
  p.DocBusy = true;
  p.UserEditing = false;
  t.DetachControls();
  ImportResult r;
  try {
    r = ImportSheet(t, rows, options);
  } catch (const TableError& e) {
    r.error = WorkbookError::kCannotRead;
    ctx_.ui.Message(WithReason(msg::kImportFailed, e.what()), msg::kInfo);
  }
  // A new Document of two-line rows is printed on sleeves that take two lines; added rows
  // keep the open Document's material.
  if (r.two_lines && !options.append) ctx_.doc.settings.material_index = 5;
  // The first Segment imported is shown.
  t.First();
  for (int i = 0; i < before && i + 1 < t.RowCount(); ++i) t.Next();
  t.Edit();
  t.AttachControls();
  ReloadWorkingValues(t, ctx_.doc.values);
  p.DocBusy = false;
  if (r.error != WorkbookError::kNone)
    ctx_.ui.Message(WithReason(msg::kImportStopped, WorkbookReason(r.error)), msg::kInfo);
  if (r.truncated) {
    // A new Document takes as many rows as a Document holds; rows added to one stop
    // where it is full.
    if (!options.append) {
      ctx_.ui.Message(msg::kImportTooManyRows, msg::kInfo);
    } else if (r.segments == 0) {
      ctx_.ui.Message(msg::kDocumentFull, msg::kInfo);
    } else {
      std::string text(msg::kAddTooManyRows);
      text.replace(text.find("%d"), 2, std::to_string(r.segments));
      ctx_.ui.Message(text, msg::kInfo);
    }
  }
  if (r.stopped_at_row > 0) {
    std::string text(msg::kImportStoppedAtEmptyCell);
    text.replace(text.find("%d"), 2, std::to_string(r.segments));
    text.replace(text.find("%d"), 2, std::to_string(r.stopped_at_row));
    ctx_.ui.Message(text, msg::kInfo);
  }
  // Every other row cut, changed or left out, by its row number in the sheet; characters
  // the printer lacks are said once more in the words of the older message.
  std::vector<RowReport> listed;
  for (const RowReport& report : r.reports)
    if (report.note != RowNote::kEndedList && report.note != RowNote::kTooManyRows)
      listed.push_back(report);
  std::string list = ImportReportText(listed);
  if (r.replaced > 0) list = std::string(msg::kImportReplaced) + (list.empty() ? "" : "\n" + list);
  if (!list.empty()) ctx_.ui.Message(list, msg::kInfo);
}

}  // namespace qx
