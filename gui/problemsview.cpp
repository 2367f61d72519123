#include "problemsview.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace varnholt {

namespace {

const char* const kAllSeverities = "Alle Schweregrade";
const char* const kAllRules = "Alle Regeln";
constexpr int kSimulationRole = Qt::UserRole + 1;

// Rows are filtered by the severity and the rule chosen above the table.
class ProblemFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void Choose(const QString& severity, const QString& rule) {
    severity_ = severity;
    rule_ = rule;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const QAbstractItemModel* model = sourceModel();
    if (!severity_.isEmpty() &&
        model->index(row, ProblemsView::kSeverity, parent).data().toString() != severity_)
      return false;
    return rule_.isEmpty() || model->index(row, ProblemsView::kRule, parent).data().toString() == rule_;
  }

 private:
  QString severity_, rule_;
};

QStandardItem* Cell(const QString& text) {
  auto* item = new QStandardItem(text);
  item->setEditable(false);
  return item;
}

// Numbers sort as numbers; an empty cell (no line, no instance) after every number.
QStandardItem* NumberCell(long value) {
  auto* item = Cell(value > 0 ? QString::number(value) : QString());
  item->setData(value > 0 ? static_cast<qlonglong>(value) : std::numeric_limits<qlonglong>::max(),
                Qt::UserRole);
  return item;
}

QString SeverityText(rules::Severity severity) {
  return severity == rules::Severity::Error ? QStringLiteral("Fehler") : QStringLiteral("Warnung");
}

}  // namespace

ProblemsView::ProblemsView(QWidget* parent)
    : QWidget(parent),
      summary_(new QLabel(this)),
      uncheckedToggle_(new QToolButton(this)),
      uncheckedList_(new QLabel(this)),
      severity_(new QComboBox(this)),
      rule_(new QComboBox(this)),
      table_(new QTableView(this)),
      model_(new QStandardItemModel(0, kColumns, this)),
      proxy_(new ProblemFilter(this)) {
  model_->setHorizontalHeaderLabels({QStringLiteral("Schwere"), QStringLiteral("Regel"),
                                     QStringLiteral("Instanz"), QStringLiteral("Attribut"),
                                     QStringLiteral("Zeile"), QStringLiteral("Text")});
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(Qt::UserRole);
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(kLine, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setWordWrap(false);
  severity_->addItems({kAllSeverities, QStringLiteral("Fehler"), QStringLiteral("Warnung")});
  rule_->addItem(kAllRules);
  rule_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  summary_->setWordWrap(true);
  // The rules not evaluated may be many; listed in the open they took the table's room.
  uncheckedToggle_->setCheckable(true);
  uncheckedToggle_->setAutoRaise(true);
  uncheckedToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  uncheckedToggle_->setArrowType(Qt::RightArrow);
  uncheckedToggle_->setFocusPolicy(Qt::StrongFocus);
  uncheckedList_->setWordWrap(true);
  uncheckedList_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  uncheckedList_->setContentsMargins(20, 0, 0, 0);
  uncheckedList_->hide();
  connect(uncheckedToggle_, &QToolButton::toggled, this, [this](bool open) {
    uncheckedToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    uncheckedList_->setVisible(open);
  });
  table_->setTabKeyNavigation(false);

  auto* filters = new QHBoxLayout;
  filters->addWidget(severity_);
  filters->addWidget(rule_);
  filters->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(summary_);
  layout->addWidget(uncheckedToggle_, 0, Qt::AlignLeft);
  layout->addWidget(uncheckedList_);
  layout->addLayout(filters);
  layout->addWidget(table_, 1);

  connect(severity_, &QComboBox::currentIndexChanged, this, [this] { Filter(); });
  connect(rule_, &QComboBox::currentIndexChanged, this, [this] { Filter(); });
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    const QVariant simulation = proxy_->index(index.row(), kRule).data(kSimulationRole);
    if (simulation.isValid() && simulation.toInt() >= 0) return;  // the click took it already
    const QString name = proxy_->index(index.row(), kInstance).data().toString();
    if (!name.isEmpty()) Q_EMIT instanceChosen(name);
  });
  connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
    const QVariant simulation = proxy_->index(index.row(), kRule).data(kSimulationRole);
    if (simulation.isValid() && simulation.toInt() >= 0) Q_EMIT simulationChosen(simulation.toInt());
  });
  ShowUnchecked();
}

