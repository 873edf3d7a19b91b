#include "app/qt/gbk_line_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>
#include <algorithm>

#include "app/qt/document_font.h"
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
  AddFallbackFamilies(f);
  setFont(f);
  setStyleSheet(QStringLiteral("QLineEdit { background: #00ffff; }"));
  setToolTip(Q(Info(id).hint));
}

void GbkLineEdit::keyPressEvent(QKeyEvent* e) {
  LineEditors& f = window_.model().line_editors();
  if (e->matches(QKeySequence::Paste))
    return window_.model().PasteText(id_, QApplication::clipboard()->text().toStdString());
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

void GbkLineEdit::changeEvent(QEvent* e) {
  QLineEdit::changeEvent(e);
  if (e->type() != QEvent::FontChange) return;
  // The window sets the document face alone; the fallback faces follow it.
  QFont f = font();
  if (AddFallbackFamilies(f)) setFont(f);
}

void GbkLineEdit::paintEvent(QPaintEvent* e) {
  QLineEdit::paintEvent(e);
  DrawStandIns();
}

void GbkLineEdit::DrawStandIns() {
  const QString text = displayText();
  QList<int> blanks;
  for (int i = 0; i < text.size(); ++i)
    if (!StandInFamily(font(), text[i]).isEmpty()) blanks << i;
  if (blanks.isEmpty()) return;

  // The line as the widget lays it out; the widget left blank gaps of these advances.
  QTextLayout layout(text, font());
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  if (!line.isValid()) return;

  // Where the widget puts the line: long text scrolls, so the offset is found from where
  // a click lands. The boundary nearest the middle moves to the next one halfway across
  // the character before it.
  const int mid_y = height() / 2;
  const int k = std::clamp(cursorPositionAt(QPoint(width() / 2, mid_y)), 1,
                           static_cast<int>(text.size()));
  int lo = 0, hi = width();  // the first x whose position is k or more
  while (lo < hi) {
    const int x = (lo + hi) / 2;
    if (cursorPositionAt(QPoint(x, mid_y)) >= k)
      hi = x;
    else
      lo = x + 1;
  }
  const qreal offset = lo - (line.cursorToX(k - 1) + line.cursorToX(k)) / 2;

  // Vertically the widget centres the line in its contents.
  QStyleOptionFrame panel;
  initStyleOption(&panel);
  const QRect contents =
      style()->subElementRect(QStyle::SE_LineEditContents, &panel, this).marginsRemoved(textMargins());
  const QFontMetrics fm(font());
  const int baseline = contents.y() + (contents.height() - fm.height() + 1) / 2 + fm.ascent();

  QPainter p(this);
  p.setClipRect(contents);
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  const int sel_start = hasSelectedText() ? selectionStart() : -1;
  const int sel_end = hasSelectedText() ? selectionEnd() : -1;
  for (int i : blanks) {
    const QFont f = FontFor(font(), text[i]);
    const qreal left = line.cursorToX(i), right = line.cursorToX(i + 1);
    const qreal width = QFontMetricsF(f).horizontalAdvance(text[i]);
    const bool selected = i >= sel_start && i < sel_end;
    p.setFont(f);
    p.setPen(palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    // The caret moves by the blank glyph's advance: a wider stand-in is narrowed to it, so
    // that it covers none of its neighbours.
    const qreal slot = right - left;
    const qreal squeeze = width > slot && width > 0 ? slot / width : 1.0;
    p.save();
    p.translate(offset + (left + right - width * squeeze) / 2, baseline);
    p.scale(squeeze, 1.0);
    p.drawText(QPointF(0, 0), QString(text[i]));
    p.restore();
  }
}

}  // namespace qx
