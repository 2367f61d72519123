#include "varnholt/treeview.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>

#include "cct/cct.h"
#include "varnholt/doc.h"
#include "varnholt/insertdialog.h"
#include "varnholt/valuetext.h"

namespace varnholt {

namespace {

const char* const kOptionalUnset = "Optional Value not set";
const char* const kMandatoryUnset = "!!Value not set!!";

// atoi as the appearance dialog's height is read, independent of the process locale.
long ReadInteger(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  long v = 0;
  std::from_chars(text, text + std::strlen(text), v);
  return v;
}

long NumberOf(const char* name) { return name ? std::atol(name) : 0; }

bool IsSimpleKind(long kind) {
  return kind == cct_KIND_INTEGER || kind == cct_KIND_REAL || kind == cct_KIND_ENUMERATION ||
         kind == cct_KIND_STRING || kind == cct_KIND_BOOLEAN || kind == cct_KIND_LOGICAL;
}

std::string ElementLabel(const char* attribute, long position, const std::string& value) {
  return std::string(attribute ? attribute : "") + " [" + std::to_string(position) + "]: " + value;
}

std::string SelectValueText(const cct_SelectType& select);

// The text of a simple element; an element that holds no value (a list's text element whose
// text was cleared, a new one) is "empty", as the insert command has always shown it.
std::string ElementText(const cct_AggregateType_1d& aggregate, const cct_Type* element) {
  if (!element) return "Type not known";
  if (!aggregate.IsSet()) return aggregate.IsOptional() ? kOptionalUnset : kMandatoryUnset;
  // An element of a list of selects that holds a value shows it as an attribute would.
  if (element->Kind() == cct_KIND_SELECT)
    return element->IsSet() ? SelectValueText(static_cast<const cct_SelectType&>(*element)) : "empty";
  if (!IsSimpleKind(element->Kind())) return "Type not known";
  if (!element->IsSet()) return "empty";
  return CStpTreeView::ValueText(*element);
}

bool SelectHoldsInstance(const cct_Type& value) {
  return value.IsSet() && static_cast<const cct_SelectType&>(value).HeldKind() == cct_KIND_INSTANCE;
}

// Element j of a list of selects, when it holds no instance: it is shown as a value row.
bool IsSelectValueElement(const cct_AggregateType_1d& aggregate, uint32_t j) {
  if (aggregate.ElementDescriptor()->kind != cct_KIND_SELECT) return false;
  cct_Type* element = aggregate.ElementObject(j);
  const bool value = element && element->Kind() == cct_KIND_SELECT && !SelectHoldsInstance(*element);
  if (element && element->IsTemporary()) delete element;
  return value;
}

// The simple value a select holds, as a simple attribute of its kind shows it.
std::string SelectValueText(const cct_SelectType& select) {
  cct_Type* held = select.Get(0, 0);
  std::string text = held && IsSimpleKind(held->Kind())
                         ? CStpTreeView::ValueText(*held)
                         : std::string("Type: ") + (select.TypeName() ? select.TypeName() : "") + " not known";
  if (held && held->IsTemporary()) delete held;
  return text;
}

// "a label", "an identifier", "a list of length_measure": what the attribute would hold.
std::string Expected(const cct_Type& value) {
  std::string type = value.TypeName() ? value.TypeName() : "";
  if (value.Kind() == cct_KIND_AGGREGATE) {
    const char* element = static_cast<const cct_AggregateType&>(value).ElementDescriptor()->elementTypeName;
    type = std::string("list of ") + (element ? element : "values");
  }
  const char first = type.empty() ? 'x' : static_cast<char>(std::tolower(static_cast<unsigned char>(type[0])));
  const bool vowel = first == 'a' || first == 'e' || first == 'i' || first == 'o' || first == 'u';
  return (vowel ? "an " : "a ") + type;
}

}  // namespace

std::string CStpTreeView::AsWrittenLabel(const std::string& name, const std::string& text,
                                         const std::string& why) {
  return name + ": " + text + " (as written; " + why + ")";
}

std::string CStpTreeView::ExtraParameterLabel(const cct_Instance& instance, size_t k) {
  const cct_AsWritten* kept = instance.AsWritten();
  if (!kept || k >= kept->extra.size()) return std::string();
  const long count = instance.AttributeCount();
  return AsWrittenLabel("(parameter " + std::to_string(count + static_cast<long>(k) + 1) + ")",
                        kept->extra[k],
                        std::string(instance.TypeName() ? instance.TypeName() : "") + " has " +
                            std::to_string(count) + (count == 1 ? " attribute" : " attributes"));
}

std::string CStpTreeView::InstanceLabel(const cct_Instance& instance) {
  const char* name = instance.InstanceName();
  return std::string("#") + (name ? name : "") + "=" + (instance.TypeName() ? instance.TypeName() : "");
}

std::string CStpTreeView::ValueText(const cct_Type& value) {
  switch (value.Kind()) {
    case cct_KIND_STRING:
    case cct_KIND_ENUMERATION: {
      const char* text = value.GetString();
      return text ? text : "";
    }
    case cct_KIND_INTEGER: return std::to_string(value.GetInteger());
    case cct_KIND_REAL: return ShownReal(value.GetReal());
    case cct_KIND_BOOLEAN: return value.GetInteger() ? "true" : "false";
    case cct_KIND_LOGICAL: {
      const long v = static_cast<const cct_LogicalType&>(value).Get();
      return v < 0 ? "unknown" : (v > 0 ? "true" : "false");
    }
    default: return std::string("Type: ") + (value.TypeName() ? value.TypeName() : "") + " not known";
  }
}

std::string CStpTreeView::AttributeLabel(const cct_Instance& instance, long i) {
  const cct_Type* value = instance.Attribute(i);
  std::string label = instance.AttributeName(i) ? instance.AttributeName(i) : "";
  if (!value) return label;
  // A parameter the binding refused is shown as the file gives it, never as a value.
  if (const std::string* text = instance.AsWrittenText(i))
    return AsWrittenLabel(label, *text, "not " + Expected(*value));
  const long kind = value->Kind();
  if (kind == cct_KIND_ENTITY_REFERENCE || kind == cct_KIND_AGGREGATE) return label;
  // A select that holds an instance is shown as a reference is, with the instance below.
  if (kind == cct_KIND_SELECT && SelectHoldsInstance(*value)) return label;
  label += ": ";
  if ((IsSimpleKind(kind) || kind == cct_KIND_SELECT) && !value->IsSet())
    return label + (value->IsOptional() ? kOptionalUnset : kMandatoryUnset);
  if (kind == cct_KIND_SELECT) return label + SelectValueText(static_cast<const cct_SelectType&>(*value));
  return label + ValueText(*value);
}

std::string CStpTreeView::IdentifyingText(const cct_Instance& instance) {
  for (long i = 0;; ++i) {
    const cct_Type* value = instance.Attribute(i);
    if (!value) return std::string();
    if (value->Kind() == cct_KIND_STRING && value->IsSet() && value->GetString() &&
        *value->GetString())
      return value->GetString();
  }
}

cct_Scope* CStpTreeView::Scope() const { return doc_ ? doc_->Scope() : nullptr; }

bool CStpTreeView::IsHidden(const cct_Instance& instance) {
  return instance.HasSupertype(kTurningWorkingstepId) || instance.HasSupertype(kTurningOperationId);
}

cct_Instance* CStpTreeView::Root(cct_Scope& scope) {
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor))
    if (e->instance && e->instance->Kind() == cct_KIND_INSTANCE &&
        e->instance->TypeID() == kProjectId)
      return e->instance;
  return nullptr;
}

