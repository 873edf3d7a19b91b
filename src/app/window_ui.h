// What the main window asks of the desktop beyond the editing parts' Ui: showing its dialogs
// modally. The Qt window implements it with real dialogs; tests script it.
#pragma once

#include "editing/ui.h"

namespace qx {

class ImportWindow;
class JobPreviewWindow;
class PrintDialog;
class SerialNumberDialog;
class SymbolPicker;

class WindowUi : public Ui {
 public:
  // Shows the serial-number dialog modally and returns its result (SerialNumberDialog::kResult...).
  virtual int ShowSerialDialog(SerialNumberDialog& dialog) = 0;
  // Shows the symbol picker modally until it is closed.
  virtual int ShowSymbolPicker(SymbolPicker& picker) = 0;
  // Shows the print dialog modally and returns its result (PrintDialog::kResultOk to go on).
  virtual int ShowPrintDialog(PrintDialog& dialog) = 0;
  // Shows the import window modally; ImportWindow::kResultImport when the operator confirmed.
  virtual int ShowImportWindow(ImportWindow& window) = 0;
  // Shows the job preview modally until it is closed.
  virtual void ShowJobPreview(JobPreviewWindow& window) = 0;
  // Shows a help page (HTML beside the program) in the program's own help window, for
  // when the desktop has no viewer for it. Returns at once; the window stays open.
  virtual void ShowHelp(const std::filesystem::path& page) = 0;
};

}  // namespace qx
