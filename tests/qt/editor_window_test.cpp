// The Qt window wired to its model: real key, input-method and mouse events on the
// offscreen platform reach the handlers and come back on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "app/qt/main_window.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

class EditorWindowTest : public ::testing::Test {
 protected:
  EditorWindowTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    model_.Start(1366, 768, dir_.path(), dir_ / "TL.$$$");
    window_ = std::make_unique<MainWindow>(model_, ui_);
    window_->show();
    model_.OnActivated();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~EditorWindowTest() override { window_.reset(); }

  QLineEdit* Line(Control c) { return static_cast<QLineEdit*>(window_->Widget(c)); }
  std::string Field(int col) { return gbk::ToUtf8(model_.table().Text(col)); }
  void Commit(Control c, const QString& text) {
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(Line(c), &e);
  }

  testing::TempDir dir_;
  testing::ScriptedUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(EditorWindowTest, KeysAndInputMethodCommitsReachTheLine) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("L1-A"));
  Commit(Control::UpperLine, QStringLiteral("中"));
  EXPECT_EQ(Field(kUpperLineColumn), "L1-A中");
  EXPECT_EQ(model_.table().Text(kUpperLineColumn).size(), 6u);  // GBK bytes
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("L1-A中"));
  EXPECT_EQ(Line(Control::UpperLine)->cursorPosition(), 5);
  EXPECT_TRUE(model_.controls().Enabled(Control::StoreButton));
  EXPECT_FALSE(window_->Widget(Control::AppendButton)->isEnabled());

  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Backspace);
  EXPECT_EQ(Field(kUpperLineColumn), "L1-A");  // the two-byte character goes as one

  Commit(Control::UpperLine, QStringLiteral("😀"));
  EXPECT_EQ(Field(kUpperLineColumn), "L1-A");
  EXPECT_EQ(ui_.Take().size(), 1u);
}

TEST_F(EditorWindowTest, TooLongIsRefusedOnScreenToo) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("WWWWWWWWWWWW"));
  EXPECT_FALSE(ui_.messages.empty());
  EXPECT_EQ(Line(Control::UpperLine)->text().toStdString(), Field(kUpperLineColumn));
  EXPECT_LT(Field(kUpperLineColumn).size(), 12u);
}

TEST_F(EditorWindowTest, SelectorPicksAndListButtons) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("X1"));
  auto* zh = static_cast<QComboBox*>(window_->Widget(Control::SizeSelector));
  zh->setFocus();
  QApplication::processEvents();
  emit zh->activated(3);
  EXPECT_EQ(Field(kSizeColumn), "3 号");
  EXPECT_EQ(zh->currentText(), QStringLiteral("3 号"));
  EXPECT_TRUE(Line(Control::UpperLine)->hasFocus());  // back at the end of the upper line

  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Control::StoreButton)),
                    Qt::LeftButton);
  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Control::AppendButton)),
                    Qt::LeftButton);
  EXPECT_EQ(model_.table().RowCount(), 2);
  auto* grid = static_cast<QTableWidget*>(window_->Widget(Control::SegmentGrid));
  EXPECT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("1"));
  EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("X1"));
  EXPECT_EQ(Field(kSizeColumn), "3 号");  // the new Segment takes the size

  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Control::FirstButton)),
                    Qt::LeftButton);
  EXPECT_EQ(model_.table().Position(), 1);
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("X1"));
  EXPECT_FALSE(window_->Widget(Control::FirstButton)->isEnabled());
}

// Entering the font-face selector reaches the model as entering any selector does: the
// Document counts as changed, so closing asks whether to save.
TEST_F(EditorWindowTest, EnteringTheFontFaceSelectorMarksTheDocumentChanged) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("A1"));
  ui_.files = {dir_ / "a.kel"};
  model_.files().OnSaveButton();
  ASSERT_FALSE(model_.doc().file_state.DocModified);
  auto* faces = static_cast<QComboBox*>(window_->Widget(Control::FontFaceSelector));
  faces->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(model_.focus(), Control::FontFaceSelector);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  ui_.yes_no = {Answer::kCancel};
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(ui_.questions, std::vector<std::string>{"当前文件已修改,是否保存?"});
}

// A length that is not a whole number keeps the focus with its text selected: the next
// key replaces it instead of adding to it.
TEST_F(EditorWindowTest, ALengthNotAWholeNumberIsSelectedForTheNextKey) {
  auto* length = Line(Control::LengthEdit);
  length->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  length->selectAll();
  QTest::keyClicks(length, QStringLiteral("+-"));
  Line(Control::UpperLine)->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  EXPECT_TRUE(length->hasFocus());
  EXPECT_EQ(length->selectedText(), QStringLiteral("+-"));
  QTest::keyClicks(length, QStringLiteral("30"));
  EXPECT_EQ(length->text(), QStringLiteral("30"));
  QTest::keyClick(length, Qt::Key_Return);
  EXPECT_TRUE(Line(Control::UpperLine)->hasFocus());
  EXPECT_EQ(Field(kLengthColumn), "30");
  EXPECT_TRUE(ui_.messages.empty());
}

// A refused key shows under the Segment preview what the line needs against the length.
TEST_F(EditorWindowTest, TheFiguresOfARefusalShowUnderThePreview) {
  auto* note = window_->findChild<QLabel*>(QStringLiteral("PreviewNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_FALSE(note->text().contains(QStringLiteral("所需长度")));
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("WWWWWWWWWWWW"));
  ASSERT_FALSE(ui_.Take().empty());
  EXPECT_TRUE(note->text().contains(QStringLiteral("所需长度")));
  EXPECT_TRUE(note->text().contains(QStringLiteral("段长 25 mm")));
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Backspace);
  EXPECT_FALSE(note->text().contains(QStringLiteral("所需长度")));
}

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
