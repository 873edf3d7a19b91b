#include "app/qt/widget_helpers.h"

#include <QFont>
#include <QPainter>

#include "app/qt/qt_ui.h"
#include "document/gbk.h"

namespace qx {

QString FromGbk(std::string_view gbk) {
  return Q(gbk::ToUtf8(gbk));
}

QString Name(Control c) {
  return Q(Info(c).name);
}

int CharIndex(std::string_view gbk, int byte_offset) {
  int n = 0;
  for (std::size_t p = 0; p < gbk.size() && static_cast<int>(p) < byte_offset;
       p += gbk::CharLen(gbk, p))
    ++n;
  return n;
}
int ByteOffset(std::string_view gbk, int char_index) {
  std::size_t p = 0;
  for (int n = 0; n < char_index && p < gbk.size(); ++n) p += gbk::CharLen(gbk, p);
  return static_cast<int>(p);
}

QFont WindowFont() {
  QFont f(QStringLiteral("宋体"));
  f.setPixelSize(12);
  return f;
}

QPixmap Logo() {
  QPixmap pm(100, 100);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x1f, 0x4e, 0xa8));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 92, 92, 14, 14);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(40);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(4, 4, 92, 70), Qt::AlignCenter, QStringLiteral("QX"));
  f.setPixelSize(13);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(4, 60, 92, 30), Qt::AlignCenter, QStringLiteral("线号打印"));
  return pm;
}

QIcon LetterIcon(const QString& letter, const QColor& colour) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(Qt::NoPen);
  p.drawEllipse(2, 2, 28, 28);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(20);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(2, 2, 28, 28), Qt::AlignCenter, letter);
  return QIcon(pm);
}

}  // namespace qx
