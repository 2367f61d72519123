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

 private:
  std::string shown_;
};

}  // namespace varnholt

#endif
