// The about box and the application's icon.
#ifndef VARNHOLT_GUI_ABOUTBOX_H
#define VARNHOLT_GUI_ABOUTBOX_H

#include <QDialog>
#include <QIcon>

namespace varnholt {

/// Drawn rather than shipped as a file, so the program needs no resources beside itself.
QIcon AppIcon();

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace varnholt

#endif
