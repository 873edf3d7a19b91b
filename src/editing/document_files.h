// The Document's file commands: start-up (a new Document, or the working table a crashed
// run left behind), new, open, save, save as, the question before a changed Document is
// given up, the native export and the Excel import.
//
// Nothing here can lose work: a document file is replaced only once its new version is
// completely written, a failed write keeps the Document open and marked as changed, and
// cancelling a save dialog keeps the changed flag (and keeps the window open when it was
// the question before closing).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "document/excel_import.h"
#include "document/workbook.h"
#include "editing/editing_context.h"

namespace qx {

// What the program found when it took its working table.
struct WorkingTableStart {
  WorkingTableStart(std::filesystem::path t, bool offer = false)
      : table(std::move(t)), offer_restore(offer) {}
  std::filesystem::path table;  // the working table file
  bool offer_restore = false;   // it holds a table left by a run that did not end
  // A left table that could not be read whole: where it was kept, how many rows of it
  // the working table now holds.
  std::filesystem::path damaged_kept_as;
  int salvaged_rows = 0;
  // Why the per-user state folder could not be used (the table is in a fallback folder).
  std::filesystem::path state_folder;
  std::string storage_problem;
};

// Where a file dialog starts. Reading (open, import) starts in the folder used last, the
// installed samples the first time; writing (save, save as, export) in the folder used last
// when the file can be written there, else the user's documents folder, else the home
// folder. A writing dialog never starts in a folder the user cannot write into, such as
// the installed samples. Folders that do not exist are passed over; when none is left
// the result is empty (the desktop's default).
enum class DialogPurpose { kRead, kWrite };
enum class FolderState { kMissing, kReadOnly, kWritable };
struct DialogFolders {
  std::filesystem::path last_used, samples, documents, home;
};
std::filesystem::path StartingFolder(
    DialogPurpose purpose, const DialogFolders& folders,
    const std::function<FolderState(const std::filesystem::path&)>& state_of);
// What the file system says of `folder` for the current user.
FolderState FolderStateOf(const std::filesystem::path& folder);

class SheetRows;

// Why a workbook cannot be read, in the words of the import's messages.
std::string_view WorkbookReason(WorkbookError e);
// The rows an import cut, changed or left out, one line each (some are left out of a long
// list); empty when there are none.
std::string ImportReportText(const std::vector<RowReport>& reports);

class DocumentFiles {
 public:
  explicit DocumentFiles(EditingContext& ctx) : ctx_(ctx) {}

  // Starts an empty Document in the working table, or restores the table left there by a
  // run that did not end (rows, settings, file and changed flag) when the operator
  // agrees. A damaged left table and an unusable state folder are told first.
  void StartSession(const WorkingTableStart& start);
  // A new, empty Document with the window's controls in their starting states; in the
  // open working table (`in_open_table`) its rows are deleted, so that undo can put them
  // back, else the table is created anew.
  void StartNewDocument(bool in_open_table = false);

  void OnOpenButton();
  // Opens `file` as the open command does once the operator has chosen it (the file the
  // desktop hands the program on its command line).
  void OpenDocumentFile(const std::filesystem::path& file);
  void OnNewButton();
  void OnSaveButton();
  void OnSaveAsButton();
  bool SaveBeforeExit();  // true when the window may close
  void OnExportButton();
  void OnImportExcelButton();
  // Imports `workbook` as the import command does once the operator has chosen it (a file
  // dropped on the window, a recent file): the same question and checks, no file dialog.
  void ImportExcelFile(const std::filesystem::path& workbook);

  // The import in its three steps, for the import window between the second and the
  // third: the file chosen; opened (nullptr, the operator told why, when it cannot be);
  // its rows imported with the operator's choices, replacing the Document (after the save
  // question) or added after its last Segment. Nothing is given up before the third.
  std::optional<std::filesystem::path> ChooseImportFile();
  std::unique_ptr<Workbook> OpenImportSource(const std::filesystem::path& file);
  void ImportFromSource(const std::filesystem::path& file, Workbook& book,
                        const ImportOptions& options);
  // Text of several lines pasted as Segments: one a line, a tab between the upper and
  // the lower line, put after the current Segment by the import's rules (one step).
  void PasteRows(std::string_view utf8);
  // The Segments added rows follow (0 when the Document is empty).
  int SegmentsToFollow() const;
  // Called with each file a command used: a document file opened or saved, a workbook
  // imported (the window's list of recent files).
  void SetFileUsedHandler(std::function<void(const std::filesystem::path&)> f) {
    on_file_used_ = std::move(f);
  }

  // The folder the file dialogs started from last (empty before the first file). It is
  // kept in "last-folder" in the state folder, so that the next run starts there too.
  const std::filesystem::path& last_folder() const { return last_folder_; }

 private:
  enum class GiveUp { kOpen, kNew, kExit, kImport };
  void RestoreLeftover();
  // The question before a changed Document is given up: true when the command may go on
  // (the Document saved, or given up by 否). 取消, a cancelled save dialog or a failed save
  // leave the Document, its file, its history and the working table as they were.
  bool GiveUpDocument(GiveUp command);
  bool WriteGivenUp(const std::filesystem::path& file);
  // Checks the whole of `file` and reads its settings into `settings`: its row count, or
  // 0, the operator told why, when it cannot be opened as a Document. Nothing of it is
  // held: a long document is read again as it is loaded.
  int CheckDocument(const std::filesystem::path& file, DocumentSettings& settings);
  // The `rows` rows of the checked `file` and `settings` become the Document.
  void LoadDocument(const std::filesystem::path& file, int rows, const DocumentSettings& settings);
  void OpenDocument(const std::filesystem::path* given);
  void SaveDocument(bool ask);
  // Fills the new Document from the opened sheet and tells what was left out.
  void ImportRows(SheetRows& rows, const ImportOptions& options);
  void ImportFromExcel(const std::filesystem::path* given);
  void FileUsed(const std::filesystem::path& file) {
    if (on_file_used_) on_file_used_(file);
  }
  void DropWorkingTable();
  FileDialog DocumentDialog(bool save) const;
  std::filesystem::path DialogFolder(DialogPurpose purpose) const;
  void RememberFolderOf(const std::filesystem::path& file);

  EditingContext& ctx_;
  std::function<void(const std::filesystem::path&)> on_file_used_;
  std::filesystem::path last_folder_;
  std::filesystem::path last_folder_file_;
};

}  // namespace qx
