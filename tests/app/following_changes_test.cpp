// The buttons that copy the current Segment's length, repeat count, font size,
// orientation or decoration to it and every Segment after it.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "editing/messages.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using S = std::vector<std::string>;

// "A" measures 24 dots at size 4, 12 at size 1; "W" 48 and 40.
using Row = testing::SegmentRow;

using Press = void (FollowingSegmentChanges::*)();

// The window with stored Segments built from rows (material "套管 4.0平方", spacing 4),
// the upper line of one of them focused.
class FollowingChangesTest : public WindowFixture<> {
 protected:
  FollowingChangesTest() : WindowFixture<>({{'W', 40}}) {}

  // The current Segment's field, changed by the operator and not yet stored.
  void SetField(int col, const std::string& utf8) {
    t().Edit();
    if (col == kLengthColumn || col == kRepeatColumn) {
      t().SetInt(col, std::stoi(utf8));
    } else {
      t().SetText(col, gbk::Encode(utf8));
    }
  }
  void ExpectBackOnUpperLine(int position) {
    EXPECT_EQ(t().Position(), position);
    EXPECT_EQ(model_.focus(), Control::UpperLine);
    EXPECT_EQ(model_.context().editor(Control::UpperLine).caret,
              static_cast<int>(model_.context().editor(Control::UpperLine).text.size()));
    EXPECT_FALSE(t().ControlsDetached());
  }
};

struct ButtonCase {
  const char* name;
  Press press;
  std::string_view question;
  int column;
  const char* value;        // given to the current Segment before the press
  bool user_editing_after;  // the length, repeat and size buttons turn it on again
};

const ButtonCase kButtons[] = {
    {"FollowingLength", &FollowingSegmentChanges::OnFollowingLengthButton, msg::kAskFollowingLength,
     kLengthColumn, "30", true},
    {"FollowingRepeat", &FollowingSegmentChanges::OnFollowingRepeatButton, msg::kAskFollowingRepeat,
     kRepeatColumn, "5", true},
    {"FollowingSize", &FollowingSegmentChanges::OnFollowingSizeButton, msg::kAskFollowingSize,
     kSizeColumn, "3 号", true},
    {"FollowingOrientation", &FollowingSegmentChanges::OnFollowingOrientationButton,
     msg::kAskFollowingOrientation, kOrientationColumn, "纵向", false},
    {"FollowingDecoration", &FollowingSegmentChanges::OnFollowingDecorationButton,
     msg::kAskFollowingDecoration, kDecorationColumn, "加 边 框", false},
};

// Yes copies the current Segment's value to it and every Segment after it; the Segments
// before it keep theirs. On the last Segment the range is that Segment alone.
TEST_F(FollowingChangesTest, YesCopiesToTheCurrentAndEveryFollowingSegment) {
  for (const ButtonCase& b : kButtons) {
    for (int current : {2, 4}) {
      SCOPED_TRACE(std::string(b.name) + " on " + std::to_string(current));
      BuildRows({{}, {}, {}, {}}, current);
      const S before = Column(b.column);
      SetField(b.column, b.value);
      ui_.yes_no = {Answer::kYes};
      ui_.questions.clear();
      (model_.following().*b.press)();
      EXPECT_EQ(ui_.questions, S{std::string(b.question)});
      EXPECT_TRUE(ui_.messages.empty());
      S expected = before;
      for (int r = current - 1; r < 4; ++r) expected[static_cast<std::size_t>(r)] = b.value;
      EXPECT_EQ(Column(b.column), expected);
      EXPECT_EQ(Column(kNumberColumn), (S{"1", "2", "3", "4"}));
      ExpectBackOnUpperLine(current);
      EXPECT_EQ(model_.doc().file_state.UserEditing, b.user_editing_after);
      EXPECT_FALSE(model_.doc().file_state.DocModified);
      while (t().RowCount() > 1) {
        t().Last();
        t().Delete();
      }
    }
  }
}

