// Document text in the window's widgets, drawn with the faces the print path uses: the
// document face first, then the same fallback faces the printed picture takes a character
// from when the document face lacks it.
//
// A face can also have a character as an empty glyph (WenQuanYi Micro Hei, 黑体's stand-in,
// has ℃, Ⅴ, Ⅹ and some pinyin letters so). Qt only falls back for characters a face lacks
// altogether, so such characters need their stand-in family named explicitly.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <string>

namespace qx {

// The families to draw a document face with: the face itself, then the fallback faces of
// the print path.
QStringList DocumentFamilies(const std::string& face);

// A font of the document face at `pixel_size`, with the print path's fallback families.
QFont DocumentFont(const std::string& face, int pixel_size);

// Puts the print path's fallback families behind the font's first family (a document
// face); a font that has them already is left alone. Returns whether the font changed.
bool AddFallbackFamilies(QFont& font);

// The family that draws `ch` when the font's first face has it only as an empty glyph:
// the first of the font's other families that draws it. Empty when the first face draws
// it, lacks it altogether (Qt then falls back by itself), or no family draws it.
QString StandInFamily(const QFont& font, QChar ch);

// `font` for showing `ch`: with its stand-in family first when it needs one.
QFont FontFor(const QFont& font, QChar ch);

}  // namespace qx
