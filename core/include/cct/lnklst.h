// The core's own intrusive lists: a singly linked list template and a doubly linked list.
// A list owns its nodes; a node carries a pointer to an element the list does not own.
#ifndef CCT_LNKLST_H
#define CCT_LNKLST_H

#include "cct/errlog.h"
#include "cct/pool.h"

/// Node of a singly linked list.
class cct_ListNode {
 public:
  CCT_POOLED_CLASS
  explicit cct_ListNode(void* data = nullptr) : data_(data) {}
  virtual ~cct_ListNode() = default;
  cct_ListNode(const cct_ListNode&) = delete;
  cct_ListNode& operator=(const cct_ListNode&) = delete;

  void* Data() const { return data_; }
  cct_ListNode* NextNode() const { return next_; }
  void SetNextNode(cct_ListNode* next) { next_ = next; }

 private:
  void* data_;
  cct_ListNode* next_ = nullptr;
};

/// Node of a doubly linked list.
class cct_DoubleListNode : public cct_ListNode {
 public:
  explicit cct_DoubleListNode(void* data = nullptr) : cct_ListNode(data) {}

  cct_DoubleListNode* NextNode() const {
    return static_cast<cct_DoubleListNode*>(cct_ListNode::NextNode());
  }
  cct_DoubleListNode* PrevNode() const { return prev_; }
  void SetPrevNode(cct_DoubleListNode* prev) { prev_ = prev; }

 private:
  cct_DoubleListNode* prev_ = nullptr;
};

/// Reports a node that DeleteNode could not find; shared by every instantiation.
void cct_ReportNodeNotInList();

/// Singly linked list over node type S (S offers NextNode and SetNextNode).
template <class S>
class cct_LinkList {
 public:
  cct_LinkList() = default;
  virtual S* DeleteNode(S* node);
  virtual ~cct_LinkList() { DeleteAll(); }
  cct_LinkList(const cct_LinkList&) = delete;
  cct_LinkList& operator=(const cct_LinkList&) = delete;

  S* FirstNode() const { return head_; }
  S* LastNode() const { return tail_; }
  long Count() const { return count_; }

  /// Takes ownership of the node and puts it at the end.
  void Append(S* node) {
    node->SetNextNode(nullptr);
    if (!head_) {
      head_ = tail_ = node;
    } else {
      tail_->SetNextNode(node);
      tail_ = node;
    }
    ++count_;
  }

  /// Destroys every node (never the elements they carry).
  void DeleteAll() {
    while (head_) {
      S* next = static_cast<S*>(head_->NextNode());
      delete head_;
      head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
  }

 protected:
  S* head_ = nullptr;
  S* tail_ = nullptr;
  int count_ = 0;
};

template <class S>
S* cct_LinkList<S>::DeleteNode(S* node) {
  if (!node) return nullptr;
  S* prev = nullptr;
  S* cur = head_;
  while (cur && cur != node) {
    prev = cur;
    cur = static_cast<S*>(cur->NextNode());
  }
  if (!cur) {
    cct_ReportNodeNotInList();
    return nullptr;
  }
  S* next = static_cast<S*>(node->NextNode());
  if (prev)
    prev->SetNextNode(next);
  else
    head_ = next;
  node->SetNextNode(nullptr);
  if (tail_ == node) tail_ = prev;
  --count_;
  return prev;
}

/// Doubly linked list: unlinks in constant time.
class cct_DoubleLinkList : public cct_LinkList<cct_DoubleListNode> {
 public:
  cct_DoubleLinkList() = default;
  ~cct_DoubleLinkList() override { DeleteAll(); }

  void Append(cct_DoubleListNode* node) {
    node->SetPrevNode(tail_);
    cct_LinkList::Append(node);
  }
  cct_DoubleListNode* DeleteNode(cct_DoubleListNode* node) override { return Unchain(node); }
  cct_DoubleListNode* Unchain(cct_DoubleListNode* node);
};

#endif