void CStpTreeView::FillTree() {
  tree_.DeleteAllItems();
  pending_.clear();
  cct_Scope* scope = Scope();
  if (!scope) return;
  if (cct_Instance* root = Root(*scope)) InsertInstance(root, nullptr);
}

TreeItem CStpTreeView::Reveal(const std::vector<TreeStep>& path) {
  if (path.empty()) return nullptr;
  TreeItem item = nullptr;
  for (size_t k = 0; k < path.size(); ++k) {
    const cct_Instance& instance = *path[k].instance;
    const long number = NumberOf(instance.InstanceName());
    const std::string label = InstanceLabel(instance);
    std::vector<TreeItem> candidates;
    if (k == 0) {
      candidates = tree_.Children(nullptr);
    } else {
      ExpandItem(item);
      std::vector<TreeItem> attributes = tree_.Children(item);
      const long a = path[k].attribute;
      if (a < 0 || a >= static_cast<long>(attributes.size())) return nullptr;
      candidates = tree_.Children(attributes[static_cast<size_t>(a)]);
    }
    // The same instance may stand twice in a list; its first item is as good as any.
    TreeItem next = nullptr;
    for (TreeItem candidate : candidates)
      if (tree_.IsBold(candidate) && tree_.ItemData(candidate) == number &&
          tree_.ItemText(candidate) == label) {
        next = candidate;
        break;
      }
    if (!next) return nullptr;
    item = next;
  }
  return item;
}

