#include "prompts.h"

#include <QDialog>
#include <QFileDialog>

namespace varnholt {

QString OpenFilters() {
  // Exchange files come with any of these endings; "Alle Dateien" for the rest.
  return QStringLiteral("STEP-NC-Dateien (*.stp *.step *.p21 *.stpnc);;Alle Dateien (*)");
}

Prompts::Prompts()
    : exec([](QDialog& dialog) { return dialog.exec(); }),
      openPath([](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), OpenFilters());
      }),
      // QFileDialog asks before replacing an existing file unless told otherwise.
      savePath([](QWidget* parent, const QString& proposed) {
        return QFileDialog::getSaveFileName(parent, QString(), proposed);
      }) {}

}  // namespace varnholt
