#include "app/qt/qt_ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <chrono>
#include <thread>

#include "app/qt/help_view.h"
#include "app/qt/job_preview_view.h"
#include "app/qt/print_dialog_view.h"
#include "app/qt/import_window_view.h"
#include "app/qt/serial_dialog_view.h"
#include "app/qt/symbol_picker_view.h"

namespace qx {

// Every box and dialog belongs to the window that raised it: the modal dialog in front
// (the serial-number dialog refusing a value, the print dialog asking) or else the main
// window. A window manager keeps a dialog above the window it belongs to, so a message is
// never hidden behind the dialog that raised it.
QWidget* QtUi::Owner() const {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : parent_;
}

void QtUi::Message(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, Owner());
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

bool QtUi::Ask(std::string_view text, std::string_view caption, std::string_view yes,
               std::string_view no) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::NoButton, Owner());
  QPushButton* first = box.addButton(Q(yes), QMessageBox::YesRole);
  box.addButton(Q(no), QMessageBox::NoRole);
  box.setDefaultButton(first);
  box.exec();
  return box.clickedButton() == first;
}

Answer QtUi::AskYesNo(std::string_view text, std::string_view caption, bool with_cancel) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::NoButton, Owner());
  QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
  // With 取消, Escape and the box's close button answer it: the question is backed out of.
  if (with_cancel) box.setEscapeButton(box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
  box.setDefaultButton(yes);
  box.exec();
  if (box.clickedButton() == yes) return Answer::kYes;
  if (box.clickedButton() == no) return Answer::kNo;
  return with_cancel ? Answer::kCancel : Answer::kNo;
}

namespace {

// "Lable File [*.kel]|*.kel" -> "Lable File [*.kel] (*.kel)".
QString QtFilter(const std::string& filter) {
  const auto bar = filter.find('|');
  if (bar == std::string::npos) return Q(filter);
  QString patterns = Q(filter.substr(bar + 1));
  patterns.replace(';', ' ');
  return Q(filter.substr(0, bar)) + QStringLiteral(" (") + patterns + QStringLiteral(")");
}

std::optional<std::filesystem::path> RunDialog(QWidget* parent, const FileDialog& d, bool save) {
  QFileDialog dialog(parent, Q(d.title), QString::fromStdString(d.folder.string()),
                     QtFilter(d.filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(Q(d.default_suffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace

std::optional<std::filesystem::path> QtUi::OpenFile(const FileDialog& d) {
  return RunDialog(Owner(), d, false);
}

std::optional<std::filesystem::path> QtUi::SaveFile(const FileDialog& d) {
  return RunDialog(Owner(), d, true);
}

void QtUi::Beep() {
  QApplication::beep();
}

bool QtUi::OpenWithDesktop(const std::filesystem::path& file) {
  const QString path = QString::fromStdString(file.string());
  // xdg-open hands the file to the desktop's viewer and says by its exit status whether
  // there was one; Qt's own launcher only says whether a launcher started. A viewer that
  // runs in xdg-open's foreground is left running once it has had time to fail.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  auto* process = new QProcess(qApp);
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start(opener, {path});
  constexpr int kViewerStartMs = 2000;
  if (!process->waitForStarted(kViewerStartMs)) {
    delete process;
    return false;
  }
  if (!process->waitForFinished(kViewerStartMs)) {
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return true;
  }
  const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
  delete process;
  return opened;
}

void QtUi::ShowHelp(const std::filesystem::path& page) {
  if (!help_) {
    help_ = new HelpView(parent_);
    help_->setAttribute(Qt::WA_DeleteOnClose);
  }
  help_->Open(page);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

int QtUi::ShowPrintDialog(PrintDialog& dialog) {
  PrintDialogView view(dialog, Owner());
  return view.Run();
}

void QtUi::ShowJobPreview(JobPreviewWindow& window) {
  // Over the print dialog when it asked for the preview, else over the main window.
  JobPreviewView view(window, Owner());
  view.Run();
}

int QtUi::ShowSerialDialog(SerialNumberDialog& dialog) {
  SerialDialogView view(dialog, Owner());
  return view.Run();
}

int QtUi::ShowImportWindow(ImportWindow& window) {
  ImportWindowView view(window, Owner());
  return view.Run();
}

int QtUi::ShowSymbolPicker(SymbolPicker& picker) {
  SymbolPickerView view(picker, Owner());
  return view.Run();
}

uint64_t QtUi::NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void QtUi::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  // The waits poll the clock; a short sleep keeps them from spinning a core.
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void QtUi::StartJobTimer(uint32_t ms) {
  QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, [this] {
    if (job_timer_handler_) job_timer_handler_();
  });
}

bool InstallChineseQtTexts(QCoreApplication& app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* texts = new QTranslator(&app);
  if (!texts->load(QStringLiteral("qtbase_zh_CN"), folder) &&
      !texts->load(QStringLiteral("qt_zh_CN"), folder)) {
    delete texts;
    return false;
  }
  return QCoreApplication::installTranslator(texts);
}

void CentreOnParent(QWidget& dialog) {
  if (!dialog.parentWidget()) return;
  dialog.adjustSize();
  const QRect p = dialog.parentWidget()->frameGeometry();
  dialog.move(p.center() - dialog.rect().center());
}

}  // namespace qx
