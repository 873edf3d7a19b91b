// The serial-number dialog and the symbol picker opened from the real window: their
// buttons on the main window show the real dialogs, which are operated with mouse and
// keys, and what they insert comes back in both line editors.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QFontInfo>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/qt/import_window_view.h"
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
  void Commit(Control c, const QString& text) {
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(Line(c), &e);
  }
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
    grid_family = QFontInfo(v.grid()->font()).family();
    cell = v.grid()->item(0, 2)->text();
    v.grid()->setCurrentCell(0, 2);  // A1 A2
    EXPECT_TRUE(v.insert_button()->isEnabled());
    QTest::mouseClick(v.insert_button(), Qt::LeftButton);
    QTest::mouseClick(v.next_button(), Qt::LeftButton);  // A2 A2, the same place
    preview_after_paging = v.preview()->text();
    // A2 AB has no character: its cell is empty and a click on it chooses nothing.
    QTableWidgetItem* unassigned = v.grid()->item(0, 11);
    EXPECT_EQ(unassigned->text(), QString());
    EXPECT_EQ(unassigned->flags(), Qt::NoItemFlags);
    QTest::mouseClick(v.grid()->viewport(), Qt::LeftButton, {},
                      v.grid()->visualItemRect(unassigned).center());
    EXPECT_EQ(v.preview()->text(), preview_after_paging);
    EXPECT_TRUE(v.insert_button()->isEnabled());
    QTest::mouseClick(v.close_button(), Qt::LeftButton);
  });
  Click(Control::SymbolButton);
  EXPECT_FALSE(pre_on);
  EXPECT_FALSE(insert_on);
  // The grid draws in the face that stands in for 黑体.
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

// Dark pixels of a widget's picture in `area`: the ink of the text drawn there.
int Ink(QWidget* w, const QRect& area) {
  const QImage image = w->grab(area).toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 96;
  return ink;
}

TEST_F(InsertionDialogsTest, SymbolsTheDocumentFaceLeavesBlankShowAsTheyPrint) {
  // 黑体's stand-in has these as empty glyphs; the printer draws them from a fallback face,
  // and so must the picker's cell, its preview and the line they go into. 中 and A come
  // from the face itself; 1℃ǎ is typed, among other characters.
  for (const char* symbol : {"℃", "Ⅴ", "ǎ", "中", "A", "1℃ǎ"}) {
    SCOPED_TRACE(symbol);
    const std::string code = gbk::Encode(symbol);
    const bool in_picker = code.size() == 2 && static_cast<uint8_t>(code[0]) <= 0xA8;
    for (int i = 0; i < 4 && !Line(Control::UpperLine)->text().isEmpty(); ++i)
      QTest::keyClick(Line(Control::UpperLine), Qt::Key_Backspace);
    if (in_picker) {
      const int zone = static_cast<uint8_t>(code[0]), trail = static_cast<uint8_t>(code[1]);
      const int col = (trail - 0xA0) % 16, row = (trail - 0xA0) / 16;
      int cell_ink = -1, preview_ink = -1;
      WhenShown<SymbolPickerView>([&](SymbolPickerView& v) {
        while (model_.symbol_picker().zone() > zone) QTest::mouseClick(v.pre_button(), Qt::LeftButton);
        while (model_.symbol_picker().zone() < zone) QTest::mouseClick(v.next_button(), Qt::LeftButton);
        QTableWidgetItem* item = v.grid()->item(row, col);
        EXPECT_EQ(item->text(), QString::fromUtf8(symbol));
        v.grid()->setCurrentCell(0, 0);  // no highlight on the cell looked at
        cell_ink = Ink(v.grid()->viewport(), v.grid()->visualItemRect(item));
        v.grid()->setCurrentCell(row, col);
        preview_ink = Ink(v.preview(), v.preview()->rect());
        QTest::mouseClick(v.insert_button(), Qt::LeftButton);
        QTest::mouseClick(v.close_button(), Qt::LeftButton);
      });
      Click(Control::SymbolButton);
      EXPECT_GT(cell_ink, 15);
      EXPECT_GT(preview_ink, 60);
    } else {
      Commit(Control::UpperLine, QString::fromUtf8(symbol));
    }
    QLineEdit* line = Line(Control::UpperLine);
    ASSERT_EQ(line->text(), QString::fromUtf8(symbol));
    line->clearFocus();  // no caret in the picture
    QApplication::processEvents();
    EXPECT_GT(Ink(line, line->rect()), 150);
  }
}


// A workbook dropped on the window opens the import window: the header box and the lower
// column selector change the preview at once, and "导入" imports with those choices.
TEST_F(InsertionDialogsTest, ImportWindowChoicesChangeThePreviewAndTheImport) {
  const std::filesystem::path book =
      std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "import" / "wires.xlsx";
  QString before, after_header;
  int rows = 0;
  WhenShown<ImportWindowView>([&](ImportWindowView& v) {
    rows = v.grid()->rowCount();
    before = v.summary()->text();
    QTest::mouseClick(v.header_box(), Qt::LeftButton);
    after_header = v.summary()->text();
    EXPECT_TRUE(v.header_box()->isChecked());
    v.lower_box()->setCurrentIndex(0);  // "无"
    emit v.lower_box()->activated(0);
    EXPECT_EQ(v.grid()->item(1, v.grid()->columnCount() - 1)->text(),
              QStringLiteral("第1段  W-001  4 号  25mm"));
    QTest::mouseClick(v.import_button(), Qt::LeftButton);
  });
  ASSERT_TRUE(model_.Run([&] { model_.OpenGivenFile(book); }));
  EXPECT_EQ(rows, 9);
  EXPECT_EQ(before, QStringLiteral("共9行: 5个段落, 1行有改动, 4行不导入"));
  EXPECT_EQ(after_header, QStringLiteral("共9行: 4个段落, 1行有改动, 5行不导入"));
  EXPECT_EQ(model_.table().RowCount(), 4);
  EXPECT_EQ(gbk::ToUtf8(model_.table().TextAt(0, kUpperLineColumn)), "W-001");
  EXPECT_EQ(gbk::ToUtf8(model_.table().TextAt(0, kLowerLineColumn)), "");
}

}  // namespace
}  // namespace qx