cct_Instance* CStpTreeView::ItemInstance(TreeItem item) const {
  for (; item; item = tree_.Parent(item))
    if (tree_.IsBold(item)) return InstanceOf(tree_.ItemData(item), 1);
  return nullptr;
}

TreeItem CStpTreeView::RevealInstance(const cct_Instance& instance) {
  cct_Scope* scope = Scope();
  return scope ? Reveal(TreePathTo(*scope, instance)) : nullptr;
}

TreeItem CStpTreeView::InsertInstance(cct_Instance* instance, TreeItem parent, TreeItem after,
                                      int image, long) {
  path_.clear();
  return Insert(instance, parent, after, image, 0);
}

bool CStpTreeView::OnPath(TreeItem parent, long number, const cct_Instance* instance) const {
  for (const cct_Instance* on : path_)
    if (on == instance) return true;
  // Items built earlier (a deferred expansion) know their ancestors only through the tree.
  if (number == 0) return false;
  for (TreeItem item = parent; item; item = tree_.Parent(item))
    if (tree_.IsBold(item) && tree_.ItemData(item) == number) return true;
  return false;
}

TreeItem CStpTreeView::Insert(cct_Instance* instance, TreeItem parent, TreeItem after, int image,
                              int depth) {
  if (!instance || !Scope() || IsHidden(*instance)) return nullptr;
  const long number = NumberOf(instance->InstanceName());
  const bool cycle = OnPath(parent, number, instance);
  TreeItem item = tree_.InsertItem(InstanceLabel(*instance), image, number, parent, after);
  tree_.SetBold(item, true);
  const std::string identifying = IdentifyingText(*instance);
  if (!identifying.empty()) tree_.SetToolTip(item, identifying);
  // An instance met again on its own path is shown without children, so a cycle ends here.
  if (cycle || depth >= kMaxDepth) return item;
  if (deferred_) {
    pending_[item] = instance->InstanceName() ? instance->InstanceName() : "";
    return item;
  }
  path_.push_back(instance);
  FillAttributes(instance, item, depth);
  path_.pop_back();
  return item;
}

void CStpTreeView::ExpandItem(TreeItem item) {
  auto it = pending_.find(item);
  if (it == pending_.end()) return;
  std::string name = it->second;
  pending_.erase(it);
  cct_Scope* scope = Scope();
  cct_Scope::Entry* entry = scope ? scope->FindEntry(name.c_str(), 0) : nullptr;
  if (!entry || !entry->instance) return;
  path_.clear();
  FillAttributes(entry->instance, item, 0);
}

void CStpTreeView::ForEachShownTarget(cct_Scope* scope, cct_Instance& instance, long i,
                                      const std::function<void(cct_Instance*)>& visit) {
  cct_Type* value = instance.Attribute(i);
  if (!value) return;
  const long kind = value->Kind();
  if (kind == cct_KIND_ENTITY_REFERENCE) {
    auto* reference = static_cast<cct_EntityType*>(value);
    if (reference->IsSet())
      if (cct_Instance* target = reference->Get(0)) visit(target);
    return;
  }
  if (kind == cct_KIND_SELECT) {
    if (!SelectHoldsInstance(*value)) return;
    cct_Type* held = static_cast<cct_SelectType*>(value)->Get(0, 0);
    if (held && held->Kind() == cct_KIND_INSTANCE) visit(static_cast<cct_Instance*>(held));
    return;
  }
  if (kind != cct_KIND_AGGREGATE) return;
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate) return;
  const long elementKind = aggregate->ElementDescriptor()->kind;
  if (elementKind != cct_KIND_INSTANCE && elementKind != cct_KIND_ENTITY_REFERENCE &&
      elementKind != cct_KIND_SELECT)
    return;
  for (uint32_t j = 0; j < aggregate->Count(); ++j) {
    cct_Type* element = aggregate->ElementObject(j);
    cct_Type* target = element;
    if (elementKind == cct_KIND_SELECT && element)
      target = static_cast<cct_SelectType*>(element)->HeldKind() == cct_KIND_INSTANCE
                   ? static_cast<cct_SelectType*>(element)->Get(0, 0)
                   : nullptr;
    if (target && target->Kind() == cct_KIND_INSTANCE && scope) {
      auto* found = scope->FindInstance(static_cast<cct_Instance*>(target)->InstanceName(), 1);
      if (found) {
        found->Release();
        visit(found);
      }
    }
    if (element && element->IsTemporary()) delete element;
  }
}

