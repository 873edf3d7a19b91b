// The main window's panels: the current Segment's and the document's groups, the grid of
// the Segments and the print preview.
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/qt/main_window.h"
#include "app/qt/qt_ui.h"
#include "app/qt/segment_list_view.h"
#include "app/qt/widget_helpers.h"
#include "document/gbk.h"
#include "editing/control_values.h"
#include "layout/tape.h"

namespace qx {

QComboBox* MainWindow::Selector(Control c) {
  auto* box = new QComboBox;
  box->setObjectName(Name(c));
  for (std::string_view item : SelectorItems(c)) box->addItem(Q(item));
  widgets_[static_cast<std::size_t>(c)] = box;
  box->installEventFilter(this);
  return box;
}

QLineEdit* MainWindow::NumberEdit(Control c) {
  auto* e = new QLineEdit;
  e->setObjectName(Name(c));
  e->setMaxLength(3);
  e->setToolTip(Q(Info(c).hint));
  e->setFixedWidth(60);
  widgets_[static_cast<std::size_t>(c)] = e;
  e->installEventFilter(this);
  connect(e, &QLineEdit::textEdited, this, [this, c](const QString& text) {
    if (!syncing_) model_.context().SetNumberEditText(c, text.toStdString());
  });
  // The operator's own caret or selection ends a selection the model asked for.
  connect(e, &QLineEdit::selectionChanged, this, [this, c, e] {
    if (!syncing_ && e->selectedText() != e->text())
      model_.context().SetNumberEditAllSelected(c, false);
  });
  return e;
}

// The current Segment's group and the document's group, one above the other.
QLayout* MainWindow::BuildGroups() {
  auto* groups = new QVBoxLayout;
  auto* g1 = new QGroupBox(Q(Info(Control::SegmentGroup).caption));
  widgets_[static_cast<std::size_t>(Control::SegmentGroup)] = g1;
  auto* f1 = new QFormLayout(g1);
  f1->addRow(Q(Info(Control::LengthEdit).caption), NumberEdit(Control::LengthEdit));
  f1->addRow(Q(Info(Control::RepeatEdit).caption), NumberEdit(Control::RepeatEdit));
  for (Control c :
       {Control::SizeSelector, Control::OrientationSelector, Control::DecorationSelector}) {
    QComboBox* box = Selector(c);
    f1->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { model_.PickSelector(c, i); });
  }
  groups->addWidget(g1);
  auto* g3 = new QGroupBox(Q(Info(Control::DocumentGroup).caption));
  widgets_[static_cast<std::size_t>(Control::DocumentGroup)] = g3;
  auto* f3 = new QFormLayout(g3);
  for (Control c : {Control::MaterialSelector, Control::CutSelector, Control::AlignmentSelector,
                    Control::SpacingSelector, Control::DensitySelector}) {
    QComboBox* box = Selector(c);
    f3->addRow(Q(Info(c).caption), box);
    connect(box, &QComboBox::activated, this, [this, c](int i) { model_.PickSelector(c, i); });
  }
  groups->addWidget(g3);
  groups->addStretch();
  return groups;
}

// The grid of the Segments and, below it, the print preview of the current one.
QLayout* MainWindow::BuildListAndPreview() {
  auto* right = new QVBoxLayout;
  grid_model_ = new SegmentListModel(model_.table(), this);
  grid_ = new SegmentListView;
  grid_->setModel(grid_model_);
  grid_->setObjectName(Name(Control::SegmentGrid));
  grid_->setToolTip(Q(Info(Control::SegmentGrid).hint));
  grid_->verticalHeader()->hide();
  // Rows as high as their text, so that the list shows as many Segments as it can.
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(QFontMetrics(WindowFont()).height() + 6);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->installEventFilter(this);
  widgets_[static_cast<std::size_t>(Control::SegmentGrid)] = grid_;
  connect(grid_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (!syncing_) model_.segment_list().OnGridRowClicked(index.row() + 1);
  });
  // The keys that move the grid's highlight (arrows, Page Up/Down, Home/End) choose the
  // Segment as a click does, so the highlight and the current Segment never differ. Only
  // the operator's moves come here: the row Refresh shows is the model's already.
  grid_->SetRowChosenHandler([this](int row) {
    if (syncing_ || row + 1 == model_.table().Position()) return;
    model_.Run([&] { model_.segment_list().OnGridRowClicked(row + 1); });
  });
  right->addWidget(grid_, 3);

  auto* preview_box = new QGroupBox(QStringLiteral("打印预览"));
  auto* pv = new QVBoxLayout(preview_box);
  auto* scroll = new QScrollArea;
  preview_ = new QLabel;
  preview_->setObjectName(QStringLiteral("Preview"));
  scroll->setWidget(preview_);
  scroll->setWidgetResizable(false);
  scroll->setFixedHeight(96 * model_.layout().preview_scale + 24);
  pv->addWidget(scroll);
  preview_note_ = new QLabel;
  preview_note_->setObjectName(QStringLiteral("PreviewNote"));
  pv->addWidget(preview_note_);
  right->addWidget(preview_box, 0);
  return right;
}

// The rows that changed and the current Segment; the rest of the list stays as it is.
void MainWindow::RefreshGrid() {
  grid_model_->Sync();
  const SegmentTable& t = model_.table();
  if (t.IsOpen() && !t.IsEmpty()) grid_->ShowCurrent(t.Position() - 1);
}

void MainWindow::RefreshPreview() {
  const SegmentPreview p = model_.preview().Make();
  if (p.item) {
    const RgbImage img = RenderItem(*p.item, model_.layout().preview_scale);
    QImage q(img.rgb.data(), img.width, img.height, img.width * 3, QImage::Format_RGB888);
    preview_->setPixmap(QPixmap::fromImage(q.copy()));
    preview_->resize(img.width, img.height);
  } else {
    preview_->clear();
    preview_->resize(10, 10);
  }
  // Under the preview: its length on the tape or why it does not print, and what the last
  // refusal needs changed.
  QString note = (p.item ? QStringLiteral("打印长度约 %1 mm").arg(p.length_mm, 0, 'f', 1)
                         : Q(p.note))
                     .toHtmlEscaped();
  if (!p.refusal.empty())
    note += QStringLiteral("%1<span style=\"color:#b00000\">%2</span>")
                .arg(note.isEmpty() ? QString() : QStringLiteral("<br>"),
                     Q(p.refusal).toHtmlEscaped());
  preview_note_->setTextFormat(Qt::RichText);
  preview_note_->setText(note);
}

}  // namespace qx
