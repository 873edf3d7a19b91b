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
      : form_(SymbolPickerHost{[this] { return face_; },
                               [this](std::string_view s) { inserted_.emplace_back(s); }}) {}

  std::string face_ = "黑体";
  std::vector<std::string> inserted_;
  TFuhaoForm form_;
};

std::string Code(int lead, int trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

TEST_F(SymbolPickerTest, FirstOpeningShowsZoneA1WithNothingToInsert) {
  form_.FormActivate();
  EXPECT_EQ(form_.zone(), 0xA1);
  EXPECT_FALSE(form_.pre_enabled());
  EXPECT_TRUE(form_.next_enabled());
  EXPECT_FALSE(form_.insert_enabled());  // the selected first cell is empty
  EXPECT_EQ(form_.preview(), "");
  EXPECT_EQ(form_.face(), "黑体");
  EXPECT_EQ(form_.Cell(13, 4), "");  // A1 ED, the serial placeholder
  EXPECT_EQ(form_.Cell(1, 0), Code(0xA1, 0xA1));
  EXPECT_EQ(form_.Cell(12, 4), Code(0xA1, 0xEC));
  EXPECT_EQ(form_.Cell(14, 5), Code(0xA1, 0xFE));
  form_.InsertBtnClick();
  EXPECT_TRUE(inserted_.empty());
}

TEST_F(SymbolPickerTest, EveryZoneHoldsTheTrailBytesA1ToFEInRowOrder) {
  for (int zone = 0xA1; zone <= 0xA8; ++zone) {
    SCOPED_TRACE(zone);
    std::set<std::string> seen;
    int empty = 0;
    for (int r = 0; r < TFuhaoForm::kRows; ++r)
      for (int c = 0; c < TFuhaoForm::kColumns; ++c) {
        const std::string cell = form_.Cell(c, r);
        if (cell.empty()) {
          ++empty;
          continue;
        }
        EXPECT_EQ(cell, Code(zone, 0xA0 + c + 16 * r));
        seen.insert(cell);
      }
    EXPECT_EQ(form_.Cell(0, 0), "");
    EXPECT_EQ(form_.Cell(15, 5), "");
    EXPECT_EQ(empty, zone == 0xA1 ? 3 : 2);
    EXPECT_EQ(seen.size(), zone == 0xA1 ? 93u : 94u);
    form_.NextBtnClick();
  }
}

TEST_F(SymbolPickerTest, PagingStopsAtBothEndsAndOnlyDisablesThatButton) {
  for (int i = 0; i < 7; ++i) form_.NextBtnClick();
  EXPECT_EQ(form_.zone(), 0xA8);
  EXPECT_TRUE(form_.next_enabled());  // reaching A8 does not disable it yet
  EXPECT_TRUE(form_.pre_enabled());
  form_.NextBtnClick();
  EXPECT_EQ(form_.zone(), 0xA8);
  EXPECT_FALSE(form_.next_enabled());

  form_.PreBtnClick();
  EXPECT_EQ(form_.zone(), 0xA7);
  EXPECT_TRUE(form_.next_enabled());
  for (int i = 0; i < 6; ++i) form_.PreBtnClick();
  EXPECT_EQ(form_.zone(), 0xA1);
  EXPECT_TRUE(form_.pre_enabled());
  form_.PreBtnClick();
  EXPECT_EQ(form_.zone(), 0xA1);
  EXPECT_FALSE(form_.pre_enabled());
  EXPECT_TRUE(form_.next_enabled());
}

TEST_F(SymbolPickerTest, SelectionKeepsItsPlaceAcrossZonesAndOpenings) {
  form_.StringGrid1SelectCell(2, 0);
  EXPECT_EQ(form_.symbol(), Code(0xA1, 0xA2));
  EXPECT_TRUE(form_.insert_enabled());
  form_.NextBtnClick();
  EXPECT_EQ(form_.symbol(), Code(0xA2, 0xA2));  // without a new click
  EXPECT_EQ(form_.preview(), Code(0xA2, 0xA2));
  form_.InsertBtnClick();
  form_.InsertBtnClick();  // the picker stays open for more
  EXPECT_EQ(inserted_, (std::vector<std::string>{Code(0xA2, 0xA2), Code(0xA2, 0xA2)}));

  // Closed and opened again: the zone and the cell are still there; the face follows the
  // document's.
  form_.BitBtn2Click();
  EXPECT_EQ(form_.result(), TFuhaoForm::kResultClosed);
  face_ = "宋体";
  form_.FormActivate();
  EXPECT_EQ(form_.result(), 0);
  EXPECT_EQ(form_.zone(), 0xA2);
  EXPECT_EQ(form_.symbol(), Code(0xA2, 0xA2));
  EXPECT_TRUE(form_.insert_enabled());
  EXPECT_EQ(form_.face(), "宋体");

  // An empty cell selected: nothing to insert, in any zone.
  form_.StringGrid1SelectCell(15, 5);
  EXPECT_FALSE(form_.insert_enabled());
  EXPECT_EQ(form_.preview(), "");
  form_.InsertBtnClick();
  EXPECT_EQ(inserted_.size(), 2u);
  // The placeholder's place is empty in A1 only.
  form_.StringGrid1SelectCell(13, 4);
  EXPECT_EQ(form_.symbol(), Code(0xA2, 0xED));
  form_.PreBtnClick();
  EXPECT_EQ(form_.symbol(), "");
  EXPECT_FALSE(form_.insert_enabled());
}

}  // namespace
}  // namespace qx
