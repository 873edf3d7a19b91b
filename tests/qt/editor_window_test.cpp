// The Qt window wired to its model: real key, input-method and mouse events on the
// offscreen platform reach the handlers and come back on screen.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <fstream>

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
  // The screen's available area in device-independent pixels.
  explicit EditorWindowTest(int screen_width = 1366, int screen_height = 768)
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    model_.Start(screen_width, screen_height, dir_.path(), dir_ / "TL.$$$");
    window_ = std::make_unique<MainWindow>(model_, ui_);
    window_->show();
    // Under a window manager the window takes the keyboard once it is activated.
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
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

  QAbstractButton* Button(Control c) { return static_cast<QAbstractButton*>(window_->Widget(c)); }
  QTableView* Grid() { return static_cast<QTableView*>(window_->Widget(Control::SegmentGrid)); }
  int GridRow() { return Grid()->currentIndex().row(); }
  int GridRows() { return Grid()->model()->rowCount(); }
  QString GridText(int row, int col) { return Grid()->model()->index(row, col).data().toString(); }
  // Stored Segments "a", "b", "c"; the third is current.
  void ThreeSegments() {
    for (const char* text : {"a", "b", "c"}) {
      if (*text != 'a') QTest::mouseClick(Button(Control::AppendButton), Qt::LeftButton);
      QTest::keyClicks(Line(Control::UpperLine), QString::fromUtf8(text));
      QTest::mouseClick(Button(Control::StoreButton), Qt::LeftButton);
    }
  }
  void Activate() {
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
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
  EXPECT_EQ(GridRows(), 2);
  EXPECT_EQ(GridText(0, 0), QStringLiteral("1"));
  EXPECT_EQ(GridText(0, 1), QStringLiteral("X1"));
  EXPECT_EQ(Field(kSizeColumn), "3 号");  // the new Segment takes the size

  QTest::mouseClick(static_cast<QToolButton*>(window_->Widget(Control::FirstButton)),
                    Qt::LeftButton);
  EXPECT_EQ(model_.table().Position(), 1);
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("X1"));
  EXPECT_FALSE(window_->Widget(Control::FirstButton)->isEnabled());
}

TEST_F(EditorWindowTest, GridKeysChooseTheSegmentAsAClickDoes) {
  ThreeSegments();
  model_.doc().file_state.DocModified = false;
  Grid()->setFocus();
  QApplication::processEvents();
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int position;  // 0: wherever the page key takes the highlight
  } steps[] = {{Qt::Key_Up, Qt::NoModifier, 2},     {Qt::Key_Up, Qt::NoModifier, 1},
               {Qt::Key_Down, Qt::NoModifier, 2},   {Qt::Key_End, Qt::ControlModifier, 3},
               {Qt::Key_Home, Qt::ControlModifier, 1}, {Qt::Key_PageDown, Qt::NoModifier, 0},
               {Qt::Key_PageUp, Qt::NoModifier, 1}, {Qt::Key_End, Qt::NoModifier, 3},
               {Qt::Key_Home, Qt::NoModifier, 1},   {Qt::Key_Down, Qt::NoModifier, 2}};
  for (const Step& s : steps) {
    SCOPED_TRACE("key " + std::to_string(static_cast<int>(s.key)));
    const int before = GridRow();
    QTest::keyClick(Grid(), s.key, s.modifiers);
    if (s.position > 0) {
      EXPECT_EQ(GridRow(), s.position - 1);
    }
    if (s.key == Qt::Key_PageDown || s.key == Qt::Key_Down) {
      EXPECT_GT(GridRow(), before);
    }
    // The current Segment is the highlighted one, shown in the line editor.
    EXPECT_EQ(model_.table().Position(), GridRow() + 1);
    EXPECT_EQ(Line(Control::UpperLine)->text(), GridText(GridRow(), 1));
  }
  EXPECT_FALSE(model_.doc().file_state.DocModified);  // browsing is no change
}

