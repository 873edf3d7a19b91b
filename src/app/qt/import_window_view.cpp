#include "app/qt/import_window_view.h"

#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt/qt_ui.h"

namespace qx {
namespace {

QComboBox* Selector(QWidget* parent, const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

void Fill(QComboBox* box, const std::vector<std::string>& items, int current) {
  QStringList now;
  for (const std::string& s : items) now << Q(s);
  QStringList shown;
  for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
  if (shown != now) {
    box->clear();
    box->addItems(now);
  }
  box->setCurrentIndex(current);
}

}  // namespace

ImportWindowView::ImportWindowView(ImportWindow& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(Q(model_.Title()));
  setObjectName(QStringLiteral("ImportWindow"));
  auto* top = new QVBoxLayout(this);

  // The choices, each with a label that names it for the keyboard (Alt+letter).
  auto* choices = new QGridLayout;
  sheet_ = Selector(this, "sheet_selector");
  for (const std::string& name : model_.sheet_names()) sheet_->addItem(Q(name));
  header_ = new QCheckBox(Q(ImportWindow::kHeaderCaption) + QStringLiteral("(&H)"), this);
  header_->setObjectName(QStringLiteral("header_box"));
  upper_ = Selector(this, "upper_column_selector");
  lower_ = Selector(this, "lower_column_selector");
  auto label = [this](std::string_view caption, const char* key, QWidget* buddy) {
    auto* l = new QLabel(Q(caption) + QString::fromLatin1(key), this);
    l->setBuddy(buddy);
    return l;
  };
  choices->addWidget(label(ImportWindow::kSheetCaption, "(&S)", sheet_), 0, 0);
  choices->addWidget(sheet_, 0, 1);
  choices->addWidget(header_, 0, 2, 1, 2);
  choices->addWidget(label(ImportWindow::kUpperCaption, "(&U)", upper_), 1, 0);
  choices->addWidget(upper_, 1, 1);
  choices->addWidget(label(ImportWindow::kLowerCaption, "(&L)", lower_), 1, 2);
  choices->addWidget(lower_, 1, 3);
  choices->setColumnStretch(4, 1);
  top->addLayout(choices);

  auto* modes = new QHBoxLayout;
  auto* empty_group = new QGroupBox(this);
  auto* empty_layout = new QVBoxLayout(empty_group);
  stop_at_empty_ = new QRadioButton(Q(ImportWindow::kStopAtEmptyCaption) + QStringLiteral("(&E)"), empty_group);
  stop_at_empty_->setObjectName(QStringLiteral("stop_at_empty_button"));
  skip_empty_ = new QRadioButton(Q(ImportWindow::kSkipEmptyCaption) + QStringLiteral("(&K)"), empty_group);
  skip_empty_->setObjectName(QStringLiteral("skip_empty_button"));
  empty_layout->addWidget(stop_at_empty_);
  empty_layout->addWidget(skip_empty_);
  auto* target_group = new QGroupBox(this);
  auto* target_layout = new QVBoxLayout(target_group);
  replace_ = new QRadioButton(Q(ImportWindow::kReplaceCaption) + QStringLiteral("(&R)"), target_group);
  replace_->setObjectName(QStringLiteral("replace_button"));
  append_ = new QRadioButton(Q(ImportWindow::kAppendCaption) + QStringLiteral("(&A)"), target_group);
  append_->setObjectName(QStringLiteral("append_button"));
  target_layout->addWidget(replace_);
  target_layout->addWidget(append_);
  modes->addWidget(empty_group);
  modes->addWidget(target_group);
  modes->addStretch();
  top->addLayout(modes);

  grid_ = new QTableWidget(this);
  grid_->setObjectName(QStringLiteral("preview_grid"));
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
  grid_->horizontalHeader()->setStretchLastSection(true);
  top->addWidget(grid_, 1);

  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(summary_, 1);
  import_ = new QPushButton(Q(ImportWindow::kImportButton), this);
  import_->setObjectName(QStringLiteral("import_button"));
  import_->setDefault(true);
  auto* cancel = new QPushButton(Q(ImportWindow::kCancelButton), this);
  cancel->setObjectName(QStringLiteral("cancel_button"));
  buttons->addWidget(import_);
  buttons->addWidget(cancel);
  top->addLayout(buttons);

  connect(sheet_, &QComboBox::activated, this, [this](int i) {
    if (!syncing_) model_.ChooseSheet(static_cast<std::size_t>(i));
  });
  connect(header_, &QCheckBox::toggled, this, [this](bool on) {
    if (!syncing_) model_.SetHeader(on);
  });
  connect(upper_, &QComboBox::activated, this, [this](int i) {
    if (!syncing_) model_.SetUpperColumn(i);
  });
  connect(lower_, &QComboBox::activated, this, [this](int i) {
    if (!syncing_) model_.SetLowerColumn(i == 0 ? kNoColumn : i - 1);
  });
  connect(skip_empty_, &QRadioButton::toggled, this, [this](bool on) {
    if (!syncing_) model_.SetSkipEmptyRows(on);
  });
  connect(append_, &QRadioButton::toggled, this, [this](bool on) {
    if (!syncing_) model_.SetAppend(on);
  });
  connect(import_, &QPushButton::clicked, this, [this] { done(ImportWindow::kResultImport); });
  connect(cancel, &QPushButton::clicked, this, [this] { done(ImportWindow::kResultCancel); });
  model_.on_change = [this] { Sync(); };
}

void ImportWindowView::Sync() {
  syncing_ = true;
  const ImportOptions& o = model_.options();
  sheet_->setCurrentIndex(static_cast<int>(o.sheet));
  header_->setChecked(o.header);
  Fill(upper_, model_.ColumnItems(), o.upper_column);
  Fill(lower_, model_.LowerColumnItems(), model_.LowerColumnPosition());
  (o.skip_empty_rows ? skip_empty_ : stop_at_empty_)->setChecked(true);
  (o.append ? append_ : replace_)->setChecked(true);
  append_->setEnabled(model_.CanAppend());

  // The grid: the sheet's row number, its cells, and what the row becomes.
  const ImportPreview& p = model_.preview();
  const int columns = model_.column_count();
  grid_->setColumnCount(columns + 2);
  QStringList headers{Q(ImportWindow::kRowCaption)};
  for (const std::string& c : model_.ColumnItems()) headers << Q(c);
  headers << Q(ImportWindow::kBecomesCaption);
  grid_->setHorizontalHeaderLabels(headers);
  grid_->setRowCount(static_cast<int>(p.rows.size()));
  const QBrush changed(QColor(255, 236, 179)), left_out(QColor(224, 224, 224));
  for (int r = 0; r < static_cast<int>(p.rows.size()); ++r) {
    const PreviewRow& row = p.rows[static_cast<std::size_t>(r)];
    const ImportWindow::RowMark mark = model_.MarkOf(row);
    auto put = [&](int column, const QString& text) {
      auto* item = new QTableWidgetItem(text);
      if (mark == ImportWindow::RowMark::kChanged) item->setBackground(changed);
      if (mark == ImportWindow::RowMark::kNotImported) {
        item->setBackground(left_out);
        item->setForeground(QBrush(QColor(96, 96, 96)));
      }
      grid_->setItem(r, column, item);
    };
    put(0, QString::number(row.row));
    // A cell of several lines shows on one, its breaks marked.
    for (int c = 0; c < columns; ++c)
      put(c + 1, c < static_cast<int>(row.cells.size())
                     ? Q(row.cells[static_cast<std::size_t>(c)]).replace(QLatin1Char('\n'), QStringLiteral(" ↵ "))
                     : QString());
    put(columns + 1, Q(model_.BecomesText(row)));
  }
  grid_->resizeColumnsToContents();
  summary_->setText(model_.error_text().empty() ? Q(model_.SummaryText()) : Q(model_.error_text()));
  import_->setEnabled(model_.CanImport());
  syncing_ = false;
}

int ImportWindowView::Run() {
  Sync();
  CentreOnParent(*this);
  // Most of the main window, so that many rows and columns show at once.
  if (const QWidget* owner = parentWidget()) {
    const QRect p = owner->frameGeometry();
    QSize size(std::max(p.width() * 85 / 100, 760), std::max(p.height() * 85 / 100, 480));
    // Never past the screen's free area (a small screen, or twice the scale).
    if (const QScreen* screen = owner->screen())
      size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    resize(size);
    move(p.center() - rect().center());
  }
  const int result = exec();
  model_.on_change = nullptr;
  return result == ImportWindow::kResultImport ? ImportWindow::kResultImport
                                              : ImportWindow::kResultCancel;
}

}  // namespace qx
