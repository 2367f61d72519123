// "Appearance": the item height of the instance tree.
#ifndef VARNHOLT_GUI_APPEARANCEDIALOG_H
#define VARNHOLT_GUI_APPEARANCEDIALOG_H

#include <QDialog>

class QComboBox;
class QLabel;

namespace varnholt {

class AppearanceDialog : public QDialog {
  Q_OBJECT
 public:
  /// current: the tree's item height in pixels, shown as the first choice.
  AppearanceDialog(int current, QWidget* parent = nullptr);

  /// The chosen item height as typed or picked ("min", "35", ...).
  QString ItemHeightText() const;

  QComboBox* ItemHeightBox() const { return height_; }
  QComboBox* FontSizeBox() const { return fontSize_; }

 private:
  QComboBox* fontSize_;
  QComboBox* height_;
};

}  // namespace varnholt

#endif
