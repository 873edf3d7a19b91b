// The main window's menu bar: every command of the two tool bars, with the keys that run
// them, and the recent files. Each entry runs the same model handler as its button and is
// offered exactly when its button is.
#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"
#include "editing/messages.h"

namespace qx {
namespace {

struct Command {
  Control control;
  const char* text;  // the menu entry; empty: the button's caption or hint
  QKeySequence keys;
};

QString EntryText(const Command& c) {
  if (*c.text) return QString::fromUtf8(c.text);
  const ControlInfo& info = Info(c.control);
  return Q(info.caption.empty() ? info.hint : info.caption);
}

}  // namespace

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  const auto add = [this](QMenu* menu, const Command& c) {
    QAction* a = menu->addAction(EntryText(c));
    a->setObjectName(Name(c.control) + QStringLiteral("Action"));
    if (!c.keys.isEmpty()) {
      a->setShortcut(c.keys);
      // The key shows in the button's hint too.
      if (QWidget* w = Widget(c.control)) {
        const QString hint = w->toolTip().isEmpty() ? EntryText(c) : w->toolTip();
        w->setToolTip(hint + QStringLiteral("  (") +
                      c.keys.toString(QKeySequence::NativeText) + QStringLiteral(")"));
      }
    }
    connect(a, &QAction::triggered, this, [this, c = c.control] { RunCommand(c); });
    command_actions_.emplace_back(a, c.control);
    return a;
  };

  QMenu* file = bar->addMenu(QStringLiteral("文件(&F)"));
  add(file, {Control::NewButton, "", QKeySequence(Qt::CTRL | Qt::Key_N)});
  add(file, {Control::OpenButton, "打开文件...", QKeySequence(Qt::CTRL | Qt::Key_O)});
  recent_menu_ = file->addMenu(QStringLiteral("最近的文件"));
  recent_menu_->setObjectName(QStringLiteral("RecentFilesMenu"));
  recent_menu_->setToolTipsVisible(true);
  connect(file, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  file->addSeparator();
  add(file, {Control::SaveButton, "", QKeySequence(Qt::CTRL | Qt::Key_S)});
  add(file, {Control::SaveAsButton, "另存文件...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
  file->addSeparator();
  add(file, {Control::ImportExcelButton, "导入Excel 文件...", QKeySequence(Qt::CTRL | Qt::Key_I)});
  add(file, {Control::ExportButton, "导出本机格式文件...", QKeySequence(Qt::CTRL | Qt::Key_E)});
  file->addSeparator();
  QAction* quit = file->addAction(QStringLiteral("退出"));
  quit->setObjectName(QStringLiteral("QuitAction"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, [this] { close(); });

  QMenu* edit = bar->addMenu(QStringLiteral("编辑(&E)"));
  edit->addAction(UndoRedoAction(false));
  edit->addAction(UndoRedoAction(true));
  edit->addSeparator();
  for (Control c : {Control::FirstButton, Control::LastButton, Control::AppendButton,
                    Control::InsertButton, Control::DeleteButton, Control::StoreButton})
    add(edit, {c, "", {}});
  edit->addSeparator();
  bold_action_ = add(edit, {Control::BoldButton, "加粗", {}});
  bold_action_->setCheckable(true);
  QMenu* following = edit->addMenu(Q(msg::kFollowingBarHint));
  for (Control c : {Control::FollowingLengthButton, Control::FollowingRepeatButton,
                    Control::FollowingSizeButton, Control::FollowingOrientationButton,
                    Control::FollowingDecorationButton})
    add(following, {c, "", {}});

  QMenu* insert = bar->addMenu(QStringLiteral("插入(&I)"));
  for (Control c : {Control::SuperscriptButton, Control::SubscriptButton, Control::SerialButton})
    add(insert, {c, "", {}});
  add(insert, {Control::SymbolButton, "符号...", {}});

  QMenu* print = bar->addMenu(QStringLiteral("打印(&P)"));
  add(print, {Control::PrintButton, "打印文件...", QKeySequence(Qt::CTRL | Qt::Key_P)});
  add(print, {Control::PreviewButton, "预览", {}});
  add(print, {Control::StopButton, "", {}});

  QMenu* help = bar->addMenu(QStringLiteral("帮助(&H)"));
  add(help, {Control::HelpButton, "", QKeySequence(Qt::Key_F1)});

  // The states are read again whenever a menu opens, so that no entry is offered that its
  // button does not offer at that moment.
  for (QMenu* m : {file, edit, insert, print, help})
    connect(m, &QMenu::aboutToShow, this, [this] { RefreshCommands(); });
}

QAction* MainWindow::CommandAction(Control c) const {
  for (const auto& [action, control] : command_actions_)
    if (control == c) return action;
  return nullptr;
}

void MainWindow::RefreshCommands() {
  for (const auto& [action, control] : command_actions_)
    action->setEnabled(model_.controls().Enabled(control));
  bold_action_->setChecked(model_.doc().settings.bold);
  recent_menu_->setEnabled(model_.controls().Enabled(Control::OpenButton));
  RefreshUndoRedo();
}

void MainWindow::FillRecentMenu() {
  RecentFiles& recent = model_.recent_files();
  recent.DropMissing();
  recent_menu_->clear();
  int n = 0;
  for (const std::filesystem::path& p : recent.entries()) {
    const QString path = QString::fromStdString(p.string());
    QAction* a = recent_menu_->addAction(
        QStringLiteral("&%1 %2").arg(n + 1).arg(QFileInfo(path).fileName()));
    a->setToolTip(path);
    connect(a, &QAction::triggered, this, [this, n] { model_.OpenRecentFile(std::size_t(n)); });
    ++n;
  }
  if (n == 0) recent_menu_->addAction(QStringLiteral("(无)"))->setEnabled(false);
}

}  // namespace qx
