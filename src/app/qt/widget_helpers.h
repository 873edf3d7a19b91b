// Small helpers the editor's Qt widgets share: texts, positions in GBK text, object names
// and the pictures drawn by the program itself.
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <string_view>

#include "editing/controls.h"

namespace qx {

QString FromGbk(std::string_view gbk);
// The object name of a control's widget: its identifier.
QString Name(Control c);
// Every GBK character is one UTF-16 unit in a widget, so positions convert by counting.
int CharIndex(std::string_view gbk, int byte_offset);
int ByteOffset(std::string_view gbk, int char_index);
// The main window's font: 宋体 at 12 pixels (the line editors have their own).
QFont WindowFont();
// Our own logo: the series name on the maker's blue.
QPixmap Logo();
// A round icon with one character on it, where the style has no fitting icon.
QIcon LetterIcon(const QString& letter, const QColor& colour);

}  // namespace qx
