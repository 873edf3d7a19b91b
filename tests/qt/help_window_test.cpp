// The help: the desktop's viewer when it has one, else the program's own help window,
// which shows the pages beside the program with their links working.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <fstream>

#include "app/qt/help_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "document/sqlite_store.h"
#include "layout/freetype_canvas.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

void Write(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

std::string Read(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// PATH pointed at a folder of our own for the life of the object.
class ScopedPath {
 public:
  explicit ScopedPath(const std::filesystem::path& dir) : saved_(qgetenv("PATH")) {
    qputenv("PATH", QByteArray::fromStdString(dir.string()));
  }
  ~ScopedPath() { qputenv("PATH", saved_); }

 private:
  QByteArray saved_;
};

TEST(HelpWindowTest, TheDesktopsViewerCountsOnlyWhenItTookThePage) {
  // xdg-open as the desktop has it: it hands the page on and exits 0, finds no viewer
  // and exits 3, or runs the viewer in its foreground and is still running.
  struct Case {
    const char* what;
    const char* body;
    bool opened;
  };
  const Case cases[] = {
      {"viewer found", "exit 0", true},
      {"no viewer", "echo 'xdg-open: no method available' >&2; exit 3", false},
      {"viewer in the foreground", "/bin/sleep 5", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir bin;
    const std::filesystem::path seen = bin / "seen";
    Write(bin / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen.string() + "'\n" + c.body + "\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    ScopedPath path(bin.path());
    QtUi ui;
    const std::filesystem::path page = bin / "help" / "index.html";
    EXPECT_EQ(ui.OpenWithDesktop(page), c.opened);
    EXPECT_EQ(Read(seen), page.string());
  }
}

// Two pages that link to each other, as the help folder holds them.
void WriteTwoPages(const std::filesystem::path& help) {
  Write(help / "index.html",
        "<html><head><meta charset=\"utf-8\"><title>使用帮助</title></head><body>"
        "<h1>目录</h1><p><a href=\"print.html\">打印</a></p></body></html>");
  Write(help / "print.html",
        "<html><head><meta charset=\"utf-8\"><title>打印</title></head><body>"
        "<h1>打印文件</h1><p><a href=\"index.html\">返回目录</a></p></body></html>");
}

TEST(HelpWindowTest, LinksBackForwardAndContentsMoveBetweenThePages) {
  testing::TempDir dir;
  WriteTwoPages(dir / "help");
  QtUi ui;
  ui.ShowHelp(dir / "help" / "index.html");
  HelpView* view = ui.help_window();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  QTextBrowser* browser = view->browser();
  EXPECT_EQ(view->windowTitle(), QStringLiteral("使用帮助"));
  EXPECT_FALSE(view->back_button()->isEnabled());

  // The link by the keyboard: Tab to it, Enter to follow it.
  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Tab);
  QTest::keyClick(browser, Qt::Key_Return);
  EXPECT_TRUE(browser->source().toLocalFile().endsWith(QStringLiteral("print.html")));
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("打印文件")));
  EXPECT_EQ(view->windowTitle(), QStringLiteral("打印"));

  QTest::mouseClick(view->back_button(), Qt::LeftButton);
  EXPECT_TRUE(browser->source().toLocalFile().endsWith(QStringLiteral("index.html")));
  ASSERT_TRUE(view->forward_button()->isEnabled());
  QTest::mouseClick(view->forward_button(), Qt::LeftButton);
  EXPECT_TRUE(browser->source().toLocalFile().endsWith(QStringLiteral("print.html")));
  QTest::mouseClick(view->contents_button(), Qt::LeftButton);
  EXPECT_TRUE(browser->source().toLocalFile().endsWith(QStringLiteral("index.html")));

  // Asked again, the same window comes forward; closed, it is gone.
  ui.ShowHelp(dir / "help" / "index.html");
  EXPECT_EQ(ui.help_window(), view);
  view->close();
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(ui.help_window(), nullptr);
}

TEST(HelpWindowTest, AMissingPageSaysWhatToDo) {
  testing::TempDir dir;
  QtUi ui;
  ui.ShowHelp(dir / "help" / "index.html");
  ASSERT_NE(ui.help_window(), nullptr);
  const QString text = ui.help_window()->browser()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("找不到帮助页面"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("重新安装"))) << text.toStdString();
  ui.help_window()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(HelpWindowTest, EveryLinkOfTheShippedPagesLeadsToAPage) {
  const std::filesystem::path help = std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "help";
  const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
  int pages = 0, links = 0;
  for (const auto& entry : std::filesystem::directory_iterator(help)) {
    if (entry.path().extension() != ".html") continue;
    ++pages;
    const QString html = QString::fromStdString(Read(entry.path()));
    for (auto it = href.globalMatch(html); it.hasNext();) {
      const QString target = it.next().captured(1).section(QLatin1Char('#'), 0, 0);
      if (target.isEmpty() || target.contains(QLatin1Char(':'))) continue;  // in-page or web
      ++links;
      EXPECT_TRUE(std::filesystem::is_regular_file(help / target.toStdString()))
          << entry.path().filename() << " -> " << target.toStdString();
    }
  }
  EXPECT_GE(pages, 2);
  EXPECT_GE(links, pages);
}

// The help button of the real window on a desktop without a viewer.
class NoViewerUi : public QtUi {
 public:
  int asked = 0;
  bool OpenWithDesktop(const std::filesystem::path&) override {
    ++asked;
    return false;
  }
};

TEST(HelpWindowTest, TheHelpButtonShowsTheProgramsOwnWindowWithoutAViewer) {
  testing::TempDir dir;
  WriteTwoPages(dir / "help");
  NoViewerUi ui;
  FreeTypeCanvas measure_canvas, glyph_canvas(192, 96);
  MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), measure_canvas, glyph_canvas);
  model.Start(1366, 768, dir.path(), dir / "TL.$$$");
  {
    MainWindow window(model, ui);
    ui.SetParent(&window);
    window.show();
    model.OnActivated();
    window.Refresh();
    QTest::mouseClick(window.Widget(Control::HelpButton), Qt::LeftButton);
    EXPECT_EQ(ui.asked, 1);
    ASSERT_NE(ui.help_window(), nullptr);
    EXPECT_TRUE(ui.help_window()->isVisible());
    EXPECT_EQ(ui.help_window()->windowTitle(), QStringLiteral("使用帮助"));
    EXPECT_EQ(ui.help_window()->parentWidget(), &window);
    EXPECT_FALSE(ui.help_window()->isModal());  // the window goes on working beside it
  }
  EXPECT_EQ(ui.help_window(), nullptr);  // went with the main window
}

}  // namespace
}  // namespace qx
