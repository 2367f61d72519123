#include "appearancedialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnholt {

namespace {

QComboBox* Choices(const QString& current, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems({current, QStringLiteral("min"), QStringLiteral("20"), QStringLiteral("25"),
                 QStringLiteral("30"), QStringLiteral("35"), QStringLiteral("40"),
                 QStringLiteral("45"), QStringLiteral("50")});
  box->setCurrentIndex(0);
  return box;
}

}  // namespace

AppearanceDialog::AppearanceDialog(int current, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Appearance"));
  const QString now = QString::number(current);

  // The font size has never had an effect; it stays in the dialog, hidden, as it always was.
  fontSize_ = Choices(now, this);
  auto* fontLabel = new QLabel(QStringLiteral("Font Size"), this);
  fontSize_->setEnabled(false);
  fontLabel->setEnabled(false);
  fontSize_->setVisible(false);
  fontLabel->setVisible(false);

  height_ = Choices(now, this);
  auto* heightLabel = new QLabel(QStringLiteral("Item Hight"), this);
  heightLabel->setBuddy(height_);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(fontLabel, fontSize_);
  form->addRow(heightLabel, height_);
  form->setRowVisible(0, false);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString AppearanceDialog::ItemHeightText() const { return height_->currentText(); }

}  // namespace varnholt