void CStpTreeView::FillAttributes(cct_Instance* instance, TreeItem item, int depth) {
  cct_Scope* scope = Scope();
  const long count = instance->AttributeCount();
  for (long i = 0; i < count; ++i) {
    cct_Type* value = instance->Attribute(i);
    if (!value) continue;
    const long kind = value->Kind();
    // Every attribute gets an item, also of a kind the view does not show: an edited label is
    // mapped to its attribute by its position among its siblings.
    TreeItem attribute = tree_.InsertItem(AttributeLabel(*instance, i), 0, 0, item, nullptr);
    auto* aggregate = kind == cct_KIND_AGGREGATE ? dynamic_cast<cct_AggregateType_1d*>(value) : nullptr;
    if (aggregate && aggregate->ElementDescriptor()->kind == cct_KIND_SELECT) {
      FillSelectElements(*instance, i, *aggregate, attribute, depth);
      continue;
    }
    ForEachShownTarget(scope, *instance, i,
                       [&](cct_Instance* target) { Insert(target, attribute, nullptr, 0, depth + 1); });
    if (!aggregate) continue;
    const long elementKind = aggregate->ElementDescriptor()->kind;
    if (elementKind == cct_KIND_INSTANCE || elementKind == cct_KIND_ENTITY_REFERENCE ||
        elementKind == cct_KIND_SELECT)
      continue;
    const char* name = instance->AttributeName(i);
    for (uint32_t j = 0; j < aggregate->Count(); ++j) {
      cct_Type* element = aggregate->ElementObject(j);
      tree_.InsertItem(ElementLabel(name, j + 1, ElementText(*aggregate, element)), 0, 0,
                       attribute, nullptr);
      if (element && element->IsTemporary()) delete element;
    }
  }
  // Parameters after the last attribute follow the attributes; no edit reaches them.
  if (const cct_AsWritten* kept = instance->AsWritten())
    for (size_t k = 0; k < kept->extra.size(); ++k)
      tree_.InsertItem(ExtraParameterLabel(*instance, k), 0, 0, item, nullptr);
}

void CStpTreeView::FillSelectElements(cct_Instance& instance, long i,
                                      const cct_AggregateType_1d& aggregate, TreeItem attribute,
                                      int depth) {
  // In the list's order: an element that holds an instance shows it, one that holds a value is
  // a value row, so that a row's position is its element's.
  cct_Scope* scope = Scope();
  for (uint32_t j = 0; j < aggregate.Count(); ++j) {
    if (IsSelectValueElement(aggregate, j) || !aggregate.IsSet()) {
      tree_.InsertItem(ElementItemLabel(instance, i, static_cast<long>(j)), 0, 0, attribute, nullptr);
      continue;
    }
    cct_Type* element = aggregate.ElementObject(j);
    cct_Type* target = element;
    if (element && element->Kind() == cct_KIND_SELECT)
      target = static_cast<cct_SelectType*>(element)->Get(0, 0);
    if (target && target->Kind() == cct_KIND_INSTANCE && scope) {
      auto* found = scope->FindInstance(static_cast<cct_Instance*>(target)->InstanceName(), 1);
      if (found) {
        found->Release();
        Insert(found, attribute, nullptr, 0, depth + 1);
      }
    }
    if (element && element->IsTemporary()) delete element;
  }
}

cct_Instance* CStpTreeView::InstanceOf(long number, int load) const {
  cct_Scope* scope = Scope();
  if (!scope || number == 0) return nullptr;
  cct_Instance* instance = scope->FindInstance(number, load);
  if (instance) instance->Release();
  return instance;
}

long CStpTreeView::PositionOf(TreeItem item) const {
  std::vector<TreeItem> siblings = tree_.Children(tree_.Parent(item));
  for (size_t i = 0; i < siblings.size(); ++i)
    if (siblings[i] == item) return static_cast<long>(i);
  return -1;
}

std::string CStpTreeView::ElementItemLabel(const cct_Instance& instance, long i, long j) {
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(instance.Attribute(i));
  if (!aggregate || j < 0 || static_cast<uint32_t>(j) >= aggregate->Count()) return std::string();
  cct_Type* element = aggregate->ElementObject(static_cast<unsigned long>(j));
  std::string label = ElementLabel(instance.AttributeName(i), j + 1, ElementText(*aggregate, element));
  if (element && element->IsTemporary()) delete element;
  return label;
}

