// The editors of the current Segment's length, repeat count, size and orientation: their
// checks, messages and the values they put back.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

// The window on a 1024 x 768 screen with one new Segment, the upper line focused.
using PropertyEditorsTest = testing::WindowTest;

TEST_F(PropertyEditorsTest, LengthEditor) {
  struct Case {
    const char* typed;
    const char* size;
    std::vector<std::string> messages;
    int64_t stored;
    Control focus_after;
  };
  const Case cases[] = {
      {"5", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"101", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"", "4 号", {"指定段长请输入6-100mm,自动段长请输入0!"}, 25, Control::DecorationSelector},
      {"0", "自动", {"字号已为自动,段长不能再设为自动!"}, 25, Control::DecorationSelector},
      {"0", "3 号", {}, 0, Control::UpperLine},
      {"+40", "4 号", {}, 40, Control::UpperLine},
  };
  for (const Case& c : cases) {
    SetField(kLengthColumn, "25");
    SetField(kSizeColumn, c.size);
    model_.Focus(Control::LengthEdit);
    model_.context().SetNumberEditText(Control::LengthEdit, c.typed);
    model_.Focus(Control::DecorationSelector);  // the operator moves on
    EXPECT_EQ(ui_.Take(), c.messages) << c.typed;
    EXPECT_EQ(t().Int(kLengthColumn), c.stored) << c.typed;
    EXPECT_EQ(model_.focus(), c.focus_after) << c.typed;
    EXPECT_TRUE(model_.controls().Enabled(Control::StoreButton));
    EXPECT_TRUE(model_.controls().Enabled(Control::OpenButton));  // the tool bar is back
    model_.Focus(Control::UpperLine);
  }
  // Not a whole number: the editor keeps the focus with its text selected, so that the
  // next key replaces it, and no check runs.
  model_.Focus(Control::LengthEdit);
  model_.context().SetNumberEditText(Control::LengthEdit, "-");
  model_.Focus(Control::UpperLine);
  EXPECT_EQ(model_.focus(), Control::LengthEdit);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(model_.context().NumberEditAllSelected(Control::LengthEdit));
  model_.property_editors().OnNumberEditKey(Control::LengthEdit, 'x');  // refused: still selected
  EXPECT_TRUE(model_.context().NumberEditAllSelected(Control::LengthEdit));
  model_.property_editors().OnNumberEditKey(Control::LengthEdit, '3');
  model_.property_editors().OnNumberEditKey(Control::LengthEdit, '0');
  EXPECT_EQ(model_.context().NumberEditText(Control::LengthEdit), "30");
  EXPECT_FALSE(model_.context().NumberEditAllSelected(Control::LengthEdit));
  model_.Focus(Control::UpperLine);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(t().Int(kLengthColumn), 30);
  EXPECT_TRUE(ui_.messages.empty());
  ui_.beeps = 0;
  model_.Focus(Control::LengthEdit);
  // Only digits, "+" and "-" can be typed, three at most.
  model_.context().SetNumberEditText(Control::LengthEdit, "");
  for (char ch : std::string("1a2.34"))
    model_.property_editors().OnNumberEditKey(Control::LengthEdit, ch);
  EXPECT_EQ(model_.context().NumberEditText(Control::LengthEdit), "123");
  EXPECT_EQ(ui_.beeps, 3);
  model_.property_editors().OnLengthEditKeyUp(13);  // Enter goes to the upper line
  EXPECT_EQ(model_.focus(), Control::UpperLine);    // refused: the focus stays where it went
  EXPECT_EQ(ui_.Take(), S{"指定段长请输入6-100mm,自动段长请输入0!"});
  EXPECT_EQ(t().Int(kLengthColumn), 30);  // the length on entry
}

// 11 double-byte characters at size 4 need 11 x 48 + 10 x 4 + 48 = 616 dots, exactly the
// limit of 56 mm: the length editor refuses, the selectors accept.
TEST_F(PropertyEditorsTest, ReachingTheLimitRefusesOnlyInTheLengthEditor) {
  model_.line_editors().PasteText(Control::UpperLine, "中中中中中中中中中中中");
  model_.segment_list().OnStoreButton();
  ASSERT_EQ(UpperText().size(), 33u);
  model_.Focus(Control::LengthEdit);
  model_.context().SetNumberEditText(Control::LengthEdit, "56");
  model_.Focus(Control::UpperLine);
  EXPECT_EQ(ui_.Take(), S{"段内容超长，修改无效!"});
  EXPECT_EQ(t().Int(kLengthColumn), 25);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.context().editor(Control::UpperLine).caret, 22);  // bytes
  // Beside the preview: what the line needs against the length that was refused.
  EXPECT_EQ(model_.preview().Make().refusal, "所需长度 56.0 mm，段长 56 mm");

  SetField(kLengthColumn, "56");
  SetField(kSizeColumn, "3 号");
  model_.PickSelector(Control::SizeSelector, 4);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kSizeColumn), "4 号");
  EXPECT_EQ(t().Int(kUpperLengthColumn), 616);
  model_.PickSelector(Control::OrientationSelector, 1);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kOrientationColumn), "纵向");
}

