// The data and lists of the "Insert new attribute" dialog, apart from any widget.
#ifndef VARNHOLT_INSERTDIALOG_H
#define VARNHOLT_INSERTDIALOG_H

#include <string>
#include <vector>

class cct_Instance;
class cct_Scope;

namespace varnholt {

class InsertDialogData {
 public:
  /// Any entity is admissible.
  static constexpr long kAnyEntity = 100;

  InsertDialogData(cct_Instance* parent, long attributeIndex);

  /// "", then "#name type" for every instance of the scope that has the admissible type among
  /// its supertypes, in name-table order.
  void FillExisting(cct_Scope& scope);
  /// The entity names that have the admissible type among their supertypes (all for any
  /// entity), sorted as the dialog's combo box shows them.
  void FillNew();
  /// The instance name of the existing-element choice, or "" when none was chosen.
  std::string ChosenName() const;

  cct_Instance* parent = nullptr;
  long attributeIndex = 0;
  long admissibleId = 0;
  std::string idText;
  std::string typeText;
  std::string attributeText;
  std::vector<std::string> existing;
  std::vector<std::string> created;
  std::string existingChoice;  // the selected text of the existing-element list
  std::string newChoice;       // the selected text of the new-element list
};

}  // namespace varnholt

#endif
