#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "aboutbox.h"
#include "appearancedialog.h"
#include "gui_support.h"
#include "insertdialog.h"
#include "varnholt/insertdialog.h"

using varnholt::AppearanceDialog;
using varnholt::InsertDialog;
using varnholt::InsertDialogData;

namespace {

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

QStringList ButtonTexts(const QDialog& dialog) {
  QStringList texts;
  for (auto* button : dialog.findChildren<QPushButton*>()) texts << button->text();
  texts.sort();
  return texts;
}

QStringList LabelTexts(const QDialog& dialog, bool visibleOnly) {
  QStringList texts;
  for (auto* label : dialog.findChildren<QLabel*>())
    if (!visibleOnly || !label->isHidden()) texts << label->text();
  return texts;
}

}  // namespace

TEST(Dialogs, AppearanceOffersTheCurrentHeightFirst) {
  AppearanceDialog dialog(18);
  EXPECT_EQ(dialog.windowTitle(), "Appearance");
  const QStringList expected{"18", "min", "20", "25", "30", "35", "40", "45", "50"};
  EXPECT_EQ(Items(dialog.ItemHeightBox()), expected);
  EXPECT_EQ(dialog.ItemHeightBox()->currentIndex(), 0);
  EXPECT_EQ(dialog.ItemHeightText(), "18");
  // The font size is there but never shown and never used.
  EXPECT_EQ(Items(dialog.FontSizeBox()), expected);
  EXPECT_TRUE(dialog.FontSizeBox()->isHidden());
  EXPECT_FALSE(dialog.FontSizeBox()->isEnabled());
  EXPECT_EQ(LabelTexts(dialog, true), QStringList{"Item Hight"});
  EXPECT_TRUE(LabelTexts(dialog, false).contains("Font Size"));
  EXPECT_EQ(ButtonTexts(dialog), (QStringList{"Abbrechen", "OK"}));
  dialog.ItemHeightBox()->setCurrentIndex(1);
  EXPECT_EQ(dialog.ItemHeightText(), "min");
}

TEST(Dialogs, InsertShowsSortedListsAndReturnsTheChoice) {
  InsertDialogData data(nullptr, 0);
  data.idText = "1";
  data.typeText = "project";
  data.attributeText = "its_workpieces";
  data.existing = {"", "#2 workpiece", "#10 workpiece"};
  data.created = {"workpiece"};
  InsertDialog dialog(data);
  EXPECT_EQ(dialog.windowTitle(), "Insert new attribute");
  EXPECT_EQ(dialog.IdEdit()->text(), "1");
  EXPECT_EQ(dialog.TypeEdit()->text(), "project");
  EXPECT_EQ(dialog.AttributeEdit()->text(), "its_workpieces");
  for (QLineEdit* edit : {dialog.IdEdit(), dialog.TypeEdit(), dialog.AttributeEdit()})
    EXPECT_TRUE(edit->isReadOnly());
  EXPECT_EQ(Items(dialog.ExistingBox()), (QStringList{"", "#10 workpiece", "#2 workpiece"}));
  EXPECT_EQ(dialog.ExistingBox()->currentIndex(), 0);
  EXPECT_EQ(dialog.NewBox()->currentText(), "workpiece");
  const QStringList labels = LabelTexts(dialog, true);
  for (const char* label : {"ID:", "Type of Parent Instance:", "Attribute Name:",
                            "Select an existing element:", "Create a new element:"})
    EXPECT_TRUE(labels.contains(label)) << label;
  EXPECT_EQ(ButtonTexts(dialog), (QStringList{"Abbrechen", "OK"}));

  dialog.ExistingBox()->setCurrentIndex(2);
  dialog.TakeChoice(data);
  EXPECT_EQ(data.existingChoice, "#2 workpiece");
  EXPECT_EQ(data.ChosenName(), "2");
  EXPECT_EQ(data.newChoice, "workpiece");

  // Only "OK" hands the choice over.
  data.existingChoice.clear();
  EXPECT_FALSE(varnholt::RunInsertDialog(
      data, [](QDialog&) { return static_cast<int>(QDialog::Rejected); }, nullptr));
  EXPECT_EQ(data.existingChoice, "");
}

TEST(Dialogs, AboutBoxTexts) {
  varnholt::AboutBox box;
  EXPECT_EQ(box.windowTitle(), "Experimental tool for instantiating ISO 14649 Files");
  const QStringList labels = LabelTexts(box, false);
  EXPECT_TRUE(labels.contains("Schema: Milling and Turning August 2003"));
  EXPECT_TRUE(labels.contains(QString::fromUtf8("© Varnholt developers")));
  EXPECT_EQ(ButtonTexts(box), QStringList{"OK"});
  EXPECT_FALSE(varnholt::AppIcon().isNull());
}
