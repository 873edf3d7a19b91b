// MeasureGlyph per call: cold (every glyph rendered afresh from the outline), with the
// rendered glyph reused but the bitmap still drawn and scanned, and warm (the width
// remembered). Arguments: size code.
#include <benchmark/benchmark.h>

#include "layout/freetype_canvas.h"
#include "layout/measure.h"

namespace {

constexpr const char kChars[] = "L1-A23456789BCDEFGHJKWXYZ+/()abcdefgh";

void MeasureLoop(benchmark::State& state, bool glyph_cache, bool remember) {
  qx::FreeTypeCanvas canvas;
  canvas.SetGlyphCacheEnabled(glyph_cache);
  qx::GlyphMeasurer m(canvas);
  const auto code = static_cast<uint8_t>(state.range(0));
  std::size_t i = 0;
  for (auto _ : state) {
    const auto ch = static_cast<unsigned char>(kChars[i++ % (sizeof kChars - 1)]);
    benchmark::DoNotOptimize(remember ? m.MeasureGlyph(ch, code) : m.MeasureGlyphUncached(ch, code));
  }
}

void BM_MeasureGlyphCold(benchmark::State& s) { MeasureLoop(s, false, false); }
void BM_MeasureGlyphRenderedGlyphReused(benchmark::State& s) { MeasureLoop(s, true, false); }
void BM_MeasureGlyphWarm(benchmark::State& s) { MeasureLoop(s, true, true); }

BENCHMARK(BM_MeasureGlyphCold)->Arg(0)->Arg(4)->Arg(7);
BENCHMARK(BM_MeasureGlyphRenderedGlyphReused)->Arg(0)->Arg(4)->Arg(7);
BENCHMARK(BM_MeasureGlyphWarm)->Arg(0)->Arg(4)->Arg(7);

}  // namespace