// Keyboard alone: from the upper line Shift+Tab reaches the Segment list, and the very
// first key pressed there moves the highlight and the current Segment.
TEST_F(EditorWindowTest, TheFirstKeyAfterTabbingIntoTheListMovesIt) {
  Activate();
  ThreeSegments();
  struct Case {
    int from;
    Qt::Key key;
    int to;
  } cases[] = {{3, Qt::Key_Home, 1}, {1, Qt::Key_End, 3}, {3, Qt::Key_Up, 2}, {1, Qt::Key_Down, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE("key " + std::to_string(static_cast<int>(c.key)));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {},
                      Grid()->visualRect(Grid()->model()->index(c.from - 1, 1)).center());
    QTest::mouseClick(Line(Control::UpperLine), Qt::LeftButton);
    QTest::keyClick(Line(Control::UpperLine), Qt::Key_End);
    QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("x"));
    for (int i = 0; i < 5 && QApplication::focusWidget() != Grid(); ++i)
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), Grid());
    ASSERT_EQ(model_.table().Position(), c.from);
    QTest::keyClick(Grid(), c.key);
    EXPECT_EQ(model_.table().Position(), c.to);
    EXPECT_EQ(GridRow(), c.to - 1);
    EXPECT_EQ(Line(Control::UpperLine)->text(), GridText(c.to - 1, 1));
  }
}

TEST_F(EditorWindowTest, MenusOfferEveryToolBarCommandWithItsKeys) {
  QStringList titles;
  for (QAction* a : window_->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"文件(&F)", "编辑(&E)", "插入(&I)", "打印(&P)", "帮助(&H)"}));
  for (int i = 0; i < kControlCount; ++i) {
    const Control c = static_cast<Control>(i);
    if (!qobject_cast<QAbstractButton*>(window_->Widget(c))) continue;
    EXPECT_NE(window_->CommandAction(c), nullptr) << Info(c).name;
  }
  struct Keyed {
    Control c;
    const char* keys;
  } keyed[] = {{Control::NewButton, "Ctrl+N"},         {Control::OpenButton, "Ctrl+O"},
               {Control::SaveButton, "Ctrl+S"},        {Control::SaveAsButton, "Ctrl+Shift+S"},
               {Control::PrintButton, "Ctrl+P"},       {Control::ExportButton, "Ctrl+E"},
               {Control::ImportExcelButton, "Ctrl+I"}, {Control::HelpButton, "F1"}};
  for (const Keyed& k : keyed) {
    EXPECT_EQ(window_->CommandAction(k.c)->shortcut(), QKeySequence(QString::fromUtf8(k.keys)));
    EXPECT_TRUE(window_->Widget(k.c)->toolTip().contains(QString::fromUtf8(k.keys)))
        << window_->Widget(k.c)->toolTip().toStdString();
  }
  EXPECT_TRUE(window_->Widget(Control::OpenButton)->toolTip().startsWith("打开文件"));
  EXPECT_EQ(window_->CommandAction(Control::PreviewButton)->text(), QStringLiteral("预览"));
}

// Undo and redo from the keys, named after their steps in the 编辑 menu and on the tool bar.
// Each window event is one step when it goes through the model's guard, as the program's
// application object sends every event.
TEST_F(EditorWindowTest, UndoAndRedoKeysAndTheirNames) {
  Activate();
  QAction* undo = window_->findChild<QAction*>(QStringLiteral("UndoAction"));
  QAction* redo = window_->findChild<QAction*>(QStringLiteral("RedoAction"));
  auto* undo_button = window_->findChild<QToolButton*>(QStringLiteral("UndoButton"));
  ASSERT_TRUE(undo && redo && undo_button);
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(undo->text(), QStringLiteral("撤销"));
  model_.Run([&] { QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("AB")); });
  model_.Run([&] { QTest::mouseClick(Button(Control::StoreButton), Qt::LeftButton); });
  model_.Run([&] { QTest::mouseClick(Button(Control::AppendButton), Qt::LeftButton); });
  ASSERT_EQ(model_.table().RowCount(), 2);
  EXPECT_TRUE(undo->isEnabled());
  EXPECT_TRUE(undo_button->isEnabled());
  EXPECT_EQ(undo->text(), QStringLiteral("撤销 添加"));
  EXPECT_FALSE(redo->isEnabled());
  // The entries are in the 编辑 menu.
  QMenu* edit = nullptr;
  for (QAction* m : window_->menuBar()->actions())
    if (m->text() == QStringLiteral("编辑(&E)")) edit = m->menu();
  ASSERT_TRUE(edit);
  EXPECT_TRUE(edit->actions().contains(undo));
  EXPECT_TRUE(edit->actions().contains(redo));

  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(model_.table().RowCount(), 1);
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("AB"));
  EXPECT_EQ(undo->text(), QStringLiteral("撤销 输入"));
  EXPECT_EQ(redo->text(), QStringLiteral("重做 添加"));
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(model_.table().RowCount(), 2);
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(model_.table().RowCount(), 2);
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Line(Control::UpperLine)->text(), QString());
  EXPECT_EQ(Field(kUpperLineColumn), "");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(redo->text(), QStringLiteral("重做 输入"));
}

