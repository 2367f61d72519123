// "Insert new attribute": picks an existing instance or an entity to create for a reference or
// an aggregate element.
#ifndef VARNHOLT_GUI_INSERTDIALOG_H
#define VARNHOLT_GUI_INSERTDIALOG_H

#include <QDialog>
#include <functional>

class QComboBox;
class QLineEdit;

namespace varnholt {

class InsertDialogData;

class InsertDialog : public QDialog {
  Q_OBJECT
 public:
  /// Shows the data's texts and lists; the data must have been filled.
  explicit InsertDialog(const InsertDialogData& data, QWidget* parent = nullptr);

  /// Writes the two selections into the data.
  void TakeChoice(InsertDialogData& data) const;

  QLineEdit* IdEdit() const { return id_; }
  QLineEdit* TypeEdit() const { return type_; }
  QLineEdit* AttributeEdit() const { return attribute_; }
  QComboBox* ExistingBox() const { return existing_; }
  QComboBox* NewBox() const { return created_; }

 private:
  QLineEdit* id_;
  QLineEdit* type_;
  QLineEdit* attribute_;
  QComboBox* existing_;
  QComboBox* created_;
};

/// Runs the dialog through exec (the prompts' modal runner); true with "OK".
bool RunInsertDialog(InsertDialogData& data, const std::function<int(QDialog&)>& exec,
                     QWidget* parent);

}  // namespace varnholt

#endif
