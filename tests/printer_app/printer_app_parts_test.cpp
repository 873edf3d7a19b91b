// The parts of the printer application that need no PAPPL: media names and the material a
// job's media stands for, raster pages as items, fault messages as state reasons, and each
// job printing once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/printer_messages.h"
#include "document/document.h"
#include "printer_app/job_once.h"
#include "printer_app/media.h"
#include "printer_app/printer_faults.h"
#include "printer_app/qx_printers.h"
#include "printer_app/raster_item.h"

namespace qx::papp {
namespace {

TEST(PrinterAppMedia, EveryMaterialHasOneMediumInTheSettingsOrder) {
  ASSERT_EQ(AllMaterialMedia().size(), MaterialItems().size());
  for (std::size_t n = 0; n < AllMaterialMedia().size(); ++n)
    EXPECT_EQ(AllMaterialMedia()[n].material_code, n + 1);
  EXPECT_EQ(MediaName(MaterialOfCode(3)), "om_qx-label-12mm_12x30mm");
  EXPECT_EQ(MediaName(MaterialOfCode(5), 2550), "om_qx-sleeve-4mm2_8.72x25.5mm");
}

TEST(PrinterAppMedia, MaterialOfAJobsMedia) {
  struct Case {
    const char* size_name;
    const char* type;
    int width_hmm;
    int material;
  };
  const Case cases[] = {
      {"om_qx-label-6mm_6x30mm", "", 600, 1},
      {"om_qx-heat-shrink_8.72x50mm", "", 872, 7},       // another length of our medium
      {"custom_8.72x40mm_8.72x40mm", "qx-sleeve-1mm2", 872, 4},  // by the media type
      {"custom_9x40mm_9x40mm", "", 900, 2},               // by the width: the nearest label
      {"custom_11x40mm_11x40mm", "stationery", 1100, 3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MaterialOfMedia(c.size_name, c.type, c.width_hmm).material_code, c.material)
        << c.size_name;
}

// A page of `width` pixels and `lines` lines, with pixels x0..x1 black on lines y0..y1;
// `cut` tells whether any of them fell beyond the head.
ItemImage PageItem(int width, int lines, int x0, int x1, int y0, int y1, bool set_is_black = true,
                   bool* cut = nullptr) {
  RasterItemBuilder b;
  b.StartPage(width, set_is_black);
  std::vector<uint8_t> line(static_cast<std::size_t>((width + 7) / 8));
  for (int y = 0; y < lines; ++y) {
    std::fill(line.begin(), line.end(), set_is_black ? 0x00 : 0xFF);
    if (y >= y0 && y <= y1)
      for (int x = x0; x <= x1; ++x) line[static_cast<std::size_t>(x / 8)] ^= static_cast<uint8_t>(0x80 >> (x % 8));
    b.AddLine(line);
  }
  ItemImage item;
  EXPECT_TRUE(b.Finish(item));
  if (cut) *cut = b.Cut();
  return item;
}

bool Dot(const ItemImage& item, int column, int row) {
  return (item.columns[static_cast<std::size_t>(column * kColumnBytes + row / 8)] >> (row % 8)) & 1;
}

TEST(PrinterAppRaster, LinesBecomeColumnsCentredOnTheHeadWithBlankFeed) {
  // 132 pixels (12 mm) across: pixel 113 is head dot 0 and pixel 18 head dot 95; lines
  // 10..319 of 330 carry dots.
  const ItemImage item = PageItem(132, 330, 18, 40, 10, 319);
  EXPECT_EQ(item.LeadBlank, 10);
  EXPECT_EQ(item.TrailBlank, 10);
  ASSERT_EQ(item.ColumnCount, 310);
  ASSERT_EQ(item.columns.size(), 310u * kColumnBytes);
  EXPECT_TRUE(Dot(item, 0, 95));
  EXPECT_TRUE(Dot(item, 309, 73));
  EXPECT_FALSE(Dot(item, 0, 72));
  // Grey colour spaces have a set bit for white: the same page.
  EXPECT_EQ(PageItem(132, 330, 18, 40, 10, 319, false).columns, item.columns);
  // Pixels outside the head's band are cut off.
  EXPECT_EQ(PageItem(132, 30, 0, 17, 0, 29).ColumnCount, 1);  // a blank page
}

// The page is turned a quarter turn, never mirrored: its top edge prints first and its
// right edge runs along the head's dot 0, the top of the tape picture. An "F" drawn on a
// portrait page lies on the tape with its stem at the bottom and its arms pointing up.
TEST(PrinterAppRaster, APageIsTurnedOntoTheTapeNotMirrored) {
  const std::vector<std::string> page = {
      "#####",  // line 0
      "#....",
      "#....",
      "####.",
      "#....",
      "#....",
      "#....",  // line 6
  };
  const int width = 5;
  RasterItemBuilder b;
  b.StartPage(width);
  for (const std::string& text : page) {
    std::vector<uint8_t> line(1, 0);
    for (int x = 0; x < width; ++x)
      if (text[static_cast<std::size_t>(x)] == '#') line[0] |= static_cast<uint8_t>(0x80 >> x);
    b.AddLine(line);
  }
  ItemImage item;
  ASSERT_TRUE(b.Finish(item));
  ASSERT_EQ(item.ColumnCount, 7);
  // The tape as its picture shows it: head dots from the top, the feed to the right.
  const int top = (kHeadDots - width) / 2;
  std::vector<std::string> tape;
  for (int row = top; row < top + width; ++row) {
    std::string text;
    for (int column = 0; column < item.ColumnCount; ++column) text += Dot(item, column, row) ? '#' : '.';
    tape.push_back(text);
  }
  EXPECT_EQ(tape, (std::vector<std::string>{
                      "#......",
                      "#..#...",
                      "#..#...",
                      "#..#...",
                      "#######",
                  }));
}

// Grey pages of 8 bits: black prints every dot, white none, a middle grey about half of
// them, spread out; in a grey colour space the highest value is white, in a black one
// black. Other depths are refused.
TEST(PrinterAppRaster, GreyPagesAreDitheredKeepingBlackAndWhite) {
  struct Case {
    bool high_is_black;
    uint8_t value;
    int min_dots, max_dots;  // of 96 x 64
  };
  const Case cases[] = {
      {false, 0, 96 * 64, 96 * 64}, {false, 255, 0, 0}, {false, 128, 96 * 28, 96 * 36},
      {true, 255, 96 * 64, 96 * 64}, {true, 0, 0, 0},   {true, 64, 96 * 12, 96 * 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + (c.high_is_black ? " black" : " grey"));
    RasterItemBuilder b;
    ASSERT_TRUE(b.StartPage(96, c.high_is_black, 8));
    const std::vector<uint8_t> line(96, c.value);
    for (int y = 0; y < 64; ++y) b.AddLine(line);
    ItemImage item;
    ASSERT_TRUE(b.Finish(item));
    int dots = 0, in_first_line = 0;
    for (int col = 0; col < item.ColumnCount; ++col)
      for (int row = 0; row < kHeadDots; ++row) {
        dots += Dot(item, col, row);
        if (col == 0) in_first_line += Dot(item, col, row);
      }
    if (c.max_dots == 0) {
      EXPECT_EQ(item.ColumnCount, 1);  // a blank page
      EXPECT_EQ(dots, 0);
      continue;
    }
    EXPECT_GE(dots, c.min_dots);
    EXPECT_LE(dots, c.max_dots);
    if (c.max_dots < 96 * 64) {
      EXPECT_LT(in_first_line, kHeadDots);  // spread, not in bands
    }
  }
  RasterItemBuilder b;
  EXPECT_FALSE(b.StartPage(96, true, 16));
  EXPECT_FALSE(b.StartPage(96, true, 24));
}

TEST(PrinterAppRaster, NarrowPagesSitInTheMiddleAndBlankLinesInsideStay) {
  // 66 pixels (6 mm): pixel 0 (the page's left edge) is head dot 80. A blank line between
  // dots is a column.
  RasterItemBuilder b;
  b.StartPage(66);
  std::vector<uint8_t> dot(9, 0), blank(9, 0);
  dot[0] = 0x80;
  b.AddLine(dot);
  b.AddLine(blank);
  b.AddLine(dot);
  ItemImage item;
  ASSERT_TRUE(b.Finish(item));
  EXPECT_EQ(item.ColumnCount, 3);
  EXPECT_TRUE(Dot(item, 0, 80));
  EXPECT_FALSE(Dot(item, 1, 80));
  EXPECT_TRUE(Dot(item, 2, 80));
  EXPECT_EQ(item.LeadBlank + item.TrailBlank, 0);
}

TEST(PrinterAppRaster, DotsBeyondTheHeadAreToldAsCut) {
  struct Case {
    int width, x0, x1;
    bool cut;
  };
  const Case cases[] = {
      {132, 18, 113, false},  // 12 mm: exactly the head's band
      {132, 17, 17, true},    // one pixel left of it (head dot 96)
      {132, 114, 114, true},  // one pixel right of it
      {66, 0, 65, false},     // 6 mm: all of it on the head
      {96, 0, 95, false},
  };
  for (const Case& c : cases) {
    bool cut = !c.cut;
    PageItem(c.width, 20, c.x0, c.x1, 5, 10, true, &cut);
    EXPECT_EQ(cut, c.cut) << c.width << " " << c.x0 << ".." << c.x1;
  }
}

TEST(PrinterAppRaster, BlankPagesFeedTheirLengthAndTooLongPagesAreRefused) {
  const ItemImage blank = PageItem(96, 100, 0, -1, 0, -1);
  EXPECT_EQ(blank.ColumnCount, 1);
  EXPECT_EQ(blank.LeadBlank + blank.ColumnCount + blank.TrailBlank, 100);

  RasterItemBuilder b;
  b.StartPage(96);
  const std::vector<uint8_t> black(12, 0xFF);
  for (int y = 0; y <= kImageStoreColumns; ++y) b.AddLine(black);
  ItemImage item;
  EXPECT_FALSE(b.Finish(item));
}

TEST(PrinterAppRaster, PageHeadersAreCheckedBeforeAnythingIsAllocated) {
  using C = RasterPageCheck;
  struct Case {
    uint32_t width, height, bits, bytes_per_line;
    C expected;
  };
  const Case cases[] = {
      {132, 330, 1, 17, C::kFits},               // a 12 mm label, 1 bit
      {2380, 3080, 8, 2380, C::kFits},           // US Letter from CUPS, grey
      {kMaxRasterWidth, 1, 8, kMaxRasterWidth, C::kFits},
      {132, kMaxRasterLines, 1, 17, C::kFits},
      {132, kMaxRasterLines + 1, 1, 17, C::kTooLong},
      {132, 4'000'000'000u, 8, 132, C::kTooLong},
      {kMaxRasterWidth + 1, 1, 8, kMaxRasterWidth + 1, C::kBadHeader},
      {4'000'000'000u, 10, 1, 500'000'000, C::kBadHeader},
      {0, 10, 8, 0, C::kBadHeader},
      {132, 0, 8, 132, C::kBadHeader},
      {132, 330, 8, 4'000'000'000u, C::kBadHeader},  // lines not as wide as the page
      {132, 330, 1, 132, C::kBadHeader},
      {(1u << 29) + 1, 10, 8, 1, C::kBadHeader},     // wraps to 1 byte in 32 bits
      {132, 330, 16, 264, C::kBadHeader},
      {132, 330, 24, 396, C::kBadHeader},
      {132, 330, 32, 528, C::kBadHeader},
      {132, 330, 0, 0, C::kBadHeader},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckRasterPage(c.width, c.height, c.bits, c.bytes_per_line), c.expected)
        << c.width << "x" << c.height << " " << c.bits << " bits, " << c.bytes_per_line
        << " bytes a line";
}

TEST(PrinterAppRaster, TheLongestPageTheHeaderCheckLetsThroughIsOneMarker) {
  // The most blank feed before and after the image store's columns: a marker. One line
  // more no marker holds, and the header check refuses it before any line is read.
  const auto page = [](int trail, ItemImage& item) {
    RasterItemBuilder b;
    b.StartPage(8);
    const std::vector<uint8_t> blank{0x00}, dot{0x80};
    for (int y = 0; y < 0xFFFF; ++y) b.AddLine(blank);
    for (int y = 0; y < kImageStoreColumns; ++y) b.AddLine(dot);
    for (int y = 0; y < trail; ++y) b.AddLine(blank);
    return b.Finish(item);
  };
  ItemImage item;
  ASSERT_TRUE(page(0xFFFF, item));
  EXPECT_EQ(0xFFFF + item.ColumnCount + 0xFFFF, static_cast<int>(kMaxRasterLines));
  EXPECT_FALSE(page(0xFFFF + 1, item));
}

TEST(PrinterAppFaults, MessagesBecomeStateReasons) {
  struct Case {
    std::string_view message;
    FaultReason reason;
  };
  const Case cases[] = {
      {pmsg::kPrintFinished, FaultReason::kNone},
      {pmsg::kLabelsUsedUp, FaultReason::kMediaEmpty},
      {pmsg::kConsumablesUsedUp, FaultReason::kMediaEmpty},
      {pmsg::kRibbonUsedUp1, FaultReason::kMarkerSupplyEmpty},
      {pmsg::kRibbonZero, FaultReason::kMarkerSupplyEmpty},
      {pmsg::kCoverOpened1, FaultReason::kCoverOpen},
      {pmsg::kCoverNotClosed2, FaultReason::kCoverOpen},
      {pmsg::kFeedFailed, FaultReason::kMediaJam},
      {pmsg::kLinkBroken, FaultReason::kOther},
      {pmsg::kPrintStopped, FaultReason::kOther},
  };
  for (const Case& c : cases) EXPECT_EQ(ReasonOfMessage(c.message), c.reason) << c.message;
  EXPECT_EQ(ReasonKeyword(FaultReason::kMarkerSupplyEmpty), "marker-supply-empty");
}

TEST(PrinterAppDevices, DeviceUrisCarryThePathBothWays) {
  for (const std::string path : {"virtual:vid_5d29&pid_2029#1", "usb:vid_0471&pid_0666@3-1.4"}) {
    const std::string uri = DeviceUriOf(path);
    EXPECT_EQ(uri.find_first_of("&#@"), std::string::npos) << uri;
    EXPECT_EQ(DevicePathOf(uri.c_str()), path);
  }
  EXPECT_EQ(DevicePathOf("usb://x"), "");
  EXPECT_EQ(DeviceIdOf("Kelmor QB16i"), "MFG:Kelmor;MDL:QB16i;CMD:QX;");
}

}  // namespace
}  // namespace qx::papp

namespace qx::papp {
namespace {

// PAPPL starting one job two or three times at once, as it does under load: the job prints
// once, and every start ends as the printing one did.
TEST(PrinterAppJobs, AJobStartedSeveralTimesAtOncePrintsOnce) {
  for (const bool prints : {true, false}) {
    OncePerJob once;
    std::atomic<int> printed{0}, seconds{0}, results{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> starts;
    for (int n = 0; n < 3; ++n)
      starts.emplace_back([&] {
        while (!go) std::this_thread::yield();
        bool again = false;
        const bool ok = once.Run(1, 50, [&] {
          ++printed;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a job takes a while
          return prints;
        }, &again);
        seconds += again ? 1 : 0;
        results += ok == prints ? 1 : 0;
      });
    go = true;
    for (std::thread& t : starts) t.join();
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(seconds, 2);
    EXPECT_EQ(results, 3);
    // A start after the job ended does not print it either.
    EXPECT_EQ(once.Run(1, 50, [&] { return ++printed, true; }), prints);
    // Job 50 of another printer is another job.
    EXPECT_TRUE(once.Run(2, 50, [&] { return ++printed, true; }));
    EXPECT_EQ(printed, 2);
  }
}

TEST(PrinterAppJobs, EveryJobPrintsEvenAfterManyJobs) {
  OncePerJob once;
  int printed = 0;
  for (int job = 1; job <= 10000; ++job)
    EXPECT_TRUE(once.Run(1, job, [&] { return ++printed, true; }));
  EXPECT_EQ(printed, 10000);
}

}  // namespace
}  // namespace qx::papp
