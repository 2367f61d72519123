// The right pane of a document window: a read-only copy of the document's log.
#ifndef VARNHOLT_GUI_LOGVIEW_H
#define VARNHOLT_GUI_LOGVIEW_H

#include <QPlainTextEdit>
#include <string>

namespace varnholt {

class LogView : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogView(QWidget* parent = nullptr);

  /// Shows the log's current text. The log only grows, so usually just the new tail is added;
  /// a log that does not continue the shown text replaces it.
  void ShowLog(const std::string& log);
  /// The text of the log line at a point of the viewport.
  QString LineAt(const QPoint& point) const;

 Q_SIGNALS:
  /// A click (not the end of a text selection) on a line of the log.
  void lineClicked(const QString& line);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::string shown_;
};

}  // namespace varnholt

#endif
