// The editor's window with a long document, driven as the operator drives it: the window
// opened with the document, a click on a row, End and Home in the list, a key in the line
// editor, 存段, 删段 of the first Segment and its undo, 保存, the job preview and the print
// dialog shown. Each at 1,000, 10,000 and 65,535 Segments; the time is the wall time until
// the window has handled the event and drawn what changed.
//
// Run it on a real X server under a window manager, where every round trip to the server
// is real: `scripts/under-wm build/bench/qx_editor_bench`. Without a display it runs
// offscreen (the figures then leave out the X server). The memory the process holds with
// the document open is the counter rss_MB of the open benchmark, and once the job preview
// has closed rss_after_MB of the preview benchmark.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window_model.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "bench_support.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "long_document.h"

namespace {

using Clock = std::chrono::steady_clock;

// The window's own Ui, except that a message is counted instead of waiting for the
// operator (a benchmark that meets one stops with it).
class BenchUi : public qx::QtUi {
 public:
  std::string message;
  void Message(std::string_view text, std::string_view) override { message = text; }
};

// The resident memory of this process, in MB.
double ResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

// The editor with a document of `segments` Segments open, as the program builds it.
struct Editor {
  int segments;
  BenchUi ui;
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::MainWindowModel model{ui, std::make_unique<qx::SqliteRowStore>(), measure_canvas,
                            glyph_canvas};
  std::unique_ptr<qx::MainWindow> window;
  bool exposed = false;

  explicit Editor(int count) : segments(count) {
    const std::filesystem::path dir = qx::bench::BenchDir() / "editor";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / "TL.$$$");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    model.Start(screen.width(), screen.height(), dir, dir / "TL.$$$");
    window = std::make_unique<qx::MainWindow>(model, ui);
    ui.SetParent(window.get());
    window->show();
    model.OnActivated();
    Run([&] { model.OpenGivenFile(qx::bench::LongDocument(count)); });
    window->Refresh();
    exposed = QTest::qWaitForWindowExposed(window.get());
    QApplication::processEvents();
  }
  ~Editor() {
    window.reset();
    std::filesystem::remove(qx::bench::BenchDir() / "editor" / "TL.$$$");
  }

  // One event as the program runs it, and what it leaves to draw.
  template <typename F>
  void Run(F&& event) {
    model.Run(event);
    QApplication::processEvents();
  }
  QWidget* Widget(qx::Control c) { return window->Widget(c); }
  QTableView* List() { return static_cast<QTableView*>(Widget(qx::Control::SegmentGrid)); }
  void Click(qx::Control button) {
    Run([&] { QTest::mouseClick(static_cast<QAbstractButton*>(Widget(button)), Qt::LeftButton); });
  }
  void Key(QWidget* to, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Run([&] { QTest::keyClick(to, key, mods); });
  }
  // Clicks `button`, whose dialog shows; the time until it is shown and drawn, after
  // which it is closed.
  double SecondsUntilDialogShown(qx::Control button) {
    double seconds = -1;
    const Clock::time_point start = Clock::now();
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      const bool shown = dialog && QTest::qWaitForWindowExposed(dialog);
      QApplication::processEvents();
      if (shown) seconds = std::chrono::duration<double>(Clock::now() - start).count();
      if (dialog) dialog->close();
    });
    Click(button);
    return seconds;
  }
};

// One editor at a time: the one of the size the last benchmark asked for.
std::unique_ptr<Editor>& Current() {
  static std::unique_ptr<Editor> editor;
  return editor;
}
Editor& EditorOf(int segments) {
  std::unique_ptr<Editor>& e = Current();
  if (!e || e->segments != segments) {
    e.reset();
    malloc_trim(0);
    e = std::make_unique<Editor>(segments);
  }
  return *e;
}

template <typename F>
double Seconds(F&& f) {
  const Clock::time_point start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool ReportMessage(benchmark::State& state, Editor& e) {
  if (e.ui.message.empty()) return false;
  state.SkipWithError(("the editor said: " + e.ui.message).c_str());
  return true;
}

void BM_OpenWindowWithDocument(benchmark::State& state) {
  const int segments = static_cast<int>(state.range(0));
  qx::bench::LongDocument(segments);  // written before the clock runs
  double rss = 0;
  for (auto _ : state) {
    Current().reset();
    malloc_trim(0);
    std::unique_ptr<Editor> e;
    state.SetIterationTime(Seconds([&] { e = std::make_unique<Editor>(segments); }));
    rss = ResidentMb();
    if (ReportMessage(state, *e)) break;
    if (!e->exposed || e->model.table().RowCount() != segments) {
      state.SkipWithError("the document did not open whole");
      break;
    }
    Current() = std::move(e);
  }
  state.counters["rss_MB"] = rss;
}

void BM_ClickARow(benchmark::State& state) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  QTableView* list = e.List();
  int row = 2;
  for (auto _ : state) {
    const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
    state.SetIterationTime(
        Seconds([&] { e.Run([&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at); }); }));
    row = row == 2 ? 4 : 2;
  }
  if (e.model.table().Position() != 3 && e.model.table().Position() != 5)
    state.SkipWithError("the click did not choose the row");
}

