// The document settings editors: font face, bold, material, cut mode, alignment and
// spacing, with their checks over the whole Document and what they put back.
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app/messages.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;

// Bars whose widths depend on the face: "宽体" draws "A" a third wider than the others.
class FaceCanvas : public BarCanvas {
 public:
  void SelectFont(std::string_view face, int cell_height, bool bold) override {
    widths['A'] = face == "宽体" ? 16 : 12;
    BarCanvas::SelectFont(face, cell_height, bold);
  }
};

struct Row {
  Row(std::string f, std::string s = "", int len = 25, std::string z = "4 号")
      : flin(std::move(f)), slin(std::move(s)), pitch_len(len), zihao(std::move(z)) {}
  std::string flin, slin;
  int pitch_len;      // 25 mm: limit 275 dots
  std::string zihao;  // "A" measures 24 dots at size 4 in the plain faces
};

// The window with stored Segments built from rows, the upper line of one of them focused.
// The default Document: material "套管 4.0平方", spacing 4, face "黑体".
class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : form_(ui_, std::make_unique<SqliteRowStore>(), measure_, glyph_) {
    form_.FormCreate(1024, 768, dir_.path(), dir_ / "TL.$$$");
    form_.FormActivate();
    form_.SetFaceItems({"黑体", "宋体", "宽体"});
  }

  void Build(const std::vector<Row>& rows, int current) {
    SegmentTable& t = form_.table();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i > 0) {
        t.Append();
        FillNewSegment(t);
      }
      t.Edit();
      t.SetText(kFlin, gbk::Encode(rows[i].flin));
      t.SetText(kSlin, gbk::Encode(rows[i].slin));
      t.SetInt(kPitchLen, rows[i].pitch_len);
      t.SetText(kZihao, gbk::Encode(rows[i].zihao));
      StoreNumbered(t);
    }
    GoTo(current);
    form_.para().DocModified = false;
  }
  void GoTo(int row) {
    form_.DBGrid1CellClick(row);
    form_.FocusLineEnd(0);
  }
  // Four Segments; the fourth needs 268 of its 275 dots with spacing 4 in "黑体".
  void FourthNearlyFull(int current) { Build({{"A"}, {"AA"}, {"AAA"}, {"AAAAAAAA"}}, current); }
  SegmentTable& t() { return form_.table(); }
  std::string Flin() { return gbk::ToUtf8(form_.editor(Ctl::FlinEdit).text); }
  std::vector<std::string> Texts() {
    std::vector<std::string> v;
    for (const auto& m : ui_.messages) v.push_back(m.text);
    return v;
  }

  TempDir dir_;
  ScriptedUi ui_;
  FaceCanvas measure_;
  BarCanvas glyph_;
  TPrintForm form_;
};

// Picking the entry a selector already shows is no change: nothing is checked, nothing
// stored, nothing said.
TEST_F(SettingsTest, PickingTheSelectedEntryDoesNothing) {
  const struct {
    Ctl selector;
    int index;
  } cases[] = {{Ctl::MatBox, 4}, {Ctl::ZjBox, 3}, {Ctl::ZitiBox, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Info(c.selector).name);
    form_.TypeText(Ctl::FlinEdit, "A");  // the new Segment, never stored
    ASSERT_TRUE(t().CurrentIsNew());
    form_.PickSelector(c.selector, c.index);
    EXPECT_TRUE(t().CurrentIsNew());
    EXPECT_TRUE(t().IsNull(kNum));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(form_.focus(), c.selector);
    EXPECT_EQ(form_.para().MaterialCode, 5);
    EXPECT_EQ(form_.para().CharSpacing, 4);
    EXPECT_EQ(form_.doc().settings.ZitiBox, "黑体");
    form_.FocusLineEnd(0);
  }
}

