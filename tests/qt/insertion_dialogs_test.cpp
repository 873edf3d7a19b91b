// The serial-number dialog and the symbol picker opened from the real window: their
// buttons on the main window show the real dialogs, which are operated with mouse and
// keys, and what they insert comes back in both line editors.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/serial_dialog_view.h"
#include "app/qt/symbol_picker_view.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using S = std::vector<std::string>;

// The real window's Ui with its real dialogs; message boxes are recorded instead of shown.
class RecordingUi : public QtUi {
 public:
  S messages;
  void Message(std::string_view text, std::string_view) override { messages.emplace_back(text); }
  bool Ask(std::string_view text, std::string_view, std::string_view, std::string_view) override {
    ADD_FAILURE() << "unexpected question: " << text;
    return false;
  }
  Answer AskYesNo(std::string_view text, std::string_view, bool) override {
    ADD_FAILURE() << "unexpected question: " << text;
    return Answer::kNo;
  }
};

class InsertionDialogsTest : public ::testing::Test {
 protected:
  InsertionDialogsTest()
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
  ~InsertionDialogsTest() override { window_.reset(); }

  QLineEdit* Line(Control c) { return static_cast<QLineEdit*>(window_->Widget(c)); }
  std::string Field(int col) { return gbk::ToUtf8(model_.table().Text(col)); }
  void Click(Control c) {
    QWidget* w = window_->Widget(c);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isEnabled()) << Info(c).name;
    QTest::mouseClick(w, Qt::LeftButton);
  }

  // Runs `operate` on the dialog of type V as soon as it is up and modal.
  template <typename V>
  void WhenShown(std::function<void(V&)> operate) {
    auto* poll = new QTimer(window_.get());
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, operate = std::move(operate)] {
      auto* view = dynamic_cast<V*>(QApplication::activeModalWidget());
      if (!view || !view->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      operate(*view);
    });
    poll->start();
  }

  testing::TempDir dir_;
  RecordingUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(InsertionDialogsTest, SerialDialogInsertsIntoTheUpperAndTheLowerLine) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("AB"));
  QString shown_caption, shown_type;
  S refused;
  WhenShown<SerialDialogView>([&](SerialDialogView& v) {
    shown_caption = v.yes_button()->text();
    shown_type = v.type_box()->currentText();
    QTest::keyClicks(v.first_edit(), QStringLiteral("12a"));
    QTest::keyClicks(v.last_edit(), QStringLiteral("20"));
    QTest::mouseClick(v.yes_button(), Qt::LeftButton);
    refused = ui_.messages;
    EXPECT_TRUE(v.isVisible());             // still open for correction
    EXPECT_EQ(v.first_edit()->text(), "");  // the bad value is gone
    QTest::keyClicks(v.first_edit(), QStringLiteral("1"));
    QTest::mouseClick(v.yes_button(), Qt::LeftButton);
  });
  Click(Control::SerialButton);
  EXPECT_EQ(shown_caption, QStringLiteral("插入序号"));
  EXPECT_EQ(shown_type, QStringLiteral("序号0-999"));
  EXPECT_EQ(refused, S{"请输入数字."});
  EXPECT_EQ(Field(kUpperLineColumn), "AB№");
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("AB№"));
  EXPECT_EQ(Line(Control::UpperLine)->cursorPosition(), 3);
  EXPECT_EQ(Field(kSerialFirstColumn), "1");
  EXPECT_EQ(Field(kSerialLastColumn), "20");
  EXPECT_EQ(static_cast<QLineEdit*>(window_->Widget(Control::SerialTypeField))->text(),
            QStringLiteral("序号0-999"));

  // A second Segment takes its series in the lower line, in capital letters.
  Click(Control::StoreButton);
  Click(Control::AppendButton);
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("X"));
  QTest::keyClicks(Line(Control::LowerLine), QStringLiteral("CD"));
  ui_.messages.clear();
  WhenShown<SerialDialogView>([&](SerialDialogView& v) {
    v.type_box()->setCurrentIndex(SerialNumberDialog::kCapitals);
    emit v.type_box()->activated(SerialNumberDialog::kCapitals);
    QTest::keyClicks(v.first_edit(), QStringLiteral("a"));
    EXPECT_EQ(v.first_edit()->text(), QStringLiteral("A"));  // forced to a capital
    QTest::keyClicks(v.last_edit(), QStringLiteral("c"));
    QTest::mouseClick(v.yes_button(), Qt::LeftButton);
  });
  Click(Control::SerialButton);
  EXPECT_EQ(ui_.messages, S{});
  EXPECT_EQ(Field(kUpperLineColumn), "X");
  EXPECT_EQ(Field(kLowerLineColumn), "CD№");
  EXPECT_EQ(Line(Control::LowerLine)->text(), QStringLiteral("CD№"));
  EXPECT_EQ(Field(kSerialTypeColumn), "大写字母");
  EXPECT_EQ(Field(kSerialFirstColumn), "A");
  EXPECT_EQ(Field(kSerialLastColumn), "C");
  // Back in the lower line, on screen too.
  QApplication::processEvents();
  EXPECT_EQ(model_.focus(), Control::LowerLine);
  EXPECT_EQ(window_->focusWidget(), Line(Control::LowerLine));
}

