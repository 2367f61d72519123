// The "Probleme" pane: the findings of the last rule check of a document as a table (severity,
// rule, instance, attribute, line, text), sortable by each column and filtered by severity and
// by rule; a double-click on a row goes to its instance. The material-removal simulation's
// findings join them as rows of their own rules (simulate.gouge, ...) on their workingstep; a
// click on one of those goes to its workingstep and place.
#ifndef VARNHOLT_GUI_PROBLEMSVIEW_H
#define VARNHOLT_GUI_PROBLEMSVIEW_H

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "varnholt/rules.h"

class QComboBox;
class QLabel;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QToolButton;

namespace varnholt {

class ProblemsView : public QWidget {
  Q_OBJECT
 public:
  enum Column { kSeverity, kRule, kInstance, kAttribute, kLine, kText, kColumns };

  explicit ProblemsView(QWidget* parent = nullptr);

  /// Shows the findings of a check; `summary` goes above the table. The rules the check could
  /// not evaluate (`unchecked`, by id) are folded behind one line that a click opens.
  void Show(const std::vector<rules::Finding>& findings, const QString& summary,
            const QStringList& unchecked = {});
  /// Shows that no check has run yet.
  void ShowUnchecked();
  /// Shows the simulation's findings beside the rule check's (replacing those of the run
  /// before); `summary` goes below the check's.
  void ShowSimulation(const std::vector<rules::Finding>& findings, const QString& summary);
  /// Takes the simulation's rows away (its run was stopped or failed).
  void ClearSimulation() { ShowSimulation({}, QString()); }
  /// The rule ids of the simulation's findings begin with this.
  static constexpr const char* kSimulationPrefix = "simulate.";

  QTableView* Table() const { return table_; }
  QComboBox* SeverityFilter() const { return severity_; }
  QComboBox* RuleFilter() const { return rule_; }
  QLabel* Summary() const { return summary_; }
  /// "N Regeln nicht geprüft": opens and folds the list of those rules; hidden when none.
  QToolButton* UncheckedToggle() const { return uncheckedToggle_; }
  QLabel* UncheckedList() const { return uncheckedList_; }
  /// The rows the table shows now, in its order: each row's cells joined by tabs.
  QStringList ShownRows() const;

 Q_SIGNALS:
  /// A row was double-clicked: the instance it is about.
  void instanceChosen(const QString& name);
  /// A row of the simulation was clicked: the index of its finding, in the order given.
  void simulationChosen(int index);

 private:
  void Filter();
  void Rebuild();
  void AddRow(const rules::Finding& f, int simulation);

  std::vector<rules::Finding> ruleFindings_, simFindings_;
  QStringList unchecked_;  // the rules the last check could not evaluate
  QString ruleSummary_, simSummary_;

  QLabel* summary_ = nullptr;
  QToolButton* uncheckedToggle_ = nullptr;
  QLabel* uncheckedList_ = nullptr;
  QComboBox* severity_ = nullptr;
  QComboBox* rule_ = nullptr;
  QTableView* table_ = nullptr;
  QStandardItemModel* model_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
};

}  // namespace varnholt

#endif
