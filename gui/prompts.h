// Every question a window asks the user goes through here, so that tests can answer them without
// a modal event loop and the screenshot mode can run without a user.
#ifndef VARNHOLT_GUI_PROMPTS_H
#define VARNHOLT_GUI_PROMPTS_H

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace varnholt {

struct GcodeChoices;

/// The file types the open dialog offers.
QString OpenFilters();
/// The file types the G-code export offers.
QString GcodeFilters();
/// The file types the table export offers: CSV first, then an xlsx workbook.
QString TableFilters();

struct Prompts {
  /// Runs a modal dialog (message boxes included) and answers its result code.
  std::function<int(QDialog&)> exec;
  /// The file to open, or empty when the user cancelled.
  std::function<QString(QWidget*)> openPath;
  /// The file to save to (the user confirmed replacing it), or empty when cancelled; the dialog
  /// starts at `proposed`, the document's own file.
  std::function<QString(QWidget*, const QString& proposed)> savePath;
  /// The file to export G-code to (replacing it confirmed), or empty when cancelled; the dialog
  /// starts at `proposed`.
  std::function<QString(QWidget*, const QString& proposed)> gcodePath;
  /// The choices the G-code is written with, shown as last made; false when cancelled.
  std::function<bool(QWidget*, GcodeChoices& choices)> gcodeChoices;
  /// The file to export a table to (replacing it confirmed), or empty when cancelled; a name
  /// typed without an ending gets the chosen filter's. The dialog starts at `proposed`.
  std::function<QString(QWidget*, const QString& proposed)> tablePath;

  /// The real dialogs.
  Prompts();
};

}  // namespace varnholt

#endif
