// A Document holds at most 65535 Segments. Every way the window adds Segments stops
// there and says so: the append and insert buttons (and Enter, which appends), lines
// pasted as Segments, the import window's "添加到最后一段之后"; a document file of more
// Segments is not opened.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "app/import_window.h"
#include "app/main_window_model.h"
#include "document/document_file.h"
#include "document/paradox.h"
#include "editing/messages.h"
#include "support/numbered_document.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

class SegmentLimitTest : public testing::WindowTest {
 protected:
  // A document file of `segments` Segments "S1", "S2", ...
  std::filesystem::path DocumentOf(int segments) {
    return testing::WriteNumberedDocument(dir_ / ("doc" + std::to_string(segments) + ".kel"),
                                          segments);
  }
  // Opens a document of `segments` Segments through the open command.
  void Open(int segments) {
    ui_.files = {DocumentOf(segments)};
    Event([&] { model_.files().OnOpenButton(); });
    ASSERT_EQ(t().RowCount(), segments);
    ui_.messages.clear();
  }
  std::string Upper(int row) { return gbk::ToUtf8(t().TextAt(row - 1, kUpperLineColumn)); }
  std::string Lower(int row) { return gbk::ToUtf8(t().TextAt(row - 1, kLowerLineColumn)); }
};

const std::string kAddedTwo = "文档最多容纳65535个段落,只添加了2个段落,以下的行未导入。";

TEST_F(SegmentLimitTest, TheAppendAndInsertButtonsStopAtTheMostSegments) {
  Open(65535);
  // 添加 on the last Segment, and Enter after typing into it: the text typed is stored,
  // no Segment follows.
  Event([&] { model_.segment_list().OnLastButton(); });
  Event([&] { model_.segment_list().OnAppendButton(); });
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Texts(), S{std::string(msg::kDocumentFull)});
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "i"); });
  Event([&] { model_.line_editors().PressEnter(Control::LowerLine); });
  EXPECT_EQ(t().RowCount(), 65535);
  const FieldValue& kept = t().KeptValuesAt(65534)[kUpperLineColumn];  // stored, not only typed
  ASSERT_TRUE(std::holds_alternative<std::string>(kept));
  EXPECT_EQ(std::get<std::string>(kept).size(), 7u);
  EXPECT_NE(std::get<std::string>(kept).find('i'), std::string::npos);
  EXPECT_EQ(t().Position(), 65535);
  // 插入 before the second: nothing moves.
  Event([&] { model_.segment_list().OnGridRowClicked(2); });
  Event([&] { model_.segment_list().OnInsertButton(); });
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Upper(2), "S2");
  EXPECT_EQ(Upper(3), "S3");
  EXPECT_EQ(Texts(), S(3, std::string(msg::kDocumentFull)));
  // One Segment fewer makes room for one.
  Event([&] { model_.segment_list().OnDeleteButton(); });
  Event([&] { model_.segment_list().OnInsertButton(); });
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Upper(2), "");
  EXPECT_EQ(Upper(3), "S3");
  EXPECT_EQ(ui_.messages.size(), 3u);
}

// "每行一个段落?": the lines that fit go after the current Segment, the rest are named in
// one message; a full Document takes none.
TEST_F(SegmentLimitTest, PastedLinesStopWhereTheDocumentIsFull) {
  Open(65533);
  Event([&] { model_.segment_list().OnGridRowClicked(1); });
  ui_.yes_no = {Answer::kYes};
  ASSERT_TRUE(model_.Run([&] { model_.PasteText(Control::UpperLine, "K1→\tX\nK2\t←Y\nK3\nK4\n"); }));
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Upper(1), "S1");
  EXPECT_EQ(Upper(2), "K1→");
  EXPECT_EQ(Lower(3), "←Y");
  EXPECT_EQ(Upper(4), "S2");
  EXPECT_EQ(Upper(65535), "S65533");
  EXPECT_EQ(Texts(), S{kAddedTwo});
  // Undo takes the two back as one step.
  ASSERT_TRUE(model_.Run([&] { model_.Undo(); }));
  EXPECT_EQ(t().RowCount(), 65533);

  ASSERT_TRUE(model_.Run([&] { model_.Redo(); }));
  ui_.messages.clear();
  ui_.yes_no = {Answer::kYes};
  ASSERT_TRUE(model_.Run([&] { model_.PasteText(Control::UpperLine, "K5\nK6\n"); }));
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Texts(), S{std::string(msg::kDocumentFull)});
}

// Adding through the import window: its grid shows which rows no longer fit, and only the
// rows that fit are added, with a message for the rest.
TEST_F(SegmentLimitTest, TheImportWindowShowsAndAddsOnlyTheRowsThatFit) {
  Open(65533);
  const std::filesystem::path list = dir_ / "four.csv";
  std::ofstream(list, std::ios::binary) << "K1→,X\nK2,←Y\nK3,Z\nK4,W\n";
  ui_.import_window = [](ImportWindow& w) {
    const ImportPreview& p = w.preview();
    EXPECT_EQ(w.BecomesText(p.rows[2]), "第3段  K3 / Z  2 号  25mm");  // replacing: all fit
    w.SetAppend(true);
    EXPECT_EQ(w.BecomesText(p.rows[0]), "第65534段  K1→ / X  2 号  25mm");
    EXPECT_EQ(w.BecomesText(p.rows[1]), "第65535段  K2 / ←Y  2 号  25mm");
    EXPECT_EQ(w.BecomesText(p.rows[2]), "文档已满65535段,不导入");
    EXPECT_EQ(w.MarkOf(p.rows[3]), ImportWindow::RowMark::kNotImported);
    EXPECT_EQ(w.SummaryText(), "共4行: 2个段落, 2行不导入");
    return true;
  };
  Event([&] { model_.OnImportButton(&list); });
  EXPECT_EQ(t().RowCount(), 65535);
  EXPECT_EQ(Upper(65533), "S65533");
  EXPECT_EQ(Upper(65534), "K1→");
  EXPECT_EQ(Lower(65535), "←Y");
  EXPECT_EQ(Texts(), S{kAddedTwo});
}

// A file of more Segments than a Document holds is refused with the count, before any of
// it is read into the working table; the open Document stays.
TEST_F(SegmentLimitTest, AFileOfMoreSegmentsThanADocumentHoldsIsNotOpened) {
  Event([&] { Segment("A→"); });
  model_.context().MarkSaved();
  ui_.files = {DocumentOf(65536)};
  Event([&] { model_.files().OnOpenButton(); });
  EXPECT_EQ(Texts(), S{"此文件有65536个段落,超过了文档最多容纳的65535个,不能打开。"});
  ASSERT_EQ(t().RowCount(), 1);
  EXPECT_EQ(Upper(1), "A→");
}

}  // namespace
}  // namespace qx
