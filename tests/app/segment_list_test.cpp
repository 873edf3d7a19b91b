// The Segment list: the list buttons and their states, append, insert and delete with
// the numbering of the Segments after them.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

// The window on a 1024 x 768 screen with one new Segment, the upper line focused.
using SegmentListTest = testing::WindowTest;

TEST_F(SegmentListTest, ListButtonStates) {
  struct Step {
    const char* what;
    void (*act)(MainWindowModel&);
    const char* buttons;
  };
  ThreeSegments();
  const Step steps[] = {
      {"文首", [](MainWindowModel& model) { model.segment_list().OnFirstButton(); }, "011110"},
      {"文末", [](MainWindowModel& model) { model.segment_list().OnLastButton(); }, "101110"},
      {"printable key",
       [](MainWindowModel& model) { model.line_editors().TypeText(Control::UpperLine, "x"); },
       "000001"},
      {"存段", [](MainWindowModel& model) { model.segment_list().OnStoreButton(); }, "111110"},
      {"添加 leaves them", [](MainWindowModel& model) { model.segment_list().OnAppendButton(); },
       "111110"},
      {"entering the length editor",
       [](MainWindowModel& model) { model.Focus(Control::LengthEdit); }, "000000"},
      {"leaving it", [](MainWindowModel& model) { model.Focus(Control::UpperLine); }, "000001"},
      {"entering the grid", [](MainWindowModel& model) { model.Focus(Control::SegmentGrid); },
       "111110"},
      {"插入", [](MainWindowModel& model) { model.segment_list().OnInsertButton(); }, "000001"},
      {"删段 leaves them", [](MainWindowModel& model) { model.segment_list().OnDeleteButton(); },
       "000001"},
      {"entering the repeat editor",
       [](MainWindowModel& model) { model.Focus(Control::RepeatEdit); }, "000000"},
  };
  for (const Step& s : steps) {
    s.act(model_);
    EXPECT_EQ(Buttons(), s.buttons) << s.what;
  }
  EXPECT_FALSE(
      model_.controls().Enabled(Control::SymbolButton));  // tools off in the group box and the grid
  EXPECT_FALSE(model_.controls().Enabled(Control::SuperscriptButton));
  EXPECT_FALSE(model_.controls().Enabled(Control::UpperToolBar));
  EXPECT_FALSE(model_.controls().Enabled(Control::OpenButton));  // through its tool bar
}

TEST_F(SegmentListTest, InsertBeforeTheSecondOfThree) {
  ThreeSegments();
  t().First();
  t().Next();
  SetField(kLengthColumn, "30");
  SetField(kSizeColumn, "6 号");
  SetField(kOrientationColumn, "纵向");
  SetField(kDecorationColumn, "加 边 框");
  SetField(kSerialTypeColumn, "序号0-999");
  t().SetInt(kRepeatColumn, 5);
  t().Store();
  model_.doc().file_state.DocModified = false;
  model_.segment_list().OnInsertButton();
  EXPECT_EQ(t().Position(), 2);
  EXPECT_EQ(Field(kUpperLineColumn), "");
  EXPECT_EQ(t().Int(kLengthColumn), 30);
  EXPECT_EQ(Field(kSizeColumn), "6 号");
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
  EXPECT_EQ(Field(kDecorationColumn), "加 边 框");
  EXPECT_EQ(t().Int(kRepeatColumn), 5);
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(Buttons(), "000001");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

TEST_F(SegmentListTest, AppendCopiesTheFiveValuesAndLeavesTheNumberUnset) {
  ThreeSegments();
  t().First();
  SetField(kLengthColumn, "30");
  SetField(kSizeColumn, "6 号");
  SetField(kOrientationColumn, "纵向");
  SetField(kDecorationColumn, "加 边 框");
  t().SetInt(kRepeatColumn, 5);
  model_.segment_list().OnAppendButton();
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(t().Int(kLengthColumn), 30);
  EXPECT_EQ(Field(kSizeColumn), "6 号");
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
  EXPECT_EQ(Field(kDecorationColumn), "加 边 框");
  EXPECT_EQ(t().Int(kRepeatColumn), 5);
  EXPECT_EQ(t().Int(kUpperLengthColumn), 48);
  EXPECT_EQ(t().Int(kLowerLengthColumn), 0);
  EXPECT_EQ(UpperText(), "");
  EXPECT_TRUE(t().IsNull(kNumberColumn));
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2, 3, -1}));
}

TEST_F(SegmentListTest, DeleteKeepsTheCurrentRowRulesAndNumbers) {
  ThreeSegments();
  t().First();
  t().Next();
  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(UpperText(), "c");
  EXPECT_EQ(t().Int(kNumberColumn), 2);
  model_.segment_list().OnAppendButton();
  Segment("d");
  model_.segment_list().OnDeleteButton();  // the last of three
  EXPECT_EQ(UpperText(), "c");
  EXPECT_EQ(Numbers(), (std::vector<int64_t>{1, 2}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SegmentListTest, DeletingTheOnlySegmentEmptiesIt) {
  model_.line_editors().TypeText(Control::UpperLine, "X1");
  SetField(kSerialTypeColumn, "序号0-999");
  SetField(kSerialFirstColumn, "1");
  SetField(kSizeColumn, "3 号");
  t().SetInt(kRepeatColumn, 7);
  model_.segment_list().OnStoreButton();
  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(UpperText(), "");
  EXPECT_EQ(Field(kSerialTypeColumn), "无序号");
  EXPECT_EQ(Field(kSerialFirstColumn), "");
  EXPECT_EQ(Field(kSizeColumn), "3 号");
  EXPECT_EQ(t().Int(kRepeatColumn), 7);
  EXPECT_TRUE(ui_.messages.empty());

  model_.segment_list().OnDeleteButton();
  EXPECT_EQ(ui_.Take(), S{"文件已空!"});
  EXPECT_EQ(t().RowCount(), 1);
}

// --- Property editors ------------------------------------------------------------------

}  // namespace
}  // namespace qx
