#include "app/qt/qt_ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace qx {

void QtUi::Message(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, parent_);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

bool QtUi::Ask(std::string_view text, std::string_view caption, std::string_view yes,
               std::string_view no) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::NoButton, parent_);
  QPushButton* first = box.addButton(Q(yes), QMessageBox::YesRole);
  box.addButton(Q(no), QMessageBox::NoRole);
  box.setDefaultButton(first);
  box.exec();
  return box.clickedButton() == first;
}

void QtUi::Beep() { QApplication::beep(); }

void QtUi::OpenWithDesktop(const std::filesystem::path& file) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

}  // namespace qx
