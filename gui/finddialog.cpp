#include "finddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "cct/instance.h"
#include "qttreecontrol.h"
#include "varnholt/treeview.h"

namespace varnholt {

void FindResultsModel::SetResults(std::vector<cct_Instance*> results) {
  beginResetModel();
  results_ = std::move(results);
  endResetModel();
}

cct_Instance* FindResultsModel::At(int row) const {
  return row >= 0 && static_cast<size_t>(row) < results_.size() ? results_[static_cast<size_t>(row)]
                                                                  : nullptr;
}

int FindResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

int FindResultsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant FindResultsModel::data(const QModelIndex& index, int role) const {
  const cct_Instance* instance = At(index.row());
  if (!instance || (role != Qt::DisplayRole && role != Qt::UserRole)) return QVariant();
  const char* name = instance->InstanceName();
  switch (index.column()) {
    case 0:
      // Sorted by number, shown with its "#".
      if (role == Qt::UserRole) return QVariant::fromValue<qlonglong>(NameNumber(name));
      return QStringLiteral("#") + ToQt(name ? name : "");
    case 1: return ToQt(instance->TypeName() ? instance->TypeName() : "");
    default: return ToQt(CStpTreeView::IdentifyingText(*instance));
  }
}

QVariant FindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  switch (section) {
    case 0: return QStringLiteral("Instanz");
    case 1: return QStringLiteral("Entit\u00e4tstyp");
    default: return QStringLiteral("Kennung");
  }
}

bool FindResultsModel::RowContains(int row, const std::string& lowerText) const {
  const cct_Instance* instance = At(row);
  if (!instance) return false;
  auto contains = [&lowerText](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(lowerText) != std::string::npos;
  };
  const char* name = instance->InstanceName();
  const char* type = instance->TypeName();
  return contains(std::string("#") + (name ? name : "")) || contains(type ? type : "") ||
         contains(CStpTreeView::IdentifyingText(*instance));
}

void FindFilterModel::SetText(const QString& text) {
  std::string lower = FromQt(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == lowerText_) return;
  lowerText_ = lower;
  invalidateFilter();
}

bool FindFilterModel::filterAcceptsRow(int row, const QModelIndex& parent) const {
  if (lowerText_.empty() || parent.isValid()) return true;
  const auto* results = static_cast<const FindResultsModel*>(sourceModel());
  return results->RowContains(row, lowerText_);
}

