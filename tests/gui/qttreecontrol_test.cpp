#include "qttreecontrol.h"

#include <gtest/gtest.h>

#include "gui_support.h"

using varnholt::InstanceTree;
using varnholt::LabelDelegate;
using varnholt::QtTreeControl;
using varnholt::TreeItem;

namespace {

class Adapter : public ::testing::Test {
 protected:
  QTreeWidgetItem* Q(TreeItem item) { return QtTreeControl::Item(item); }
  std::vector<std::string> Texts(TreeItem parent) {
    std::vector<std::string> texts;
    for (TreeItem child : control_.Children(parent)) texts.push_back(control_.ItemText(child));
    return texts;
  }

  InstanceTree tree_;
  QtTreeControl control_{tree_};
};

}  // namespace

TEST_F(Adapter, InsertsInOrderWithDataAndParents) {
  TreeItem root = control_.InsertItem("#1=project", 0, 1, nullptr, nullptr);
  TreeItem a = control_.InsertItem("a", 0, 0, root, nullptr);
  TreeItem c = control_.InsertItem("c", 0, 0, root, nullptr);
  control_.InsertItem("b", 0, 0, root, a);
  control_.InsertItem("first", 0, 7, root, nullptr);
  EXPECT_EQ(Texts(root), (std::vector<std::string>{"a", "b", "c", "first"}));
  EXPECT_EQ(control_.Parent(c), root);
  EXPECT_EQ(control_.Parent(root), nullptr);
  EXPECT_EQ(control_.Children(nullptr), std::vector<TreeItem>{root});
  // The instance number travels in Qt::UserRole, where the Qt side can read it too.
  EXPECT_EQ(Q(root)->data(0, Qt::UserRole).toLongLong(), 1);
  EXPECT_EQ(control_.ItemData(control_.Children(root).back()), 7);
  EXPECT_EQ(control_.ItemData(a), 0);
}

TEST_F(Adapter, BoldInstanceItemsAreNotEditable) {
  TreeItem instance = control_.InsertItem("#1=project", 0, 1, nullptr, nullptr);
  TreeItem attribute = control_.InsertItem("its_id: P1", 0, 0, instance, nullptr);
  control_.SetBold(instance, true);
  EXPECT_TRUE(control_.IsBold(instance));
  EXPECT_TRUE(Q(instance)->font(0).bold());
  EXPECT_FALSE(Q(instance)->flags() & Qt::ItemIsEditable);
  EXPECT_FALSE(control_.IsBold(attribute));
  EXPECT_TRUE(Q(attribute)->flags() & Qt::ItemIsEditable);
}

TEST_F(Adapter, DeletingForgetsTheSubtree) {
  TreeItem root = control_.InsertItem("root", 0, 1, nullptr, nullptr);
  TreeItem gone = control_.InsertItem("gone", 0, 0, root, nullptr);
  control_.InsertItem("below gone", 0, 0, gone, nullptr);
  TreeItem kept = control_.InsertItem("kept", 0, 0, root, nullptr);
  control_.DeleteItem(gone);
  EXPECT_EQ(Texts(root), std::vector<std::string>{"kept"});
  // Only live items are handed out for decoration.
  std::vector<QTreeWidgetItem*> inserted = control_.TakeInserted();
  EXPECT_EQ(inserted, (std::vector<QTreeWidgetItem*>{Q(root), Q(kept)}));
  EXPECT_TRUE(control_.TakeInserted().empty());
  control_.DeleteAllItems();
  EXPECT_EQ(tree_.topLevelItemCount(), 0);
}

TEST(LabelDelegateText, EditorStartsWithTheValue) {
  EXPECT_EQ(LabelDelegate::EditableText("its_id: P1"), "P1");
  EXPECT_EQ(LabelDelegate::EditableText("coordinates [2]: 2.500"), "2.500");
  EXPECT_EQ(LabelDelegate::EditableText("its_id: setup 1: top side"), "setup 1: top side");
  EXPECT_EQ(LabelDelegate::EditableText("main_workplan"), "main_workplan");
}

TEST(TextConversion, Utf8OrLatin1) {
  EXPECT_EQ(varnholt::ToQt("Gr\xc3\xb6\xc3\x9f" "e"), QString::fromUtf8("Größe"));
  // A byte that cannot start UTF-8 is read as the Windows-era 8-bit text it was written as.
  EXPECT_EQ(varnholt::ToQt("Ma\xdf"), QString::fromUtf8("Maß"));
  EXPECT_EQ(varnholt::FromQt(QString::fromUtf8("Maß")), "Ma\xc3\x9f");
}
