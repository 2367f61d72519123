// Singly and doubly linked lists: ownership of nodes, unlinking, and the reports for nodes that
// are not in the list.
#include "cct/lnklst.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"

namespace {

// Nodes that count their destructions, to see which nodes a list destroys.
struct CountedNode : cct_ListNode {
  CountedNode(void* data, int* destroyed) : cct_ListNode(data), destroyed_(destroyed) {}
  ~CountedNode() override { ++*destroyed_; }
  int* destroyed_;
};

struct CountedDoubleNode : cct_DoubleListNode {
  CountedDoubleNode(void* data, int* destroyed) : cct_DoubleListNode(data), destroyed_(destroyed) {}
  ~CountedDoubleNode() override { ++*destroyed_; }
  int* destroyed_;
};

using List = cct_LinkList<cct_ListNode>;

// The carried data of the nodes from head to tail, after checking the list's invariants.
std::vector<void*> Walk(const List& list) {
  std::vector<void*> data;
  const cct_ListNode* last = nullptr;
  for (cct_ListNode* n = list.FirstNode(); n; n = n->NextNode()) {
    data.push_back(n->Data());
    last = n;
  }
  EXPECT_EQ(list.Count(), static_cast<long>(data.size()));
  EXPECT_EQ(list.LastNode(), last);
  return data;
}

// Same for a doubly linked list, also checking every backward link.
std::vector<void*> Walk(const cct_DoubleLinkList& list) {
  std::vector<void*> data;
  cct_DoubleListNode* prev = nullptr;
  for (cct_DoubleListNode* n = list.FirstNode(); n; n = n->NextNode()) {
    EXPECT_EQ(n->PrevNode(), prev) << "backward link of node " << data.size();
    data.push_back(n->Data());
    prev = n;
  }
  EXPECT_EQ(list.Count(), static_cast<long>(data.size()));
  EXPECT_EQ(list.LastNode(), prev);
  return data;
}

const char* const kNotInList = "\nWarning: Program bug: (lnklst)cct_LinkList<S>::DeleteNode() ---\n"
                               "\tNode not in List";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Singly linked list

class LinkList : public ::testing::Test {
 protected:
  // Builds a list of n nodes carrying &elements[i]; nodes[i] is the i-th node.
  void Fill(int n) {
    for (int i = 0; i < n; ++i) {
      nodes.push_back(new cct_ListNode(&elements[i]));
      list.Append(nodes.back());
    }
  }
  std::vector<void*> Expect(std::initializer_list<int> indices) {
    std::vector<void*> data;
    for (int i : indices) data.push_back(&elements[i]);
    return data;
  }

