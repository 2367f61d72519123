#include "cct/lnklst.h"

#include <ostream>

void cct_ReportNodeNotInList() {
  cct_errlog(cct_Warning(cct_PROGRAM_BUG)) << "(lnklst)cct_LinkList<S>::DeleteNode() ---" << std::endl
                                           << "\tNode not in List";
}

cct_DoubleListNode* cct_DoubleLinkList::Unchain(cct_DoubleListNode* node) {
  if (!node) {
    cct_ReportMessage(15, "cct_DoubleLinkList::Unchain(node) --- node == NULL", 0);
    return nullptr;
  }
  cct_DoubleListNode* prev = node->PrevNode();
  cct_DoubleListNode* next = node->NextNode();
  if (!prev && !next && node != head_) return nullptr;
  if (node == head_) head_ = next;
  if (node == tail_) tail_ = prev;
  if (prev) prev->SetNextNode(next);
  if (next) next->SetPrevNode(prev);
  node->SetNextNode(nullptr);
  node->SetPrevNode(nullptr);
  --count_;
  return prev;
}
