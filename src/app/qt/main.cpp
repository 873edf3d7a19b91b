// QX Editor: the wire-marker editor window.
//
//   qx-editor [--screenshot FILE]
// With --screenshot the window is drawn once into FILE (PNG) and the program exits.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/main_form.h"
#include "app/messages.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "document/sqlite_store.h"
#include "device/printers.h"
#include "document/working_table.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(qx::Q(qx::msg::kApplicationTitle));
  QString screenshot;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i + 1 < args.size(); ++i)
    if (args[i] == QStringLiteral("--screenshot")) screenshot = args[i + 1];

  try {
    qx::WorkingTableSlot slot = qx::WorkingTableSlot::Acquire(qx::StateDirectory());
    qx::FontResolver::Shared();
    qx::FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
    qx::QtUi ui;
    qx::TPrintForm form(ui, std::make_unique<qx::SqliteRowStore>(), measure_canvas, glyph_canvas);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    form.FormCreate(screen.width(), screen.height(),
                    QCoreApplication::applicationDirPath().toStdString(), slot.table_path(),
                    slot.has_leftover() && screenshot.isEmpty());
    ui.SetTimer1Handler([&form] { form.Timer1Timer(); });
    // The printers: those on USB, and the virtual ones QX_VIRTUAL_PRINTERS asks for.
    qx::SteadyClock clock;
    std::unique_ptr<qx::PrinterTransports> printers = qx::MakePrinterTransports(clock);
    if (!printers->error().empty()) std::fprintf(stderr, "qx-editor: %s\n", printers->error().c_str());
    form.SetTransport(printers->transport());
    qx::MainWindow window(form, ui);
    ui.SetParent(&window);
    window.setMaximumSize(form.layout().max_width, form.layout().max_height);
    window.resize(std::min(screen.width(), 1280), std::min(screen.height(), 800));
    window.show();
    form.FormActivate();
    window.Refresh();
    if (!screenshot.isEmpty()) {
      QTimer::singleShot(300, &window, [&] {
        form.TypeText(qx::Ctl::FlinEdit, "L1-A");
        form.PressEnter(qx::Ctl::FlinEdit);
        form.TypeText(qx::Ctl::FlinEdit, "端子");
        QTimer::singleShot(200, &window, [&] {
          window.grab().save(screenshot);
          window.close();
        });
      });
    }
    return app.exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx-editor: %s\n", e.what());
    return 1;
  }
}
