// What the G-code export asks before it writes: the controller's dialect, the units the file's
// feeds are read in, the tolerance of chords and an optional LinuxCNC tool table, as the command
// line's gcode takes them. Remembered between runs.
#ifndef VARNHOLT_GUI_GCODECHOICES_H
#define VARNHOLT_GUI_GCODECHOICES_H

#include <QDialog>
#include <QString>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

namespace varnholt {

struct GcodeChoices {
  enum Units { FromFile, Si, Shop };
  bool fanuc = false;
  Units units = FromFile;
  double tolerance = 0.001;  // mm
  QString toolTable;         // empty: numbered in order of first use

  /// As last chosen (the defaults the first time).
  static GcodeChoices Load();
  void Save() const;
  /// True where the program must be built otherwise than the document's own (units, tolerance).
  bool OwnProgram() const;
};

class GcodeChoicesDialog : public QDialog {
  Q_OBJECT
 public:
  GcodeChoicesDialog(const GcodeChoices& choices, QWidget* parent = nullptr);
  GcodeChoices Choices() const;

 private:
  QComboBox* dialect_;
  QComboBox* units_;
  QDoubleSpinBox* tolerance_;
  QLineEdit* toolTable_;
};

}  // namespace varnholt

#endif
