#include "insertdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <functional>

#include "qttreecontrol.h"
#include "varnholt/insertdialog.h"

namespace varnholt {

namespace {

QLineEdit* ReadOnly(const std::string& text, QWidget* parent) {
  auto* edit = new QLineEdit(ToQt(text), parent);
  edit->setReadOnly(true);
  return edit;
}

// Both lists are sorted combo boxes: "#10 ..." comes before "#2 ...", as the user knows it.
QComboBox* SortedChoices(const std::vector<std::string>& entries, QWidget* parent) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(entries.size()));
  for (const std::string& entry : entries) items << ToQt(entry);
  items.sort();
  auto* box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(items);
  box->setCurrentIndex(items.isEmpty() ? -1 : 0);
  return box;
}

}  // namespace

InsertDialog::InsertDialog(const InsertDialogData& data, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Insert new attribute"));
  id_ = ReadOnly(data.idText, this);
  type_ = ReadOnly(data.typeText, this);
  attribute_ = ReadOnly(data.attributeText, this);
  existing_ = SortedChoices(data.existing, this);
  created_ = SortedChoices(data.created, this);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("ID:"), id_);
  form->addRow(QStringLiteral("Type of Parent Instance:"), type_);
  form->addRow(QStringLiteral("Attribute Name:"), attribute_);
  form->addRow(QStringLiteral("Select an existing element:"), existing_);
  form->addRow(QStringLiteral("Create a new element:"), created_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

void InsertDialog::TakeChoice(InsertDialogData& data) const {
  data.existingChoice = FromQt(existing_->currentText());
  data.newChoice = FromQt(created_->currentText());
}

bool RunInsertDialog(InsertDialogData& data, const std::function<int(QDialog&)>& exec,
                     QWidget* parent) {
  InsertDialog dialog(data, parent);
  if (exec(dialog) != QDialog::Accepted) return false;
  dialog.TakeChoice(data);
  return true;
}

}  // namespace varnholt
