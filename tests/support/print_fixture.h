// What the printing tests share: a Document in memory, exact bar-glyph drawing, and a
// PrintHost on a fake clock that records what the job shows and lets a test act at a
// chosen moment (press stop, pull the cable).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/clock.h"
#include "device/print_job.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/segment.h"
#include "layout/image.h"
#include "support/bar_canvas.h"

namespace qx::testing {

class RecordingHost : public PrintHost {
 public:
  FakeClock clock;
  std::vector<std::string> messages;  // "caption|text"
  std::vector<std::string> events;    // enter, stop-enabled, end
  std::vector<std::pair<int, int>> progress;
  int ticks = 0;
  // Runs after every wait step; tests press stop or unplug from here.
  std::function<void()> on_wait;
  uint64_t time_limit_ms = 24ull * 3600 * 1000;

  void Message(std::string_view text, std::string_view caption) override {
    messages.push_back(std::string(caption) + "|" + std::string(text));
  }
  void PumpWait(uint32_t ms) override { Wait(ms); }
  void WaitTick() override {
    ++ticks;
    Wait(50);
  }
  void EnterPrintingState() override { events.emplace_back("enter"); }
  void EnableStop() override { events.emplace_back("stop-enabled"); }
  void EndOfJob() override { events.emplace_back("end"); }
  void Progress(int done, int total) override { progress.emplace_back(done, total); }

  // The texts shown, without their captions, then forgotten.
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const std::string& m : messages) out.push_back(m.substr(m.find('|') + 1));
    messages.clear();
    return out;
  }

 private:
  void Wait(uint32_t ms) {
    clock.Advance(ms);
    if (clock.NowMs() > time_limit_ms) throw std::runtime_error("the job never ended");
    if (on_wait) on_wait();
  }
};

// A Segment as a test states it (UTF-8 texts).
struct TestSegment {
  std::string upper_text = {};
  std::string lower_text = {};
  int length_mm = 25;
  int repeat = 1;
  std::string serial = "无序号";
  std::string first = {}, last = {};  // as stored: "8", "10", "a", "c"
  std::string size = "4 号";
};

// A Document in memory, drawn with bar glyphs of known widths.
class PrintDocument {
 public:
  PrintDocument() : table(std::make_unique<MemoryRowStore>()), measurer(measure_canvas),
                    builder(glyph_canvas, measurer) {
    measure_canvas.widths = glyph_canvas.widths = {{'A', 12}, {'W', 40}, {'i', 4}};
    table.Bind("print test");
    table.Create();
    table.Open();
    builder.renderer().SelectFont("黑体", false);
  }

  void Add(const TestSegment& s) {
    table.Append();
    table.SetInt(kNumberColumn, table.Position());
    table.SetText(kUpperLineColumn, gbk::FromUtf8(s.upper_text).gbk);
    table.SetText(kLowerLineColumn, gbk::FromUtf8(s.lower_text).gbk);
    table.SetInt(kLengthColumn, s.length_mm);
    table.SetText(kSizeColumn, gbk::FromUtf8(s.size).gbk);
    table.SetText(kOrientationColumn, gbk::FromUtf8("横向").gbk);
    table.SetText(kDecorationColumn, gbk::FromUtf8("取消修饰").gbk);
    table.SetInt(kRepeatColumn, s.repeat);
    table.SetText(kSerialTypeColumn, gbk::FromUtf8(s.serial).gbk);
    if (s.serial != "无序号") {
      table.SetText(kSerialFirstColumn, s.first);
      table.SetText(kSerialLastColumn, s.last);
    }
    table.Store();
  }

  JobDocument Job(uint8_t density = 4) { return {table, file_state, measurer, builder, density}; }

  SegmentTable table;
  DocumentFileState file_state;
  BarCanvas measure_canvas, glyph_canvas;
  GlyphMeasurer measurer;
  ImageBuilder builder;
};

}  // namespace qx::testing
