// The program speaks German also where Qt writes the texts itself: file dialogs, message boxes'
// buttons, the names of keys in menus and tooltips.
#ifndef VARNHOLT_GUI_LANGUAGE_H
#define VARNHOLT_GUI_LANGUAGE_H

#include <QString>

class QCoreApplication;
class QKeySequence;
class QTranslator;

namespace varnholt {

/// Where Qt's German catalogue is expected: qtbase_de.qm in Qt's translations folder.
QString QtGermanCatalogue();

/// Loads Qt's German catalogue into a translator owned by `app` and installs it; null when the
/// catalogue is not installed (Qt's texts then stay English, ours are German anyway).
QTranslator* InstallGerman(QCoreApplication& app);

/// A key as the labels write it: "Strg+O", the way Qt's German catalogue names the keys.
QString KeyText(const QKeySequence& key);

}  // namespace varnholt

#endif