// A change that is taken stores the current Segment first, with its number.
TEST_F(SettingsTest, ChangeStoresTheCurrentSegmentNumbered) {
  form_.TypeText(Ctl::FlinEdit, "A");
  form_.PickSelector(Ctl::ZjBox, 5);
  EXPECT_FALSE(t().CurrentIsNew());
  EXPECT_EQ(t().Int(kNum), 1);
  EXPECT_EQ(form_.para().CharSpacing, 6);
  EXPECT_EQ(form_.SelectorText(Ctl::ZjBox), "6");
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_EQ(form_.editor(Ctl::FlinEdit).caret, 1);
}

// The fourth Segment reaches its limit exactly with spacing 5 (8 x 24 + 7 x 5 + 48 =
// 275) and goes past it in the wide face: both are refused. After the spacing the
// operator is on the Segment that does not fit; after the face, back where it was changed.
TEST_F(SettingsTest, DocumentTooLongForSpacingOrFace) {
  const struct {
    Ctl selector;
    int index;
    std::string_view message;
    int position_after;
  } cases[] = {
      {Ctl::ZjBox, 4, msg::kSpacingTooLong, 4},
      {Ctl::ZitiBox, 2, msg::kFaceTooLong, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Info(c.selector).name);
    FourthNearlyFull(2);
    ui_.messages.clear();
    form_.PickSelector(c.selector, c.index);
    ASSERT_EQ(Texts(), std::vector<std::string>{std::string(c.message)});
    EXPECT_EQ(ui_.messages[0].caption, msg::kInfo);
    EXPECT_EQ(t().Position(), c.position_after);
    EXPECT_EQ(Flin(), std::string(static_cast<std::size_t>(c.position_after == 4 ? 8 : 2), 'A'));
    EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
    EXPECT_EQ(form_.editor(Ctl::FlinEdit).caret,
              static_cast<int>(form_.editor(Ctl::FlinEdit).text.size()));
    // Everything as on entry.
    EXPECT_EQ(form_.para().CharSpacing, 4);
    EXPECT_EQ(form_.SelectorText(Ctl::ZjBox), "4");
    EXPECT_EQ(form_.doc().settings.ZitiBox, "黑体");
    EXPECT_EQ(form_.measurer().face(), "黑体");
    EXPECT_EQ(form_.editor_face(), "黑体");
    EXPECT_FALSE(t().ControlsDetached());
    // The editors' working values are those of the Segment now shown.
    EXPECT_EQ(form_.values().LengthDots, 275);
    // Remove the Segments for the next case.
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
  }
}

TEST_F(SettingsTest, SpacingAndFaceTakenWhenEverySegmentFits) {
  // Seven A's: 7 x 24 + 6 x 5 + 48 = 246 dots with spacing 5, 7 x 32 + 30 + 48 = 302
  // in "宽体".
  Build({{"A"}, {"AA"}, {"AAAAAAA"}}, 2);
  form_.PickSelector(Ctl::ZjBox, 4);
  EXPECT_EQ(form_.para().CharSpacing, 5);
  form_.PickSelector(Ctl::ZitiBox, 1);
  EXPECT_EQ(form_.doc().settings.ZitiBox, "宋体");
  EXPECT_EQ(form_.measurer().face(), "宋体");
  EXPECT_EQ(form_.editor_face(), "宋体");
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Position(), 2);
  EXPECT_EQ(Flin(), "AA");
  EXPECT_TRUE(form_.para().DocModified);
  // The wide face now refuses: the third Segment no longer fits.
  form_.PickSelector(Ctl::ZitiBox, 2);
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(msg::kFaceTooLong)});
  EXPECT_EQ(form_.doc().settings.ZitiBox, "宋体");
  EXPECT_EQ(t().Position(), 2);
}

// A face set by the program (a Document loaded) reaches the editors without a check.
TEST_F(SettingsTest, FaceSetByTheProgramIsNotChecked) {
  FourthNearlyFull(1);
  form_.para().UserEditing = false;
  form_.doc().settings.ZitiBox = "宽体";
  form_.ZitiBoxChange();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(form_.editor_face(), "宽体");
  EXPECT_EQ(form_.measurer().face(), "宽体");
  EXPECT_EQ(t().Position(), 1);
}

