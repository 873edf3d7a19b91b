// The parts of the printer application that need no PAPPL: media names and the material a
// job's media stands for, raster pages as items, and fault messages as state reasons.
#include <gtest/gtest.h>

#include <vector>

#include "device/printer_messages.h"
#include "document/document.h"
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

// A page of `width` pixels and `lines` lines, with pixels x0..x1 black on lines y0..y1.
ItemImage PageItem(int width, int lines, int x0, int x1, int y0, int y1, bool set_is_black = true) {
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
  return item;
}

bool Dot(const ItemImage& item, int column, int row) {
  return (item.columns[static_cast<std::size_t>(column * kColumnBytes + row / 8)] >> (row % 8)) & 1;
}

TEST(PrinterAppRaster, LinesBecomeColumnsCentredOnTheHeadWithBlankFeed) {
  // 132 pixels (12 mm) across: pixel 18 is head dot 0; lines 10..319 of 330 carry dots.
  const ItemImage item = PageItem(132, 330, 18, 40, 10, 319);
  EXPECT_EQ(item.LeadBlank, 10);
  EXPECT_EQ(item.TrailBlank, 10);
  ASSERT_EQ(item.ColumnCount, 310);
  ASSERT_EQ(item.columns.size(), 310u * kColumnBytes);
  EXPECT_TRUE(Dot(item, 0, 0));
  EXPECT_TRUE(Dot(item, 309, 22));
  EXPECT_FALSE(Dot(item, 0, 23));
  // Grey colour spaces have a set bit for white: the same page.
  EXPECT_EQ(PageItem(132, 330, 18, 40, 10, 319, false).columns, item.columns);
}

TEST(PrinterAppRaster, NarrowPagesSitInTheMiddleAndBlankLinesInsideStay) {
  // 66 pixels (6 mm): pixel 0 is head dot 15. A blank line between dots is a column.
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
  EXPECT_TRUE(Dot(item, 0, 15));
  EXPECT_FALSE(Dot(item, 1, 15));
  EXPECT_TRUE(Dot(item, 2, 15));
  EXPECT_EQ(item.LeadBlank + item.TrailBlank, 0);
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
