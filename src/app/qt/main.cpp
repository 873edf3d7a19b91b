// QX Editor: the wire-marker editor window.
//
//   qx-editor [DOC.kel] [--screenshot FILE] [--screenshot-dialog print|serial|symbols FILE]
//             [--open-dialog print|serial|symbols]
// A document file given (as the desktop does when one is opened with the editor) is opened
// at start, with the open command's checks and messages.
// With --screenshot the window is drawn once into FILE (PNG) and the program exits. With
// --screenshot-dialog the button of that dialog (print, serial number, symbols) is pressed
// on a small Document, the dialog is drawn into FILE, cancelled, and the program exits.
// Either way the Document typed for the picture is given up without the save question.
// With --open-dialog the button of that dialog is pressed once the window is up, and the
// editor goes on as usual (for trying a dialog, or testing it under a window manager).
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/data_directory.h"
#include "app/main_window_model.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"
#include "app/recent_files.h"
#include "device/printers.h"
#include "device/shared/shared_printer_list.h"
#include "device/shared/shared_printers.h"
#include "document/sqlite_store.h"
#include "document/working_table.h"
#include "editing/messages.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"

namespace {

// Every event of the window runs through the model's guard: a failure of the working
// table stops that one step and is told, and the editor goes on.
class EditorApplication : public QApplication {
 public:
  using QApplication::QApplication;
  qx::MainWindowModel* model = nullptr;

  bool notify(QObject* receiver, QEvent* event) override {
    if (!model) return QApplication::notify(receiver, event);
    bool handled = false;
    model->Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
  }
};

// Where the window was and how large, kept beside the recent files
// (~/.config/qx-editor/window.conf); a picture run neither reads nor writes it.
QString PlacementFile() {
  const std::filesystem::path recent = qx::RecentFilesPath();
  return recent.empty() ? QString()
                        : QString::fromStdString((recent.parent_path() / "window.conf").string());
}

void RestorePlacement(qx::MainWindow& window, const QRect& available) {
  const qx::ScreenRect area{available.x(), available.y(), available.width(), available.height()};
  const QString file = PlacementFile();
  if (file.isEmpty()) return window.PlaceOnScreen(area, nullptr, 0, 0, true);
  QSettings s(file, QSettings::IniFormat);
  const QRect frame = s.value(QStringLiteral("window/frame")).toRect();
  const QSize size = s.value(QStringLiteral("window/size")).toSize();
  const bool maximized = s.value(QStringLiteral("window/maximized"), true).toBool();
  const qx::ScreenRect saved{frame.x(), frame.y(), frame.width(), frame.height()};
  window.PlaceOnScreen(area, frame.isValid() && size.isValid() ? &saved : nullptr, size.width(),
                       size.height(), maximized);
}

void SavePlacement(const qx::MainWindow& window) {
  const QString file = PlacementFile();
  if (file.isEmpty()) return;
  QSettings s(file, QSettings::IniFormat);
  s.setValue(QStringLiteral("window/maximized"), window.isMaximized());
  // The place the window returns to when it is no longer maximised.
  if (!window.isMaximized()) {
    s.setValue(QStringLiteral("window/frame"), window.frameGeometry());
    s.setValue(QStringLiteral("window/size"), window.size());
  }
}

}  // namespace

