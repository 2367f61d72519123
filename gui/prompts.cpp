#include "prompts.h"

#include <QDialog>
#include <QFileDialog>

namespace varnholt {

QString OpenFilters() {
  // Exchange files come with any of these endings; "Alle Dateien" for the rest.
  return QStringLiteral("STEP-NC-Dateien (*.stp *.step *.p21 *.stpnc);;Alle Dateien (*)");
}

QString GcodeFilters() { return QStringLiteral("G-Code (*.ngc *.nc)"); }

Prompts::Prompts()
    : exec([](QDialog& dialog) { return dialog.exec(); }),
      openPath([](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), OpenFilters());
      }),
      // QFileDialog asks before replacing an existing file unless told otherwise.
      savePath([](QWidget* parent, const QString& proposed) {
        return QFileDialog::getSaveFileName(parent, QString(), proposed);
      }),
      gcodePath([](QWidget* parent, const QString& proposed) {
        QFileDialog dialog(parent, QStringLiteral("G-Code exportieren"), proposed, GcodeFilters());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A name typed without an ending gets the one controllers look for.
        dialog.setDefaultSuffix(QStringLiteral("ngc"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
      }) {}

}  // namespace varnholt