// No changes nothing and returns to the end of the upper line. The font-size button has
// stored the current Segment (with its number) before it asked; the others have not.
TEST_F(FollowingChangesTest, NoChangesNothing) {
  for (const ButtonCase& b : kButtons) {
    SCOPED_TRACE(b.name);
    BuildRows({{}, {}, {}}, 3);
    model_.segment_list().OnAppendButton();
    model_.line_editors().TypeText(Control::UpperLine, "d");  // a fourth Segment, not numbered yet
    ASSERT_TRUE(t().IsNull(kNumberColumn));
    const S before = Column(b.column);
    ui_.yes_no = {Answer::kNo};
    ui_.questions.clear();
    (model_.following().*b.press)();
    EXPECT_EQ(ui_.questions, S{std::string(b.question)});
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(Column(b.column), before);
    ExpectBackOnUpperLine(4);
    const bool stored = b.press == &FollowingSegmentChanges::OnFollowingSizeButton;
    EXPECT_EQ(t().IsNull(kNumberColumn), !stored) << t().Text(kNumberColumn);
    if (stored) {
      EXPECT_EQ(t().Int(kNumberColumn), 4);
    }
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

// Every refusal comes alone, leaves every Segment as it was and returns to the Segment
// the button was pressed on. The automatic length and size refusals come before the fit
// check although the later Segment would fail it too.
TEST_F(FollowingChangesTest, RefusalsChangeNoSegment) {
  const std::string kLong(100, 'W');  // far too long for any length
  const struct {
    const char* name;
    std::vector<Row> rows;  // the second Segment is current
    uint8_t material;
    Press press;
    int column;
    std::string_view message;
    const char* figures;  // beside the preview: the Segment that stops the change, and why
  } cases[] = {
      // clang-format off
      {"automatic length over an automatic size",
       {{}, {"a", "", 0, "4 号"}, {kLong, "", 25, "自动"}},
       5, &FollowingSegmentChanges::OnFollowingLengthButton, kLengthColumn, msg::kFollowingAutoSize,
       "第 3 段不允许此修改：字号为自动"},
      {"length too short for a later Segment",
       {{}, {"a", "", 10}, {"AAAA"}},  // 4 x 24 + 3 x 4 + 48 = 156 dots, limit 110
       5, &FollowingSegmentChanges::OnFollowingLengthButton, kLengthColumn, msg::kFollowingLengthTooLong,
       "第 3 段不允许此修改：所需长度 14.2 mm，段长 10 mm"},
      {"automatic size over an automatic length",
       {{}, {"a", "", 25, "自动"}, {kLong, "", 0, "4 号"}},
       5, &FollowingSegmentChanges::OnFollowingSizeButton, kSizeColumn, msg::kFollowingAutoLength,
       "第 3 段不允许此修改：段长为自动"},
      {"size beyond the material for a lower line",  // "贴纸 12mm": two lines up to 3
       {{}, {"a", "", 25, "4 号"}, {"a", "b", 25, "3 号"}},
       3, &FollowingSegmentChanges::OnFollowingSizeButton, kSizeColumn, msg::kFollowingSizeNotForMaterial,
       "第 3 段不允许此修改：有下行，双行字号最大 3 号；当前字号可双行的材料：热缩管"},
      {"size too large for a later Segment",  // 10 x 24 + 9 x 4 + 48 = 324 at size 4
       {{}, {"a", "", 25, "4 号"}, {"AAAAAAAAAA", "", 25, "1 号"}},
       5, &FollowingSegmentChanges::OnFollowingSizeButton, kSizeColumn, msg::kFollowingSizeTooLong,
       "第 3 段不允许此修改：所需长度 29.5 mm，段长 25 mm"},
      {"vertical too long for a later Segment",  // 6 x 48 + 5 x 4 + 48 = 356 vertical
       {{}, {"a", "", 25, "4 号", "纵向"}, {"AAAAAA"}},
       5, &FollowingSegmentChanges::OnFollowingOrientationButton, kOrientationColumn, msg::kFollowingOrientationTooLong,
       "第 3 段不允许此修改：所需长度 32.4 mm，段长 25 mm"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model_.doc().file_state.MaterialCode = c.material;
    model_.doc().settings.material_index = c.material - 1;
    BuildRows(c.rows, 2);
    const S before = Column(c.column);
    ui_.messages.clear();
    ui_.yes_no = {Answer::kYes};
    (model_.following().*c.press)();
    EXPECT_EQ(Texts(), S{std::string(c.message)});
    if (!ui_.messages.empty()) {
      EXPECT_EQ(ui_.messages[0].caption, msg::kInfo);
    }
    EXPECT_EQ(Column(c.column), before);
    ExpectBackOnUpperLine(2);
    EXPECT_EQ(model_.doc().values.LengthDots, LengthLimit(c.rows[1].length_mm));
    EXPECT_EQ(model_.preview().Make().refusal, c.figures);
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

// Repeat counts and decorations fit anything: a later Segment too long for its length and
// beyond its material refuses neither.
TEST_F(FollowingChangesTest, RepeatAndDecorationAreNeverRefused) {
  const struct {
    Press press;
    int column;
    const char* value;
  } cases[] = {
      {&FollowingSegmentChanges::OnFollowingRepeatButton, kRepeatColumn, "7"},
      {&FollowingSegmentChanges::OnFollowingDecorationButton, kDecorationColumn, "加下划线"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BuildRows({{}, {std::string(100, 'W'), "b", 25, "7 号"}}, 1);
    SetField(c.column, c.value);
    ui_.yes_no = {Answer::kYes};
    (model_.following().*c.press)();
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(Column(c.column), (S{c.value, c.value}));
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

// A repeat count the repeat editor refuses when it is left ends the button at once:
// the editor's own message, no question, nothing copied.
TEST_F(FollowingChangesTest, RepeatRefusedByItsEditorIsNotCopied) {
  BuildRows({{}, {}, {}}, 2);
  model_.Focus(Control::RepeatEdit);
  model_.context().SetNumberEditText(Control::RepeatEdit, "0");
  model_.following().OnFollowingRepeatButton();
  EXPECT_EQ(Texts(), S{std::string(msg::kRepeatRange)});
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(Column(kRepeatColumn), (S{"1", "1", "1"}));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
}

}  // namespace
}  // namespace qx