TEST_F(EditorWindowTest, CommandKeysRunTheModelsHandlersAndFollowTheButtons) {
  Activate();
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("K1"));
  // Ctrl+E in a line editor exports instead of moving the caret; the dialog is cancelled.
  ui_.files = {std::nullopt};
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_E, Qt::ControlModifier);
  ASSERT_EQ(ui_.dialogs.size(), 1u);
  EXPECT_EQ(ui_.dialogs[0].default_suffix, "qxf");
  // Ctrl+S saves under the name chosen; the title follows.
  ui_.files = {dir_ / "keys.kel"};
  QTest::keyClick(Line(Control::UpperLine), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(model_.doc().file_state.DocPath, dir_ / "keys.kel");
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("keys.kel - QX Editor  8.30"));
  // A key is an event of the window: the history marks the change after it.
  model_.Run([&] { QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("2")); });
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("keys.kel* - QX Editor  8.30"));

  // While the length editor holds the focus the upper tool bar is off, and so are its keys.
  window_->Widget(Control::LengthEdit)->setFocus();
  QApplication::processEvents();
  ASSERT_FALSE(model_.controls().Enabled(Control::SaveAsButton));
  EXPECT_FALSE(window_->CommandAction(Control::SaveAsButton)->isEnabled());
  const std::size_t dialogs = ui_.dialogs.size();
  QTest::keyClick(window_->Widget(Control::LengthEdit), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  window_->CommandAction(Control::SaveAsButton)->trigger();
  EXPECT_EQ(ui_.dialogs.size(), dialogs);

  // A menu entry runs the same handler as its button.
  Line(Control::UpperLine)->setFocus();
  QApplication::processEvents();
  window_->CommandAction(Control::StoreButton)->trigger();
  window_->CommandAction(Control::AppendButton)->trigger();
  EXPECT_EQ(model_.table().RowCount(), 2);
  EXPECT_EQ(GridRows(), 2);
}

TEST_F(EditorWindowTest, FontHintsAndTheSerialDisplays) {
  EXPECT_EQ(window_->font().family(), QStringLiteral("宋体"));
  EXPECT_EQ(window_->font().pixelSize(), 12);
  EXPECT_EQ(Line(Control::UpperLine)->font().pixelSize(), 53);
  auto* bar = window_->findChild<QFrame*>(QStringLiteral("FollowingBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->toolTip(), QStringLiteral("后部段落设置"));
  for (QGroupBox* g : window_->findChildren<QGroupBox*>())
    EXPECT_NE(g->title(), QStringLiteral("后部段落设置"));  // a hint, not a caption

  // The serial fields are displays: no focus, no caret, no drops, the window's background.
  for (Control c : {Control::SerialTypeField, Control::SerialFirstField, Control::SerialLastField}) {
    auto* e = static_cast<QLineEdit*>(window_->Widget(c));
    EXPECT_TRUE(e->isReadOnly());
    EXPECT_EQ(e->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(e->acceptDrops());
    const QImage shot = e->grab().toImage();
    EXPECT_EQ(shot.pixelColor(4, shot.height() / 2), window_->palette().color(QPalette::Window))
        << Info(c).name;
  }
  EXPECT_EQ(static_cast<QLineEdit*>(window_->Widget(Control::SerialTypeField))->text(),
            QStringLiteral("无序号"));
  EXPECT_EQ(window_->Widget(Control::SerialFirstField)->toolTip(), QStringLiteral("起始序号"));
}

TEST_F(EditorWindowTest, DroppedFilesOpenAndTheRecentMenuOffersThem) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("D1"));
  ui_.files = {dir_ / "dropped.kel"};
  QTest::mouseClick(Button(Control::SaveButton), Qt::LeftButton);
  QTest::mouseClick(Button(Control::NewButton), Qt::LeftButton);
  ASSERT_EQ(Line(Control::UpperLine)->text(), QString());

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir_ / "dropped.kel").string()))});
  QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  QApplication::processEvents();
  EXPECT_EQ(model_.doc().file_state.DocPath, dir_ / "dropped.kel");
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("D1"));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("dropped.kel - QX Editor  8.30"));

  // Two files at once are not taken.
  QMimeData two;
  two.setUrls({QUrl::fromLocalFile("/tmp/a.kel"), QUrl::fromLocalFile("/tmp/b.kel")});
  QDragEnterEvent enter_two(QPoint(200, 200), Qt::CopyAction, &two, Qt::LeftButton,
                            Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter_two);
  EXPECT_FALSE(enter_two.isAccepted());

  auto* recent = window_->findChild<QMenu*>(QStringLiteral("RecentFilesMenu"));
  ASSERT_NE(recent, nullptr);
  emit static_cast<QMenu*>(recent->parent())->aboutToShow();
  ASSERT_EQ(recent->actions().size(), 1);
  EXPECT_EQ(recent->actions()[0]->text(), QStringLiteral("&1 dropped.kel"));
  QTest::mouseClick(Button(Control::NewButton), Qt::LeftButton);
  recent->actions()[0]->trigger();
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("D1"));
}

