#include "qttreecontrol.h"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QLineEdit>
#include <QStringDecoder>
#include <algorithm>

namespace varnholt {

QString ToQt(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toStdString(); }

QSize LabelDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  if (height_ > 0) size.setHeight(height_);
  return size;
}

QString LabelDelegate::EditableText(const QString& label) {
  const qsizetype colon = label.indexOf(QStringLiteral(": "));
  return colon < 0 ? label : label.mid(colon + 2);
}

QWidget* LabelDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  if (!describe_) return QStyledItemDelegate::createEditor(parent, option, index);
  const SlotEditor wanted = describe_(index);
  if (wanted.form == ValueForm::None) return nullptr;  // references, lists: nothing to type
  if (wanted.form != ValueForm::Choice) return QStyledItemDelegate::createEditor(parent, option, index);
  // Editable, so that a typed value name is taken as well as a chosen one.
  auto* combo = new QComboBox(parent);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& choice : wanted.choices) combo->addItem(ToQt(choice));
  return combo;
}

void LabelDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  // The editor starts from the exact stored value, never from the rounded label.
  const bool described = static_cast<bool>(describe_);
  const SlotEditor stored = described ? describe_(index) : SlotEditor{};
  const QString text =
      described ? ToQt(stored.text) : EditableText(index.data(Qt::DisplayRole).toString());
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    line->setText(text);
    line->selectAll();
    return;
  }
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    combo->setCurrentIndex(combo->findText(text));
    combo->setEditText(text);
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void LabelDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                 const QModelIndex& index) const {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) Q_EMIT labelEdited(index, line->text());
  if (auto* combo = qobject_cast<QComboBox*>(editor)) Q_EMIT labelEdited(index, combo->currentText());
}

void InstanceTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Asterisk) {
    if (QTreeWidgetItem* item = currentItem()) Q_EMIT expandAllRequested(item);
    event->accept();
    return;
  }
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      state() != QAbstractItemView::EditingState) {
    if (QTreeWidgetItem* item = currentItem()) Q_EMIT enterPressed(item);
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

QString InstanceTree::ValueTipOf(QTreeWidgetItem* item) const {
  if (!item || !item->toolTip(0).isEmpty() || !valueTip_) return QString();
  return valueTip_(item);
}

bool InstanceTree::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = ValueTipOf(itemAt(help->pos()));
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, viewport());
      return true;
    }
  }
  return QTreeWidget::viewportEvent(event);
}

InstanceTree::InstanceTree(QWidget* parent) : QTreeWidget(parent), delegate_(new LabelDelegate(this)) {
  setItemDelegate(delegate_);
  setHeaderHidden(true);
  setColumnCount(1);
  // Without this a file with many thousand items makes every layout measure every row.
  setUniformRowHeights(true);
  // Double-click belongs to the insert command; labels are edited with a click on the selected
  // item or F2, as in the Windows tree control.
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  // The document window decides what a double-click opens and what it inserts.
  setExpandsOnDoubleClick(false);
  setAcceptDrops(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
}

void InstanceTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeWidget::currentChanged(current, previous);
  ShowCurrentText();
}

void InstanceTree::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  ShowCurrentText();
}

void InstanceTree::ShowCurrentText() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return;
  // visualRect starts after the row's indentation: where its text begins.
  const int left = visualRect(current).left();
  const int room = viewport()->width();
  // A little of the branch lines stays in view, so that the depth still shows.
  const int margin = std::min(indentation(), room / 4);
  if (left >= margin && left < room - std::min(80, room / 2)) return;
  QScrollBar* bar = horizontalScrollBar();
  bar->setValue(bar->value() + left - margin);
}

TreeItem QtTreeControl::InsertItem(const std::string& text, int, long data, TreeItem parent,
                                   TreeItem after) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, ToQt(text));
  item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(data));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  if (parent) {
    QTreeWidgetItem* p = Item(parent);
    int at = p->childCount();
    if (after && p->indexOfChild(Item(after)) >= 0) at = p->indexOfChild(Item(after)) + 1;
    p->insertChild(at, item);
  } else {
    int at = tree_.topLevelItemCount();
    if (after && tree_.indexOfTopLevelItem(Item(after)) >= 0)
      at = tree_.indexOfTopLevelItem(Item(after)) + 1;
    tree_.insertTopLevelItem(at, item);
  }
  inserted_.push_back(item);
  return item;
}

