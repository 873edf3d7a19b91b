#include "app/qt/help_view.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"

namespace qx {
namespace {

const char kCaption[] = "帮助";

QUrl FileUrl(const std::filesystem::path& file) {
  return QUrl::fromLocalFile(QString::fromStdString(file.string()));
}

}  // namespace

HelpView::HelpView(QWidget* parent) : QDialog(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(Q(kCaption));
  setModal(false);
  auto* top = new QVBoxLayout(this);

  auto* buttons = new QHBoxLayout;
  back_ = new QPushButton(QStringLiteral("后退"), this);
  back_->setObjectName(QStringLiteral("help_back_button"));
  forward_ = new QPushButton(QStringLiteral("前进"), this);
  forward_->setObjectName(QStringLiteral("help_forward_button"));
  contents_ = new QPushButton(QStringLiteral("目录"), this);
  contents_->setObjectName(QStringLiteral("help_contents_button"));
  close_ = new QPushButton(QStringLiteral("关闭"), this);
  close_->setObjectName(QStringLiteral("help_close_button"));
  for (QPushButton* b : {back_, forward_, contents_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch();
  close_->setAutoDefault(false);
  buttons->addWidget(close_);
  top->addLayout(buttons);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("help_browser"));
  // Links between the pages open here; links to the web go to the desktop's browser.
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(true);
  top->addWidget(browser_, 1);

  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(contents_, &QPushButton::clicked, this, [this] {
    if (contents_page_.isValid()) browser_->setSource(contents_page_);
  });
  connect(close_, &QPushButton::clicked, this, &QDialog::close);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
    const QString title = browser_->documentTitle();
    setWindowTitle(title.isEmpty() ? Q(kCaption) : title);
  });
  resize(kWidth, kHeight);
}

void HelpView::Open(const std::filesystem::path& page) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(page, ec)) return ShowMissing(page);
  contents_page_ = FileUrl(page);
  browser_->setSource(contents_page_);
}

void HelpView::ShowMissing(const std::filesystem::path& page) {
  contents_page_ = QUrl();
  browser_->clear();
  browser_->setPlainText(
      Q("找不到帮助页面 ") + QString::fromStdString(page.string()) + Q("。请重新安装本程序。"));
  setWindowTitle(Q(kCaption));
}

}  // namespace qx
