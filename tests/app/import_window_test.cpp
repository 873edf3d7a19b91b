// The import through its window: the operator's choices (sheet, header, columns, empty rows,
// replace or add) decide the Segments, in every format the import reads; the window shows
// what each row becomes before anything happens; nothing is given up until "导入" and the
// save question after it; the rows cut, changed or left out are listed afterwards.
#include <gtest/gtest.h>

#include <functional>

#include "app/import_window.h"
#include "app/main_window_model.h"
#include "editing/messages.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowTest;
using S = std::vector<std::string>;

const std::filesystem::path kFixtures = std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "import";

class ImportWindowTest : public WindowTest {
 public:
  // The import command on `file`, with `choose` making the operator's choices in the window
  // and the answer to "导入" (true) or "取消" (false).
  void Import(const std::filesystem::path& file, std::function<bool(ImportWindow&)> choose) {
    ui_.import_window = std::move(choose);
    ASSERT_TRUE(model_.Run([&] { model_.OnImportButton(&file); }));
  }
  S Upper() { return Column(kUpperLineColumn); }
};

// wires.* (the same list in every format): a header row "线号", W-001, W-002, 007, H₂O, a
// row with an empty first cell and text beside it, m², same, same; a second sheet of two
// rows.
TEST_F(ImportWindowTest, TheChoicesDecideTheSegmentsInEveryFormat) {
  struct Case {
    const char* name;
    std::function<void(ImportWindow&)> choose;
    S first_upper;  // the first upper lines
    int segments;
    S first_lower;
  };
  const Case cases[] = {
      {"defaults", [](ImportWindow&) {}, {"线号", "W-001", "W-002", "007"}, 5,
       {"去向", "X1:1", "X1:2, X2:1"}},
      {"header", [](ImportWindow& w) { w.SetHeader(true); }, {"W-001", "W-002", "007"}, 4,
       {"X1:1"}},
      {"header, skip empty rows",
       [](ImportWindow& w) {
         w.SetHeader(true);
         w.SetSkipEmptyRows(true);
       },
       {"W-001", "W-002", "007"}, 7, {"X1:1"}},
      {"column C alone, skip empty rows",
       [](ImportWindow& w) {
         w.SetHeader(true);
         w.SetUpperColumn(2);
         w.SetLowerColumn(kNoColumn);
         w.SetSkipEmptyRows(true);
       },
       {"2.50", "say \"hi\""}, 3, {"", "", ""}},
      {"lower line from A, upper from B",
       [](ImportWindow& w) {
         w.SetHeader(true);
         w.SetUpperColumn(1);
         w.SetLowerColumn(0);
       },
       {"X1:1", "X1:2, X2:1"}, 3, {"W-001", "W-002", "007"}},
  };
  for (const char* source : {"wires.xlsx", "wires.ods", "wires.csv"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(source) + ": " + c.name);
      if (model_.doc().file_state.DocModified) ui_.yes_no = {Answer::kNo};
      Import(kFixtures / source, [&](ImportWindow& w) {
        c.choose(w);
        return true;
      });
      ui_.messages.clear();
      const S upper = Upper();
      ASSERT_EQ(static_cast<int>(upper.size()), c.segments);
      // Compared from the first row that is plain text ("1.5 m²" becomes a mark).
      const std::size_t from = std::string(c.name).rfind("column C", 0) == 0 ? 1 : 0;
      EXPECT_EQ(S(upper.begin() + static_cast<std::ptrdiff_t>(from),
                  upper.begin() + static_cast<std::ptrdiff_t>(from + c.first_upper.size())),
                c.first_upper);
      const S lower = Column(kLowerLineColumn);
      EXPECT_EQ(S(lower.begin(), lower.begin() + static_cast<std::ptrdiff_t>(c.first_lower.size())),
                c.first_lower);
    }
  }
  // The second sheet of a workbook.
  ui_.yes_no = {Answer::kNo};
  Import(kFixtures / "wires.ods", [](ImportWindow& w) {
    EXPECT_EQ(w.sheet_names(), (S{"线号", "Second"}));
    w.ChooseSheet(1);
    EXPECT_EQ(w.preview().rows.size(), 2u);  // the grid shows the sheet chosen
    return true;
  });
  EXPECT_EQ(Upper().size(), 2u);
}

// The window shows what each row becomes and marks the rows changed or left out.
TEST_F(ImportWindowTest, TheWindowShowsWhatEachRowBecomes) {
  Import(kFixtures / "wires.xlsx", [](ImportWindow& w) {
    EXPECT_FALSE(w.CanAppend());  // the Document is empty: nothing to add to
    w.SetAppend(true);
    EXPECT_FALSE(w.options().append);
    w.SetHeader(true);
    const ImportPreview& p = w.preview();
    EXPECT_EQ(p.rows.size(), 9u);
    EXPECT_GE(w.column_count(), 3);
    EXPECT_EQ(w.ColumnItems()[2], "C");
    EXPECT_EQ(w.LowerColumnItems()[0], "无");
    EXPECT_EQ(w.LowerColumnPosition(), 2);  // column B
    EXPECT_EQ(w.MarkOf(p.rows[0]), ImportWindow::RowMark::kNotImported);
    EXPECT_EQ(w.BecomesText(p.rows[0]), "标题行,不导入");
    EXPECT_EQ(w.MarkOf(p.rows[1]), ImportWindow::RowMark::kNone);
    EXPECT_EQ(w.BecomesText(p.rows[1]), "第1段  W-001 / X1:1  2 号  25mm");
    EXPECT_EQ(w.MarkOf(p.rows[4]), ImportWindow::RowMark::kChanged);  // H₂O
    EXPECT_NE(w.BecomesText(p.rows[4]).find("个上下标"), std::string::npos);
    EXPECT_EQ(w.BecomesText(p.rows[5]), "第一格为空,到此结束");
    EXPECT_EQ(w.MarkOf(p.rows[8]), ImportWindow::RowMark::kNotImported);
    EXPECT_EQ(w.SummaryText(), "共9行: 4个段落, 1行有改动, 5行不导入");
    w.SetSkipEmptyRows(true);
    EXPECT_EQ(w.BecomesText(p.rows[5]), "空行,跳过");
    // m² beside a lower line: marks need a one-line Segment, so it becomes '?'.
    EXPECT_EQ(w.BecomesText(p.rows[6]), "第5段  m? / merged  two  2 号  自动  1个字符改为?");
    return false;
  });
}

