// The document settings editors: font face, bold, material, cut mode, alignment and
// spacing, with their checks over the whole Document and what they put back.
#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "document/gbk.h"
#include "editing/control_values.h"
#include "editing/messages.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::WindowFixture;
using S = std::vector<std::string>;

// Bars whose widths depend on the face: "宽体" draws "A" a third wider than the others.
class FaceCanvas : public BarCanvas {
 public:
  void SelectFont(std::string_view face, int cell_height, bool bold) override {
    widths['A'] = face == "宽体" ? 16 : 12;
    BarCanvas::SelectFont(face, cell_height, bold);
  }
};

// "A" measures 24 dots at size 4 in the plain faces.
using Row = testing::SegmentRow;

// The window with stored Segments built from rows, the upper line of one of them focused.
// The default Document: material "套管 4.0平方", spacing 4, face "黑体".
class DocumentSettingsTest : public WindowFixture<FaceCanvas> {
 protected:
  DocumentSettingsTest() : WindowFixture<FaceCanvas>() {
    model_.settings().SetFaceItems({"黑体", "宋体", "宽体"});
  }

  void GoTo(int row) {
    model_.segment_list().OnGridRowClicked(row);
    model_.context().FocusLineEnd(0);
  }
  // Four Segments; the fourth needs 268 of its 275 dots with spacing 4 in "黑体".
  void FourthNearlyFull(int current) { BuildRows({{"A"}, {"AA"}, {"AAA"}, {"AAAAAAAA"}}, current); }
};

// Picking the entry a selector already shows is no change: nothing is checked, nothing
// stored, nothing said.
TEST_F(DocumentSettingsTest, PickingTheSelectedEntryDoesNothing) {
  const struct {
    Control selector;
    int index;
  } cases[] = {{Control::MaterialSelector, 4},
               {Control::SpacingSelector, 3},
               {Control::FontFaceSelector, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Info(c.selector).name);
    model_.line_editors().TypeText(Control::UpperLine, "A");  // the new Segment, never stored
    ASSERT_TRUE(t().CurrentIsNew());
    model_.PickSelector(c.selector, c.index);
    EXPECT_TRUE(t().CurrentIsNew());
    EXPECT_TRUE(t().IsNull(kNumberColumn));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(model_.focus(), c.selector);
    EXPECT_EQ(model_.doc().file_state.MaterialCode, 5);
    EXPECT_EQ(model_.doc().file_state.CharSpacing, 4);
    EXPECT_EQ(model_.doc().settings.font_face, "黑体");
    model_.context().FocusLineEnd(0);
  }
}

// A change that is taken stores the current Segment first, with its number.
TEST_F(DocumentSettingsTest, ChangeStoresTheCurrentSegmentNumbered) {
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "A"); });
  Event([&] { model_.PickSelector(Control::SpacingSelector, 5); });
  EXPECT_FALSE(t().CurrentIsNew());
  EXPECT_EQ(t().Int(kNumberColumn), 1);
  EXPECT_EQ(model_.doc().file_state.CharSpacing, 6);
  EXPECT_EQ(SelectorText(model_.doc(), Control::SpacingSelector), "6");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.context().editor(Control::UpperLine).caret, 1);
}

