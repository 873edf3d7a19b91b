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
        form_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    form_.FormCreate(1366, 768, dir_.path(), dir_ / "TL.$$$");
    window_ = std::make_unique<MainWindow>(form_, ui_);
    window_->show();
    form_.FormActivate();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~EditorWindowTest() override { window_.reset(); }

  QLineEdit* Line(Ctl c) { return static_cast<QLineEdit*>(window_->Widget(c)); }
  std::string Field(int col) { return gbk::ToUtf8(form_.table().Text(col)); }
  void Commit(Ctl c, const QString& text) {
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(Line(c), &e);
  }

  testing::TempDir dir_;
  testing::ScriptedUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  TPrintForm form_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(EditorWindowTest, KeysAndInputMethodCommitsReachTheLine) {
  QTest::keyClicks(Line(Ctl::FlinEdit), QStringLiteral("L1-A"));
  Commit(Ctl::FlinEdit, QStringLiteral("中"));
  EXPECT_EQ(Field(kFlin), "L1-A中");
  EXPECT_EQ(form_.table().Text(kFlin).size(), 6u);  // GBK bytes
  EXPECT_EQ(Line(Ctl::FlinEdit)->text(), QStringLiteral("L1-A中"));
  EXPECT_EQ(Line(Ctl::FlinEdit)->cursorPosition(), 5);
  EXPECT_TRUE(form_.Enabled(Ctl::PostBtn));
  EXPECT_FALSE(window_->Widget(Ctl::AppendBtn)->isEnabled());

  QTest::keyClick(Line(Ctl::FlinEdit), Qt::Key_Backspace);
  EXPECT_EQ(Field(kFlin), "L1-A");  // the two-byte character goes as one

  Commit(Ctl::FlinEdit, QStringLiteral("😀"));
  EXPECT_EQ(Field(kFlin), "L1-A");
  EXPECT_EQ(ui_.Take().size(), 1u);
}

TEST_F(EditorWindowTest, TooLongIsRefusedOnScreenToo) {
  QTest::keyClicks(Line(Ctl::FlinEdit), QStringLiteral("WWWWWWWWWWWW"));
  EXPECT_FALSE(ui_.messages.empty());
  EXPECT_EQ(Line(Ctl::FlinEdit)->text().toStdString(), Field(kFlin));
  EXPECT_LT(Field(kFlin).size(), 12u);
}

TEST_F(EditorWindowTest, SelectorPicksAndListButtons) {
  QTest::keyClicks(Line(Ctl::FlinEdit), QStringLiteral("X1"));
  auto* zh = static_cast<QComboBox*>(window_->Widget(Ctl::ZhBox));
  zh->setFocus();
  QApplication::processEvents();
  emit zh->activated(3);
  EXPECT_EQ(Field(kZihao), "3 号");
  EXPECT_EQ(zh->currentText(), QStringLiteral("3 号"));
  EXPECT_TRUE(Line(Ctl::FlinEdit)->hasFocus());  // back at the end of the upper line

  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Ctl::PostBtn)), Qt::LeftButton);
  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Ctl::AppendBtn)), Qt::LeftButton);
  EXPECT_EQ(form_.table().RowCount(), 2);
  auto* grid = static_cast<QTableWidget*>(window_->Widget(Ctl::DBGrid1));
  EXPECT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("1"));
  EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("X1"));
  EXPECT_EQ(Field(kZihao), "3 号");  // the new Segment takes the size

  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Ctl::FirstBtn)), Qt::LeftButton);
  EXPECT_EQ(form_.table().Position(), 1);
  EXPECT_EQ(Line(Ctl::FlinEdit)->text(), QStringLiteral("X1"));
  EXPECT_FALSE(window_->Widget(Ctl::FirstBtn)->isEnabled());
}

}  // namespace
}  // namespace qx

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
