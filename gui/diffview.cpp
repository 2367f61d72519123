#include "diffview.h"

#include <QHeaderView>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
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

/// The real that starts at `at` (digits, a point, maybe an exponent), or an empty text.
QString RealAt(const QString& text, int at) {
  static const QRegularExpression real(
      QStringLiteral("[-+]?[0-9]+\\.[0-9]*(?:[eE][-+]?[0-9]+)?"));
  const QRegularExpressionMatch match =
      real.match(text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
  return match.hasMatch() ? match.captured() : QString();
}

}  // namespace

QString DiffView::ShortestReals(const QString& value) {
  QString out;
  out.reserve(value.size());
  bool inString = false;
  for (int i = 0; i < value.size();) {
    const QChar c = value[i];
    if (c == QLatin1Char('\'')) inString = !inString;  // '' inside a string toggles twice
    // A real starts a token: not inside a name such as #12 or a word.
    const bool starts = !inString && (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('+')) &&
                        (i == 0 || !(value[i - 1].isLetterOrNumber() || value[i - 1] == QLatin1Char('#') ||
                                     value[i - 1] == QLatin1Char('.')));
    const QString real = starts ? RealAt(value, i) : QString();
    if (real.isEmpty()) {
      out += c;
      ++i;
      continue;
    }
    bool ok = false;
    const double number = real.toDouble(&ok);
    QString shortest = ok ? QString::number(number, 'g', QLocale::FloatingPointShortest) : real;
    // Still a real in the file's syntax: a point in every real.
    if (ok && !shortest.contains(QLatin1Char('.')) && !shortest.contains(QLatin1Char('e')) &&
        !shortest.contains(QLatin1Char('n')) && !shortest.contains(QLatin1Char('i')))
      shortest += QLatin1Char('.');
    out += ok ? shortest.toUpper() : real;
    i += static_cast<int>(real.size());
  }
  return out;
}

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
  // A path is long at both ends: its start names the project, its end the instance.
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->setTabKeyNavigation(false);
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
      const bool value = column == kOld || column == kNew;
      auto* item = new QTableWidgetItem(value ? ShortestReals(cells[column]) : cells[column]);
      // The whole of it, exactly as in the file, where the cell shortens it.
      item->setToolTip(cells[column]);
      table_->setItem(row, column, item);
    }
  }
  table_->resizeColumnToContents(kKind);
  table_->resizeColumnToContents(kAttribute);
  // The path gets what the kind and the attribute leave of half the table; the values share
  // the rest.
  const int room = std::max(200, table_->viewport()->width());
  const int fixed = table_->columnWidth(kKind) + table_->columnWidth(kAttribute);
  table_->setColumnWidth(kPath, std::max(120, room / 2 - fixed));
  table_->setColumnWidth(kOld, std::max(80, (room - room / 2) / 2));
}

}  // namespace varnholt
