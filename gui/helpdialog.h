// The help page (F1): the keys of the desktop program and how to find one's way in a file.
#ifndef VARNHOLT_GUI_HELPDIALOG_H
#define VARNHOLT_GUI_HELPDIALOG_H

#include <QDialog>

class QTextBrowser;

namespace varnholt {

class HelpDialog : public QDialog {
  Q_OBJECT
 public:
  explicit HelpDialog(QWidget* parent = nullptr);
  QTextBrowser* Page() const { return page_; }
  /// The page as HTML.
  static QString PageHtml();

 private:
  QTextBrowser* page_;
};

}  // namespace varnholt

#endif
