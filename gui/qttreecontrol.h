// The instance tree's control behind a Qt tree widget: the shell's tree logic talks to
// TreeControl, the user to the widget.
#ifndef VARNHOLT_GUI_QTTREECONTROL_H
#define VARNHOLT_GUI_QTTREECONTROL_H

#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "varnholt/edit.h"
#include "varnholt/treecontrol.h"

namespace varnholt {

/// Texts of the model as the widgets show them: UTF-8 when the bytes are valid UTF-8, else
/// Latin-1 (older files were written on Windows with its 8-bit code page).
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

/// Draws the rows at the chosen height and hands finished label edits over instead of writing
/// them into the item: only the model decides what a label becomes.
class LabelDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  /// -1 is the style's own height.
  void SetHeight(int height) { height_ = height; }
  int Height() const { return height_; }

  /// What the editor of an item offers; without it every label is edited as plain text.
  using Describe = std::function<SlotEditor(const QModelIndex&)>;
  void SetDescribe(Describe describe) { describe_ = std::move(describe); }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

  /// The part of a label the editor starts with: the value after ": ", or the whole label.
  static QString EditableText(const QString& label);

 Q_SIGNALS:
  void labelEdited(const QModelIndex& index, const QString& text) const;

 private:
  int height_ = -1;
  Describe describe_;
};

/// The tree widget of a document window.
class InstanceTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit InstanceTree(QWidget* parent = nullptr);

  using QTreeWidget::indexFromItem;
  using QTreeWidget::itemFromIndex;
  /// Expanding while a layout is due only records the expansion: many expansions then cost one
  /// layout.
  using QTreeWidget::scheduleDelayedItemsLayout;
  LabelDelegate* Delegate() const { return delegate_; }
  /// The tooltip of a row that has none of its own (a value row's exact value); empty for none.
  using ValueTip = std::function<QString(QTreeWidgetItem*)>;
  void SetValueTip(ValueTip tip) { valueTip_ = std::move(tip); }
  QString ValueTipOf(QTreeWidgetItem* item) const;
  /// Scrolls sideways so that the current row's text begins in view: deep in a narrow tree
  /// the row's highlight alone would show.
  void ShowCurrentText();

 Q_SIGNALS:
  /// "*" on an item: expanding everything below it is the frame's business, bounded.
  void expandAllRequested(QTreeWidgetItem* item);
  /// Enter on an item (not while its label is edited).
  void enterPressed(QTreeWidgetItem* item);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  LabelDelegate* delegate_;
  ValueTip valueTip_;
};

class QtTreeControl : public TreeControl {
 public:
  explicit QtTreeControl(InstanceTree& tree) : tree_(tree) {}

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
  int ItemHeight() const override;
  void SetItemHeight(int height) override;

  /// The height the rows have on screen in pixels, also when it is the default.
  int ShownItemHeight() const;
  /// The items inserted since the last call, so that the caller can decorate them.
  std::vector<QTreeWidgetItem*> TakeInserted();

  static QTreeWidgetItem* Item(TreeItem item) { return static_cast<QTreeWidgetItem*>(item); }

 private:
  InstanceTree& tree_;
  std::vector<QTreeWidgetItem*> inserted_;
  // Deleted subtrees stay allocated until the tree is emptied: the tree logic remembers items
  // whose children are still to be built, and a freed address handed to a new item would make
  // that item look like one of them.
  std::vector<std::unique_ptr<QTreeWidgetItem>> removed_;
};

}  // namespace varnholt

#endif