// "贴纸 6mm" takes no second line and sizes up to 3; "贴纸 12mm" takes two lines up to
// size 3. The second Segment has a lower line at size 3.
TEST_F(SettingsTest, MaterialRuleOverTheDocument) {
  const struct {
    int index;
    bool taken;
  } cases[] = {{0, false}, {2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    Build({{"A", "", 25, "3 号"}, {"A", "B", 25, "3 号"}, {"A", "", 25, "3 号"}}, 3);
    ui_.messages.clear();
    form_.PickSelector(Ctl::MatBox, c.index);
    EXPECT_EQ(t().Position(), 3);
    EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
    EXPECT_TRUE(form_.para().DocModified);
    if (c.taken) {
      EXPECT_TRUE(ui_.messages.empty());
      EXPECT_EQ(form_.para().MaterialCode, 3);
      EXPECT_EQ(form_.SelectorText(Ctl::MatBox), "贴纸 12mm");
    } else {
      EXPECT_EQ(Texts(), std::vector<std::string>{std::string(msg::kMaterialCannotPrint)});
      EXPECT_EQ(form_.para().MaterialCode, 5);
      EXPECT_EQ(form_.SelectorText(Ctl::MatBox), "套管 4.0平方");
    }
    while (t().RowCount() > 1) {
      t().Last();
      t().Delete();
    }
    form_.doc().settings.MatBox = 4;
    form_.para().MaterialCode = 5;
  }
}

TEST_F(SettingsTest, CutModeAndAlignmentTakenWithoutAMessage) {
  FourthNearlyFull(4);
  form_.PickSelector(Ctl::CutBox, 2);
  EXPECT_EQ(form_.para().CutCode, 2);
  EXPECT_TRUE(form_.para().DocModified);
  form_.para().DocModified = false;
  form_.PickSelector(Ctl::PlBox, 1);
  EXPECT_EQ(form_.para().AlignCode, 1);
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(t().Position(), 4);
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  // Density is taken as it is, and is no part of the Document.
  form_.para().DocModified = false;
  form_.PickSelector(Ctl::NdBox, 6);
  EXPECT_EQ(form_.doc().settings.NdBox, 6);
  EXPECT_FALSE(form_.para().DocModified);
}

TEST_F(SettingsTest, BoldChangesNoLengthAndNotTheDocument) {
  FourthNearlyFull(4);
  const int before = form_.measurer().MeasureGlyph('A', 4);
  form_.BlodBtnClick();
  EXPECT_TRUE(form_.doc().settings.BlodBtn);
  EXPECT_TRUE(form_.doc().settings.EditorFontBold);
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_EQ(form_.measurer().MeasureGlyphUncached('A', 4), before);
  form_.BlodBtnClick();
  EXPECT_FALSE(form_.doc().settings.EditorFontBold);
  EXPECT_TRUE(ui_.messages.empty());
}

// The preview of the current Segment (automatic length) follows the spacing: a taken
// spacing lengthens it, a refused one leaves it as it was.
TEST_F(SettingsTest, PreviewFollowsTheSpacing) {
  Build({{"AAAA", "", 0}, {"AAAAAAAA"}}, 1);
  const auto width = [&] {
    const SegmentPreview p = form_.PreviewCurrent();
    EXPECT_TRUE(p.item.has_value()) << p.note;
    return p.item ? p.item->ColumnCount + p.item->LeadBlank + p.item->TrailBlank : 0;
  };
  const int before = width();
  form_.PickSelector(Ctl::ZjBox, 4);  // refused by the second Segment, which is shown
  GoTo(1);
  EXPECT_EQ(width(), before);
  form_.PickSelector(Ctl::ZjBox, 2);  // spacing 3: three gaps one dot shorter
  EXPECT_EQ(width(), before - 3);
}

}  // namespace
}  // namespace qx