TEST_F(EditorWindowTest, TheSegmentListGrowsWithTheWindow) {
  window_->showNormal();
  window_->resize(900, 650);
  QApplication::processEvents();
  const int small_grid = Grid()->height();
  const int small_status = window_->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->width();
  window_->resize(1300, 900);
  QApplication::processEvents();
  EXPECT_GE(Grid()->height(), small_grid + 200);
  EXPECT_EQ(window_->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->width(), 650);
  EXPECT_LT(small_status, 650);
}

// A 1024 x 768 screen at twice the scale, with a panel: 512 x 369 pixels to use.
class CompactWindowTest : public EditorWindowTest {
 protected:
  CompactWindowTest() : EditorWindowTest(512, 369) {}
};

TEST_F(CompactWindowTest, TheWholeWindowFitsAVerySmallScreen) {
  const QSize least = window_->minimumSizeHint().expandedTo(window_->minimumSize());
  EXPECT_LE(least.width(), 512);
  EXPECT_LE(least.height(), 369 - 30);  // room for the window manager's title bar
  EXPECT_EQ(Line(Control::UpperLine)->font().pixelSize(), 25);
  window_->showNormal();
  window_->resize(512, 340);
  QApplication::processEvents();
  EXPECT_TRUE(window_->statusBar()->isVisible());
  EXPECT_LE(window_->statusBar()->geometry().bottom(), window_->height());
  EXPECT_GT(Grid()->height(), 40);  // the list keeps a few rows
}

// Entering the font-face selector reaches the model as entering any selector does; as
// long as no other face is chosen the Document stays as saved: no "*" in the title, no
// undo step, and closing asks nothing.
TEST_F(EditorWindowTest, EnteringTheFontFaceSelectorLeavesTheDocumentUnchanged) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("A1"));
  ui_.files = {dir_ / "a.kel"};
  model_.Run([&] { model_.files().OnSaveButton(); });
  ASSERT_FALSE(model_.doc().file_state.DocModified);
  const std::string undo = model_.UndoText();
  auto* faces = static_cast<QComboBox*>(window_->Widget(Control::FontFaceSelector));
  model_.Run([&] {
    faces->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
  });
  EXPECT_EQ(model_.focus(), Control::FontFaceSelector);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_FALSE(window_->windowTitle().contains(QLatin1Char('*')));
  EXPECT_EQ(model_.UndoText(), undo);
  EXPECT_TRUE(window_->close());
  EXPECT_TRUE(ui_.questions.empty());
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
  // Offscreen, unless scripts/under-wm gave the tests a screen with a window manager.
  if (!qEnvironmentVariableIsSet("QX_UNDER_WM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
