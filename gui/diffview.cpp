#include "diffview.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace varnholt {

namespace {

QString KindText(DifferenceKind kind) {
  switch (kind) {
    case DifferenceKind::Changed: return QStringLiteral("ge\u00e4ndert");
    case DifferenceKind::Added: return QStringLiteral("hinzugef\u00fcgt");
    case DifferenceKind::Removed: return QStringLiteral("entfernt");
    case DifferenceKind::Moved: return QStringLiteral("verschoben");
  }
  return QString();
}

}  // namespace

DiffView::DiffView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  summary_ = new QLabel(QStringLiteral("Noch kein Vergleich."), this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);
  table_ = new QTableWidget(0, kColumns, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("Art"), QStringLiteral("Pfad"), QStringLiteral("Attribut"),
                                     QStringLiteral("Alt"), QStringLiteral("Neu")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setWordWrap(false);
  layout->addWidget(table_);
  connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (row < 0 || static_cast<size_t>(row) >= differences_.size()) return;
    const Difference& d = differences_[static_cast<size_t>(row)];
    Q_EMIT instancesChosen(QString::fromStdString(d.nameA), QString::fromStdString(d.nameB));
  });
}

void DiffView::Show(std::vector<Difference> differences, const QString& nameA, const QString& nameB) {
  differences_ = std::move(differences);
  const int count = static_cast<int>(differences_.size());
  summary_->setText(count == 0 ? QStringLiteral("%1 und %2 sind gleich.").arg(nameA, nameB)
                               : QStringLiteral("%1 gegen %2: %3 Unterschied%4.")
                                     .arg(nameA, nameB)
                                     .arg(count)
                                     .arg(count == 1 ? QString() : QStringLiteral("e")));
  table_->clearContents();
  table_->setRowCount(count);
  for (int row = 0; row < count; ++row) {
    const Difference& d = differences_[static_cast<size_t>(row)];
    // A moved element's places, an added or removed instance's record: the columns say which.
    const QString cells[kColumns] = {KindText(d.kind), QString::fromStdString(d.path),
                                     QString::fromStdString(d.attribute),
                                     d.hasOld ? QString::fromStdString(d.oldText) : QString(),
                                     d.hasNew ? QString::fromStdString(d.newText) : QString()};
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      item->setToolTip(cells[column]);
      table_->setItem(row, column, item);
    }
  }
  table_->resizeColumnToContents(kKind);
}

}  // namespace varnholt