void ProblemsView::Show(const std::vector<rules::Finding>& findings, const QString& summary,
                        const QStringList& unchecked) {
  ruleFindings_ = findings;
  ruleSummary_ = summary;
  unchecked_ = unchecked;
  Rebuild();
}

void ProblemsView::ShowSimulation(const std::vector<rules::Finding>& findings, const QString& summary) {
  simFindings_ = findings;
  simSummary_ = summary;
  Rebuild();
}

// A simulation row carries the index of its finding, so that a click can find its place.
void ProblemsView::AddRow(const rules::Finding& f, int simulation) {
  const QString id = QString::fromStdString(f.rule);
  QList<QStandardItem*> row{Cell(SeverityText(f.severity)), Cell(id), NumberCell(f.instance),
                            Cell(QString::fromStdString(f.attribute)), NumberCell(f.line),
                            Cell(QString::fromStdString(f.text))};
  // Text columns sort by their text.
  for (int c : {kSeverity, kRule, kAttribute, kText}) row[c]->setData(row[c]->text(), Qt::UserRole);
  row[kText]->setToolTip(row[kText]->text());
  row[kRule]->setData(simulation, kSimulationRole);
  model_->appendRow(row);
}

void ProblemsView::Rebuild() {
  table_->setSortingEnabled(false);
  model_->removeRows(0, model_->rowCount());
  for (const rules::Finding& f : ruleFindings_) AddRow(f, -1);
  for (size_t k = 0; k < simFindings_.size(); ++k) AddRow(simFindings_[k], static_cast<int>(k));
  QSet<QString> seen;
  QStringList ids;
  for (const auto* list : {&ruleFindings_, &simFindings_})
    for (const rules::Finding& f : *list) {
      const QString id = QString::fromStdString(f.rule);
      if (!seen.contains(id)) {
        seen.insert(id);
        ids << id;
      }
    }
  std::sort(ids.begin(), ids.end());
  const QString chosen = rule_->currentIndex() > 0 ? rule_->currentText() : QString();
  {
    const QSignalBlocker block(rule_);
    rule_->clear();
    rule_->addItem(kAllRules);
    rule_->addItems(ids);
    // A rule chosen before stays chosen while it still has findings.
    const int again = rule_->findText(chosen);
    rule_->setCurrentIndex(again > 0 ? again : 0);
  }
  summary_->setText(simSummary_.isEmpty() ? ruleSummary_ : ruleSummary_ + QLatin1Char('\n') + simSummary_);
  const int count = static_cast<int>(unchecked_.size());
  uncheckedToggle_->setText(count == 1 ? QStringLiteral("1 Regel nicht gepr\u00fcft")
                                       : QStringLiteral("%1 Regeln nicht gepr\u00fcft").arg(count));
  uncheckedToggle_->setToolTip(QStringLiteral("Zeigt oder verbirgt, welche Regeln nicht gepr\u00fcft wurden"));
  uncheckedList_->setText(unchecked_.join(QStringLiteral(", ")));
  uncheckedToggle_->setChecked(false);
  uncheckedToggle_->setVisible(count > 0);
  table_->setSortingEnabled(true);
  Filter();
  table_->resizeColumnsToContents();
}

void ProblemsView::ShowUnchecked() {
  Show({}, QStringLiteral("Noch nicht gepr\u00fcft: \"Pr\u00fcfen > Regeln pr\u00fcfen\" (F7) pr\u00fcft "
                          "das Programm gegen die Regeln von ISO 14649."));
}

void ProblemsView::Filter() {
  static_cast<ProblemFilter*>(proxy_)->Choose(severity_->currentIndex() > 0 ? severity_->currentText() : QString(),
                                              rule_->currentIndex() > 0 ? rule_->currentText() : QString());
}

QStringList ProblemsView::ShownRows() const {
  QStringList rows;
  for (int r = 0; r < proxy_->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < kColumns; ++c) cells << proxy_->index(r, c).data().toString();
    rows << cells.join('\t');
  }
  return rows;
}

}  // namespace varnholt