TEST_F(PropertyEditorsTest, RepeatEditor) {
  for (const char* typed : {"0", "201", ""}) {
    model_.Focus(Control::RepeatEdit);
    model_.context().SetNumberEditText(Control::RepeatEdit, typed);
    model_.property_editors().OnRepeatEditKeyUp(13);
    EXPECT_EQ(ui_.Take(), S{"数据范围1-200."}) << typed;
    EXPECT_EQ(t().Int(kRepeatColumn), 1);
    EXPECT_EQ(model_.focus(), Control::UpperLine);
  }
  // A value taken changes the Document (a Segment with text, which a save keeps).
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "A"); });
  model_.context().MarkSaved();
  Event([&] { model_.Focus(Control::RepeatEdit); });
  Event([&] { model_.context().SetNumberEditText(Control::RepeatEdit, "200"); });
  Event([&] { model_.Focus(Control::UpperLine); });
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Int(kRepeatColumn), 200);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
}

TEST_F(PropertyEditorsTest, FontSizeSelector) {
  struct Case {
    const char* what;
    const char* length;
    const char* upper_text;
    const char* lower_text;
    uint8_t material;
    int pick;  // index: 0 自动, n = "n 号"
    std::vector<std::string> messages;
    const char* kept;
    Control focus;
  };
  const Case cases[] = {
      {"自动 with automatic length",
       "0",
       "A",
       "",
       5,
       0,
       {"段长字号不能同时设为自动!"},
       "4 号",
       Control::UpperLine},
      {"自动 with a length", "30", "A", "", 5, 0, {}, "自动", Control::UpperLine},
      {"size the material cannot print",
       "30",
       "A",
       "",
       5,
       5,
       {"当前材料不能打印此字号,选择无效!"},
       "4 号",
       Control::UpperLine},
      {"upper line too long",
       "6",
       "AA",
       "",
       7,
       7,
       {"段内容超长,选择无效!"},
       "4 号",
       Control::UpperLine},
      {"lower line too long",
       "8",
       "i",
       "AA",
       7,
       3,
       {"下行内容超长,选择无效!"},
       "4 号",
       Control::LowerLine},
  };
  for (const Case& c : cases) {
    SetField(kLengthColumn, c.length);
    SetField(kSizeColumn, "4 号");
    SetField(kUpperLineColumn, c.upper_text);
    SetField(kLowerLineColumn, c.lower_text);
    t().Store();
    model_.doc().file_state.MaterialCode = c.material;
    model_.PickSelector(Control::SizeSelector, c.pick);
    EXPECT_EQ(ui_.Take(), c.messages) << c.what;
    EXPECT_EQ(Field(kSizeColumn), c.kept) << c.what;
    EXPECT_EQ(model_.focus(), c.focus) << c.what;
    EXPECT_EQ(model_.context().editor(c.focus).caret,
              static_cast<int>(model_.context().editor(c.focus).text.size()));
  }
  EXPECT_EQ(ui_.messages.size(), 0u);
}

TEST_F(PropertyEditorsTest, LowerLineRefusalUsesTheHintCaption) {
  SetField(kLengthColumn, "8");
  SetField(kUpperLineColumn, "i");
  SetField(kLowerLineColumn, "AA");
  model_.doc().file_state.MaterialCode = 7;
  model_.PickSelector(Control::SizeSelector, 3);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "提示");
}

TEST_F(PropertyEditorsTest, OrientationSelector) {
  SetField(kLengthColumn, "6");
  SetField(kUpperLineColumn, "i");
  model_.PickSelector(Control::OrientationSelector, 1);  // vertical "i" needs 48 + 48 = 96 > 66
  EXPECT_EQ(ui_.Take(), S{"段内容超长,修改无效!"});
  EXPECT_EQ(Field(kOrientationColumn), "横向");
  EXPECT_EQ(model_.doc().values.Vertical, 0);
  SetField(kUpperLineColumn, "");
  SetField(kLowerLineColumn, "i");
  model_.PickSelector(Control::OrientationSelector, 1);
  EXPECT_EQ(ui_.Take(), S{"下行内容超长,修改无效!"});
  EXPECT_EQ(model_.focus(), Control::LowerLine);
  SetField(kOrientationColumn, "纵向");
  model_.PickSelector(Control::OrientationSelector, 0);  // turning horizontal is never refused
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Field(kOrientationColumn), "横向");
}

TEST_F(PropertyEditorsTest, ShowingAnotherSegmentRunsNoCheck) {
  ThreeSegments();
  Event([&] { model_.PickSelector(Control::DecorationSelector, 1); });
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  Event([&] { model_.segment_list().OnStoreButton(); });
  model_.context().MarkSaved();
  // The selectors now show the first Segment's values.
  Event([&] { model_.segment_list().OnFirstButton(); });
  Event([&] { model_.segment_list().OnLastButton(); });
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(ui_.messages.empty());
}

// --- Line editors ----------------------------------------------------------------------

}  // namespace
}  // namespace qx
