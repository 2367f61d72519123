// The small tree-control interface the instance tree is written against, so that its logic runs
// the same behind the Qt tree widget, in the command-line tool and in headless tests.
#ifndef VARNHOLT_TREECONTROL_H
#define VARNHOLT_TREECONTROL_H

#include <memory>
#include <string>
#include <vector>

namespace varnholt {

/// An item of a tree control; null stands for "none" (as a parent: the top level).
using TreeItem = void*;

class TreeControl {
 public:
  virtual ~TreeControl() = default;
  /// Inserts under parent (null: top level) after `after` (null: as the last child).
  virtual TreeItem InsertItem(const std::string& text, int image, long data, TreeItem parent,
                              TreeItem after) = 0;
  virtual long ItemData(TreeItem item) const = 0;
  virtual void SetBold(TreeItem item, bool bold) = 0;
  virtual bool IsBold(TreeItem item) const = 0;
  virtual TreeItem Parent(TreeItem item) const = 0;
  /// Children in order; null gives the top-level items.
  virtual std::vector<TreeItem> Children(TreeItem parent) const = 0;
  virtual void DeleteItem(TreeItem item) = 0;
  virtual void DeleteAllItems() = 0;
  virtual std::string ItemText(TreeItem item) const = 0;
  virtual void SetItemText(TreeItem item, const std::string& text) = 0;
  /// The text shown when the pointer rests on the item.
  virtual void SetToolTip(TreeItem item, const std::string& text) = 0;
  virtual std::string ToolTip(TreeItem item) const = 0;
  /// -1 is the control's default height.
  virtual int ItemHeight() const = 0;
  virtual void SetItemHeight(int height) = 0;
};

/// A tree control in memory: the command-line tool prints it and the tests inspect it.
class MemoryTreeControl : public TreeControl {
 public:
  MemoryTreeControl();
  ~MemoryTreeControl() override;

  TreeItem InsertItem(const std::string& text, int image, long data, TreeItem parent,
                      TreeItem after) override;
  long ItemData(TreeItem item) const override;
  void SetBold(TreeItem item, bool bold) override;
  bool IsBold(TreeItem item) const override;
  TreeItem Parent(TreeItem item) const override;
  std::vector<TreeItem> Children(TreeItem parent) const override;
  void DeleteItem(TreeItem item) override;
  void DeleteAllItems() override;
  std::string ItemText(TreeItem item) const override;
  void SetItemText(TreeItem item, const std::string& text) override;
  void SetToolTip(TreeItem item, const std::string& text) override;
  std::string ToolTip(TreeItem item) const override;
  int ItemHeight() const override { return itemHeight_; }
  void SetItemHeight(int height) override { itemHeight_ = height; }

  /// Every label, one per line, indented by two blanks per level.
  std::string Dump() const;
  size_t ItemCount() const;

 private:
  struct Node;
  Node* NodeOf(TreeItem item) const;
  std::unique_ptr<Node> root_;
  int itemHeight_ = -1;
};

}  // namespace varnholt

#endif
