// The Ui of the real window: Qt message boxes without icons, the desktop's viewer.
#pragma once

#include <QPointer>
#include <QCoreApplication>
#include <QWidget>
#include <functional>

#include "app/qt/help_view.h"
#include "app/window_ui.h"

namespace qx {

class QtUi : public WindowUi {
 public:
  explicit QtUi(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void Message(std::string_view text, std::string_view caption) override;
  bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
           std::string_view no) override;
  Answer AskYesNo(std::string_view text, std::string_view caption, bool with_cancel) override;
  std::optional<std::filesystem::path> OpenFile(const FileDialog& d) override;
  std::optional<std::filesystem::path> SaveFile(const FileDialog& d) override;
  void Beep() override;
  bool OpenWithDesktop(const std::filesystem::path& file) override;
  void ShowHelp(const std::filesystem::path& page) override;
  // The help window while it is open (it deletes itself when closed).
  HelpView* help_window() const { return help_; }
  int ShowPrintDialog(PrintDialog& dialog) override;
  void ShowJobPreview(JobPreviewWindow& window) override;
  int ShowImportWindow(ImportWindow& window) override;
  int ShowSerialDialog(SerialNumberDialog& dialog) override;
  int ShowSymbolPicker(SymbolPicker& picker) override;
  uint64_t NowMs() override;
  void ProcessEvents() override;
  void StartJobTimer(uint32_t ms) override;
  // What the job timer calls when it fires (the window's OnJobTimer).
  void SetJobTimerHandler(std::function<void()> f) { job_timer_handler_ = std::move(f); }

 protected:
  // What a box or dialog shown now belongs to: the modal dialog in front, else the window.
  QWidget* Owner() const;

 private:
  QWidget* parent_;
  std::function<void()> job_timer_handler_;
  QPointer<HelpView> help_;
};

// Qt's own texts (the file dialogs' buttons and columns, the standard buttons) in Chinese,
// from Qt's translations; false when they are not installed.
bool InstallChineseQtTexts(QCoreApplication& app);

// Sizes a dialog to its contents and centres it on its parent window.
void CentreOnParent(QWidget& dialog);

inline QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace qx
