#include "app/qt/gbk_line_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/widget_helpers.h"

namespace qx {

// --- Line editor ----------------------------------------------------------------------

GbkLineEdit::GbkLineEdit(MainWindow& window, Control id) : window_(window), id_(id) {
  setObjectName(Name(id));
  setAttribute(Qt::WA_InputMethodEnabled, true);
  QFont f(QStringLiteral("黑体"));
  f.setPixelSize(53);
  setFont(f);
  setStyleSheet(QStringLiteral("QLineEdit { background: #00ffff; }"));
  setToolTip(Q(Info(id).hint));
}

void GbkLineEdit::keyPressEvent(QKeyEvent* e) {
  LineEditors& f = window_.model().line_editors();
  if (e->matches(QKeySequence::Paste))
    return f.PasteText(id_, QApplication::clipboard()->text().toStdString());
  if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll)) {
    QLineEdit::keyPressEvent(e);
    return PushCaret();
  }
  if (e->matches(QKeySequence::Cut)) {
    if (hasSelectedText()) QApplication::clipboard()->setText(selectedText());
    return f.PressDelete(id_);
  }
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return f.PressEnter(id_);
    case Qt::Key_Backspace:
      return f.PressBackspace(id_);
    case Qt::Key_Delete:
      return f.PressDelete(id_);
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
      QLineEdit::keyPressEvent(e);
      return PushCaret();
    default:
      break;
  }
  const QString text = e->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(e->modifiers() & Qt::ControlModifier)) {
    f.TypeText(id_, text.toStdString());
    return;
  }
  QWidget::keyPressEvent(e);  // Tab and the like: focus handling, nothing typed
}

void GbkLineEdit::inputMethodEvent(QInputMethodEvent* e) {
  const QString commit = e->commitString();
  // Show the composition as the input method asks, but type the committed text through
  // the key handler.
  QInputMethodEvent preedit(e->preeditString(), e->attributes());
  QLineEdit::inputMethodEvent(&preedit);
  if (!commit.isEmpty()) window_.model().line_editors().TypeText(id_, commit.toStdString());
}

void GbkLineEdit::mousePressEvent(QMouseEvent* e) {
  QLineEdit::mousePressEvent(e);
  LineEditors& f = window_.model().line_editors();
  PushCaret();
  if (id_ == Control::LowerLine) {
    f.OnLowerLineClicked();
  } else {
    f.OnUpperLineClicked();
  }
}

void GbkLineEdit::mouseReleaseEvent(QMouseEvent* e) {
  QLineEdit::mouseReleaseEvent(e);
  PushCaret();
}

void GbkLineEdit::mouseMoveEvent(QMouseEvent* e) {
  QLineEdit::mouseMoveEvent(e);
  PushCaret();
}

void GbkLineEdit::contextMenuEvent(QContextMenuEvent* e) {
  e->ignore();
}

void GbkLineEdit::PushCaret() {
  if (window_.syncing()) return;
  const std::string& gbk = window_.model().context().editor(id_).text;
  const int caret = ByteOffset(gbk, cursorPosition());
  int sel_start = 0, sel_len = 0;
  if (hasSelectedText()) {
    const int a = ByteOffset(gbk, selectionStart());
    const int b = ByteOffset(gbk, selectionStart() + static_cast<int>(selectedText().size()));
    sel_start = a;
    sel_len = b - a;
  }
  window_.model().line_editors().SetCaret(id_, caret, sel_start, sel_len);
}

}  // namespace qx
