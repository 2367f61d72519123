#include "varnholt/treecontrol.h"

#include <algorithm>

namespace varnholt {

struct MemoryTreeControl::Node {
  std::string text;
  std::string toolTip;
  int image = 0;
  long data = 0;
  bool bold = false;
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
};

MemoryTreeControl::MemoryTreeControl() : root_(std::make_unique<Node>()) {}
MemoryTreeControl::~MemoryTreeControl() = default;

MemoryTreeControl::Node* MemoryTreeControl::NodeOf(TreeItem item) const {
  return item ? static_cast<Node*>(item) : root_.get();
}

TreeItem MemoryTreeControl::InsertItem(const std::string& text, int image, long data,
                                       TreeItem parent, TreeItem after) {
  Node* p = NodeOf(parent);
  auto node = std::make_unique<Node>();
  node->text = text;
  node->image = image;
  node->data = data;
  node->parent = p;
  Node* raw = node.get();
  auto position = p->children.end();
  if (after) {
    position = std::find_if(p->children.begin(), p->children.end(),
                            [&](const std::unique_ptr<Node>& n) { return n.get() == after; });
    if (position != p->children.end()) ++position;
  }
  p->children.insert(position, std::move(node));
  return raw;
}

void MemoryTreeControl::SetToolTip(TreeItem item, const std::string& text) {
  if (item) NodeOf(item)->toolTip = text;
}
std::string MemoryTreeControl::ToolTip(TreeItem item) const {
  return item ? NodeOf(item)->toolTip : std::string();
}

long MemoryTreeControl::ItemData(TreeItem item) const { return item ? NodeOf(item)->data : 0; }
void MemoryTreeControl::SetBold(TreeItem item, bool bold) {
  if (item) NodeOf(item)->bold = bold;
}
bool MemoryTreeControl::IsBold(TreeItem item) const { return item && NodeOf(item)->bold; }

TreeItem MemoryTreeControl::Parent(TreeItem item) const {
  if (!item) return nullptr;
  Node* p = NodeOf(item)->parent;
  return p == root_.get() ? nullptr : p;
}

std::vector<TreeItem> MemoryTreeControl::Children(TreeItem parent) const {
  std::vector<TreeItem> items;
  for (const auto& child : NodeOf(parent)->children) items.push_back(child.get());
  return items;
}

void MemoryTreeControl::DeleteItem(TreeItem item) {
  if (!item) return;
  Node* node = NodeOf(item);
  auto& siblings = node->parent->children;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [&](const std::unique_ptr<Node>& n) { return n.get() == node; }),
                 siblings.end());
}

void MemoryTreeControl::DeleteAllItems() { root_->children.clear(); }

std::string MemoryTreeControl::ItemText(TreeItem item) const {
  return item ? NodeOf(item)->text : std::string();
}

void MemoryTreeControl::SetItemText(TreeItem item, const std::string& text) {
  if (item) NodeOf(item)->text = text;
}

std::string MemoryTreeControl::Dump() const {
  std::string out;
  // Iterative, so that a deep tree cannot exhaust the stack.
  std::vector<std::pair<const Node*, int>> stack;
  for (auto it = root_->children.rbegin(); it != root_->children.rend(); ++it)
    stack.emplace_back(it->get(), 0);
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += node->text;
    out += '\n';
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
      stack.emplace_back(it->get(), depth + 1);
  }
  return out;
}

size_t MemoryTreeControl::ItemCount() const {
  size_t count = 0;
  std::vector<const Node*> stack{root_.get()};
  while (!stack.empty()) {
    const Node* node = stack.back();
    stack.pop_back();
    count += node->children.size();
    for (const auto& child : node->children) stack.push_back(child.get());
  }
  return count;
}

}  // namespace varnholt