bool CStpTreeView::SlotOf(TreeItem item, ValueSlot& slot) const {
  if (!item || !Scope()) return false;
  if (tree_.ItemData(item) != 0 || tree_.IsBold(item)) return false;  // instance items
  TreeItem parent = tree_.Parent(item);
  cct_Instance* instance = InstanceOf(tree_.ItemData(parent), 1);
  const bool attributeItem = instance != nullptr;
  if (!instance) instance = InstanceOf(tree_.ItemData(tree_.Parent(parent)), 1);
  if (!instance) return false;
  const long attributeIndex = attributeItem ? PositionOf(item) : PositionOf(parent);
  if (attributeIndex < 0 || attributeIndex >= instance->AttributeCount()) return false;
  const cct_Type* value = instance->Attribute(attributeIndex);
  if (!value) return false;
  slot.instance = instance;
  slot.attribute = attributeIndex;
  slot.element = -1;
  if (attributeItem)
    return IsSimpleKind(value->Kind()) ||
           (value->Kind() == cct_KIND_SELECT && !SelectHoldsInstance(*value));
  auto* aggregate = dynamic_cast<const cct_AggregateType_1d*>(value);
  const long position = PositionOf(item);
  if (!aggregate || position < 0 || static_cast<uint32_t>(position) >= aggregate->Count())
    return false;
  if (aggregate->ElementDescriptor()->kind == cct_KIND_SELECT && aggregate->IsSet() &&
      !IsSelectValueElement(*aggregate, static_cast<uint32_t>(position)))
    return false;
  slot.element = position;
  return true;
}

SlotEditor CStpTreeView::EditorFor(TreeItem item) const {
  ValueSlot slot;
  return SlotOf(item, slot) ? DescribeSlot(slot) : SlotEditor{};
}

bool CStpTreeView::OnEndLabelEdit(TreeItem item, const char* text) {
  // A cancelled edit (no text) changes nothing.
  if (!text) return false;
  return EditLabel(item, text).status == EditOutcome::kChanged;
}

EditOutcome CStpTreeView::EditLabel(TreeItem item, std::string_view text) {
  ValueSlot slot;
  if (!SlotOf(item, slot)) return EditOutcome{};
  EditOutcome outcome = SetValue(slot, text, rules_);
  if (outcome.status == EditOutcome::kChanged) RefreshInstance(*slot.instance);
  return outcome;
}

EditOutcome CStpTreeView::ClearItem(TreeItem item) {
  ValueSlot slot;
  if (!SlotOf(item, slot)) return EditOutcome{};
  EditOutcome outcome = ClearValue(slot);
  if (outcome.status == EditOutcome::kChanged) RefreshInstance(*slot.instance);
  return outcome;
}

std::vector<TreeItem> CStpTreeView::ShownItems(const cct_Instance& instance) const {
  std::vector<TreeItem> shown;
  const long number = NumberOf(instance.InstanceName());
  if (number == 0) return shown;
  std::vector<TreeItem> stack = tree_.Children(nullptr);
  while (!stack.empty()) {
    TreeItem item = stack.back();
    stack.pop_back();
    if (tree_.IsBold(item) && tree_.ItemData(item) == number) shown.push_back(item);
    for (TreeItem child : tree_.Children(item)) stack.push_back(child);
  }
  return shown;
}

void CStpTreeView::RefreshInstance(const cct_Instance& instance) {
  for (TreeItem item : ShownItems(instance)) {
    std::vector<TreeItem> attributes = tree_.Children(item);
    for (long i = 0; i < instance.AttributeCount() && i < static_cast<long>(attributes.size()); ++i) {
      const cct_Type* value = instance.Attribute(i);
      if (!value) continue;
      tree_.SetItemText(attributes[i], AttributeLabel(instance, i));
      if (value->Kind() != cct_KIND_AGGREGATE) continue;
      auto* aggregate = dynamic_cast<const cct_AggregateType_1d*>(value);
      if (!aggregate) continue;
      const long elementKind = aggregate->ElementDescriptor()->kind;
      if (elementKind == cct_KIND_INSTANCE || elementKind == cct_KIND_ENTITY_REFERENCE) continue;
      std::vector<TreeItem> elements = tree_.Children(attributes[i]);
      for (size_t j = 0; j < elements.size(); ++j)
        if (elementKind != cct_KIND_SELECT || IsSelectValueElement(*aggregate, static_cast<uint32_t>(j)))
          tree_.SetItemText(elements[j], ElementItemLabel(instance, i, static_cast<long>(j)));
    }
  }
}

