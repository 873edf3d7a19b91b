// GBK <-> UTF-8 of a typical 100-byte line.
#include <benchmark/benchmark.h>

#include "document/gbk.h"

namespace {

// 100 bytes of GBK: wire numbers, Chinese words, a marker and symbols.
std::string Line() {
  std::string s = qx::gbk::Encode("L1-A 配电柜2号 ±0.5℃ 电机M3-W1 ") + std::string(qx::gbk::kSerialMark);
  while (s.size() < 100) s += qx::gbk::Encode("端子X1");
  return std::string(qx::gbk::TruncateToBytes(s, 100));
}

void BM_GbkToUtf8Line(benchmark::State& state) {
  const std::string gbk = Line();
  for (auto _ : state) benchmark::DoNotOptimize(qx::gbk::ToUtf8(gbk));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gbk.size()));
}
BENCHMARK(BM_GbkToUtf8Line);

void BM_Utf8ToGbkLine(benchmark::State& state) {
  const std::string utf8 = qx::gbk::ToUtf8(Line());
  for (auto _ : state) benchmark::DoNotOptimize(qx::gbk::FromUtf8(utf8));
}
BENCHMARK(BM_Utf8ToGbkLine);

}  // namespace
