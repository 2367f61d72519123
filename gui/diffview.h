// The "Unterschiede" pane: what differs between two documents, one row per difference (kind,
// path, attribute, old and new value); a click on a row selects its instance in both documents.
#ifndef VARNHOLT_GUI_DIFFVIEW_H
#define VARNHOLT_GUI_DIFFVIEW_H

#include <QWidget>
#include <vector>

#include "varnholt/diff.h"

class QLabel;
class QTableWidget;

namespace varnholt {

class DiffView : public QWidget {
  Q_OBJECT
 public:
  enum Column { kKind, kPath, kAttribute, kOld, kNew, kColumns };

  explicit DiffView(QWidget* parent = nullptr);

  /// Shows the differences of the comparison of `nameA` (the first file) with `nameB`.
  void Show(std::vector<Difference> differences, const QString& nameA, const QString& nameB);

  QTableWidget* Table() const { return table_; }
  /// A value as the table shows it: every real outside a string in its shortest text that reads
  /// back as the same double ("20.000000000" becomes "20."), the rest as it is.
  static QString ShortestReals(const QString& value);
  QLabel* Summary() const { return summary_; }
  const std::vector<Difference>& Differences() const { return differences_; }

 Q_SIGNALS:
  /// A row was clicked: its instance in the first and in the second document, by name without
  /// "#" (empty where the difference has none there).
  void instancesChosen(const QString& nameA, const QString& nameB);

 private:
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::vector<Difference> differences_;
};

}  // namespace varnholt

#endif
