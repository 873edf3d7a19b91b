// One keystroke in the upper line editor in the worst case: size 7 (the largest glyphs),
// a 99-byte line measured whole with the key's byte (automatic length),
// through the window model as the window sends it, followed by the Segment preview the
// window then shows. Cold: a new window whose measurer and glyph renderer have never
// drawn the face at that size (the line was put in without measuring it). Warm: the same
// keystroke again on the same window.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "headless_ui.h"
#include "layout/freetype_canvas.h"

namespace {

// 99 GBK bytes: wire numbers with Chinese text, as cabinet lists have them.
std::string NinetyNineBytes() {
  std::string line;
  while (line.size() < 96) line += "A1" + qx::gbk::Encode("柜");
  return line + "X-Y";
}

struct Window {
  qx::bench::HeadlessUi ui;
  qx::FreeTypeCanvas measure_canvas, glyph_canvas{192, 96};
  qx::MainWindowModel model{ui, std::make_unique<qx::MemoryRowStore>(), measure_canvas,
                            glyph_canvas};

  std::string line;

  explicit Window(const std::filesystem::path& dir, std::string text = NinetyNineBytes())
      : line(std::move(text)) {
    model.Start(1024, 768, dir, dir / "TL.$$$");
    model.OnActivated();
    model.PickSelector(qx::Control::MaterialSelector, 2);  // "贴纸 12mm" takes size 7
    model.PickSelector(qx::Control::SizeSelector, 7);      // "7 号"
    // Automatic length: the line takes what it needs, so every byte is measured.
    model.table().Edit();
    model.table().SetInt(qx::kLengthColumn, 0);
    model.property_editors().OnLengthEditLeft();
    if (model.table().Int(qx::kLengthColumn) != 0 ||
        qx::gbk::ToUtf8(model.table().Text(qx::kSizeColumn)) != "7 号")
      throw std::runtime_error("the Segment is not at size 7 with automatic length");
    Reset();
  }
  // The key, and the preview the window draws after it. At size 7 no 100-byte line fits
  // the longest automatic length, so the key is measured against the whole line and
  // refused with a message: the most a keystroke ever measures.
  void Keystroke() {
    model.Run([&] { model.line_editors().TypeText(qx::Control::UpperLine, "9"); });
    benchmark::DoNotOptimize(model.preview().Make());
  }
  // The line as before the key, to be measured whole again.
  void Reset() {
    model.line_editors().PressBackspace(qx::Control::UpperLine);
    model.line_editors().SetLineText(qx::Control::UpperLine, line, false);
    model.line_editors().SetCaret(qx::Control::UpperLine, static_cast<int>(line.size()));
  }
  bool Measured() const { return ui.messages > 0; }
};

std::filesystem::path BenchDir() {
  const auto dir = std::filesystem::temp_directory_path() / "qx-keystroke-bench";
  std::filesystem::create_directories(dir);
  return dir;
}

// The longest start of the 99-byte line the key still fits after at size 7: the key is
// taken and the preview draws the whole item, the longest there is.
const std::string& LongestFittingLine() {
  static const std::string line = [] {
    std::string text = NinetyNineBytes();
    while (!text.empty()) {
      text.resize(qx::gbk::PrevCharStart(text, text.size()));
      Window w(BenchDir(), text);
      w.Keystroke();
      if (!w.Measured()) return text;
    }
    return text;
  }();
  return line;
}

void KeystrokeCold(benchmark::State& state, const std::string& line) {
  const auto dir = BenchDir();
  bool measured = true;
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>(dir, line);
    state.ResumeTiming();
    w->Keystroke();
    state.PauseTiming();
    measured &= w->Measured() == (line.size() == 99);
    w.reset();
    state.ResumeTiming();
  }
  if (!measured) state.SkipWithError("the key was not taken or refused as expected");
  state.counters["bytes"] = static_cast<double>(line.size() + 1);
}

void KeystrokeWarm(benchmark::State& state, const std::string& line) {
  Window w(BenchDir(), line);
  w.Keystroke();
  for (auto _ : state) {
    state.PauseTiming();
    w.Reset();
    w.ui.messages = 0;
    state.ResumeTiming();
    w.Keystroke();
  }
  if (w.Measured() != (line.size() == 99))
    state.SkipWithError("the key was not taken or refused as expected");
  state.counters["bytes"] = static_cast<double>(line.size() + 1);
}

void BM_KeystrokeSize7FullLine_Cold(benchmark::State& s) { KeystrokeCold(s, NinetyNineBytes()); }
void BM_KeystrokeSize7FullLine_Warm(benchmark::State& s) { KeystrokeWarm(s, NinetyNineBytes()); }
void BM_KeystrokeSize7LongestItem_Cold(benchmark::State& s) {
  KeystrokeCold(s, LongestFittingLine());
}
void BM_KeystrokeSize7LongestItem_Warm(benchmark::State& s) {
  KeystrokeWarm(s, LongestFittingLine());
}
BENCHMARK(BM_KeystrokeSize7FullLine_Cold)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KeystrokeSize7FullLine_Warm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeSize7LongestItem_Cold)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KeystrokeSize7LongestItem_Warm)->Unit(benchmark::kMillisecond);

}  // namespace
