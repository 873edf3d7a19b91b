// Each dialog and message box belongs to the window that raised it, so that a window
// manager keeps it above that window: a refusal of the serial-number dialog is owned by
// the dialog, the dialogs of the main window by the main window, and none of them asks
// to stay above every other window. The file dialogs show Qt's own texts in Chinese.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/qt/job_preview_view.h"
#include "app/qt/main_window.h"
#include "app/qt/print_dialog_view.h"
#include "app/qt/qt_ui.h"
#include "app/qt/serial_dialog_view.h"
#include "app/qt/symbol_picker_view.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

// What a modal window was shown as.
struct Shown {
  QString name;              // its object name
  QWidget* owner = nullptr;  // the window it belongs to
  bool stays_on_top = false;
  QString title, text;
};

class DialogOwnerTest : public ::testing::Test {
 protected:
  DialogOwnerTest()
      : glyph_canvas_(192, 96),
        model_(ui_, std::make_unique<SqliteRowStore>(), measure_canvas_, glyph_canvas_) {
    std::filesystem::create_directory(dir_ / "Documents");
    model_.Start(1366, 768, dir_.path(), dir_ / "TL.$$$");
    model_.context().documents_dir = dir_ / "Documents";
    window_ = std::make_unique<MainWindow>(model_, ui_);
    ui_.SetParent(window_.get());
    window_->show();
    model_.OnActivated();
    window_->Refresh();
    QApplication::processEvents();
  }
  ~DialogOwnerTest() override { window_.reset(); }

  void Click(Control c) {
    QWidget* w = window_->Widget(c);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isEnabled()) << Info(c).name;
    QTest::mouseClick(w, Qt::LeftButton);
  }

  // Runs `operate` on the next modal window of type V other than `besides`, once it is up.
  template <typename V>
  void WhenShown(std::function<void(V&)> operate, QWidget* besides = nullptr) {
    auto* poll = new QTimer(window_.get());
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, besides, operate = std::move(operate)] {
      auto* view = dynamic_cast<V*>(QApplication::activeModalWidget());
      if (!view || view == besides || !view->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      operate(*view);
    });
    poll->start();
  }

  static Shown Describe(QWidget& w) {
    Shown s;
    s.name = w.objectName();
    s.owner = w.parentWidget();
    s.stays_on_top = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    s.title = w.windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(&w)) s.text = box->text();
    return s;
  }

  testing::TempDir dir_;
  QtUi ui_;
  FreeTypeCanvas measure_canvas_, glyph_canvas_;
  MainWindowModel model_;
  std::unique_ptr<MainWindow> window_;
};

// The reported case: "错误提示" raised by the serial-number dialog's OK comes above the
// dialog, not behind it, and the dialog is still there to correct the value.
TEST_F(DialogOwnerTest, AMessageOfTheSerialDialogBelongsToTheDialog) {
  Shown dialog, message;
  QWidget* serial = nullptr;
  bool still_open = false;
  WhenShown<SerialDialogView>([&](SerialDialogView& v) {
    serial = &v;
    dialog = Describe(v);
    WhenShown<QMessageBox>(
        [&](QMessageBox& box) {
          message = Describe(box);
          box.button(QMessageBox::Ok)->click();
        },
        &v);
    QTest::keyClicks(v.first_edit(), QStringLiteral("12a"));
    QTest::keyClicks(v.last_edit(), QStringLiteral("20"));
    QTest::mouseClick(v.yes_button(), Qt::LeftButton);  // returns once the box is closed
    still_open = v.isVisible();
    QTest::mouseClick(v.return_button(), Qt::LeftButton);
  });
  Click(Control::SerialButton);
  EXPECT_EQ(dialog.owner, window_.get());
  EXPECT_FALSE(dialog.stays_on_top);
  EXPECT_EQ(message.text, QStringLiteral("请输入数字."));
  EXPECT_EQ(message.title, QStringLiteral("错误提示"));
  EXPECT_EQ(message.owner, serial);
  EXPECT_FALSE(message.stays_on_top);
  EXPECT_TRUE(still_open);
}

// Every dialog of the main window belongs to it, and none stays above other windows.
TEST_F(DialogOwnerTest, TheDialogsOfTheMainWindowBelongToIt) {
  QTest::keyClicks(static_cast<QLineEdit*>(window_->Widget(Control::UpperLine)),
                   QStringLiteral("L1"));
  struct Case {
    Control button;
    const char* name;
  };
  for (const Case c : {Case{Control::SerialButton, "SerialNumberDialog"},
                       Case{Control::SymbolButton, "SymbolPicker"},
                       Case{Control::PrintButton, "PrintDialog"},
                       Case{Control::PreviewButton, "JobPreview"}}) {
    SCOPED_TRACE(c.name);
    Shown shown;
    WhenShown<QDialog>([&](QDialog& d) {
      shown = Describe(d);
      d.reject();
    });
    Click(c.button);
    EXPECT_EQ(shown.name, QString::fromLatin1(c.name));
    EXPECT_EQ(shown.owner, window_.get());
    EXPECT_FALSE(shown.stays_on_top);
    QApplication::processEvents();
  }
}

// The save dialog: owned by the window, titled by the program, starting in the documents
// folder, with Qt's own buttons in Chinese.
TEST_F(DialogOwnerTest, TheSaveDialogIsTheWindowsAndSpeaksChinese) {
  ASSERT_TRUE(InstallChineseQtTexts(*QCoreApplication::instance()))
      << "Qt's translations (qt6-translations-l10n) are not installed";
  Shown shown;
  QString folder, cancel_text;
  WhenShown<QFileDialog>([&](QFileDialog& d) {
    shown = Describe(d);
    folder = d.directory().absolutePath();
    if (auto* buttons = d.findChild<QDialogButtonBox*>())
      if (QAbstractButton* cancel = buttons->button(QDialogButtonBox::Cancel))
        cancel_text = cancel->text();
    d.reject();
  });
  Click(Control::SaveAsButton);
  EXPECT_EQ(shown.owner, window_.get());
  EXPECT_FALSE(shown.stays_on_top);
  EXPECT_EQ(shown.title, QStringLiteral("输出本机文件"));
  EXPECT_EQ(folder.toStdString(), (dir_ / "Documents").string());
  EXPECT_EQ(cancel_text, QStringLiteral("取消"));
}

}  // namespace
}  // namespace qx
