// The save question before a changed Document is given up, as the real message box asks
// it: 是 / 否 / 取消, with Escape and the box's close button answering 取消, which leaves
// the Document, its file, its history and the working table as they were. 否 on an open
// replaces the Document, and Ctrl+Z brings it back.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <ostream>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

std::filesystem::path SampleDocument() {
  return std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
}

// What backing out of the question must leave alone.
struct State {
  std::vector<std::string> rows;
  std::string file;
  bool changed = false;
  std::size_t position = 0, steps = 0;
  std::string undo_text;
  bool working_table = false;
  bool operator==(const State&) const = default;
};

std::ostream& operator<<(std::ostream& os, const State& s) {
  os << "\n  rows";
  for (const std::string& r : s.rows) os << " [" << r << "]";
  return os << "\n  file " << s.file << " changed " << s.changed << "\n  history " << s.position
            << " of " << s.steps << " " << s.undo_text << "\n  working table " << s.working_table;
}

class GiveUpQuestionTest : public ::testing::Test {
 protected:
  GiveUpQuestionTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    model_.Start(1366, 768, dir_.path(), dir_ / "TL.$$$");
    window_ = std::make_unique<MainWindow>(model_, ui_);
    ui_.SetParent(window_.get());
    window_->show();
    model_.OnActivated();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~GiveUpQuestionTest() override { window_.reset(); }

  // One window event through the model's guard, as the program's application object
  // sends every event: one step of the undo history.
  void Event(const std::function<void()>& f) { ASSERT_TRUE(model_.Run(f)); }
  // The window's keys (Ctrl+Q, Ctrl+Z) work in the active window.
  void Activate() {
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  QLineEdit* UpperLine() { return static_cast<QLineEdit*>(window_->Widget(Control::UpperLine)); }
  void Click(Control c) {
    Event([&] { QTest::mouseClick(window_->Widget(c), Qt::LeftButton); });
  }

  // Two Segments typed and stored: a changed, untitled Document with a history.
  void TwoSegments() {
    Event([&] { QTest::keyClicks(UpperLine(), QStringLiteral("L1")); });
    Click(Control::StoreButton);
    Click(Control::AppendButton);
    Event([&] { QTest::keyClicks(UpperLine(), QStringLiteral("L2")); });
    Click(Control::StoreButton);
  }

  State Now() {
    State s;
    for (int r = 0; r < model_.table().RowCount(); ++r)
      s.rows.push_back(gbk::ToUtf8(model_.table().TextAt(r, kUpperLineColumn)));
    const DocumentFileState& p = model_.doc().file_state;
    s.file = p.HasFile ? p.DocPath.string() : "-";
    s.changed = p.DocModified;
    s.position = model_.history().position();
    s.steps = model_.history().step_count();
    s.undo_text = model_.UndoText();
    s.working_table = model_.table().IsOpen() && std::filesystem::exists(dir_ / "TL.$$$");
    return s;
  }

  // Runs `answer` on the question's box once it is up, while `command` runs; the box's
  // text and buttons are kept. Nothing is answered after the command has returned.
  void AnswerDuring(const std::function<void()>& command, std::function<void(QMessageBox&)> answer) {
    asked_.clear();
    buttons_.clear();
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      poll.stop();
      asked_ = box->text();
      for (QAbstractButton* b : box->buttons()) buttons_ << b->text();
      buttons_.sort();
      answer(*box);
    });
    poll.start();
    command();
    poll.stop();
  }
  static QAbstractButton* ButtonOf(QMessageBox& box, const QString& text) {
    for (QAbstractButton* b : box.buttons())
      if (b->text() == text) return b;
    return nullptr;
  }

  testing::TempDir dir_;
  QtUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
  QString asked_;
  QStringList buttons_;
};

TEST_F(GiveUpQuestionTest, EscapeAndTheCloseButtonBackOutOfQuitAndOpen) {
  TwoSegments();
  const State before = Now();
  ASSERT_TRUE(before.changed);
  ASSERT_EQ(before.rows, (std::vector<std::string>{"L1", "L2"}));
  ASSERT_TRUE(before.working_table);

  struct Case {
    const char* name;
    std::function<void()> command;
    const char* question;
    std::function<void(QMessageBox&)> answer;
  };
  auto quit = [this] {
    Event([&] { QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier); });
  };
  auto open = [this] { Event([&] { model_.OpenGivenFile(SampleDocument()); }); };
  auto escape = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); };
  auto close_button = [](QMessageBox& box) { box.close(); };  // what the title bar's × sends
  const Case cases[] = {
      {"Ctrl+Q, Escape", quit, "当前文件已修改,是否保存?", escape},
      {"Ctrl+Q, close button", quit, "当前文件已修改,是否保存?", close_button},
      {"open, Escape", open, "当前文件已修改,是否保存？", escape},
      {"open, close button", open, "当前文件已修改,是否保存？", close_button},
  };
  QStringList three_buttons{QStringLiteral("是"), QStringLiteral("否"), QStringLiteral("取消")};
  three_buttons.sort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Activate();
    AnswerDuring(c.command, c.answer);
    EXPECT_EQ(asked_.toStdString(), c.question);
    EXPECT_EQ(buttons_.join(' ').toStdString(), three_buttons.join(' ').toStdString());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(Now(), before);
    EXPECT_EQ(UpperLine()->text().toStdString(), "L2");
  }
}

TEST_F(GiveUpQuestionTest, NoOnOpenIsTakenBackWithCtrlZ) {
  TwoSegments();
  const State before = Now();
  AnswerDuring([&] { Event([&] { model_.OpenGivenFile(SampleDocument()); }); },
               [](QMessageBox& box) {
                 QAbstractButton* no = ButtonOf(box, QStringLiteral("否"));
                 ASSERT_NE(no, nullptr);
                 no->click();
               });
  EXPECT_EQ(asked_.toStdString(), "当前文件已修改,是否保存？");
  const State opened = Now();
  EXPECT_EQ(opened.file, SampleDocument().string());
  EXPECT_FALSE(opened.changed);
  EXPECT_NE(opened.rows, before.rows);

  Activate();
  Event([&] { QTest::keyClick(UpperLine(), Qt::Key_Z, Qt::ControlModifier); });
  State back = Now();
  EXPECT_EQ(back.steps, before.steps + 1);  // the open, to redo
  back.steps = before.steps;
  EXPECT_EQ(back, before);
  EXPECT_EQ(UpperLine()->text().toStdString(), "L2");
  EXPECT_EQ(window_->windowTitle().toStdString(), "未命名* - QX Editor  8.30");

  Activate();
  Event([&] { QTest::keyClick(UpperLine(), Qt::Key_Y, Qt::ControlModifier); });
  EXPECT_EQ(Now(), opened);
}

}  // namespace
}  // namespace qx