  int elements[8] = {};
  std::vector<cct_ListNode*> nodes;
  List list;
};

TEST_F(LinkList, StartsEmpty) {
  EXPECT_EQ(list.FirstNode(), nullptr);
  EXPECT_EQ(list.LastNode(), nullptr);
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(LinkList, AppendKeepsOrderAndTerminatesTail) {
  Fill(3);
  EXPECT_EQ(list.FirstNode(), nodes[0]);
  EXPECT_EQ(list.LastNode(), nodes[2]);
  EXPECT_EQ(nodes[2]->NextNode(), nullptr);
  EXPECT_EQ(Walk(list), Expect({0, 1, 2}));
}

TEST_F(LinkList, AppendClearsAStaleForwardLink) {
  Fill(1);
  cct_ListNode stray;
  auto* node = new cct_ListNode(&elements[1]);
  node->SetNextNode(&stray);
  list.Append(node);
  EXPECT_EQ(node->NextNode(), nullptr);
  EXPECT_EQ(Walk(list), Expect({0, 1}));
}

TEST_F(LinkList, DeleteOnlyNodeEmptiesList) {
  Fill(1);
  EXPECT_EQ(list.DeleteNode(nodes[0]), nullptr);
  EXPECT_EQ(list.FirstNode(), nullptr);
  EXPECT_EQ(list.LastNode(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  delete nodes[0];
}

TEST_F(LinkList, DeleteHeadPromotesSuccessorAndReturnsNull) {
  Fill(3);
  EXPECT_EQ(list.DeleteNode(nodes[0]), nullptr);
  EXPECT_EQ(list.FirstNode(), nodes[1]);
  EXPECT_EQ(nodes[0]->NextNode(), nullptr);
  EXPECT_EQ(Walk(list), Expect({1, 2}));
  delete nodes[0];
}

TEST_F(LinkList, DeleteMiddleRelinksAndReturnsPredecessor) {
  Fill(3);
  EXPECT_EQ(list.DeleteNode(nodes[1]), nodes[0]);
  EXPECT_EQ(nodes[0]->NextNode(), nodes[2]);
  EXPECT_EQ(nodes[1]->NextNode(), nullptr);
  EXPECT_EQ(Walk(list), Expect({0, 2}));
  delete nodes[1];
}

TEST_F(LinkList, DeleteTailMakesPredecessorTheTail) {
  Fill(3);
  EXPECT_EQ(list.DeleteNode(nodes[2]), nodes[1]);
  EXPECT_EQ(list.LastNode(), nodes[1]);
  EXPECT_EQ(nodes[1]->NextNode(), nullptr);
  EXPECT_EQ(Walk(list), Expect({0, 1}));
  delete nodes[2];

  // The new tail takes the next append.
  auto* node = new cct_ListNode(&elements[3]);
  list.Append(node);
  EXPECT_EQ(Walk(list), Expect({0, 1, 3}));
}

TEST_F(LinkList, DeletedNodeCanJoinAnotherList) {
  Fill(3);
  list.DeleteNode(nodes[1]);
  List other;
  other.Append(nodes[1]);
  EXPECT_EQ(Walk(other), Expect({1}));
  EXPECT_EQ(Walk(list), Expect({0, 2}));
}

TEST_F(LinkList, DeleteNullReturnsNullSilently) {
  Fill(2);
  CerrCapture capture;
  EXPECT_EQ(list.DeleteNode(nullptr), nullptr);
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(Walk(list), Expect({0, 1}));
}

TEST_F(LinkList, DeleteForeignNodeWarnsAndChangesNothing) {
  Fill(3);
  List other;
  auto* foreign = new cct_ListNode(&elements[5]);
  other.Append(foreign);

  CerrCapture capture;
  EXPECT_EQ(list.DeleteNode(foreign), nullptr);
  EXPECT_EQ(capture.Take(), kNotInList);
  EXPECT_EQ(Walk(list), Expect({0, 1, 2}));
  EXPECT_EQ(Walk(other), Expect({5}));

  // Also when the list is empty.
  List empty;
  EXPECT_EQ(empty.DeleteNode(foreign), nullptr);
  EXPECT_EQ(capture.Take(), kNotInList);
  EXPECT_EQ(empty.Count(), 0);
}

TEST_F(LinkList, DeleteTwiceWarnsTheSecondTime) {
  Fill(2);
  CerrCapture capture;
  EXPECT_EQ(list.DeleteNode(nodes[1]), nodes[0]);
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(list.DeleteNode(nodes[1]), nullptr);
  EXPECT_EQ(capture.Take(), kNotInList);
  EXPECT_EQ(Walk(list), Expect({0}));
  delete nodes[1];
}

TEST(LinkListOwnership, DeleteAllDestroysNodesButNotElements) {
  int destroyed = 0;
  std::string elements[3] = {"a", "b", "c"};
  List list;
  for (auto& e : elements) list.Append(new CountedNode(&e, &destroyed));
  list.DeleteAll();
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(list.FirstNode(), nullptr);
  EXPECT_EQ(list.LastNode(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(elements[1], "b");
}

TEST(LinkListOwnership, DeleteAllOnEmptyListThenAppendAgain) {
  int destroyed = 0;
  int element = 0;
  List list;
  list.DeleteAll();
  EXPECT_EQ(list.Count(), 0);
  auto* node = new CountedNode(&element, &destroyed);
  list.Append(node);
  EXPECT_EQ(list.FirstNode(), node);
  EXPECT_EQ(list.LastNode(), node);
  EXPECT_EQ(list.Count(), 1);
  list.DeleteAll();
  list.Append(new CountedNode(&element, &destroyed));
  EXPECT_EQ(Walk(list).size(), 1u);
  EXPECT_EQ(destroyed, 1);
}

TEST(LinkListOwnership, DestructorDestroysRemainingNodesOnly) {
  int destroyed = 0;
  int element = 0;
  CountedNode* removed = nullptr;
  {
    List list;
    for (int i = 0; i < 4; ++i) list.Append(new CountedNode(&element, &destroyed));
    removed = static_cast<CountedNode*>(list.FirstNode()->NextNode());
    list.DeleteNode(removed);
  }
  EXPECT_EQ(destroyed, 3);
  delete removed;
  EXPECT_EQ(destroyed, 4);
}

// ---------------------------------------------------------------------------------------------
// Doubly linked list

class DoubleLinkList : public ::testing::Test {
 protected:
  void Fill(int n) {
    for (int i = 0; i < n; ++i) {
      nodes.push_back(new cct_DoubleListNode(&elements[i]));
      list.Append(nodes.back());
    }
  }
  std::vector<void*> Expect(std::initializer_list<int> indices) {
    std::vector<void*> data;
    for (int i : indices) data.push_back(&elements[i]);
    return data;
  }
  void ExpectDetached(cct_DoubleListNode* node) {
    EXPECT_EQ(node->NextNode(), nullptr);
    EXPECT_EQ(node->PrevNode(), nullptr);
  }

  int elements[8] = {};
  std::vector<cct_DoubleListNode*> nodes;
  cct_DoubleLinkList list;
};

TEST_F(DoubleLinkList, AppendLinksBothWays) {
  Fill(4);
  EXPECT_EQ(nodes[0]->PrevNode(), nullptr);
  EXPECT_EQ(nodes[3]->PrevNode(), nodes[2]);
  EXPECT_EQ(Walk(list), Expect({0, 1, 2, 3}));
}

TEST_F(DoubleLinkList, UnchainOnlyNodeEmptiesList) {
  Fill(1);
  EXPECT_EQ(list.Unchain(nodes[0]), nullptr);
  EXPECT_EQ(list.FirstNode(), nullptr);
  EXPECT_EQ(list.LastNode(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  ExpectDetached(nodes[0]);
  delete nodes[0];
}

TEST_F(DoubleLinkList, UnchainHeadMiddleAndTail) {
  Fill(5);
  EXPECT_EQ(list.Unchain(nodes[0]), nullptr);
  ExpectDetached(nodes[0]);
  EXPECT_EQ(list.FirstNode(), nodes[1]);
  EXPECT_EQ(Walk(list), Expect({1, 2, 3, 4}));

  EXPECT_EQ(list.Unchain(nodes[2]), nodes[1]);
  ExpectDetached(nodes[2]);
  EXPECT_EQ(Walk(list), Expect({1, 3, 4}));

  EXPECT_EQ(list.Unchain(nodes[4]), nodes[3]);
  ExpectDetached(nodes[4]);
  EXPECT_EQ(list.LastNode(), nodes[3]);
  EXPECT_EQ(Walk(list), Expect({1, 3}));

  for (int i : {0, 2, 4}) delete nodes[i];

  // The list stays usable: appends link after the new tail.
  auto* node = new cct_DoubleListNode(&elements[6]);
  list.Append(node);
  EXPECT_EQ(node->PrevNode(), nodes[3]);
  EXPECT_EQ(Walk(list), Expect({1, 3, 6}));
}

TEST_F(DoubleLinkList, UnchainDetachedNodeIsIgnoredSilently) {
  Fill(2);
  cct_DoubleListNode detached(&elements[7]);
  CerrCapture capture;
  EXPECT_EQ(list.Unchain(&detached), nullptr);
  EXPECT_EQ(list.DeleteNode(&detached), nullptr);
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(Walk(list), Expect({0, 1}));

  cct_DoubleLinkList empty;
  EXPECT_EQ(empty.Unchain(&detached), nullptr);
  EXPECT_EQ(empty.Count(), 0);
}

TEST_F(DoubleLinkList, UnchainNullReportsTheBug) {
  Fill(1);
  CerrCapture capture;
  EXPECT_EQ(list.Unchain(nullptr), nullptr);
  EXPECT_EQ(capture.Take(),
            "BUG! There is a bug detected in/by function "
            "cct_DoubleLinkList::Unchain(node) --- node == NULL.\n");
  EXPECT_EQ(list.DeleteNode(nullptr), nullptr);
  EXPECT_EQ(capture.Take(),
            "BUG! There is a bug detected in/by function "
            "cct_DoubleLinkList::Unchain(node) --- node == NULL.\n");
  EXPECT_EQ(Walk(list), Expect({0}));
}

TEST_F(DoubleLinkList, DeleteNodeThroughBaseUsesUnchain) {
  Fill(3);
  cct_LinkList<cct_DoubleListNode>& base = list;
  EXPECT_EQ(base.DeleteNode(nodes[1]), nodes[0]);
  ExpectDetached(nodes[1]);
  EXPECT_EQ(nodes[2]->PrevNode(), nodes[0]);
  EXPECT_EQ(Walk(list), Expect({0, 2}));
  delete nodes[1];
}

TEST_F(DoubleLinkList, UnchainedNodeCanBeAppendedAgain) {
  Fill(3);
  list.Unchain(nodes[0]);
  list.Append(nodes[0]);
  EXPECT_EQ(Walk(list), Expect({1, 2, 0}));
}

TEST(DoubleLinkListOwnership, DestructorAndDeleteAllDestroyNodes) {
  int destroyed = 0;
  int element = 0;
  {
    cct_DoubleLinkList list;
    for (int i = 0; i < 3; ++i) list.Append(new CountedDoubleNode(&element, &destroyed));
    list.DeleteAll();
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.LastNode(), nullptr);

    auto* node = new CountedDoubleNode(&element, &destroyed);
    list.Append(node);
    EXPECT_EQ(node->PrevNode(), nullptr);
    EXPECT_EQ(list.FirstNode(), node);
    list.Append(new CountedDoubleNode(&element, &destroyed));
  }
  EXPECT_EQ(destroyed, 5);
}