FindDialog::FindDialog(QWidget* parent)
    : QDialog(parent),
      by_(new QComboBox(this)),
      text_(new QLineEdit(this)),
      unreached_(new QCheckBox(QStringLiteral("Nur Instanzen, die kein Weg vom Projekt erreicht"), this)),
      filter_(new QLineEdit(this)),
      count_(new QLabel(this)),
      results_(new QTreeView(this)),
      model_(new FindResultsModel(this)),
      proxy_(new FindFilterModel(this)) {
  setWindowTitle(QStringLiteral("Suchen"));
  by_->addItem(QStringLiteral("Nummer (#N)"));
  by_->addItem(QStringLiteral("Entit\u00e4tstyp"));
  by_->addItem(QStringLiteral("Text in Zeichenkettenwerten"));
  text_->setPlaceholderText(QStringLiteral("#12, machining_workingstep oder ein Text"));
  filter_->setPlaceholderText(QStringLiteral("Ergebnisse eingrenzen"));
  filter_->setClearButtonEnabled(true);

  proxy_->setSourceModel(model_);
  proxy_->setSortRole(Qt::UserRole);
  results_->setModel(proxy_);
  results_->setRootIsDecorated(false);
  results_->setUniformRowHeights(true);
  results_->setSortingEnabled(true);
  results_->sortByColumn(-1, Qt::AscendingOrder);  // as found: by number
  results_->setSelectionMode(QAbstractItemView::SingleSelection);
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_->header()->resizeSection(1, 190);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Suchen nach:"), by_);
  form->addRow(QStringLiteral("Suchbegriff:"), text_);
  form->addRow(QString(), unreached_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* search = buttons->addButton(QStringLiteral("&Suchen"), QDialogButtonBox::AcceptRole);
  // Enter in the fields searches through the default button.
  search->setDefault(true);
  QPushButton* close = buttons->addButton(QStringLiteral("Schlie\u00dfen"), QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->addWidget(count_);
  layout->addWidget(filter_);
  layout->addWidget(results_, 1);
  resize(520, 460);

  connect(search, &QPushButton::clicked, this, &FindDialog::searchRequested);
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
  // Narrowing a million rows takes a moment: once typing pauses, not per letter.
  filterTimer_.setSingleShot(true);
  filterTimer_.setInterval(250);
  connect(filter_, &QLineEdit::textChanged, &filterTimer_, qOverload<>(&QTimer::start));
  connect(&filterTimer_, &QTimer::timeout, this, [this] { proxy_->SetText(filter_->text()); });
  connect(results_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            ShowCount();
            if (cct_Instance* instance = model_->At(proxy_->mapToSource(current).row()))
              Q_EMIT instanceChosen(instance);
          });
  connect(proxy_, &QAbstractItemModel::modelReset, this, [this] { ShowCount(); });
  connect(proxy_, &QAbstractItemModel::layoutChanged, this, [this] { ShowCount(); });
  connect(proxy_, &QAbstractItemModel::rowsRemoved, this, [this] { ShowCount(); });
  connect(proxy_, &QAbstractItemModel::rowsInserted, this, [this] { ShowCount(); });
  // F3 and Shift+F3 work here as in the document window.
  auto* next = new QShortcut(QKeySequence(Qt::Key_F3), this);
  connect(next, &QShortcut::activated, this, [this] { Next(); });
  auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
  connect(previous, &QShortcut::activated, this, [this] { Previous(); });
  // Enter or a double-click on the current row chooses it again (after moving in the tree).
  connect(results_, &QTreeView::activated, this, [this](const QModelIndex& index) {
    if (cct_Instance* instance = model_->At(proxy_->mapToSource(index).row()))
      Q_EMIT instanceChosen(instance);
  });
  Clear();
}

FindQuery FindDialog::Query() const {
  FindQuery query;
  const std::string text = FromQt(text_->text().trimmed());
  switch (by_->currentIndex()) {
    case kByNumber: query.name = text; break;
    case kByType: query.type = text; break;
    default: query.text = text; break;
  }
  query.unreached = unreached_->isChecked();
  return query;
}

void FindDialog::SetQuery(By by, const QString& text, bool unreached) {
  by_->setCurrentIndex(by);
  text_->setText(text);
  unreached_->setChecked(unreached);
}

void FindDialog::SetResults(std::vector<cct_Instance*> results, bool complete) {
  complete_ = complete;
  model_->SetResults(std::move(results));
  ShowCount();
}

void FindDialog::Clear() {
  model_->SetResults({});
  complete_ = true;
  count_->setText(QString());
}

QString FindDialog::CountText() const { return count_->text(); }

void FindDialog::ShowCount() {
  const int shown = proxy_->rowCount();
  const QModelIndex current = results_->currentIndex();
  QString text = shown == 0 ? QStringLiteral("Nichts gefunden")
                            : QStringLiteral("%1 von %2").arg(current.isValid() ? current.row() + 1 : 0).arg(shown);
  const QString typed = text_->text().trimmed();
  if (by_->currentIndex() == kByNumber && !typed.isEmpty() && !IsInstanceNumber(FromQt(typed)))
    text = QStringLiteral("\u201e%1\u201c ist keine Nummer: gesucht wird #N oder N").arg(typed);
  if (!complete_) text += QStringLiteral(" (Suche abgebrochen)");
  count_->setText(text);
}

void FindDialog::ApplyFilter() {
  filterTimer_.stop();
  proxy_->SetText(filter_->text());
}

int FindDialog::ResultCount() const { return model_->rowCount(); }

bool FindDialog::Next() { return Step(1); }

bool FindDialog::Previous() { return Step(-1); }

bool FindDialog::Step(int step) {
  ApplyFilter();
  const int rows = proxy_->rowCount();
  if (rows == 0) return false;
  const QModelIndex current = results_->currentIndex();
  const int next = current.isValid() ? ((current.row() + step) % rows + rows) % rows
                                     : (step > 0 ? 0 : rows - 1);
  const QModelIndex index = proxy_->index(next, 0);
  if (index == current) {
    // The only result: choosing it again is still a choice.
    if (cct_Instance* instance = model_->At(proxy_->mapToSource(index).row()))
      Q_EMIT instanceChosen(instance);
    return true;
  }
  results_->setCurrentIndex(index);
  results_->scrollTo(index);
  return true;
}

QStringList FindDialog::ShownResults() const {
  const_cast<FindDialog*>(this)->ApplyFilter();
  QStringList shown;
  for (int row = 0; row < proxy_->rowCount(); ++row)
    shown << proxy_->index(row, 0).data().toString();
  return shown;
}

}  // namespace varnholt
