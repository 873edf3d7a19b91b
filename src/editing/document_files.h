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

#include "editing/editing_context.h"

namespace qx {

class DocumentFiles {
 public:
  explicit DocumentFiles(EditingContext& ctx) : ctx_(ctx) {}

  // Starts an empty Document in `working_table`, or restores the table left there by a
  // run that did not end, when `offer_restore` and the operator agrees.
  void StartSession(std::filesystem::path working_table, bool offer_restore);
  // A new, empty Document with the window's controls in their starting states.
  void StartNewDocument();

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

 private:
  enum class GiveUp { kOpen, kNew, kExit, kImport };
  void RestoreLeftover();
  bool GiveUpDocument(GiveUp command);  // true when the command may go on
  bool WriteAndDrop(const std::filesystem::path& file);
  bool LoadDocument(const std::filesystem::path* given = nullptr);
  void OpenDocument(const std::filesystem::path* given);
  void SaveDocument(bool ask);
  void ImportExcel();
  void DropWorkingTable();
  FileDialog DocumentDialog(bool save) const;

  EditingContext& ctx_;
};

}  // namespace qx
