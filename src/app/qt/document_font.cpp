#include "app/qt/document_font.h"

#include <QHash>
#include <QPainterPath>
#include <QRawFont>

#include "app/qt/qt_ui.h"
#include "layout/font_resolver.h"

namespace qx {
namespace {

// Whether the face Qt picks for `family` has a visible glyph for ch: 1 yes, 0 an empty
// glyph, -1 no glyph at all.
int Draws(const QString& family, QChar ch) {
  static QHash<QString, int> known;
  const QString key = family + QChar(0) + ch;
  const auto it = known.constFind(key);
  if (it != known.constEnd()) return *it;
  QFont single(family);
  single.setPixelSize(48);
  const QRawFont raw = QRawFont::fromFont(single);
  int result = -1;
  if (raw.isValid()) {
    const QList<quint32> glyphs = raw.glyphIndexesForString(QString(ch));
    if (!glyphs.isEmpty() && glyphs.front() != 0)
      result = raw.pathForGlyph(glyphs.front()).isEmpty() ? 0 : 1;
  }
  known.insert(key, result);
  return result;
}

}  // namespace

QStringList DocumentFamilies(const std::string& face) {
  QStringList families{Q(face)};
  for (const std::string& f : FontResolver::Shared().Resolve(face, false).families) {
    const QString family = Q(f);
    if (!family.isEmpty() && !families.contains(family)) families << family;
  }
  return families;
}

QFont DocumentFont(const std::string& face, int pixel_size) {
  QFont f;
  f.setFamilies(DocumentFamilies(face));
  f.setPixelSize(pixel_size);
  return f;
}

bool AddFallbackFamilies(QFont& font) {
  const QStringList families = font.families();
  if (families.size() != 1) return false;
  const QStringList full = DocumentFamilies(families.front().toStdString());
  if (full.size() == 1) return false;
  font.setFamilies(full);
  return true;
}

QString StandInFamily(const QFont& font, QChar ch) {
  FontResolver::Shared();  // Qt finds the Windows face names through its stand-in table
  const QStringList families = font.families();
  if (families.isEmpty() || ch.isSpace() || Draws(families.front(), ch) != 0) return {};
  for (qsizetype i = 1; i < families.size(); ++i)
    if (Draws(families[i], ch) == 1) return families[i];
  return {};
}

QFont FontFor(const QFont& font, QChar ch) {
  const QString stand_in = StandInFamily(font, ch);
  if (stand_in.isEmpty()) return font;
  QFont f = font;
  QStringList families = font.families();
  families.removeAll(stand_in);
  families.prepend(stand_in);
  f.setFamilies(families);
  return f;
}

}  // namespace qx