void CStpTreeView::RebuildInstance(cct_Instance& instance) {
  for (TreeItem item : ShownItems(instance)) {
    if (HasDeferredChildren(item)) continue;
    for (TreeItem child : tree_.Children(item)) {
      ForgetSubtree(child);
      tree_.DeleteItem(child);
    }
    path_.clear();
    FillAttributes(&instance, item, 0);
  }
}

TreeItem CStpTreeView::AttributeItem(const cct_Instance& instance, long attribute) const {
  for (TreeItem item : ShownItems(instance)) {
    std::vector<TreeItem> children = tree_.Children(item);
    if (attribute >= 0 && attribute < static_cast<long>(children.size())) return children[attribute];
  }
  return nullptr;
}

cct_Instance* CStpTreeView::Choose(InsertDialogData& data, const InsertChooser& chooser) {
  cct_Scope* scope = Scope();
  data.FillExisting(*scope);
  data.FillNew();
  if (!chooser || !chooser(data)) return nullptr;
  std::string chosen = data.ChosenName();
  if (!chosen.empty()) {
    cct_Instance* instance = scope->FindInstance(chosen.c_str(), 1);
    if (instance) instance->Release();
    return instance;
  }
  if (data.newChoice.empty()) return nullptr;
  return CreateEntityByName(data.newChoice.c_str());
}

bool CStpTreeView::OnDoubleClick(TreeItem item, const InsertChooser& chooser) {
  cct_Scope* scope = Scope();
  lastInsert_ = InsertResult{};
  if (!item || !scope || tree_.ItemData(item) != 0 || tree_.IsBold(item)) return false;
  TreeItem parent = tree_.Parent(item);
  if (!parent || tree_.ItemData(parent) == 0) return false;
  cct_Instance* instance = InstanceOf(tree_.ItemData(parent), 0);
  if (!instance) return false;
  const long index = PositionOf(item);
  if (index < 0 || index >= instance->AttributeCount()) return false;
  cct_Type* value = instance->Attribute(index);
  if (!value) return false;

  const long kind = value->Kind();
  cct_Instance* chosen = nullptr;
  bool simpleElements = false;
  if (kind == cct_KIND_AGGREGATE) {
    auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
    if (!aggregate) return false;
    const long elementKind = aggregate->ElementDescriptor()->kind;
    simpleElements = elementKind == cct_KIND_INTEGER || elementKind == cct_KIND_REAL ||
                     elementKind == cct_KIND_STRING;
    if (!simpleElements && elementKind != cct_KIND_INSTANCE &&
        elementKind != cct_KIND_ENTITY_REFERENCE && elementKind != cct_KIND_SELECT)
      return false;
  } else if (kind != cct_KIND_INSTANCE && kind != cct_KIND_ENTITY_REFERENCE) {
    return false;
  }
  if (!simpleElements) {
    InsertDialogData data(instance, index);
    chosen = Choose(data, chooser);
    if (!chosen) return false;
  }
  const InsertResult result = InsertValue(*scope, *instance, index, chosen);
  if (!result.done) return false;
  lastInsert_ = result;
  lastInsertAttribute_ = index;
  lastInsertInstance_ = instance;

  if (simpleElements) {
    // The new element shows the value a save writes for it; the elements already shown do too
    // (a list that was unset holds its elements' values from now on).
    tree_.InsertItem(ElementItemLabel(*instance, index, result.element), 0, 0, item, nullptr);
    RefreshInstance(*instance);
    return true;
  }
  if (kind != cct_KIND_AGGREGATE) {
    std::vector<TreeItem> children = tree_.Children(item);
    if (!children.empty()) {
      ForgetSubtree(children.front());
      tree_.DeleteItem(children.front());
    }
  }
  path_.clear();
  Insert(chosen, item, nullptr, 0, 0);
  return true;
}

void CStpTreeView::ForgetSubtree(TreeItem item) {
  // A deleted item's address may be reused by the control for a new item, which must not
  // inherit the old one's unbuilt children.
  std::vector<TreeItem> stack{item};
  while (!stack.empty()) {
    TreeItem top = stack.back();
    stack.pop_back();
    pending_.erase(top);
    for (TreeItem child : tree_.Children(top)) stack.push_back(child);
  }
}

void CStpTreeView::ApplyItemHeight(const std::string& text) {
  long height = ReadInteger(text.c_str());
  tree_.SetItemHeight(height < 1 ? -1 : static_cast<int>(height));
}

}  // namespace varnholt