TEST_F(InsertionDialogsTest, SymbolPickerInsertsIntoTheUpperAndTheLowerLine) {
  QTest::keyClicks(Line(Control::UpperLine), QStringLiteral("AB"));
  bool pre_on = true, insert_on = true;
  QString grid_family, cell, preview_after_paging;
  WhenShown<SymbolPickerView>([&](SymbolPickerView& v) {
    pre_on = v.pre_button()->isEnabled();
    insert_on = v.insert_button()->isEnabled();
    grid_family = v.grid()->font().family();
    cell = v.grid()->item(0, 2)->text();
    v.grid()->setCurrentCell(0, 2);  // A1 A2
    EXPECT_TRUE(v.insert_button()->isEnabled());
    QTest::mouseClick(v.insert_button(), Qt::LeftButton);
    QTest::mouseClick(v.next_button(), Qt::LeftButton);  // A2 A2, the same place
    preview_after_paging = v.preview()->text();
    QTest::mouseClick(v.close_button(), Qt::LeftButton);
  });
  Click(Control::SymbolButton);
  EXPECT_FALSE(pre_on);
  EXPECT_FALSE(insert_on);
  EXPECT_EQ(grid_family,
            QString::fromStdString(FontResolver::Shared().Resolve("黑体", false).family));
  EXPECT_EQ(cell, QStringLiteral("、"));
  EXPECT_EQ(preview_after_paging, QStringLiteral("ⅱ"));
  EXPECT_EQ(ui_.messages, S{});
  EXPECT_EQ(Field(kUpperLineColumn), "AB、");
  EXPECT_EQ(Line(Control::UpperLine)->text(), QStringLiteral("AB、"));
  EXPECT_EQ(Line(Control::UpperLine)->cursorPosition(), 3);

  // The lower line, with the zone and the cell kept from the last opening.
  QTest::keyClicks(Line(Control::LowerLine), QStringLiteral("C"));
  WhenShown<SymbolPickerView>([&](SymbolPickerView& v) {
    EXPECT_EQ(v.preview()->text(), QStringLiteral("ⅱ"));
    EXPECT_TRUE(v.pre_button()->isEnabled());
    QTest::mouseClick(v.insert_button(), Qt::LeftButton);
    QTest::mouseClick(v.close_button(), Qt::LeftButton);
  });
  Click(Control::SymbolButton);
  EXPECT_EQ(Field(kLowerLineColumn), "Cⅱ");
  EXPECT_EQ(Line(Control::LowerLine)->text(), QStringLiteral("Cⅱ"));
  EXPECT_EQ(Field(kUpperLineColumn), "AB、");
}

}  // namespace
}  // namespace qx