// Nothing is given up before "导入": cancelling the window leaves the Document and asks
// nothing; after "导入" the save question comes, and cancelling it leaves the Document too.
// Adding after the last Segment keeps the Document and its material, as one undo step.
TEST_F(ImportWindowTest, NothingIsGivenUpBeforeTheImportIsConfirmed) {
  Event([&] { Segment("K1"); });
  Event([&] { model_.PickSelector(Control::MaterialSelector, 1); });
  ASSERT_TRUE(model_.doc().file_state.DocModified);
  const int material = model_.doc().settings.material_index;

  Import(kFixtures / "wires.xlsx", [](ImportWindow&) { return false; });
  EXPECT_EQ(Upper(), S{"K1"});
  EXPECT_TRUE(ui_.questions.empty());

  ui_.yes_no = {Answer::kCancel};  // the save question, after "导入"
  Import(kFixtures / "wires.xlsx", [](ImportWindow&) { return true; });
  EXPECT_TRUE(ui_.yes_no.empty());
  EXPECT_EQ(Upper(), S{"K1"});

  Import(kFixtures / "wires.csv", [](ImportWindow& w) {
    EXPECT_TRUE(w.CanAppend());
    w.SetHeader(true);
    w.SetAppend(true);
    EXPECT_EQ(w.BecomesText(w.preview().rows[1]), "第2段  W-001 / X1:1  2 号  25mm");
    return true;
  });
  EXPECT_TRUE(ui_.yes_no.empty());  // adding asks nothing
  const S upper = Upper();
  ASSERT_EQ(upper.size(), 5u);
  EXPECT_EQ(upper[0], "K1");
  EXPECT_EQ(upper[1], "W-001");
  EXPECT_EQ(model_.doc().settings.material_index, material);
  EXPECT_EQ(t().Position(), 2);  // the first Segment added is shown
  EXPECT_EQ(model_.UndoText(), "撤销 导入");
  ASSERT_TRUE(model_.Run([&] { model_.Undo(); }));
  EXPECT_EQ(Upper(), S{"K1"});
}

// After the import, the rows cut, changed or skipped are listed by their row numbers.
TEST_F(ImportWindowTest, TheRowsChangedOrLeftOutAreListed) {
  Import(kFixtures / "wires.xlsx", [](ImportWindow& w) {
    w.SetHeader(true);
    w.SetSkipEmptyRows(true);
    return true;
  });
  ASSERT_FALSE(ui_.messages.empty());
  EXPECT_EQ(ui_.messages.back().text,
            "有些字符打印机的字库中没有,已替换为“?”。\n"
            "导入时有3行有改动或未导入:\n"
            "第5行: 上标、下标数字已改为上标、下标\n"
            "第6行: 上行的格为空,已跳过\n"
            "第7行: 字库中没有的字符已改为“?”");
}


// Lines copied from a spreadsheet and pasted into a line editor: "每行一个段落?"; yes puts
// one Segment a line after the current one (a tab between the upper and the lower line)
// as one undo step; no pastes into the line as before; one line asks nothing.
TEST_F(ImportWindowTest, PastedLinesBecomeSegmentsAfterTheCurrentOne) {
  ThreeSegments();
  model_.segment_list().OnGridRowClicked(1);
  const std::string pasted = "K1\tX1:1\r\nK2\t\r\n\"K3, two\"\r\n";
  ui_.yes_no = {Answer::kYes};
  ASSERT_TRUE(model_.Run([&] { model_.PasteText(Control::UpperLine, pasted); }));
  EXPECT_EQ(ui_.questions, S{"每行一个段落?"});
  EXPECT_EQ(Upper(), (S{"a", "K1", "K2", "K3, two", "b", "c"}));
  EXPECT_EQ(Column(kLowerLineColumn), (S{"", "X1:1", "", "", "", ""}));
  EXPECT_EQ(Column(kNumberColumn), (S{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(t().Position(), 2);  // the first pasted Segment is shown
  EXPECT_EQ(model_.UndoText(), "撤销 粘贴");
  ASSERT_TRUE(model_.Run([&] { model_.Undo(); }));
  EXPECT_EQ(Upper(), (S{"a", "b", "c"}));

  ui_.questions.clear();
  ui_.yes_no = {Answer::kNo};
  ASSERT_TRUE(model_.Run([&] { model_.PasteText(Control::UpperLine, "P\nQ"); }));
  EXPECT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(Upper().size(), 3u);
  EXPECT_EQ(UpperText(), "aPQ");

  ui_.questions.clear();
  ASSERT_TRUE(model_.Run([&] { model_.PasteText(Control::UpperLine, "R\n"); }));
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(UpperText(), "aPQR");
}

}  // namespace
}  // namespace qx
