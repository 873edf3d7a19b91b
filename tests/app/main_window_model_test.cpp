// The main window model: its start, layout, closing, help, the end of a job, restoring
// a leftover working table, and the preview of the current Segment.
#include "app/main_window_model.h"

#include <gtest/gtest.h>

#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "editing/control_values.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;
using testing::WindowTest;

TEST(WindowLayoutRules, LargeAndSmallScreens) {
  const WindowLayout big = ComputeLayout(1024, 768);
  EXPECT_EQ(big.lower_line_top, 598);
  EXPECT_EQ(big.upper_line_top, 518);
  EXPECT_EQ(big.grid_height, 408);
  EXPECT_EQ(big.grid_width, 864);
  EXPECT_EQ(big.upper_line_width, 984);
  EXPECT_EQ(big.status0_width, 512);
  EXPECT_TRUE(big.logo_visible);
  EXPECT_EQ(big.logo_left, (864 - 783) / 2 + 623);
  EXPECT_EQ(big.grid_text_col_width, 412);

  const WindowLayout small = ComputeLayout(1366, 760);
  EXPECT_FALSE(small.logo_visible);
  EXPECT_EQ(small.lower_line_top, 600);
  EXPECT_EQ(small.upper_line_top, 530);
  EXPECT_EQ(small.lower_line_width, 1191);
  EXPECT_EQ(small.upper_line_left, 136);
  EXPECT_EQ(small.grid_height, 432);
  EXPECT_EQ(small.grid_width, 1206);
}

TEST(WindowLayoutRules, LowScreensGetTheCompactWindow) {
  // Available areas in device-independent pixels: 1366 x 768 and 1024 x 768 with a panel
  // of 30 pixels, at 1x and at 2x.
  struct Case {
    int w, h;
    bool compact;
    int line_font_px, preview_scale;
  } cases[] = {
      {1366, 738, false, 53, 1},
      {1024, 738, false, 53, 1},
      {1920, 1050, false, 53, 2},
      {1600, 900, false, 53, 2},
      {683, 369, true, 25, 1},
      {512, 369, true, 25, 1},
      {800, 599, true, 41, 1},
      {800, 600, false, 53, 1},
      {320, 200, true, 22, 1},  // never smaller than a readable line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const WindowLayout l = ComputeLayout(c.w, c.h);
    EXPECT_EQ(l.compact, c.compact);
    EXPECT_EQ(l.logo_picture_visible, !c.compact);
    EXPECT_EQ(l.line_font_px, c.line_font_px);
    EXPECT_EQ(l.preview_scale, c.preview_scale);
    EXPECT_EQ(l.two_row_tool_bars, c.w < 1100 || c.compact);
  }
  EXPECT_EQ(StatusPanelWidth(1023), 511);
}

TEST(WindowLayoutRules, ARememberedPlacementIsUsedOnlyWhereItFits) {
  const ScreenRect screen{0, 0, 1366, 738};
  struct Case {
    ScreenRect frame;
    bool fits;
  } cases[] = {
      {{0, 0, 1366, 738}, true},
      {{100, 50, 800, 600}, true},
      {{100, 50, 1280, 600}, false},   // wider than what is left of the screen
      {{0, 0, 1366, 768}, false},      // over the panel
      {{-10, 0, 800, 600}, false},     // off the left edge
      {{1500, 0, 800, 600}, false},    // on a screen that is no longer there
      {{10, 10, 150, 600}, false},     // too small to use
  };
  for (const Case& c : cases)
    EXPECT_EQ(PlacementFits(c.frame, screen), c.fits)
        << c.frame.x << "," << c.frame.y << " " << c.frame.width << "x" << c.frame.height;
  EXPECT_TRUE(PlacementFits({1400, 30, 800, 600}, {1366, 0, 1920, 1050}));  // second screen
}

TEST_F(WindowTest, NewDocumentWindowState) {
  EXPECT_EQ(Buttons(), "000001");  // only "存段"
  for (Control c :
       {Control::OpenButton, Control::SaveButton, Control::NewButton, Control::SymbolButton,
        Control::FollowingLengthButton, Control::FollowingDecorationButton})
    EXPECT_TRUE(model_.controls().Enabled(c)) << Info(c).name;
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
  EXPECT_EQ(model_.controls().status(1), "文件路径:");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_TRUE(model_.doc().file_state.UserEditing);
  EXPECT_EQ(model_.context().NumberEditText(Control::LengthEdit), "25");
  EXPECT_EQ(SelectorText(model_.doc(), Control::SizeSelector), "4 号");
  EXPECT_EQ(SelectorIndex(model_.doc(), Control::MaterialSelector), 4);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
}

