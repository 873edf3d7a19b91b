// The program's own help window, for desktops without a viewer for the help pages: the
// HTML pages beside the program in a browser pane, with links between pages, back,
// forward and the contents page. It is not modal, so the operator can read while working.
#pragma once

#include <QDialog>
#include <QUrl>
#include <filesystem>

class QPushButton;
class QTextBrowser;

namespace qx {

class HelpView : public QDialog {
 public:
  explicit HelpView(QWidget* parent);
  // Shows `page` (an HTML file); its folder's other pages are reached through its links.
  void Open(const std::filesystem::path& page);

  QTextBrowser* browser() const { return browser_; }
  QPushButton* back_button() const { return back_; }
  QPushButton* forward_button() const { return forward_; }
  QPushButton* contents_button() const { return contents_; }

  static constexpr int kWidth = 760;
  static constexpr int kHeight = 600;

 private:
  void ShowMissing(const std::filesystem::path& page);

  QTextBrowser* browser_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* forward_ = nullptr;
  QPushButton* contents_ = nullptr;
  QPushButton* close_ = nullptr;
  QUrl contents_page_;
};

}  // namespace qx
