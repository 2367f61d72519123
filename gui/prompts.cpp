#include "prompts.h"

#include "gcodechoices.h"

#include <QDialog>
#include <QFileDialog>

namespace varnholt {

QString OpenFilters() {
  // Exchange files come with any of these endings; "Alle Dateien" for the rest.
  return QStringLiteral("STEP-NC-Dateien (*.stp *.step *.p21 *.stpnc);;Alle Dateien (*)");
}

QString GcodeFilters() { return QStringLiteral("G-Code (*.ngc *.nc)"); }

QString TableFilters() {
  return QStringLiteral("CSV-Dateien (*.csv);;Excel-Arbeitsmappen (*.xlsx)");
}

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
      }),
      gcodeChoices([](QWidget* parent, GcodeChoices& choices) {
        GcodeChoicesDialog dialog(choices, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        choices = dialog.Choices();
        return true;
      }),
      tablePath([](QWidget* parent, const QString& proposed) {
        QFileDialog dialog(parent, QStringLiteral("Als Tabelle exportieren"), proposed, TableFilters());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The ending decides the format; the chosen filter gives it to a name typed without one.
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
          dialog.setDefaultSuffix(filter.contains(QStringLiteral("xlsx")) ? QStringLiteral("xlsx")
                                                                          : QStringLiteral("csv"));
        });
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
      }) {}

}  // namespace varnholt