int main(int argc, char** argv) {
  EditorApplication app(argc, argv);
  QApplication::setApplicationName(qx::Q(qx::msg::kApplicationTitle));
  QApplication::setFont(qx::WindowFont());
  // The editor speaks Chinese whatever the locale: so do Qt's own dialogs.
  if (!qx::InstallChineseQtTexts(app))
    std::fprintf(stderr, "qx-editor: Qt's Chinese translations are not installed\n");
  QString screenshot, dialog_shot, dialog_kind, open_dialog, document;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--screenshot") && i + 1 < args.size()) {
      screenshot = args[++i];
    } else if (args[i] == QStringLiteral("--screenshot-dialog") && i + 2 < args.size()) {
      dialog_kind = args[++i];
      dialog_shot = args[++i];
    } else if (args[i] == QStringLiteral("--open-dialog") && i + 1 < args.size()) {
      open_dialog = args[++i];
    } else if (!args[i].startsWith(QStringLiteral("--"))) {
      document = args[i];
    }
  }
  const bool shooting = !screenshot.isEmpty() || !dialog_shot.isEmpty();

  try {
    // The working table: in the per-user state folder, or, when that cannot be written,
    // in a private folder of this run (the operator is told that crash recovery is off).
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path fallback =
        runtime && *runtime == '/' ? std::filesystem::path(runtime)
                                   : std::filesystem::temp_directory_path();
    qx::SlotChoice choice = qx::AcquireSlot(qx::StateDirectoryPath(), fallback);
    const qx::WorkingTableSlot& slot = choice.slot;
    qx::WorkingTableStart start(slot.table_path(), slot.has_leftover() && !shooting);
    start.state_folder = qx::StateDirectoryPath();
    if (!choice.problem.empty())
      std::fprintf(stderr, "qx-editor: state folder %s not used: %s\n",
                   start.state_folder.c_str(), choice.problem.c_str());
    if (!shooting) {
      start.damaged_kept_as = slot.damaged_kept_as();
      start.salvaged_rows = slot.salvaged_rows();
      start.storage_problem = choice.problem;
    }
    // Help, samples and the font table: beside the program, or in ../share/qx-editor.
    const std::filesystem::path data =
        qx::DataDirectory(QCoreApplication::applicationDirPath().toStdString());
    qx::FontResolver::SetAliasFile(data / "qx-font-aliases.conf");
    qx::FontResolver::Shared();
    qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
    qx::QtUi ui;
    qx::MainWindowModel model(ui, std::make_unique<qx::SqliteRowStore>(), measure_canvas,
                              glyph_canvas);
    model.context().documents_dir =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    model.context().home_dir = QDir::homePath().toStdString();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    model.Start(screen.width(), screen.height(), data, start);
    if (!shooting) model.recent_files().SetStorage(qx::RecentFilesPath());
    app.model = &model;
    // Unhooked before the model goes, the window (declared after this) before that.
    struct Unhook {
      EditorApplication& app;
      ~Unhook() { app.model = nullptr; }
    } unhook{app};
    ui.SetJobTimerHandler([&model] { model.printing().OnJobTimer(); });
    // The printers: those on USB, and the virtual ones QX_VIRTUAL_PRINTERS asks for.
    qx::SteadyClock clock;
    std::unique_ptr<qx::PrinterTransports> printers = qx::MakePrinterTransports(clock);
    if (!printers->error().empty())
      std::fprintf(stderr, "qx-editor: %s\n", printers->error().c_str());
    model.printing().SetTransport(printers->transport());
    // And the printers printer applications share, on this machine and the network: found
    // beside the window, printed to over IPP.
    qx::BackgroundSharedPrinters shared_printers(
        [search = qx::SharedPrinterSearchFromEnvironment()] {
          return qx::FindSharedPrinters(search);
        });
    std::unique_ptr<qx::SharedPrinterClient> ipp = qx::MakeIppClient();
    model.printing().SetSharedPrinters(shared_printers, *ipp);
    qx::MainWindow window(model, ui);
    ui.SetParent(&window);
    if (shooting) {
      window.resize(std::min(screen.width(), 1280), std::min(screen.height(), 800));
    } else {
      RestorePlacement(window, screen);
      QObject::connect(&app, &QApplication::aboutToQuit, &window,
                       [&window] { SavePlacement(window); });
    }
    window.show();
    model.OnActivated();
    // A file given on the command line is taken as a dropped one: a document opens, a
    // workbook or table goes through the import window.
    if (!document.isEmpty())
      model.Run([&] { model.OpenGivenFile(std::filesystem::path(document.toStdString())); });
    window.Refresh();
    // The button that shows a dialog, by the dialog's short name.
    auto press_dialog_button = [&window](const QString& kind) {
      const qx::Control button = kind == QStringLiteral("serial")    ? qx::Control::SerialButton
                                 : kind == QStringLiteral("symbols") ? qx::Control::SymbolButton
                                                                     : qx::Control::PrintButton;
      if (auto* b = qobject_cast<QAbstractButton*>(window.Widget(button)))
        b->click();  // returns when the dialog has closed
    };
    // A picture run: type two Segments, take the picture, leave without the save question.
    auto type_document = [&model] {
      model.line_editors().TypeText(qx::Control::UpperLine, "L1-A");
      model.line_editors().PressEnter(qx::Control::UpperLine);
      model.line_editors().TypeText(qx::Control::UpperLine, "端子");
    };
    auto leave = [&model, &window] {
      model.doc().file_state.DocModified = false;
      window.close();
    };
    if (!screenshot.isEmpty()) {
      QTimer::singleShot(300, &window, [&] {
        if (document.isEmpty()) type_document();
        QTimer::singleShot(200, &window, [&] {
          window.grab().save(screenshot);
          leave();
        });
      });
    } else if (!dialog_shot.isEmpty()) {
      QTimer::singleShot(300, &window, [&] {
        type_document();
        // The dialog is modal: it is drawn and cancelled from inside its own event loop.
        auto* poll = new QTimer(&window);
        poll->setInterval(50);
        QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
          auto* view = qobject_cast<QDialog*>(QApplication::activeModalWidget());
          if (!view || !view->isVisible()) return;
          poll->stop();
          QTimer::singleShot(200, view, [&, view] {
            view->grab().save(dialog_shot);
            view->reject();
          });
        });
        poll->start();
        press_dialog_button(dialog_kind);
        leave();
      });
    } else if (!open_dialog.isEmpty()) {
      QTimer::singleShot(0, &window, [&] { press_dialog_button(open_dialog); });
    }
    return app.exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx-editor: %s\n", e.what());
    return 1;
  }
}
