// The print job's walk over the Document: tidying, the two orders, copies and ranges,
// serial texts and skipped items. Items go to a recording send step; no printer needed.
#include <gtest/gtest.h>

#include "device/print_job.h"
#include "support/print_fixture.h"

namespace qx {
namespace {

using testing::PrintDocument;
using testing::TestSegment;
using S = std::vector<std::string>;

// The serial placeholder as the operator sees it.
const std::string kSerialMark = gbk::ToUtf8(gbk::kSerialMark);

// Rows of the table as "num:upper_text".
S Rows(SegmentTable& t) {
  S out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.Text(kNumberColumn) + ":" + gbk::ToUtf8(t.Text(kUpperLineColumn)));
  return out;
}

TEST(TidyForPrint, DropsSegmentsWithoutAnUpperLineAndNumbersTheRest) {
  PrintDocument d;
  d.Add({"", "lower only"});
  d.Add({"A1"});
  d.Add({""});
  d.Add({"A2"});
  d.Add({""});
  EXPECT_TRUE(TidyForPrint(d.table));
  EXPECT_EQ(Rows(d.table), (S{"1:A1", "2:A2"}));
  d.table.First();
  EXPECT_EQ(d.table.Position(), 1);
}

TEST(TidyForPrint, AnEmptyDocumentKeepsOneRowAndHasNothingToPrint) {
  PrintDocument d;
  d.Add({""});
  d.Add({"", "x"});
  d.Add({""});
  EXPECT_FALSE(TidyForPrint(d.table));
  EXPECT_EQ(d.table.RowCount(), 1);
}

// The serial text of every item sent, per row: "row:text".
struct Walk {
  S items;
  WalkCounts counts;
  bool ok = true;
};
Walk RunWalk(PrintDocument& d, PrintJob& job) {
  Walk w;
  w.ok = WalkSegments(d.Job(), job, [&](const ItemImage& item, uint8_t row) {
    EXPECT_GT(item.ColumnCount, 0);
    w.items.push_back(std::to_string(row) + ":" + job.SerialText);
    return true;
  }, w.counts);
  return w;
}

TEST(WalkSegments, OrdersOfRepeatsAndSerialValues) {
  struct Case {
    std::string serial, first, last;
    bool repeat_first;
    S want;
  };
  const std::vector<Case> cases{
      {"序号0-999", "8", "10", false, {"8", "9", "10", "8", "9", "10", "8", "9", "10"}},
      {"序号0-999", "8", "10", true, {"8", "8", "8", "9", "9", "9", "10", "10", "10"}},
      {"序号000-999", "8", "10", false, {"08", "09", "10", "08", "09", "10", "08", "09", "10"}},
      {"大写字母", "A", "C", true, {"A", "A", "A", "B", "B", "B", "C", "C", "C"}},
      {"小写字母", "x", "z", false, {"x", "y", "z", "x", "y", "z", "x", "y", "z"}},
      {"无序号", "", "", false, {"", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial + (c.repeat_first ? " repeat-first" : " serial-first"));
    PrintDocument d;
    d.Add({"A" + kSerialMark, "", 25, 3, c.serial, c.first, c.last});
    PrintJob job;
    job.EndRow = 1;
    job.RepeatFirst = c.repeat_first;
    const Walk w = RunWalk(d, job);
    S texts;
    for (const std::string& i : w.items) texts.push_back(i.substr(i.find(':') + 1));
    EXPECT_EQ(texts, c.want);
    EXPECT_EQ(CountItems(d.table, d.file_state, job), static_cast<int>(c.want.size()));
  }
}

TEST(WalkSegments, RangesAndRepeatCountZero) {
  PrintDocument d;
  d.Add({"A", "", 25, 1});
  d.Add({"A", "", 25, 0});  // prints nothing
  d.Add({"A", "", 25, 2});
  d.Add({"A", "", 25, 1});
  PrintJob job;
  job.StartRow = 2;
  job.EndRow = 3;
  EXPECT_EQ(RunWalk(d, job).items, (S{"3:", "3:"}));
  job.StartRow = 0;  // a start row of 0 prints nothing
  EXPECT_TRUE(RunWalk(d, job).items.empty());
  job.StartRow = 4;
  job.EndRow = 9;  // rows past the end are not there
  EXPECT_EQ(RunWalk(d, job).items, (S{"4:"}));
}

TEST(WalkSegments, RowNumbersGoAsTheirLowEightBits) {
  PrintDocument d;
  for (int i = 0; i < 257; ++i) d.Add({"A"});
  PrintJob job;
  job.StartRow = 255;
  job.EndRow = 257;
  EXPECT_EQ(RunWalk(d, job).items, (S{"255:", "0:", "1:"}));
}

TEST(WalkSegments, ARefusedItemIsSkippedAndTheWalkGoesOn) {
  PrintDocument d;
  d.Add({"A"});
  // 40 "W" bars at size 7 fit no length of 6 mm: the layout refuses the item.
  d.Add({std::string(40, 'W'), "", 6, 2, "无序号", "", "", "7 号"});
  d.Add({"A"});
  PrintJob job;
  job.EndRow = 3;
  const Walk w = RunWalk(d, job);
  EXPECT_TRUE(w.ok);
  EXPECT_EQ(w.items, (S{"1:", "3:"}));
  EXPECT_EQ(w.counts.skipped, 2);
  EXPECT_EQ(w.counts.sent, 2);
}

// Every skipped item is counted and handed on with its Segment, serial value and reason;
// an item whose image passes the printer's image store is told apart from one the
// layout refuses, and the walk goes on after both.
TEST(WalkSegments, SkippedItemsAreReportedWithTheirReason) {
  PrintDocument d;
  d.Add({"A"});
  // 20 "W" of 96 columns at size 7 (as wide as the cell), the serial digit (48) and 20
  // gaps of 4: 2048 columns, 24576 bytes, where the image store holds 20000.
  d.Add({std::string(20, 'W') + kSerialMark, "", 0, 2, "序号0-999", "1", "2", "7 号"});
  d.Add({"A", "", 0, 1, "无序号", "", "", "自动"});  // length and size both automatic
  d.Add({std::string(40, 'W'), "", 6, 1, "无序号", "", "", "自动"});  // fits no size
  d.Add({"A"});
  PrintJob job;
  job.EndRow = 5;
  S reports;
  WalkCounts counts;
  S sent;
  const bool ok = WalkSegments(
      d.Job(), job,
      [&](const ItemImage& item, uint8_t row) {
        EXPECT_LE(item.columns.size(), kImageStoreBytes);
        sent.push_back(std::to_string(row));
        return true;
      },
      counts,
      [&](const SkippedItems& s) {
        std::string r = std::to_string(s.row) + ":" + s.serial_text + ":" + std::to_string(s.count);
        if (s.result == ItemResult::kTooLong)
          r += " too long, " + std::to_string(s.columns) + " columns";
        else if (s.refusal == LayoutRefusal::kAutomaticLengthAndSize)
          r += " both automatic";
        else if (s.refusal == LayoutRefusal::kNoSizeFits)
          r += " no size fits";
        reports.push_back(r);
      });
  EXPECT_TRUE(ok);
  EXPECT_EQ(sent, (S{"1", "5"}));
  EXPECT_EQ(reports, (S{"2:1:1 too long, 2048 columns", "2:2:1 too long, 2048 columns",
                        "2:1:1 too long, 2048 columns", "2:2:1 too long, 2048 columns",
                        "3::1 both automatic", "4::1 no size fits"}));
  EXPECT_EQ(counts.sent, 2);
  EXPECT_EQ(counts.skipped, 6);
  EXPECT_EQ(counts.too_long, 4);
}

TEST(WalkSegments, AFailedSendStopsTheWalkAtOnce) {
  PrintDocument d;
  d.Add({"A", "", 25, 5});
  PrintJob job;
  int sends = 0;
  WalkCounts counts;
  EXPECT_FALSE(WalkSegments(d.Job(), job, [&](const ItemImage&, uint8_t) { return ++sends < 2; },
                            counts));
  EXPECT_EQ(sends, 2);
}

TEST(WalkSegments, APassCheckedOnceBuildsEveryValueWithItsLayout) {
  // Two lines with small letters at an automatic size: "w" is far wider than "v". Find a
  // length where "v" fits some size and "w" alone none; a pass starting at "v" still
  // prints both, with its layout.
  auto walk = [](int length, const char* first, const char* last) {
    PrintDocument d;
    d.measure_canvas.widths['w'] = d.glyph_canvas.widths['w'] = 40;
    d.file_state.MaterialCode = 3;  // a label: two lines take automatic sizes
    d.Add({"AA" + kSerialMark, "A", length, 1, "小写字母", first, last, "自动"});
    PrintJob job;
    return RunWalk(d, job).counts;
  };
  int length = 0;
  for (int l = 6; l <= 100 && !length; ++l)
    if (walk(l, "v", "v").sent == 1 && walk(l, "w", "w").skipped == 1) length = l;
  ASSERT_NE(length, 0);
  const WalkCounts both = walk(length, "v", "w");
  EXPECT_EQ(both.sent, 2);
  EXPECT_EQ(both.skipped, 0);
}

TEST(WalkSegments, TwoLineZeroPaddedSerialsAreCheckedOncePerPass) {
  // A two-line Segment with zero-padded numbers: when the pass's check refuses, the whole
  // range of values is skipped, once per repetition in the serial-first order. Material 5
  // has no automatic two-line size: the layout refuses.
  PrintDocument d;
  d.Add({std::string(30, 'W') + kSerialMark, "A", 6, 2, "序号000-999", "1", "3", "自动"});
  for (bool repeat_first : {false, true}) {
    PrintJob job;
    job.RepeatFirst = repeat_first;
    S reports;
    WalkCounts counts;
    EXPECT_TRUE(WalkSegments(
        d.Job(), job, [](const ItemImage&, uint8_t) { return true; }, counts,
        [&](const SkippedItems& s) {
          EXPECT_EQ(s.refusal, LayoutRefusal::kNoTwoLineSize);
          reports.push_back(std::to_string(s.row) + ":" + s.serial_text + ":" +
                            std::to_string(s.count));
        }));
    EXPECT_EQ(counts.sent, 0);
    EXPECT_EQ(counts.skipped, 6);
    EXPECT_EQ(counts.too_long, 0);
    EXPECT_EQ(reports, (repeat_first ? S{"1:1:6"} : S{"1:1:3", "1:1:3"}));
  }
  // The same Segment at a fixed size always lays out, and every item is too long for the
  // image store instead: each is skipped on its own.
  PrintDocument fixed;
  fixed.Add({std::string(30, 'W') + kSerialMark, "A", 6, 2, "序号000-999", "1", "3", "7 号"});
  PrintJob job;
  const Walk w = RunWalk(fixed, job);
  EXPECT_TRUE(w.items.empty());
  EXPECT_EQ(w.counts.skipped, 6);
  EXPECT_EQ(w.counts.too_long, 6);
}

}  // namespace
}  // namespace qx
