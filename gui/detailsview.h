// The details pane: the current instance's number, type, the line of its record in the file,
// its record as a save writes it, and who refers to it. Every instance number is a link.
#ifndef VARNHOLT_GUI_DETAILSVIEW_H
#define VARNHOLT_GUI_DETAILSVIEW_H

#include <QTextBrowser>
#include <string>
#include <vector>

namespace varnholt {

struct InstanceDetails;

/// A further line of the table at the top; its text a link when `link` is given.
struct DetailRow {
  QString label, text, link;
};
using DetailRows = std::vector<DetailRow>;

class DetailsView : public QTextBrowser {
  Q_OBJECT
 public:
  /// Longer records and referrer lists are cut there: the pane must stay quick to lay out also
  /// for a polyline of a million points or a point that half the file refers to.
  static constexpr int kMaxRecord = 20000;
  static constexpr int kMaxReferrers = 500;

  explicit DetailsView(QWidget* parent = nullptr);

  /// Shows the details, with a note above them when one is given.
  /// `motion`, where not empty, is a line about the moves of a workingstep; `rows` follow it
  /// (the machining time of a workingstep or of the project).
  void ShowDetails(const InstanceDetails& details, const QString& note = QString(),
                   const QString& motion = QString(), const DetailRows& rows = {});
  void ShowNothing();
  /// The name the instance shown has; empty when none is shown.
  const std::string& ShownName() const { return shown_; }

  /// The link of an instance name, and the name a link names (empty for another link).
  static QString Link(const std::string& name);
  static QString NameOfLink(const QUrl& url);
  /// The record as HTML, every "#N" outside a string a link.
  static QString LinkedRecord(const std::string& record);
  /// The link that asks for the project's machining time.
  static QString TimeLink();

 Q_SIGNALS:
  /// A link to an instance was clicked.
  void instanceChosen(const QString& name);
  /// The link of the project's machining time was clicked.
  void timeRequested();

 private:
  std::string shown_;
};

}  // namespace varnholt

#endif