TEST_F(WindowTest, ClosingWhilePrintingIsRefusedUntilStopped) {
  model_.doc().file_state.DocBusy = true;
  EXPECT_FALSE(model_.CanClose());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "请先终止打印,再退出.");
  EXPECT_EQ(ui_.messages[0].caption, "信息确认");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  // After the stop the job still walks the table until the printer has ended it: the
  // window closes then (see the printing tests), never under the running job.
  model_.printing().OnStopButton();
  ui_.messages.clear();
  EXPECT_FALSE(model_.CanClose());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
  model_.doc().file_state.DocBusy = false;
  EXPECT_TRUE(model_.CanClose());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(WindowTest, HelpLeavesTheCurrentDirectory) {
  const auto before = std::filesystem::current_path();
  model_.OnHelpButton();
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_TRUE(model_.help_opened_from_app_dir());
  ASSERT_EQ(ui_.opened.size(), 1u);
  EXPECT_EQ(ui_.opened[0], dir_ / "help" / "index.html");
  EXPECT_TRUE(ui_.messages.empty());  // a missing help file is not reported
}

TEST_F(WindowTest, HelpFallsBackToTheProgramsOwnWindowWithoutADesktopViewer) {
  const auto before = std::filesystem::current_path();
  const std::filesystem::path page = dir_ / "help" / "index.html";
  for (bool desktop_opens : {true, false}) {
    SCOPED_TRACE(desktop_opens);
    ui_.opened.clear();
    ui_.help_pages.clear();
    ui_.desktop_opens = desktop_opens;
    model_.OnHelpButton();
    // The desktop is always asked first; only its refusal brings up the program's window.
    EXPECT_EQ(ui_.opened, std::vector<std::filesystem::path>{page});
    EXPECT_EQ(ui_.help_pages, desktop_opens ? std::vector<std::filesystem::path>{}
                                            : std::vector<std::filesystem::path>{page});
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_TRUE(ui_.messages.empty());
  }
}

TEST_F(WindowTest, ReturnToEditing) {
  model_.doc().file_state.DocBusy = true;
  model_.printing().StopRequested() = true;
  model_.context().controls.SetEnabled(Control::UpperLine, false);
  model_.context().controls.SetEnabled(Control::StopButton, true);
  model_.Focus(Control::SegmentGrid);
  model_.printing().ReturnToEditing();
  EXPECT_FALSE(model_.doc().file_state.DocBusy);
  EXPECT_FALSE(model_.printing().StopRequested());
  EXPECT_FALSE(model_.controls().Enabled(Control::StopButton));
  EXPECT_TRUE(model_.controls().Enabled(Control::UpperLine));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_EQ(model_.controls().status(0), "当前状态:文件编辑");
}

TEST(WindowRestore, ALeftoverTableIsOfferedAndRestored) {
  TempDir dir;
  {
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, dir / "TL.$$$");
    doc.table.SetText(kUpperLineColumn, gbk::Encode("保存过的"));
    StoreNumbered(doc.table);
    doc.table.Append();  // a Segment that was never stored is not there to restore
  }
  for (bool restore : {true, false}) {
    ScriptedUi ui;
    ui.answers = {restore};
    BarCanvas a, b;
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    model.Start(1024, 768, dir.path(), {dir / "TL.$$$", /*offer=*/true});
    EXPECT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(model.table().RowCount(), 1);
    EXPECT_EQ(gbk::ToUtf8(model.table().Text(kUpperLineColumn)), restore ? "保存过的" : "");
    EXPECT_EQ(model.doc().file_state.DocModified, restore);
    if (restore) {
      EXPECT_EQ(model.table().Int(kNumberColumn), 1);
    }
  }
}

TEST_F(WindowTest, PreviewOfTheCurrentSegment) {
  SegmentPreview p = model_.preview().Make();
  EXPECT_FALSE(p.item);
  EXPECT_EQ(p.note, "上行为空,此段不打印。");
  model_.line_editors().TypeText(Control::UpperLine, "AA");
  p = model_.preview().Make();
  ASSERT_TRUE(p.item);
  EXPECT_EQ(p.item->ColumnCount, 24 + 4 + 24);
  EXPECT_NEAR(p.length_mm, 25.0, 0.1);  // the Segment's 25 mm at the nominal 11 dots per mm

  // Text beyond the printer's image store, as a document file may bring it (40 "A" of
  // 48 columns at size 7, automatic length: 2076 columns): not shown as printable.
  SegmentTable& t = model_.table();
  t.Edit();
  t.SetText(kUpperLineColumn, std::string(40, 'A'));
  t.SetInt(kLengthColumn, 0);
  t.SetText(kSizeColumn, gbk::Encode("7 号"));
  t.Store();
  p = model_.preview().Make();
  EXPECT_FALSE(p.item);
  EXPECT_EQ(p.note, "此段超出打印机的存储容量,不能打印。");
  // Automatic length and size: the layout's own reason.
  t.Edit();
  t.SetText(kSizeColumn, gbk::Encode("自动"));
  t.Store();
  EXPECT_EQ(model_.preview().Make().note, "段长和字号都为自动,此段不打印。");
}

}  // namespace
}  // namespace qx
