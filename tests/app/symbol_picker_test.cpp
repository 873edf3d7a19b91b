// The symbol picker on its own: the grid of a zone, paging between the zones A1 to A8,
// the selection that keeps its place, and what it hands to the window to insert.
#include "app/symbol_picker.h"

#include <gtest/gtest.h>

#include <set>

namespace qx {
namespace {

class SymbolPickerTest : public ::testing::Test {
 protected:
  SymbolPickerTest()
      : dialog_(SymbolPickerHost{[this] { return face_; },
                                 [this](std::string_view s) { inserted_.emplace_back(s); }}) {}

  std::string face_ = "黑体";
  std::vector<std::string> inserted_;
  SymbolPicker dialog_;
};

std::string Code(int lead, int trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

TEST_F(SymbolPickerTest, FirstOpeningShowsZoneA1WithNothingToInsert) {
  dialog_.OnActivated();
  EXPECT_EQ(dialog_.zone(), 0xA1);
  EXPECT_FALSE(dialog_.pre_enabled());
  EXPECT_TRUE(dialog_.next_enabled());
  EXPECT_FALSE(dialog_.insert_enabled());  // the selected first cell is empty
  EXPECT_EQ(dialog_.preview(), "");
  EXPECT_EQ(dialog_.face(), "黑体");
  EXPECT_EQ(dialog_.Cell(13, 4), "");  // A1 ED, the serial placeholder
  EXPECT_EQ(dialog_.Cell(1, 0), Code(0xA1, 0xA1));
  EXPECT_EQ(dialog_.Cell(12, 4), Code(0xA1, 0xEC));
  EXPECT_EQ(dialog_.Cell(14, 5), Code(0xA1, 0xFE));
  dialog_.OnInsertButton();
  EXPECT_TRUE(inserted_.empty());
}

TEST_F(SymbolPickerTest, EveryZoneHoldsTheTrailBytesA1ToFEInRowOrder) {
  for (int zone = 0xA1; zone <= 0xA8; ++zone) {
    SCOPED_TRACE(zone);
    std::set<std::string> seen;
    int empty = 0;
    for (int r = 0; r < SymbolPicker::kRows; ++r)
      for (int c = 0; c < SymbolPicker::kColumns; ++c) {
        const std::string cell = dialog_.Cell(c, r);
        if (cell.empty()) {
          ++empty;
          continue;
        }
        EXPECT_EQ(cell, Code(zone, 0xA0 + c + 16 * r));
        seen.insert(cell);
      }
    EXPECT_EQ(dialog_.Cell(0, 0), "");
    EXPECT_EQ(dialog_.Cell(15, 5), "");
    EXPECT_EQ(empty, zone == 0xA1 ? 3 : 2);
    EXPECT_EQ(seen.size(), zone == 0xA1 ? 93u : 94u);
    dialog_.OnNextZoneButton();
  }
}

TEST_F(SymbolPickerTest, PagingStopsAtBothEndsAndOnlyDisablesThatButton) {
  for (int i = 0; i < 7; ++i) dialog_.OnNextZoneButton();
  EXPECT_EQ(dialog_.zone(), 0xA8);
  EXPECT_TRUE(dialog_.next_enabled());  // reaching A8 does not disable it yet
  EXPECT_TRUE(dialog_.pre_enabled());
  dialog_.OnNextZoneButton();
  EXPECT_EQ(dialog_.zone(), 0xA8);
  EXPECT_FALSE(dialog_.next_enabled());

  dialog_.OnPreviousZoneButton();
  EXPECT_EQ(dialog_.zone(), 0xA7);
  EXPECT_TRUE(dialog_.next_enabled());
  for (int i = 0; i < 6; ++i) dialog_.OnPreviousZoneButton();
  EXPECT_EQ(dialog_.zone(), 0xA1);
  EXPECT_TRUE(dialog_.pre_enabled());
  dialog_.OnPreviousZoneButton();
  EXPECT_EQ(dialog_.zone(), 0xA1);
  EXPECT_FALSE(dialog_.pre_enabled());
  EXPECT_TRUE(dialog_.next_enabled());
}

TEST_F(SymbolPickerTest, SelectionKeepsItsPlaceAcrossZonesAndOpenings) {
  dialog_.OnCellSelected(2, 0);
  EXPECT_EQ(dialog_.symbol(), Code(0xA1, 0xA2));
  EXPECT_TRUE(dialog_.insert_enabled());
  dialog_.OnNextZoneButton();
  EXPECT_EQ(dialog_.symbol(), Code(0xA2, 0xA2));  // without a new click
  EXPECT_EQ(dialog_.preview(), Code(0xA2, 0xA2));
  dialog_.OnInsertButton();
  dialog_.OnInsertButton();  // the picker stays open for more
  EXPECT_EQ(inserted_, (std::vector<std::string>{Code(0xA2, 0xA2), Code(0xA2, 0xA2)}));

  // Closed and opened again: the zone and the cell are still there; the face follows the
  // document's.
  dialog_.OnCloseButton();
  EXPECT_EQ(dialog_.result(), SymbolPicker::kResultClosed);
  face_ = "宋体";
  dialog_.OnActivated();
  EXPECT_EQ(dialog_.result(), 0);
  EXPECT_EQ(dialog_.zone(), 0xA2);
  EXPECT_EQ(dialog_.symbol(), Code(0xA2, 0xA2));
  EXPECT_TRUE(dialog_.insert_enabled());
  EXPECT_EQ(dialog_.face(), "宋体");

  // An empty cell selected: nothing to insert, in any zone.
  dialog_.OnCellSelected(15, 5);
  EXPECT_FALSE(dialog_.insert_enabled());
  EXPECT_EQ(dialog_.preview(), "");
  dialog_.OnInsertButton();
  EXPECT_EQ(inserted_.size(), 2u);
  // The placeholder's place is empty in A1 only.
  dialog_.OnCellSelected(13, 4);
  EXPECT_EQ(dialog_.symbol(), Code(0xA2, 0xED));
  dialog_.OnPreviousZoneButton();
  EXPECT_EQ(dialog_.symbol(), "");
  EXPECT_FALSE(dialog_.insert_enabled());
}

}  // namespace
}  // namespace qx
