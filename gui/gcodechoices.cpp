#include "gcodechoices.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace varnholt {

namespace {
constexpr double kDefaultTolerance = 0.001;
}

GcodeChoices GcodeChoices::Load() {
  QSettings settings;
  settings.beginGroup(QStringLiteral("gcode"));
  GcodeChoices c;
  c.fanuc = settings.value(QStringLiteral("dialect")).toString() == QStringLiteral("fanuc");
  const QString units = settings.value(QStringLiteral("units")).toString();
  c.units = units == QStringLiteral("si") ? Si : units == QStringLiteral("shop") ? Shop : FromFile;
  bool ok = false;
  const double tolerance = settings.value(QStringLiteral("tolerance")).toDouble(&ok);
  // A value that is no tolerance (edited by hand) falls back to the usual one.
  c.tolerance = ok && tolerance > 0 && tolerance <= 10 ? tolerance : kDefaultTolerance;
  c.toolTable = settings.value(QStringLiteral("toolTable")).toString();
  return c;
}

void GcodeChoices::Save() const {
  QSettings settings;
  settings.beginGroup(QStringLiteral("gcode"));
  settings.setValue(QStringLiteral("dialect"), fanuc ? QStringLiteral("fanuc") : QStringLiteral("linuxcnc"));
  settings.setValue(QStringLiteral("units"), units == Si     ? QStringLiteral("si")
                                             : units == Shop ? QStringLiteral("shop")
                                                             : QStringLiteral("file"));
  settings.setValue(QStringLiteral("tolerance"), tolerance);
  settings.setValue(QStringLiteral("toolTable"), toolTable);
}

bool GcodeChoices::OwnProgram() const { return units != FromFile || tolerance != kDefaultTolerance; }

GcodeChoicesDialog::GcodeChoicesDialog(const GcodeChoices& choices, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("G-Code exportieren"));
  dialect_ = new QComboBox(this);
  dialect_->addItems({QStringLiteral("LinuxCNC"), QStringLiteral("Fanuc")});
  dialect_->setCurrentIndex(choices.fanuc ? 1 : 0);
  units_ = new QComboBox(this);
  units_->addItems({QStringLiteral("wie die Datei sie zeigt"), QStringLiteral("SI (mm/s, m/s, U/s)"),
                    QStringLiteral("Werkstatt (mm/min, m/min, U/min)")});
  units_->setCurrentIndex(static_cast<int>(choices.units));
  tolerance_ = new QDoubleSpinBox(this);
  tolerance_->setDecimals(4);
  tolerance_->setRange(0.0001, 10);
  tolerance_->setSingleStep(0.001);
  tolerance_->setSuffix(QStringLiteral(" mm"));
  tolerance_->setValue(choices.tolerance);
  toolTable_ = new QLineEdit(choices.toolTable, this);
  toolTable_->setPlaceholderText(QStringLiteral("keine: Werkzeuge in der Reihenfolge ihres ersten Einsatzes"));
  auto* browse = new QPushButton(QStringLiteral("&Durchsuchen..."), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Werkzeugtabelle"), toolTable_->text(),
                                                      QStringLiteral("Werkzeugtabellen (*.tbl);;Alle Dateien (*)"));
    if (!path.isEmpty()) toolTable_->setText(path);
  });
  auto* table = new QHBoxLayout;
  table->addWidget(toolTable_, 1);
  table->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Steuerung:"), dialect_);
  form->addRow(QStringLiteral("&Einheiten der Vorschübe:"), units_);
  form->addRow(QStringLiteral("&Toleranz der Sehnen:"), tolerance_);
  form->addRow(QStringLiteral("&Werkzeugtabelle (LinuxCNC):"), table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Weiter..."));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

GcodeChoices GcodeChoicesDialog::Choices() const {
  GcodeChoices c;
  c.fanuc = dialect_->currentIndex() == 1;
  c.units = static_cast<GcodeChoices::Units>(units_->currentIndex());
  c.tolerance = tolerance_->value();
  c.toolTable = toolTable_->text().trimmed();
  return c;
}

}  // namespace varnholt
