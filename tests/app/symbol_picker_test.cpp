// The symbol picker on its own: the grid of a zone, paging between the zones A1 to A8,
// the selection that keeps its place, and what it hands to the window to insert.
#include "app/symbol_picker.h"

#include "document/gbk.h"

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

// The codes of each zone that GBK leaves unassigned (glibc's GBK decodes none of them),
// as inclusive ranges of trail bytes: 113 in all.
struct ZoneGaps {
  int zone;
  std::vector<std::pair<int, int>> unassigned;
};
const std::vector<ZoneGaps> kZoneGaps = {
    {0xA1, {}},
    {0xA2, {{0xAB, 0xB0}, {0xE3, 0xE4}, {0xEF, 0xF0}, {0xFD, 0xFE}}},
    {0xA3, {}},
    {0xA4, {{0xF4, 0xFE}}},
    {0xA5, {{0xF7, 0xFE}}},
    {0xA6, {{0xB9, 0xC0}, {0xD9, 0xDF}, {0xEC, 0xED}, {0xF3, 0xF3}, {0xF6, 0xFE}}},
    {0xA7, {{0xC2, 0xD0}, {0xF2, 0xFE}}},
    {0xA8, {{0xBC, 0xBC}, {0xBF, 0xBF}, {0xC1, 0xC4}, {0xEA, 0xFE}}},
};

TEST_F(SymbolPickerTest, EveryZoneHoldsItsAssignedCodesInRowOrderAndNothingElse) {
  int unassigned_total = 0;
  for (const ZoneGaps& z : kZoneGaps) {
    SCOPED_TRACE(z.zone);
    ASSERT_EQ(dialog_.zone(), z.zone);
    auto unassigned = [&](int trail) {
      for (auto [first, last] : z.unassigned)
        if (trail >= first && trail <= last) return true;
      return false;
    };
    for (int r = 0; r < SymbolPicker::kRows; ++r)
      for (int c = 0; c < SymbolPicker::kColumns; ++c) {
        const int trail = 0xA0 + c + 16 * r;
        const bool empty = trail == 0xA0 || trail == 0xFF ||
                           (z.zone == 0xA1 && trail == 0xED) || unassigned(trail);
        const std::string cell = dialog_.Cell(c, r);
        EXPECT_EQ(cell, empty ? "" : Code(z.zone, trail)) << std::hex << trail;
        unassigned_total += unassigned(trail);

        // An empty cell offers nothing to insert; a filled one offers its own code.
        dialog_.OnCellSelected(c, r);
        EXPECT_EQ(dialog_.insert_enabled(), !empty) << std::hex << trail;
        EXPECT_EQ(dialog_.preview(), cell);
        dialog_.OnInsertButton();
      }
    dialog_.OnNextZoneButton();
  }
  EXPECT_EQ(unassigned_total, 113);
  // Only codes that are characters were handed over, each once.
  EXPECT_EQ(inserted_.size(), 8u * 94u - 1u - 113u);
  EXPECT_EQ(std::set<std::string>(inserted_.begin(), inserted_.end()).size(), inserted_.size());
  for (const std::string& s : inserted_) EXPECT_TRUE(gbk::DecodeChar(s).has_value());
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
