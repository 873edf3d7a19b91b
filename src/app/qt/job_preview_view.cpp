#include "app/qt/job_preview_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cstring>

#include "app/qt/qt_ui.h"

namespace qx {
namespace {

QImage ToQImage(const IndexedImage& img) {
  QImage q(img.width, img.height, QImage::Format_Indexed8);
  QList<QRgb> colours;
  for (Rgb c : img.palette) colours.push_back(qRgb((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
  q.setColorTable(colours);
  for (int y = 0; y < img.height; ++y)
    std::memcpy(q.scanLine(y), img.Row(y), static_cast<std::size_t>(img.width));
  return q;
}

}  // namespace

// --- The rows --------------------------------------------------------------------------

JobPreviewArea::JobPreviewArea(JobPreviewWindow& model, QWidget* parent)
    : QAbstractScrollArea(parent), model_(model) {
  setObjectName(QStringLiteral("job_preview_area"));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  verticalScrollBar()->setSingleStep(24);
}

void JobPreviewArea::Rewrapped() {
  rows_.clear();
  UpdateScrollBars();
  viewport()->update();
}

void JobPreviewArea::UpdateScrollBars() {
  const int h = model_.content_height() + 2 * kMargin;
  verticalScrollBar()->setRange(0, std::max(0, h - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  const int w = model_.content_width() + 2 * kMargin;
  horizontalScrollBar()->setRange(0, std::max(0, w - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void JobPreviewArea::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  model_.SetViewWidth(viewport()->width() - 2 * kMargin);
  Rewrapped();
  ShowChosen();
}

const QImage& JobPreviewArea::Row(int row) {
  auto it = rows_.find(row);
  if (it == rows_.end()) {
    // Only rows near those in sight are kept: a long scroll does not hold the whole job.
    if (rows_.size() > 64) rows_.clear();
    it = rows_.emplace(row, ToQImage(model_.DrawRow(row))).first;
  }
  return it->second;
}

void JobPreviewArea::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const int dx = kMargin - horizontalScrollBar()->value();
  const int dy = kMargin - verticalScrollBar()->value();
  if (model_.preview().empty()) {
    p.drawText(viewport()->rect(), Qt::AlignCenter, QStringLiteral("无内容可打印"));
    return;
  }
  const auto [first, last] = model_.RowsWithin(-dy, viewport()->height());
  QFont small = font();
  p.setFont(small);
  const QFontMetrics fm(small);
  for (int r = first; r <= last && r < model_.row_count(); ++r) {
    const int top = dy + model_.RowTop(r);
    const std::vector<JobPreviewWindow::Cell> cells = model_.CellsOf(r);
    // The tape as long as the row's items: no blank tape right of a short row.
    const int tape_width = cells.empty() ? 0 : cells.back().x + cells.back().width;
    p.drawImage(dx, top, Row(r), 0, 0, tape_width, model_.tape_height());
    const int caption_top = top + model_.tape_height();
    for (const JobPreviewWindow::Cell& c : cells) {
      const JobEntry& e = model_.preview().entry(c.entry);
      const QRect cell(dx + c.x, top, c.width, model_.tape_height());
      if (!e.printed) {
        // Items the job skips: crossed out in red on blank tape.
        p.setPen(QPen(QColor(0xC0, 0x20, 0x20), 2));
        p.drawLine(cell.topLeft(), cell.bottomRight());
        p.drawLine(cell.bottomLeft(), cell.topRight());
      }
      p.setPen(e.printed ? palette().color(QPalette::Text) : QColor(0xC0, 0x20, 0x20));
      const QRect caption(cell.left(), caption_top, std::max(c.width, 1),
                          JobPreviewWindow::kCaptionPixels);
      p.drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter,
                 fm.elidedText(Q(model_.Caption(c.entry)), Qt::ElideRight, caption.width()));
      if (model_.chosen() == c.entry) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.adjusted(-2, -2, 1, JobPreviewWindow::kCaptionPixels + 1));
      }
    }
  }
}

void JobPreviewArea::mousePressEvent(QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  model_.OnClick(at.x() - kMargin + horizontalScrollBar()->value(),
                 at.y() - kMargin + verticalScrollBar()->value());
  viewport()->update();
  if (on_choice) on_choice();
}

void JobPreviewArea::wheelEvent(QWheelEvent* e) {
  if (e->modifiers() & Qt::ControlModifier) {
    if (on_zoom && e->angleDelta().y() != 0) on_zoom(e->angleDelta().y() > 0);
    return;
  }
  QAbstractScrollArea::wheelEvent(e);
}

void JobPreviewArea::ShowChosen() {
  if (!model_.chosen()) return;
  const int row = model_.RowOf(*model_.chosen());
  const int top = model_.RowTop(row), bottom = top + model_.row_pitch() + 2 * kMargin;
  QScrollBar* v = verticalScrollBar();
  if (top < v->value())
    v->setValue(top);
  else if (bottom > v->value() + viewport()->height())
    v->setValue(bottom - viewport()->height());
  viewport()->update();
}

// --- The window ------------------------------------------------------------------------

JobPreviewView::JobPreviewView(JobPreviewWindow& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      model_(model) {
  setWindowTitle(Q(JobPreviewWindow::kTitle));
  setObjectName(QStringLiteral("JobPreview"));
  auto* top = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  figures_ = new QLabel(this);
  figures_->setObjectName(QStringLiteral("figures_text"));
  bar->addWidget(figures_, 1);
  zoom_out_ = new QPushButton(QStringLiteral("缩小"), this);
  zoom_out_->setObjectName(QStringLiteral("zoom_out_button"));
  zoom_out_->setToolTip(QStringLiteral("缩小 (Ctrl+-)"));
  zoom_in_ = new QPushButton(QStringLiteral("放大"), this);
  zoom_in_->setObjectName(QStringLiteral("zoom_in_button"));
  zoom_in_->setToolTip(QStringLiteral("放大 (Ctrl++)"));
  for (QPushButton* b : {zoom_out_, zoom_in_}) {
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    bar->addWidget(b);
  }
  top->addLayout(bar);
  area_ = new JobPreviewArea(model_, this);
  top->addWidget(area_, 1);
  auto* bottom = new QHBoxLayout;
  chosen_ = new QLabel(this);
  chosen_->setObjectName(QStringLiteral("chosen_text"));
  bottom->addWidget(chosen_, 1);
  auto* close = new QPushButton(QStringLiteral("关闭"), this);
  close->setObjectName(QStringLiteral("close_button"));
  close->setAutoDefault(false);
  bottom->addWidget(close);
  top->addLayout(bottom);

  connect(zoom_in_, &QPushButton::clicked, this, [this] { Zoom(true); });
  connect(zoom_out_, &QPushButton::clicked, this, [this] { Zoom(false); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  area_->on_choice = [this] { Sync(); };
  area_->on_zoom = [this](bool in) { Zoom(in); };
  Sync();
}

void JobPreviewView::Sync() {
  figures_->setText(Q(model_.FiguresText()));
  chosen_->setText(Q(model_.ChosenText()));
  zoom_in_->setEnabled(model_.CanZoomIn());
  zoom_out_->setEnabled(model_.CanZoomOut());
}

void JobPreviewView::Zoom(bool in) {
  if (in)
    model_.ZoomIn();
  else
    model_.ZoomOut();
  area_->Rewrapped();
  area_->ShowChosen();
  Sync();
}

void JobPreviewView::keyPressEvent(QKeyEvent* e) {
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const int page_rows =
      std::max(1, area_->viewport()->height() / std::max(model_.row_pitch(), 1) - 1);
  switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      if (ctrl) return Zoom(true);
      break;
    case Qt::Key_Minus:
      if (ctrl) return Zoom(false);
      break;
    case Qt::Key_Left:
      model_.Move(-1);
      break;
    case Qt::Key_Right:
      model_.Move(+1);
      break;
    case Qt::Key_Up:
      model_.MoveRows(-1);
      break;
    case Qt::Key_Down:
      model_.MoveRows(+1);
      break;
    case Qt::Key_PageUp:
      model_.MoveRows(-page_rows);
      break;
    case Qt::Key_PageDown:
      model_.MoveRows(+page_rows);
      break;
    case Qt::Key_Home:
      model_.Move(JobPreviewWindow::kFirst);
      break;
    case Qt::Key_End:
      model_.Move(JobPreviewWindow::kLast);
      break;
    default:
      return QDialog::keyPressEvent(e);
  }
  area_->ShowChosen();
  Sync();
}

void JobPreviewView::Run() {
  // Most of the screen: a long job is read a screenful at a time.
  if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    resize(avail.width() * 9 / 10, avail.height() * 8 / 10);
    move(avail.center() - rect().center());
  }
  area_->setFocus();
  exec();
}

}  // namespace qx
