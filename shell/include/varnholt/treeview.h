// The instance tree of a document: one item per instance from the project down, its attributes
// below it with their values in the labels, referenced instances under the attribute that refers
// to them. Simple values are edited through the labels; double-clicking an attribute inserts.
#ifndef VARNHOLT_TREEVIEW_H
#define VARNHOLT_TREEVIEW_H

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "varnholt/edit.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treepath.h"

class CDoc;
class cct_AggregateType_1d;
class cct_Instance;
class cct_Type;
class cct_Scope;

namespace varnholt {

class InsertDialogData;

/// Runs the insert dialog on the data; true when the user chose "OK".
using InsertChooser = std::function<bool(InsertDialogData&)>;

class CStpTreeView {
 public:
  static constexpr long kProjectId = 3343;
  static constexpr long kTurningWorkingstepId = 3156;
  static constexpr long kTurningOperationId = 3009;
  static constexpr long kHandId = 1048;
  /// Reference chains deeper than this are shown without children rather than recursed into.
  static constexpr int kMaxDepth = 1000;

  CStpTreeView(TreeControl& tree, CDoc* doc) : tree_(tree), doc_(doc) {}

  /// When on, an instance item gets its attribute items only when ExpandItem is called for it,
  /// so that a huge population does not build millions of items up front.
  void SetDeferred(bool deferred) { deferred_ = deferred; }
  /// True when the item's children have not been built yet.
  bool HasDeferredChildren(TreeItem item) const { return pending_.count(item) != 0; }
  void ExpandItem(TreeItem item);
  size_t DeferredCount() const { return pending_.size(); }

  void FillTree();
  TreeItem InsertInstance(cct_Instance* instance, TreeItem parent, TreeItem after = nullptr,
                          int image = 0, long data = 0);
  /// Takes an edited label into the model; true only when the stored value changed. The label
  /// then shows the stored value; a refused or unchanged edit leaves it as it was.
  bool OnEndLabelEdit(TreeItem item, const char* text);
  /// The same, with the whole outcome (a refusal's message for the status bar).
  EditOutcome EditLabel(TreeItem item, std::string_view text);
  /// The value an item shows, when it is an attribute or element item of a simple value.
  bool SlotOf(TreeItem item, ValueSlot& slot) const;
  /// The editor an item gets: its exact stored value, and the choices of a choice.
  SlotEditor EditorFor(TreeItem item) const;
  /// Clears the value an item shows (Delete).
  EditOutcome ClearItem(TreeItem item);
  /// Labels every shown item of the instance from the model again (after an edit or undo).
  void RefreshInstance(const cct_Instance& instance);
  /// Builds the children of every shown item of the instance again (after an insert's undo).
  void RebuildInstance(cct_Instance& instance);
  /// The item of a slot's attribute under the first shown item of its instance, or null.
  TreeItem AttributeItem(const cct_Instance& instance, long attribute) const;
  /// How typed numbers are read (the desktop's decimal comma).
  void SetInputRules(InputRules rules) { rules_ = rules; }
  /// What the last double-click inserted (for its undo), with the attribute it went to.
  const InsertResult& LastInsert() const { return lastInsert_; }
  long LastInsertAttribute() const { return lastInsertAttribute_; }
  cct_Instance* LastInsertInstance() const { return lastInsertInstance_; }
  /// The insert command of a double-click on an attribute item; true when the model changed.
  bool OnDoubleClick(TreeItem item, const InsertChooser& chooser);
  /// The appearance dialog's item height: a number, or below 1 (as for "min") the default.
  void ApplyItemHeight(const std::string& text);

  /// The item where the path's last instance is shown, building deferred items on the way;
  /// null when the tree does not show the path (an empty path, another project).
  TreeItem Reveal(const std::vector<TreeStep>& path);
  /// The item where the instance first appears (see TreePathTo); null when no path from the
  /// project reaches it.
  TreeItem RevealInstance(const cct_Instance& instance);

  /// The instance an item belongs to: its own for an instance item, else that of the nearest
  /// instance item above it.
  cct_Instance* ItemInstance(TreeItem item) const;

  /// The instance the tree starts at: the first project in creation order.
  static cct_Instance* Root(cct_Scope& scope);
  /// Instances shown nowhere, with nothing below them (turning workingsteps and operations).
  static bool IsHidden(const cct_Instance& instance);
  /// Calls visit with each instance the tree shows under attribute i, in the tree's order
  /// (hidden ones included: the tree drops them as they come).
  static void ForEachShownTarget(cct_Scope* scope, cct_Instance& instance, long i,
                                 const std::function<void(cct_Instance*)>& visit);

  /// Label texts.
  static std::string InstanceLabel(const cct_Instance& instance);
  /// "name: text (as written; why)": a parameter kept as the file gives it.
  static std::string AsWrittenLabel(const std::string& name, const std::string& text,
                                    const std::string& why);
  /// The row of the k-th parameter after the last attribute of an instance's record.
  static std::string ExtraParameterLabel(const cct_Instance& instance, size_t k);
  /// What names an instance for a person: its first non-empty string attribute (its_id, name),
  /// or empty.
  static std::string IdentifyingText(const cct_Instance& instance);
  static std::string ValueText(const cct_Type& value);
  static std::string AttributeLabel(const cct_Instance& instance, long i);
  /// The label of element j (from 0) of aggregate attribute i.
  static std::string ElementItemLabel(const cct_Instance& instance, long i, long j);

 private:
  cct_Scope* Scope() const;
  void FillAttributes(cct_Instance* instance, TreeItem item, int depth);
  void FillSelectElements(cct_Instance& instance, long i, const cct_AggregateType_1d& aggregate,
                          TreeItem attribute, int depth);
  TreeItem Insert(cct_Instance* instance, TreeItem parent, TreeItem after, int image, int depth);
  bool OnPath(TreeItem parent, long number, const cct_Instance* instance) const;
  cct_Instance* InstanceOf(long number, int load) const;
  long PositionOf(TreeItem item) const;
  void ForgetSubtree(TreeItem item);
  cct_Instance* Choose(InsertDialogData& data, const InsertChooser& chooser);

  std::vector<TreeItem> ShownItems(const cct_Instance& instance) const;

  TreeControl& tree_;
  CDoc* doc_;
  InputRules rules_;
  InsertResult lastInsert_;
  long lastInsertAttribute_ = -1;
  cct_Instance* lastInsertInstance_ = nullptr;
  bool deferred_ = false;
  std::map<TreeItem, std::string> pending_;  // instance items whose attributes wait
  std::vector<const cct_Instance*> path_;    // instances from the root to the one being filled
};

}  // namespace varnholt

#endif
