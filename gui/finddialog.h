// The search window of a document: by number, by entity type or by text in string values, with
// the results in a list that can be narrowed further. Choosing a result asks the document window
// to select it; the window does the search itself, so that it can show progress.
#ifndef VARNHOLT_GUI_FINDDIALOG_H
#define VARNHOLT_GUI_FINDDIALOG_H

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <string>
#include <vector>

#include "cct/instance.h"  // the chosen instance travels in a signal
#include "varnholt/navigation.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;

namespace varnholt {

/// The results of a search: instance, entity type and identifying text, made when shown (a
/// search by type can give a million rows).
class FindResultsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;
  void SetResults(std::vector<cct_Instance*> results);
  cct_Instance* At(int row) const;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  /// True when the row's number ("#12"), type or identification contains the text (lower
  /// case), compared without making the row's display texts.
  bool RowContains(int row, const std::string& lowerText) const;

 private:
  std::vector<cct_Instance*> results_;
};

/// Narrows the results to the rows that contain a text, asking the results model directly: a
/// million rows are passed in about the time it takes to type the next letter.
class FindFilterModel : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void SetText(const QString& text);

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

 private:
  std::string lowerText_;
};

class FindDialog : public QDialog {
  Q_OBJECT
 public:
  enum By { kByNumber, kByType, kByText };

  explicit FindDialog(QWidget* parent = nullptr);

  /// The query of the fields.
  FindQuery Query() const;
  void SetQuery(By by, const QString& text, bool unreached = false);
  void SetResults(std::vector<cct_Instance*> results, bool complete);
  /// Forgets the results (the population changed).
  void Clear();
  /// Moves to the next result shown (after the last: the first) and chooses it; false when
  /// there is none.
  bool Next();
  /// The same backwards (before the first: the last).
  bool Previous();
  /// "n von m": the place of the current result among those shown.
  QString CountText() const;
  int ResultCount() const;
  /// Narrows the results to the filter's text now instead of when typing pauses.
  void ApplyFilter();
  /// The result rows as shown (after the filter), "#N" each.
  QStringList ShownResults() const;

  QLineEdit* TextField() const { return text_; }
  QLineEdit* FilterField() const { return filter_; }
  QTreeView* Results() const { return results_; }

 Q_SIGNALS:
  void searchRequested();
  void instanceChosen(cct_Instance* instance);

 private:
  QComboBox* by_;
  QLineEdit* text_;
  QCheckBox* unreached_;
  QLineEdit* filter_;
  QLabel* count_;
  QTreeView* results_;
  FindResultsModel* model_;
  FindFilterModel* proxy_;
  QTimer filterTimer_;
  bool complete_ = true;
  bool Step(int step);
  void ShowCount();
};

}  // namespace varnholt

#endif