// The fourth Segment reaches its limit exactly with spacing 5 (8 x 24 + 7 x 5 + 48 =
// 275) and goes past it in the wide face: both are refused. After the spacing the
// operator is on the Segment that does not fit; after the face, back where it was changed.
TEST_F(DocumentSettingsTest, DocumentTooLongForSpacingOrFace) {
  const struct {
    Control selector;
    int index;
    std::string_view message;
    int position_after;
  } cases[] = {
      {Control::SpacingSelector, 4, msg::kSpacingTooLong, 4},
      {Control::FontFaceSelector, 2, msg::kFaceTooLong, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Info(c.selector).name);
    FourthNearlyFull(2);
    ui_.messages.clear();
    model_.PickSelector(c.selector, c.index);
    ASSERT_EQ(Texts(), std::vector<std::string>{std::string(c.message)});
    EXPECT_EQ(ui_.messages[0].caption, msg::kInfo);
    EXPECT_EQ(t().Position(), c.position_after);
    EXPECT_EQ(UpperText(),
              std::string(static_cast<std::size_t>(c.position_after == 4 ? 8 : 2), 'A'));
    EXPECT_EQ(model_.focus(), Control::UpperLine);
    EXPECT_EQ(model_.context().editor(Control::UpperLine).caret,
              static_cast<int>(model_.context().editor(Control::UpperLine).text.size()));
    // Everything as on entry.
    EXPECT_EQ(model_.doc().file_state.CharSpacing, 4);
    EXPECT_EQ(SelectorText(model_.doc(), Control::SpacingSelector), "4");
    EXPECT_EQ(model_.doc().settings.font_face, "黑体");
    EXPECT_EQ(model_.measurer().face(), "黑体");
    EXPECT_EQ(model_.settings().editor_face(), "黑体");
    EXPECT_FALSE(t().ControlsDetached());
    // The editors' working values are those of the Segment now shown.
    EXPECT_EQ(model_.doc().values.LengthDots, 275);
    // Remove the Segments for the next case.
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

TEST_F(DocumentSettingsTest, SpacingAndFaceTakenWhenEverySegmentFits) {
  // Seven A's: 7 x 24 + 6 x 5 + 48 = 246 dots with spacing 5, 7 x 32 + 30 + 48 = 302
  // in "宽体".
  BuildRows({{"A"}, {"AA"}, {"AAAAAAA"}}, 2);
  Event([&] { model_.PickSelector(Control::SpacingSelector, 4); });
  EXPECT_EQ(model_.doc().file_state.CharSpacing, 5);
  Event([&] { model_.PickSelector(Control::FontFaceSelector, 1); });
  EXPECT_EQ(model_.doc().settings.font_face, "宋体");
  EXPECT_EQ(model_.measurer().face(), "宋体");
  EXPECT_EQ(model_.settings().editor_face(), "宋体");
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Position(), 2);
  EXPECT_EQ(UpperText(), "AA");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  // The wide face now refuses: the third Segment no longer fits.
  model_.PickSelector(Control::FontFaceSelector, 2);
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(msg::kFaceTooLong)});
  EXPECT_EQ(model_.doc().settings.font_face, "宋体");
  EXPECT_EQ(t().Position(), 2);
}

// A face set by the program (a Document loaded) reaches the editors without a check.
TEST_F(DocumentSettingsTest, FaceSetByTheProgramIsNotChecked) {
  FourthNearlyFull(1);
  model_.doc().file_state.UserEditing = false;
  model_.doc().settings.font_face = "宽体";
  model_.settings().OnFontFaceChosen();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(model_.settings().editor_face(), "宽体");
  EXPECT_EQ(model_.measurer().face(), "宽体");
  EXPECT_EQ(t().Position(), 1);
}

