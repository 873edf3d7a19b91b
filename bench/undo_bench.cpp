// Undo and redo on a long Document: a change to 10,000 following Segments taken back and
// made again in the working table (SQLite), and what recording a typed character costs.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "headless_ui.h"
#include "layout/freetype_canvas.h"

namespace {

constexpr int kSegments = 10000;

// A window on `kSegments` stored Segments of 25 mm, the first one current.
struct LongDocument {
  qx::bench::HeadlessUi ui;
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::MainWindowModel model{ui, std::make_unique<qx::SqliteRowStore>(), measure_canvas,
                            glyph_canvas};

  explicit LongDocument(const std::filesystem::path& dir) {
    ui.yes = true;  // every question is answered yes
    model.Start(1024, 768, dir, dir / "TL.$$$");
    model.OnActivated();
    qx::SegmentTable& t = model.table();
    {
      qx::SegmentTable::Batch batch(t);
      for (int i = 0; i < kSegments; ++i) {
        if (i > 0) {
          t.Append();
          qx::FillNewSegment(t);
        }
        t.Edit();
        t.SetText(qx::kUpperLineColumn, "A" + std::to_string(i));
        t.SetInt(qx::kLengthColumn, 25);
        qx::StoreNumbered(t);
      }
      batch.Commit();
    }
    t.First();
    model.context().ShowCurrentRow();
    model.Run([] {});  // the history starts on these rows
  }
};

std::filesystem::path BenchDir() {
  const auto dir = std::filesystem::temp_directory_path() / "qx-undo-bench";
  std::filesystem::create_directories(dir);
  return dir;
}

// One change of the length of all 10,000 Segments, then undo and redo of it in turn.
void FollowingChangeUndoRedo(benchmark::State& state, bool time_redo) {
  LongDocument d(BenchDir());
  qx::MainWindowModel& m = d.model;
  m.Run([&] {
    m.table().Edit();
    m.table().SetInt(qx::kLengthColumn, 40);
    m.NameStep(qx::Control::FollowingLengthButton);
    m.following().OnFollowingLengthButton();
  });
  if (m.history().step_count() != 1 || m.table().RowCount() != kSegments)
    state.SkipWithError("the change to the following Segments was not one step");
  for (auto _ : state) {
    if (time_redo) state.PauseTiming();
    m.Run([&] { m.Undo(); });
    if (time_redo) state.ResumeTiming();
    if (!time_redo) state.PauseTiming();
    m.Run([&] { m.Redo(); });
    if (!time_redo) state.ResumeTiming();
  }
  m.table().Last();
  if (m.table().Int(qx::kLengthColumn) != 40) state.SkipWithError("redo did not restore");
  state.counters["history_MB"] = static_cast<double>(m.history().bytes()) / (1 << 20);
}

void BM_UndoFollowingChange10000(benchmark::State& s) { FollowingChangeUndoRedo(s, false); }
void BM_RedoFollowingChange10000(benchmark::State& s) { FollowingChangeUndoRedo(s, true); }
BENCHMARK(BM_UndoFollowingChange10000)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RedoFollowingChange10000)->Unit(benchmark::kMillisecond)->Iterations(10);

// What the history adds to one typed character: the state taken before and after the key
// and the step it merges into. The key itself is not timed.
void BM_RecordTypedCharacter(benchmark::State& state) {
  LongDocument d(BenchDir());
  qx::MainWindowModel& m = d.model;
  qx::UndoHistory& h = m.history();
  int typed = 0;
  for (auto _ : state) {
    if (++typed % 40 == 0) {
      state.PauseTiming();
      m.line_editors().SetLineText(qx::Control::UpperLine, "A", false);
      m.line_editors().SetCaret(qx::Control::UpperLine, 1);
      d.ui.now_ms += 10000;  // a pause: a new step
      state.ResumeTiming();
    }
    h.BeginStep();
    state.PauseTiming();
    m.line_editors().TypeText(qx::Control::UpperLine, "1");
    state.ResumeTiming();
    h.EndStep();
  }
  if (!h.CanUndo()) state.SkipWithError("the keys made no step");
}
BENCHMARK(BM_RecordTypedCharacter)->Unit(benchmark::kMicrosecond);

// The first key after a pause opens a step, which is written beside the working table
// (one durable SQLite write) before the next event.
void BM_RecordFirstKeyOfAStep(benchmark::State& state) {
  LongDocument d(BenchDir());
  qx::MainWindowModel& m = d.model;
  qx::UndoHistory& h = m.history();
  for (auto _ : state) {
    state.PauseTiming();
    m.line_editors().SetLineText(qx::Control::UpperLine, "A", false);
    m.line_editors().SetCaret(qx::Control::UpperLine, 1);
    d.ui.now_ms += 10000;
    state.ResumeTiming();
    h.BeginStep();
    state.PauseTiming();
    m.line_editors().TypeText(qx::Control::UpperLine, "1");
    state.ResumeTiming();
    h.EndStep();
  }
  if (!h.CanUndo()) state.SkipWithError("the keys made no step");
}
BENCHMARK(BM_RecordFirstKeyOfAStep)->Unit(benchmark::kMicrosecond);

}  // namespace