void BM_EndOrHomeInTheList(benchmark::State& state) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  QTableView* list = e.List();
  e.Run([&] { list->setFocus(); });
  bool end = true;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { e.Key(list, end ? Qt::Key_End : Qt::Key_Home); }));
    const int expected = end ? e.segments : 1;
    if (e.model.table().Position() != expected) {
      state.SkipWithError("End or Home did not reach the last or the first Segment");
      break;
    }
    end = !end;
  }
}

void BM_KeyInTheLineEditor(benchmark::State& state) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  auto* line = static_cast<QLineEdit*>(e.Widget(qx::Control::UpperLine));
  e.Run([&] { QTest::mouseClick(line, Qt::LeftButton); });
  e.Key(line, Qt::Key_End);
  bool type = true;
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { e.Key(line, type ? Qt::Key_A : Qt::Key_Backspace); }));
    type = !type;
  }
  if (!type) e.Key(line, Qt::Key_Backspace);
  ReportMessage(state, e);
}

// A click on `button`, timed until the window has handled it.
void TimeClicks(benchmark::State& state, qx::Control button) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.SetIterationTime(Seconds([&] { e.Click(button); }));
    if (ReportMessage(state, e)) break;
  }
}

void BM_StoreSegment(benchmark::State& state) { TimeClicks(state, qx::Control::StoreButton); }
void BM_Save(benchmark::State& state) { TimeClicks(state, qx::Control::SaveButton); }

// 删段 of Segment 1, which moves every other Segment up, then Ctrl+Z.
void BM_DeleteFirstSegmentThenUndo(benchmark::State& state) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  auto* line = static_cast<QLineEdit*>(e.Widget(qx::Control::UpperLine));
  for (auto _ : state) {
    e.Click(qx::Control::FirstButton);
    state.SetIterationTime(Seconds([&] {
      e.Click(qx::Control::DeleteButton);
      e.Key(line, Qt::Key_Z, Qt::ControlModifier);
    }));
    if (ReportMessage(state, e)) break;
    if (e.model.table().RowCount() != e.segments) {
      state.SkipWithError("the undo did not bring the Segment back");
      break;
    }
  }
}

// A click on `button`, timed until the dialog it opens (`what`) is shown and drawn.
void TimeDialog(benchmark::State& state, qx::Control button, const char* what) {
  Editor& e = EditorOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const double s = e.SecondsUntilDialogShown(button);
    if (ReportMessage(state, e)) break;
    if (s < 0) {
      state.SkipWithError((std::string(what) + " did not show").c_str());
      break;
    }
    state.SetIterationTime(s);
  }
}

void BM_JobPreviewShown(benchmark::State& state) {
  TimeDialog(state, qx::Control::PreviewButton, "the job preview");
  state.counters["rss_after_MB"] = ResidentMb();  // once the preview has closed
}

void BM_PrintDialogShown(benchmark::State& state) {
  TimeDialog(state, qx::Control::PrintButton, "the print dialog");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::AddCustomContext("qt_platform", QGuiApplication::platformName().toStdString());
  benchmark::AddCustomContext("window_manager", qEnvironmentVariableIsSet("QX_UNDER_WM") ? "openbox" : "none");
  // Size by size, so that one document is open at a time.
  for (const int segments : {1000, 10000, 65535}) {
    const auto add = [segments](const char* name, void (*f)(benchmark::State&)) {
      return benchmark::RegisterBenchmark(name, f)
          ->Arg(segments)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    };
    add("BM_OpenWindowWithDocument", BM_OpenWindowWithDocument)->Iterations(2);
    add("BM_ClickARow", BM_ClickARow);
    add("BM_EndOrHomeInTheList", BM_EndOrHomeInTheList);
    add("BM_KeyInTheLineEditor", BM_KeyInTheLineEditor);
    add("BM_StoreSegment", BM_StoreSegment);
    add("BM_DeleteFirstSegmentThenUndo", BM_DeleteFirstSegmentThenUndo);
    add("BM_Save", BM_Save);
    add("BM_JobPreviewShown", BM_JobPreviewShown)->Iterations(3);
    add("BM_PrintDialogShown", BM_PrintDialogShown)->Iterations(3);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Current().reset();
  benchmark::Shutdown();
  return 0;
}