long QtTreeControl::ItemData(TreeItem item) const {
  return item ? static_cast<long>(Item(item)->data(0, Qt::UserRole).toLongLong()) : 0;
}

void QtTreeControl::SetBold(TreeItem item, bool bold) {
  QTreeWidgetItem* it = Item(item);
  QFont font = it->font(0);
  font.setBold(bold);
  it->setFont(0, font);
  // Instance labels name the instance; the model has nothing to take from an edit of them.
  if (bold)
    it->setFlags(it->flags() & ~Qt::ItemIsEditable);
  else
    it->setFlags(it->flags() | Qt::ItemIsEditable);
}

bool QtTreeControl::IsBold(TreeItem item) const { return item && Item(item)->font(0).bold(); }

TreeItem QtTreeControl::Parent(TreeItem item) const { return item ? Item(item)->parent() : nullptr; }

std::vector<TreeItem> QtTreeControl::Children(TreeItem parent) const {
  std::vector<TreeItem> children;
  if (parent) {
    QTreeWidgetItem* p = Item(parent);
    children.reserve(static_cast<size_t>(p->childCount()));
    for (int i = 0; i < p->childCount(); ++i) children.push_back(p->child(i));
  } else {
    for (int i = 0; i < tree_.topLevelItemCount(); ++i) children.push_back(tree_.topLevelItem(i));
  }
  return children;
}

void QtTreeControl::DeleteItem(TreeItem item) {
  QTreeWidgetItem* it = Item(item);
  if (!it) return;
  if (QTreeWidgetItem* p = it->parent())
    p->removeChild(it);
  else
    tree_.takeTopLevelItem(tree_.indexOfTopLevelItem(it));
  // Children of the removed subtree may still wait in the inserted list.
  inserted_.erase(std::remove_if(inserted_.begin(), inserted_.end(),
                                 [it](QTreeWidgetItem* i) {
                                   for (QTreeWidgetItem* p = i; p; p = p->parent())
                                     if (p == it) return true;
                                   return false;
                                 }),
                  inserted_.end());
  removed_.emplace_back(it);
}

void QtTreeControl::DeleteAllItems() {
  inserted_.clear();
  tree_.clear();
  removed_.clear();
}

std::string QtTreeControl::ItemText(TreeItem item) const {
  return item ? FromQt(Item(item)->text(0)) : std::string();
}

void QtTreeControl::SetItemText(TreeItem item, const std::string& text) {
  if (item) Item(item)->setText(0, ToQt(text));
}

void QtTreeControl::SetToolTip(TreeItem item, const std::string& text) {
  if (item) Item(item)->setToolTip(0, ToQt(text));
}

std::string QtTreeControl::ToolTip(TreeItem item) const {
  return item ? FromQt(Item(item)->toolTip(0)) : std::string();
}

int QtTreeControl::ItemHeight() const { return tree_.Delegate()->Height(); }

void QtTreeControl::SetItemHeight(int height) {
  tree_.Delegate()->SetHeight(height > 0 ? height : -1);
  // The uniform row height is measured again only by a new layout.
  tree_.doItemsLayout();
  tree_.viewport()->update();
}

int QtTreeControl::ShownItemHeight() const {
  if (tree_.Delegate()->Height() > 0) return tree_.Delegate()->Height();
  if (tree_.topLevelItemCount() > 0) {
    int height = tree_.visualItemRect(tree_.topLevelItem(0)).height();
    if (height > 0) return height;
    height = tree_.sizeHintForRow(0);
    if (height > 0) return height;
  }
  return tree_.fontMetrics().height();
}

std::vector<QTreeWidgetItem*> QtTreeControl::TakeInserted() {
  std::vector<QTreeWidgetItem*> items;
  items.swap(inserted_);
  return items;
}

}  // namespace varnholt