// "贴纸 6mm" takes no second line and sizes up to 3; "贴纸 12mm" takes two lines up to
// size 3. The second Segment has a lower line at size 3.
TEST_F(DocumentSettingsTest, MaterialRuleOverTheDocument) {
  const struct {
    int index;
    bool taken;
  } cases[] = {{0, false}, {2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    BuildRows({{"A", "", 25, "3 号"}, {"A", "B", 25, "3 号"}, {"A", "", 25, "3 号"}}, 3);
    ui_.messages.clear();
    Event([&] { model_.PickSelector(Control::MaterialSelector, c.index); });
    EXPECT_EQ(t().Position(), 3);
    EXPECT_EQ(model_.focus(), Control::UpperLine);
    EXPECT_EQ(model_.doc().file_state.DocModified, c.taken);  // a refused one changes nothing
    if (c.taken) {
      EXPECT_TRUE(ui_.messages.empty());
      EXPECT_EQ(model_.doc().file_state.MaterialCode, 3);
      EXPECT_EQ(SelectorText(model_.doc(), Control::MaterialSelector), "贴纸 12mm");
    } else {
      EXPECT_EQ(Texts(), std::vector<std::string>{std::string(msg::kMaterialCannotPrint)});
      EXPECT_EQ(model_.doc().file_state.MaterialCode, 5);
      EXPECT_EQ(SelectorText(model_.doc(), Control::MaterialSelector), "套管 4.0平方");
    }
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
    model_.doc().settings.material_index = 4;
    model_.doc().file_state.MaterialCode = 5;
  }
}

TEST_F(DocumentSettingsTest, CutModeAndAlignmentTakenWithoutAMessage) {
  FourthNearlyFull(4);
  Event([&] { model_.PickSelector(Control::CutSelector, 2); });
  EXPECT_EQ(model_.doc().file_state.CutCode, 2);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  model_.context().MarkSaved();
  Event([&] { model_.PickSelector(Control::AlignmentSelector, 1); });
  EXPECT_EQ(model_.doc().file_state.AlignCode, 1);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  // Density is taken as it is, and is no part of the Document.
  model_.context().MarkSaved();
  Event([&] { model_.PickSelector(Control::DensitySelector, 6); });
  EXPECT_EQ(model_.doc().settings.density_index, 6);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

// Entering a selector of the document's settings, the font face among them, and leaving
// it without a pick changes nothing: no undo step, the Document stays unchanged, and
// closing asks nothing.
TEST_F(DocumentSettingsTest, EnteringASettingsSelectorLeavesTheDocumentUnchanged) {
  FourthNearlyFull(4);
  for (Control selector : {Control::FontFaceSelector, Control::MaterialSelector,
                           Control::CutSelector, Control::AlignmentSelector,
                           Control::SpacingSelector}) {
    SCOPED_TRACE(Info(selector).name);
    Event([&] { model_.Focus(selector); });
    EXPECT_FALSE(model_.doc().file_state.DocModified);
    EXPECT_TRUE(model_.doc().file_state.UserEditing);
    Event([&] { model_.Focus(Control::UpperLine); });
    EXPECT_FALSE(model_.doc().file_state.DocModified);
    EXPECT_FALSE(model_.CanUndo());
  }
  EXPECT_TRUE(model_.CanClose());
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(DocumentSettingsTest, BoldChangesNoLengthAndNotTheDocument) {
  FourthNearlyFull(4);
  const int before = model_.measurer().MeasureGlyph('A', 4);
  model_.settings().OnBoldButton();
  EXPECT_TRUE(model_.doc().settings.bold);
  EXPECT_TRUE(model_.doc().settings.editor_bold);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_EQ(model_.measurer().MeasureGlyphUncached('A', 4), before);
  model_.settings().OnBoldButton();
  EXPECT_FALSE(model_.doc().settings.editor_bold);
  EXPECT_TRUE(ui_.messages.empty());
}

// The preview of the current Segment (automatic length) follows the spacing: a taken
// spacing lengthens it, a refused one leaves it as it was.
TEST_F(DocumentSettingsTest, PreviewFollowsTheSpacing) {
  BuildRows({{"AAAA", "", 0}, {"AAAAAAAA"}}, 1);
  const auto width = [&] {
    const SegmentPreview p = model_.preview().Make();
    EXPECT_TRUE(p.item.has_value()) << p.note;
    return p.item ? p.item->ColumnCount + p.item->LeadBlank + p.item->TrailBlank : 0;
  };
  const int before = width();
  model_.PickSelector(Control::SpacingSelector,
                      4);  // refused by the second Segment, which is shown
  GoTo(1);
  EXPECT_EQ(width(), before);
  model_.PickSelector(Control::SpacingSelector, 2);  // spacing 3: three gaps one dot shorter
  EXPECT_EQ(width(), before - 3);
}

}  // namespace
}  // namespace qx
