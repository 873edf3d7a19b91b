// The undo and redo commands of the main window: entries of the 编辑 menu and buttons of
// the upper tool bar, named after the step they take back or make again.
#include <QAction>
#include <QKeySequence>
#include <QIcon>
#include <QToolButton>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"

namespace qx {

QAction* MainWindow::UndoRedoAction(bool redo) {
  QAction*& a = redo ? redo_action_ : undo_action_;
  if (a) return a;
  a = new QAction(this);
  a->setObjectName(redo ? QStringLiteral("RedoAction") : QStringLiteral("UndoAction"));
  // The desktop's icons where it has them; else a letter, so that the buttons are not taken
  // for the export arrow beside them.
  const QColor colour(0x1f, 0x4e, 0xa8);
  a->setIcon(redo ? QIcon::fromTheme(QStringLiteral("edit-redo"),
                                     LetterIcon(QStringLiteral("重"), colour))
                  : QIcon::fromTheme(QStringLiteral("edit-undo"),
                                     LetterIcon(QStringLiteral("撤"), colour)));
  if (redo) {
    a->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  } else {
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  }
  a->setShortcutContext(Qt::WindowShortcut);
  connect(a, &QAction::triggered, this, [this, redo] { RunUndoRedo(redo); });
  addAction(a);  // the keys work while the menu is closed
  return a;
}

void MainWindow::RunUndoRedo(bool redo) {
  // Not offered while printing: the keys must not get past that either.
  if (redo ? !model_.CanRedo() : !model_.CanUndo()) return;
  if (redo) {
    model_.Redo();
  } else {
    model_.Undo();
  }
  ApplyEditorFont();  // a face or the bold style may have come back
  RefreshUndoRedo();
}

void MainWindow::RefreshUndoRedo() {
  for (bool redo : {false, true}) {
    QAction* a = UndoRedoAction(redo);
    const QString text = Q(redo ? model_.RedoText() : model_.UndoText());
    a->setText(text);
    a->setToolTip(text + QStringLiteral("  (") +
                  a->shortcut().toString(QKeySequence::NativeText) + QStringLiteral(")"));
    a->setEnabled(redo ? model_.CanRedo() : model_.CanUndo());
  }
}

bool MainWindow::IsUndoRedoKey(const QKeySequence& pressed) {
  for (bool redo : {false, true})
    for (const QKeySequence& k : UndoRedoAction(redo)->shortcuts())
      if (k == pressed) return true;
  return false;
}

}  // namespace qx
